// The behaviour of the emulated powerline devices: which of them answer a frame that arrives
// from the PC on one Ethernet port, and with what. Only devices with equal network keys see
// each other; local devices always hear their own Ethernet port. Pure logic, no network.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "tools/plcsim/answers.h"
#include "tools/plcsim/scenario.h"

struct tEmulatorFrame {
    std::vector<uint8_t> bytes;
    std::string description; // for the frame log
};

class CEmulator {
public:
    explicit CEmulator(const tScenario& scenario);

    // Answers to a frame received on the given port (the adapter's name or description).
    std::vector<tEmulatorFrame> OnFrame(const std::string& port, const uint8_t* frame, size_t length);
    // One line of what a frame is, for the frame log.
    static std::string Describe(const uint8_t* frame, size_t length);

    // Commands: plug NAME, unplug NAME, rate NAME RAW, quality NAME RAW, key NAME KEY, list.
    bool Command(const std::string& line, std::string& reply);

    bool IsOwnAddress(const tMacAddress& address) const;
    const std::vector<tEmulatedDevice>& Devices() const { return m_devices; }
    // Ports named by the local devices (empty ones left out).
    std::vector<std::string> Ports() const;

private:
    std::vector<const tEmulatedDevice*> LocalsOn(const std::string& port) const;
    std::vector<const tEmulatedDevice*> RemotesOf(const tEmulatedDevice& local) const;
    const tEmulatedDevice* Find(const tMacAddress& address) const;
    tEmulatedDevice* FindByName(const std::string& name);
    static void Answer(std::vector<tEmulatorFrame>& out, tFrameBytes bytes, const std::string& what);

    std::vector<tEmulatedDevice> m_devices;
};
