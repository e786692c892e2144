// The behaviour of the emulated powerline devices: which of them answer a frame that arrives
// from the PC on one Ethernet port, and with what. Only devices with equal network keys see
// each other; local devices always hear their own Ethernet port. Pure logic, no network.
//
// Keys, as the adapters keep them:
// - every device holds a network key (NEK); a device of the mains is reached only while it
//   holds the NEK of a local adapter on the port;
// - a local adapter has an EEPROM block (read with entry 0x19) that shows the key written last
//   (key select at byte 14, key at 15-22) and three configuration bytes (23-25); a
//   configuration entry whose second byte has bit 0 set is applied but not kept there;
// - a HomePlug 1.0 local adapter has a default key slot (DEK, key select 0): once it holds a
//   remote device's access key (DAK, from its security ID), the next network key set on the
//   local adapter reaches that remote device as well, and no other;
// - an adapter of the vendor kind confirms its own key with entry 0x06, and passes the
//   vendor's remote key frame (entry 0x14 with a DAK) to the remote devices of the vendor
//   kind holding that DAK, which take the key and confirm it once they share the local
//   adapter's key; a key entry addressed to such a remote device reaches it while it is
//   reachable.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "powerline/network_key.h"
#include "tools/plcsim/answers.h"
#include "tools/plcsim/scenario.h"

// A network password to its key. The emulator is given the real derivation by plcsim.exe;
// without one (the fuzz target) it uses a stand-in that keeps different texts apart.
typedef tNetworkKey (*tKeyDerivation)(const std::string& password);

// What a device holds at run time.
struct tDeviceKeys {
    tNetworkKey nek = {};
    bool hasDak = false;
    tNetworkKey dak = {};
    bool hasDek = false; // local HomePlug 1.0 adapters
    tNetworkKey dek = {};
    uint8_t eeprom[51] = {}; // local adapters
};

struct tEmulatorFrame {
    std::vector<uint8_t> bytes;
    std::string description; // for the frame log
};

class CEmulator {
public:
    explicit CEmulator(const tScenario& scenario, tKeyDerivation derive = nullptr);

    // Answers to a frame received on the given port (the adapter's name or description).
    std::vector<tEmulatorFrame> OnFrame(const std::string& port, const uint8_t* frame, size_t length);
    // One line of what a frame is, for the frame log.
    static std::string Describe(const uint8_t* frame, size_t length);

    // Commands: plug NAME, unplug NAME, rate NAME RAW, quality NAME RAW, key NAME KEY, list,
    // keys (every device's keys, one line each: "keys NAME nek=HEX dak=HEX dek=HEX", "-" for
    // none, then "keys end").
    bool Command(const std::string& line, std::string& reply);

    bool IsOwnAddress(const tMacAddress& address) const;
    const std::vector<tEmulatedDevice>& Devices() const { return m_devices; }
    const tDeviceKeys& KeysOf(size_t device) const { return m_keys[device]; }
    // Ports named by the local devices (empty ones left out).
    std::vector<std::string> Ports() const;

private:
    std::vector<const tEmulatedDevice*> LocalsOn(const std::string& port) const;
    std::vector<const tEmulatedDevice*> RemotesOf(const tEmulatedDevice& local) const;
    const tEmulatedDevice* Find(const tMacAddress& address) const;
    size_t IndexOf(const tEmulatedDevice* device) const { return static_cast<size_t>(device - m_devices.data()); }
    tDeviceKeys& Keys(const tEmulatedDevice* device) { return m_keys[IndexOf(device)]; }
    const tDeviceKeys& Keys(const tEmulatedDevice* device) const { return m_keys[IndexOf(device)]; }
    tNetworkKey KeyOfText(const std::string& text, bool password) const;
    // The key frames: set key (with configuration), EEPROM reads, the vendor's remote key.
    void OnKeyEntries(std::vector<tEmulatorFrame>& out, const std::vector<const tEmulatedDevice*>& locals,
                      const tMacAddress& destination, const tMacAddress& requester, const uint8_t* frame,
                      size_t length);
    void SetKey(const tEmulatedDevice* local, uint8_t eks, const tNetworkKey& key);
    tEmulatedDevice* FindByName(const std::string& name);
    static void Answer(std::vector<tEmulatorFrame>& out, tFrameBytes bytes, const std::string& what);

    std::vector<tEmulatedDevice> m_devices;
    std::vector<tDeviceKeys> m_keys;
    tKeyDerivation m_derive;
};
