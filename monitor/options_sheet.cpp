#include "monitor/options_sheet.h"

#include "common/registry.h"
#include "common/strings.h"
#include "common/ui/property_sheet.h"
#include "monitor/monitor.h"
#include "monitor/res/resource.h"

const char kPlexaRegistryKey[] = "software\\velmora\\Plexa";
const char kDeviceNoticesKey[] = "DeviceNotices";

namespace {

const char kCollectingValue[] = "CollectingAllowed";

// Both pages fill one copy of the options; the sheet hands it back only after OK.
struct tSheetData {
    tMonitorOptions options;
    bool applied = false;
};

class CGeneralPage : public ui::CPropertyPage {
public:
    CGeneralPage(HINSTANCE instance, tSheetData& data) : CPropertyPage(instance, IDD_GENERAL), m_data(data) {}

protected:
    bool OnInitDialog() override
    {
        Check(IDC_SHARED_OPTIONS, m_data.options.sharedOptions);
        Check(IDC_NOTICES, m_data.options.notices);
        // A setting that could not be stored is not offered.
        EnableItem(IDC_SHARED_OPTIONS, m_data.options.settingsWritable);
        EnableItem(IDC_NOTICES, m_data.options.settingsWritable);
        return true;
    }
    bool OnCommand(WORD id, WORD code, HWND) override
    {
        if ((id == IDC_SHARED_OPTIONS || id == IDC_NOTICES) && code == BN_CLICKED) {
            SetModified(true);
            return true;
        }
        return false;
    }
    bool OnApply() override
    {
        m_data.options.sharedOptions = IsChecked(IDC_SHARED_OPTIONS);
        m_data.options.notices = IsChecked(IDC_NOTICES);
        m_data.applied = true;
        return true;
    }

private:
    tSheetData& m_data;
};

class CConnectionsPage : public ui::CPropertyPage {
public:
    CConnectionsPage(HINSTANCE instance, tSheetData& data) : CPropertyPage(instance, IDD_CONNECTIONS), m_data(data) {}

protected:
    bool OnInitDialog() override
    {
        Check(IDC_COLLECTING, m_data.options.collecting);
        EnableItem(IDC_COLLECTING, m_data.options.collectingWritable);
        return true;
    }
    bool OnCommand(WORD id, WORD code, HWND) override
    {
        if (id == IDC_COLLECTING && code == BN_CLICKED) {
            SetModified(true);
            return true;
        }
        return false;
    }
    bool OnApply() override
    {
        m_data.options.collecting = IsChecked(IDC_COLLECTING);
        m_data.applied = true;
        return true;
    }

private:
    tSheetData& m_data;
};

} // namespace

tMonitorOptions LoadMonitorOptions(const utilcpp::CParseini& settings, IMonitor* monitor)
{
    tMonitorOptions options;
    options.sharedOptions = monitor && monitor->SharedOptionsEnabled();
    options.notices = DeviceNoticesEnabled(settings);
    options.settingsWritable = settings.TestWriteAccess();
    CRegistryKey key;
    DWORD value = 0;
    options.collecting = key.Open(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, KEY_QUERY_VALUE) &&
                         key.GetDword(kCollectingValue, value) && value != 0;
    CRegistryKey writable;
    options.collectingWritable = writable.Open(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, KEY_SET_VALUE);
    return options;
}

void StoreMonitorOptions(const utilcpp::CParseini& settings, const tMonitorOptions& options)
{
    if (options.settingsWritable) {
        settings.WriteInt(kDialogSettings, "SharedOptions", options.sharedOptions ? 1 : 0);
        settings.WriteInt(kDialogSettings, kDeviceNoticesKey, options.notices ? 1 : 0);
    }
    if (options.collectingWritable) {
        CRegistryKey key;
        if (key.Open(HKEY_LOCAL_MACHINE, kPlexaRegistryKey, KEY_SET_VALUE))
            key.SetDword(kCollectingValue, options.collecting ? 1 : 0);
    }
}

bool DeviceNoticesEnabled(const utilcpp::CParseini& settings)
{
    int value = 0;
    settings.GetInt(kDialogSettings, kDeviceNoticesKey, value, 0);
    return value == 1;
}

bool RunOptionsSheet(HWND owner, HINSTANCE instance, tMonitorOptions& options)
{
    tSheetData data;
    data.options = options;
    CGeneralPage general(instance, data);
    CConnectionsPage connections(instance, data);
    ui::CPropertySheet sheet(instance, xUtilLoadString(instance, IDS_OPTIONS));
    sheet.AddPage(general);
    sheet.AddPage(connections);
    sheet.AddFlags(PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP);
    sheet.DoModal(owner);
    if (data.applied)
        options = data.options;
    return data.applied;
}
