#include "plugins/dialtrack/statistics.h"

#include "common/strings.h"
#include "plugins/dialtrack/formats.h"
#include "plugins/dialtrack/res/dialtrack_resource.h"

CCallRecord MakeCallRecord(CRASConnection& connection)
{
    uint64_t ms = connection.GetDurationMs();
    CCallRecord record;
    record.m_entryName = SanitizeEntryName(connection.GetEntryName());
    uint64_t seconds = ms / 1000;
    record.m_duration = seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(seconds);
    uint64_t end = connection.GetEndTime();
    uint64_t span = ms * 10000;
    uint64_t start = end > span ? end - span : 0;
    record.m_start = SecondsToCallTime(static_cast<int64_t>(start / 10000000));
    record.m_received = connection.GetReceivedBytes();
    record.m_sent = connection.GetSentBytes();
    return record;
}

void CStatisticInfo::WriteCallDataToFile(CRASConnection& connection)
{
    if (!connection.HasStartTime() || connection.GetEntryName().empty())
        return;
    if (m_files.WriteCall(MakeCallRecord(connection)) && m_written)
        m_written();
}

CStatisticOverview::CStatisticOverview(HINSTANCE instance, CStatisticFiles& files)
    : m_instance(instance), m_files(files)
{
    Reload();
}

void CStatisticOverview::AddChildren(CPluginBase& plugin, CItem& overview, HINSTANCE instance)
{
    plugin.AddItem(&overview, xUtilLoadString(instance, IDS_TOTAL_DURATION), 18, "", nullptr, nullptr);
    plugin.AddItem(&overview, xUtilLoadString(instance, IDS_TOTAL_SENT), 6, "", nullptr, nullptr);
    plugin.AddItem(&overview, xUtilLoadString(instance, IDS_TOTAL_RECEIVED), 5, "", nullptr, nullptr);
    plugin.AddItem(&overview, xUtilLoadString(instance, IDS_TOTAL_VOLUME), 1, "", nullptr, nullptr);
}

void CStatisticOverview::Reload()
{
    m_entries = m_files.LoadMonthlyEntries();
    m_stale = true;
}

void CStatisticOverview::Notify(tNotification notification, bool afterChildren, CItem& item)
{
    if (afterChildren)
        return;
    if (notification == NOTIFY_REFRESH || m_stale || !(CurrentLocalMonth() == m_shownMonth))
        Recompute(item);
}

void CStatisticOverview::Recompute(CItem& item)
{
    m_stale = false;
    m_shownMonth = CurrentLocalMonth();
    item.SetName(xUtilLoadString(m_instance, IDS_CONNECTION_MONITOR) + " (" + YearMonthText(m_shownMonth) + ")");
    tMonthTotals totals = SumMonth(m_entries, m_shownMonth);
    const std::string values[4] = {FormatHoursMinutes(totals.duration), MegabyteText(m_instance, totals.sent),
                                   MegabyteText(m_instance, totals.received), MegabyteText(m_instance, totals.Volume())};
    CState& children = item.GetChildren();
    for (int32_t i = 0; i < 4 && i < children.GetCount(); ++i)
        children.GetAt(i)->SetValue(values[i]);
}
