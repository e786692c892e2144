// The key procedures the wizard's pages call: a password to a key, random keys, the network
// key of the local adapter (checked in its EEPROM), a remote adapter brought into reach by its
// security ID, and the final key for an adapter already known. The engine works on the local
// adapters the adapter layer found; its procedures never run two at a time.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/raii.h"
#include "plexaconf/adapter_layer.h"
#include "powerline/network_key.h"

// Results of AddRemote beyond those of SetDevice: the local adapter refused the key, so no
// remote adapter can be reached at all.
const int kAddRemoteLocalFailed = 4;

// Fills a buffer with unpredictable bytes; false when it cannot.
using tRandomSource = std::function<bool(uint8_t* buffer, size_t length)>;
// The system's cryptographic generator.
bool SystemRandom(uint8_t* buffer, size_t length);

class CPlexaEngine {
public:
    explicit CPlexaEngine(CAdapterLayer& layer, tRandomSource random = SystemRandom);
    CPlexaEngine(const CPlexaEngine&) = delete;
    CPlexaEngine& operator=(const CPlexaEngine&) = delete;

    // The network password, a security ID or the default password to its key.
    static tNetworkKey PasswordToKey(const std::string& password) { return KeyFromPassword(password); }
    // A key a neighbour cannot guess, never the default key; false when the system has no
    // random bytes to give.
    bool RandomKey(tNetworkKey& out);

    // 0 failure, 1 set on a HomePlug 1.0 adapter and seen in its EEPROM, 2 set on an adapter
    // of the vendor kind.
    int SetLocalNEK(const tMacAddress& adapter, const tNetworkKey& nek);
    // Reaches the remote adapter that knows the DAK: 0 none answered, 1 or 2 its kind (its
    // address in found), kAddRemoteLocalFailed the local adapter took no key. With a NEK the
    // remote adapter and the local one end up holding it; without, a random key.
    int AddRemote(const tNetworkKey* nek, const tNetworkKey& dak, tMacAddress& found);
    // Gives a known remote adapter the NEK (through its DAK when there is one): SetDevice's
    // results.
    int SetKnownRemote(const tNetworkKey* dak, const tNetworkKey& nek, const tMacAddress& address);

private:
    // Every key procedure holds this: they never overlap.
    raii::CCriticalSection m_lock;
    CAdapterLayer& m_layer;
    tRandomSource m_random;
};
