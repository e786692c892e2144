#include "plugins/copperstick/modem.h"

#include <string.h>

namespace {

HANDLE RealOpen(const char* path)
{
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

BOOL RealControl(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned)
{
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, nullptr);
}

void RealClose(HANDLE device)
{
    CloseHandle(device);
}

const tDeviceAccess kRealDevice = {RealOpen, RealControl, RealClose};
const tDeviceAccess* g_access = &kRealDevice;

bool Request(HANDLE device, DWORD code, uint32_t selector, uint8_t* reply)
{
    uint8_t request[kModemBufferSize] = {};
    memcpy(request, &selector, sizeof selector); // little-endian on every Windows machine
    DWORD returned = 0;
    BOOL called = DeviceAccess().control(device, code, request, sizeof request, reply,
                                         kModemBufferSize, &returned);
    return ReplyAnswered(called, reply);
}

} // namespace

void SetDeviceAccess(const tDeviceAccess* access)
{
    g_access = access ? access : &kRealDevice;
}

const tDeviceAccess& DeviceAccess()
{
    return *g_access;
}

uint32_t ReplyWord(const uint8_t* reply, size_t offset)
{
    return static_cast<uint32_t>(reply[offset]) | static_cast<uint32_t>(reply[offset + 1]) << 8 |
           static_cast<uint32_t>(reply[offset + 2]) << 16 |
           static_cast<uint32_t>(reply[offset + 3]) << 24;
}

bool ReplyAnswered(BOOL called, const uint8_t* reply)
{
    return called && ReplyWord(reply, 4) != kModemNotAnswered;
}

void TakeLineStatus(const uint8_t* reply, tModemReading& reading)
{
    reading.lineState = static_cast<uint8_t>((ReplyWord(reply, 88) >> 8) & 0x0F);
    uint32_t rates = ReplyWord(reply, 84);
    reading.upstream = (rates & 0xFFFF) * 4;
    reading.downstream = (rates >> 16) * 4;
}

void TakeAtmConnection(const uint8_t* reply, tModemReading& reading)
{
    uint32_t word = ReplyWord(reply, 8);
    reading.vpi = static_cast<uint16_t>(word >> 16);
    reading.vci = static_cast<uint16_t>(word & 0xFFFF);
}

bool QueryModem(tModemReading& reading)
{
    HANDLE device = DeviceAccess().open(kModemDevice);
    if (device == INVALID_HANDLE_VALUE || device == nullptr)
        return false;
    // One reply buffer, zero-filled once and reused unchanged for the second request.
    uint8_t reply[kModemBufferSize] = {};
    tModemReading taken = reading;
    bool ok = Request(device, kLineStatusRequest, 0, reply);
    if (ok) {
        TakeLineStatus(reply, taken);
        ok = Request(device, kAtmConnectionRequest, 1, reply);
        if (ok)
            TakeAtmConnection(reply, taken);
    }
    DeviceAccess().close(device);
    if (ok)
        reading = taken;
    return ok;
}
