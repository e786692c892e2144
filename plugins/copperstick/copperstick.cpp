#include "plugins/copperstick/copperstick.h"

#include <stdio.h>

#include <string>

#include "common/strings.h"
#include "common/trace.h"

namespace {

struct tModuleState {
    tPresence presence = PRESENCE_UNSET;
    tModemReading stored;
    CState* tree = nullptr;
    std::string unit;
    HINSTANCE instance = nullptr;
};

tModuleState g_state;

std::string Text(UINT id)
{
    return xUtilLoadString(g_state.instance, id);
}

void SetValue(int32_t id, const char* value)
{
    if (CItem* item = g_state.tree ? g_state.tree->FindItem(id) : nullptr)
        item->SetValue(value);
}

void ShowReading(const tModemReading& reading)
{
    char text[256];
    UINT state = LineStateTextId(reading.lineState);
    SetValue(ID_DEVICE_STATUS, state ? Text(state).c_str() : "");
    snprintf(text, sizeof text, "%d/%d", reading.vpi, reading.vci);
    SetValue(ID_VPI_VCI, text);
    snprintf(text, sizeof text, "%ld %s", static_cast<long>(reading.upstream), g_state.unit.c_str());
    SetValue(ID_UPSTREAM, text);
    snprintf(text, sizeof text, "%ld %s", static_cast<long>(reading.downstream), g_state.unit.c_str());
    SetValue(ID_DOWNSTREAM, text);
}

} // namespace

UINT LineStateTextId(uint8_t lineState)
{
    switch (lineState) {
    case 0: return IDS_IDLE;
    case 1: return IDS_INITIALIZING;
    case 2: return IDS_OPERATIONAL;
    case 3: return IDS_FAIL;
    default: return 0;
    }
}

DWORD PresenceTimeout(tPresence presence)
{
    switch (presence) {
    case PRESENCE_UNSET: return 0;
    case PRESENCE_ABSENT: return 60000;
    default: return 1000;
    }
}

void CopperstickAttach(HINSTANCE instance)
{
    TraceInit(nullptr);
    g_state = tModuleState();
    g_state.instance = instance;
    g_state.unit = Text(IDS_UNIT);
    g_state.tree = new CState;
    CItem* modem = new CItem(Text(IDS_MODEM_NAME), 11, "", ID_MODEM);
    modem->GetChildren().AddItem(new CItem(Text(IDS_DEVICE_STATUS), 3, "", ID_DEVICE_STATUS));
    modem->GetChildren().AddItem(new CItem(Text(IDS_UPSTREAM), 6, "", ID_UPSTREAM));
    modem->GetChildren().AddItem(new CItem(Text(IDS_DOWNSTREAM), 5, "", ID_DOWNSTREAM));
    modem->GetChildren().AddItem(new CItem(Text(IDS_VPI_VCI), 1, "", ID_VPI_VCI));
    g_state.tree->AddItem(modem);
}

void CopperstickDetach()
{
    delete g_state.tree;
    g_state.tree = nullptr;
}

tPresence CopperstickPresence()
{
    return g_state.presence;
}

bool UpdateFromModem()
{
    tModemReading reading = g_state.stored;
    bool changed;
    if (QueryModem(reading)) {
        changed = g_state.presence != PRESENCE_PRESENT || !(reading == g_state.stored);
        g_state.presence = PRESENCE_PRESENT;
        g_state.stored = reading;
    } else {
        // The last reading stays as it was while the modem is away.
        changed = g_state.presence != PRESENCE_ABSENT;
        g_state.presence = PRESENCE_ABSENT;
    }
    if (g_state.presence == PRESENCE_PRESENT && changed) {
        TraceVerboseText("[copperstick] status changed, updating CState object\n");
        ShowReading(g_state.stored);
    }
    return changed;
}

CState* CopperstickGetState(HANDLE cancel, HANDLE refresh)
{
    TraceVerboseText("[copperstick] entering loop\n");
    for (;;) {
        TraceVerboseText("[copperstick] waiting for next event\n");
        HANDLE events[2] = {cancel, refresh};
        DWORD result = WaitForMultipleObjects(2, events, FALSE, PresenceTimeout(g_state.presence));
        const char* outcome = result == WAIT_OBJECT_0       ? "cancel event signaled"
                              : result == WAIT_OBJECT_0 + 1 ? "refresh event signaled"
                                                            : "timeout";
        TraceVerboseText("[copperstick] waiting finished (%s)\n", outcome);
        (void)outcome;
        if (result == WAIT_OBJECT_0)
            break;
        bool changed = UpdateFromModem();
        if (result == WAIT_OBJECT_0 + 1 || changed)
            break;
    }
    TraceVerboseText("[copperstick] returning\n");
    return g_state.presence == PRESENCE_PRESENT ? g_state.tree : nullptr;
}
