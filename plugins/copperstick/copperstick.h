// The ADSL USB modem status plug-in: a fixed tree of five rows built when the DLL is attached,
// values refreshed from the modem once a second while it is present and once a minute while
// it is absent. Everything runs on the monitor's worker thread for this plug-in.
#pragma once

#include <windows.h>

#include "monitor/source.win/global/status.h"
#include "plugins/copperstick/modem.h"

enum tPresence { PRESENCE_UNSET = 0, PRESENCE_ABSENT = 1, PRESENCE_PRESENT = 2 };

// Status item ids.
enum { ID_MODEM = 1, ID_DEVICE_STATUS = 2, ID_UPSTREAM = 3, ID_DOWNSTREAM = 4, ID_VPI_VCI = 5 };

// String ids of the plug-in's string table.
enum {
    IDS_OPERATIONAL = 1, IDS_INITIALIZING = 2, IDS_FAIL = 3, IDS_IDLE = 4, IDS_MODEM_NAME = 5,
    IDS_DEVICE_STATUS = 6, IDS_UPSTREAM = 7, IDS_DOWNSTREAM = 8, IDS_VPI_VCI = 9, IDS_UNIT = 10,
};

void CopperstickAttach(HINSTANCE instance);
void CopperstickDetach();
CState* CopperstickGetState(HANDLE cancel, HANDLE refresh);

bool UpdateFromModem();
tPresence CopperstickPresence();
// The wait of GetState for a presence: at once, once a minute, once a second.
DWORD PresenceTimeout(tPresence presence);
// String id of a line state, 0 for none.
UINT LineStateTextId(uint8_t lineState);
