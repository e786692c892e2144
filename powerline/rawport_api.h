// The calls the packet port makes into rawport, as one table. It is bound to rawport.dll
// (by name, and the adapter list by ordinal) the first time it is needed; tests put an
// in-memory network in its place.
#pragma once

#include "platform/rawport/rawport.h"

struct tRawportApi {
    tW32NOpenAdapterA OpenAdapter;
    tW32NCloseAdapter CloseAdapter;
    tW32NMakeNdisRequest MakeNdisRequest;
    tW32NSetBPFProgram SetBPFProgram;
    tW32NPacketRead PacketRead;
    tW32NCancelPacketRead CancelPacketRead;
    tW32NPacketSend PacketSend;
    tW32NGetLastError GetLastError;
    tRawOpenList OpenList;
    tRawCloseList CloseList;
    tRawFirstEntry FirstEntry;
    tRawNextEntry NextEntry;
    tRawReleaseEntry ReleaseEntry;
    tRawEntryName EntryName;
};

// The table in use: rawport.dll's, or none when it cannot be loaded. The DLL is taken from the
// folder of the module that holds this code (the plug-in or the program) before the standard
// search order, so that a file of the same name elsewhere is not picked up first.
const tRawportApi* RawportApi();
// Puts another table in place (none: rawport.dll again).
void SetRawportApi(const tRawportApi* api);
