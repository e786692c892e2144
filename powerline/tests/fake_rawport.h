// An in-memory stand-in for rawport.dll: adapters the test declares, posted reads the test
// completes with frames or failures, and a record of every frame sent with its time.
#pragma once

#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "powerline/rawport_api.h"

namespace fakerawport {

struct tSentFrame {
    std::string adapter;
    std::vector<uint8_t> bytes;
    DWORD tick;
};

struct tFakeAdapter {
    std::string name;
    uint8_t station[6] = {};
    bool failAddressQuery = false;
    bool failFilterProgram = false;
    int handle = -1;
    uint32_t packetFilter = 0;
    std::vector<uint8_t> program;
    std::deque<std::pair<tRawPacketBuffer*, OVERLAPPED*>> reads;
    int opens = 0;
    int closes = 0;
};

// Installs the fake as the rawport the packet port uses, with these adapters; Uninstall puts
// the real one back.
void Install(const std::vector<tFakeAdapter>& adapters);
void Uninstall();

tFakeAdapter* Adapter(const std::string& name);
// Completes the oldest posted read of an adapter with a frame; false when none is posted.
bool Deliver(const std::string& name, const std::vector<uint8_t>& frame);
// Completes the oldest posted read with a failure status, as when the adapter is unplugged.
bool Fail(const std::string& name);
std::vector<tSentFrame> Sent();
void ClearSent();
// Sends complete late (error 997) when set, as rawport.dll does; at once otherwise.
void SetSendsPending(bool pending);
// Sends report 997 and never complete, as a send stuck in the driver.
void SetSendsNeverComplete(bool never);
size_t PostedReads(const std::string& name);

} // namespace fakerawport
