// Where the fields of one RAS connection entry (RASCONNA) lie in the array that
// RasEnumConnectionsA fills. The entry grew with the systems: the first form (Windows 95, 98, Me,
// NT 4) ends after the device name, Windows 2000 added the phone book, sub-entry and entry GUID,
// later systems the flags and the logon session. The handle is as wide as a pointer, so a 64-bit
// build sees other strides (416, 696, 708) than the 412, 692 and 704 bytes of a 32-bit one.
#pragma once

#include <stddef.h>
#include <stdint.h>

enum tRasEntryForm { RAS_ENTRY_OLD, RAS_ENTRY_W2K, RAS_ENTRY_LATER };

struct tRasEntryLayout {
    size_t stride;
    size_t handleOffset;
    size_t handleSize;
    size_t entryNameOffset;
    size_t deviceTypeOffset;
    size_t deviceNameOffset;
};

const size_t kRasMaxEntryName = 256;
const size_t kRasMaxDeviceType = 16;
const size_t kRasMaxDeviceName = 128;

// The layout of an entry form for handles of the given width (4 or 8 bytes).
tRasEntryLayout RasEntryLayout(tRasEntryForm form, size_t handleSize);
// The layout of this build.
tRasEntryLayout NativeRasEntryLayout(tRasEntryForm form);
