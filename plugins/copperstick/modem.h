// The ADSL USB modem as its driver "\\.\RazIziDovi" presents it: two control requests and
// the words of their replies that the plug-in uses. The driver is outside the suite; it is
// reached through a small device-access seam so that tests can put a fake device in its place.
#pragma once

#include <windows.h>

#include <stdint.h>

const char kModemDevice[] = "\\\\.\\RazIziDovi";
const DWORD kLineStatusRequest = 0x8555400C;   // device type 0x8555, function 3, buffered, read
const DWORD kAtmConnectionRequest = 0x85554008; // device type 0x8555, function 2, buffered, read
const size_t kModemBufferSize = 132;
const uint32_t kModemNotAnswered = 0xC0000001;

struct tModemReading {
    uint8_t lineState = 0;
    uint16_t vpi = 0;
    uint16_t vci = 0;
    uint32_t upstream = 0;
    uint32_t downstream = 0;

    bool operator==(const tModemReading& other) const
    {
        return lineState == other.lineState && vpi == other.vpi && vci == other.vci &&
               upstream == other.upstream && downstream == other.downstream;
    }
};

// Open, control request, close: the three calls the plug-in makes on the driver.
struct tDeviceAccess {
    HANDLE (*open)(const char* path);
    BOOL (*control)(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                    DWORD* returned);
    void (*close)(HANDLE device);
};

// The access in use; none puts the real device back.
void SetDeviceAccess(const tDeviceAccess* access);
const tDeviceAccess& DeviceAccess();

// Little-endian 32-bit word at a byte offset of a reply.
uint32_t ReplyWord(const uint8_t* reply, size_t offset);
// A request is answered when the call succeeded and the status word is not "not answered".
bool ReplyAnswered(BOOL called, const uint8_t* reply);
void TakeLineStatus(const uint8_t* reply, tModemReading& reading);
void TakeAtmConnection(const uint8_t* reply, tModemReading& reading);
// One reading: line status, then the ATM connection; the device is opened for each reading.
bool QueryModem(tModemReading& reading);
