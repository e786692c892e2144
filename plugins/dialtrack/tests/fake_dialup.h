// A dial-up world in memory for the plug-in's tests and benchmark: RAS connections that appear,
// carry traffic and vanish, TAPI lines with names, 32-bit counters and tick counts that wrap,
// the old RAS generation with its registry counters, and hang-up that ends a connection. It is
// installed as the plug-in's service table for its lifetime.
#pragma once

#include <windows.h>

#include <stdint.h>

#include <deque>
#include <string>
#include <vector>

#include "common/raii.h"
#include "plugins/dialtrack/dial_api.h"

struct tFakeConnection {
    HRASCONN handle = nullptr;
    std::string entryName;
    std::string deviceName;
    std::string deviceType = "modem";
    uint64_t received = 0; // what has crossed the line; RAS reports the low 32 bits
    uint64_t sent = 0;
    uint32_t receiveRate = 0; // bytes per second while time advances
    uint32_t sendRate = 0;
    uint64_t connectMs = 0; // RAS's connect duration
    bool statisticsFail = false;
};

struct tFakeLine {
    std::string name;
    bool negotiateFails = false;
    bool capsFail = false;
};

class CFakeDialup {
public:
    CFakeDialup();
    ~CFakeDialup();
    CFakeDialup(const CFakeDialup&) = delete;
    CFakeDialup& operator=(const CFakeDialup&) = delete;

    // The system: 4.x is old RAS, 5.0 Windows 2000, anything later the current form.
    DWORD major = 5;
    DWORD minor = 1;
    // Width of the handle in the entries RAS fills (4 stands for a 32-bit system).
    size_t handleSize = sizeof(void*);
    DWORD tick = 1000000;
    uint64_t systemTime = 0; // FILETIME, UTC
    std::vector<tFakeConnection> connections;
    std::vector<tFakeLine> lines;
    bool tapiFails = false;
    // The dynamic registry of old RAS: one pair of counters for the dial-up adapter.
    bool oldRasKey = true;
    DWORD oldRasReceived = 0;
    DWORD oldRasSent = 0;
    // The next `enumFailures` enumerations answer `enumError`.
    DWORD enumError = 0;
    int enumFailures = 0;

    // What the plug-in did.
    std::vector<HRASCONN> hangUps;
    std::vector<DWORD> enumEntrySizes;
    std::vector<DWORD> enumBufferSizes;
    std::vector<DWORD> capsSizes;
    int statisticsCalls = 0;
    int shutdowns = 0;
    std::string appName;
    DWORD initOptions = 0;
    std::deque<LINEMESSAGE> messages;
    raii::CHandle tapiEvent{CreateEventA(nullptr, FALSE, FALSE, nullptr)};

    // A connection that appears now (it shows in the next enumeration).
    tFakeConnection& Dial(uintptr_t handle, const std::string& entryName, const std::string& deviceName);
    tFakeConnection* Find(HRASCONN handle);
    void Drop(HRASCONN handle);
    // Lets time pass: ticks (wrapping at 32 bits), the clock, every connection's duration and
    // traffic, and the old RAS registry counters.
    void Advance(uint32_t milliseconds);
    // Sets the clock to a UTC moment.
    void SetClock(int year, int month, int day, int hour, int minute, int second);
};
