// Fuzz entry point for the responses the wizard waits for: any bytes either are refused or give
// a response whose fields come only from bytes that are there. Built natively with libFuzzer
// (scripts/fuzz).
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "plexaconf/key_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    tKeyResponse response;
    if (!ParseKeyResponse(data, size, response))
        return 0;
    // A valid EEPROM block is the bytes of the frame, all of them there.
    if (response.eepromValid && (size < 18 + kEepromBlock || memcmp(response.eeprom, data + 18, kEepromBlock) != 0))
        __builtin_trap();
    if (response.type != data[15] || response.entryLength != data[16])
        __builtin_trap();
    if (response.vendorSubtype >= 0 && (response.type != kEntryVendor || response.vendorSubtype > 0x7F))
        __builtin_trap();
    if (response.describesRemote && response.vendorSubtype != kZivudDeviceDescription)
        __builtin_trap();
    return 0;
}
