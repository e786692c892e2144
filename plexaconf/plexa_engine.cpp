#include "plexaconf/plexa_engine.h"

#include <bcrypt.h>

#include "common/trace.h"

namespace {

// How often the generator may hit the default key in a row before we give up: never, unless
// the generator is broken.
const int kRandomDraws = 16;

} // namespace

bool SystemRandom(uint8_t* buffer, size_t length)
{
    return BCryptGenRandom(nullptr, buffer, static_cast<ULONG>(length), BCRYPT_USE_SYSTEM_PREFERRED_RNG) == 0;
}

CPlexaEngine::CPlexaEngine(CAdapterLayer& layer, tRandomSource random) : m_layer(layer), m_random(std::move(random)) {}

bool CPlexaEngine::RandomKey(tNetworkKey& out)
{
    for (int draw = 0; draw < kRandomDraws; ++draw) {
        tNetworkKey key;
        if (!m_random(key.bytes, sizeof key.bytes))
            break;
        if (key != DefaultNetworkKey()) {
            out = key;
            return true;
        }
    }
    TraceHere("no random key\n");
    return false;
}

int CPlexaEngine::SetLocalNEK(const tMacAddress& adapter, const tNetworkKey& nek)
{
    raii::CLock lock(m_lock);
    std::shared_ptr<CInternalAdapter> internal = m_layer.AdapterOfLocal(adapter);
    std::shared_ptr<CLocalPlexaAdapter> local = internal ? internal->FindLocal(adapter) : nullptr;
    if (!local)
        return 0;
    if (local->Kind() == ADAPTER_ZIVUD)
        return internal->SetLocalZivudNEK(nek) || internal->SetLocalZivudNEK(nek) ? ADAPTER_ZIVUD : 0;

    const tKeyTimings& timings = internal->Timings();
    if (!internal->ReceiveEEPROMSync(adapter, timings.eepromWait))
        return 0;
    internal->SetLocalHP1NEK(nek);
    for (int attempt = 0; attempt < timings.eepromChecks; ++attempt) {
        tNetworkKey shown;
        if (internal->ReceiveEEPROMSync(adapter, timings.eepromWait) && local->ImageKey(shown) && shown == nek) {
            TraceHere("EEPROM check succesful after %d steps\n", attempt);
            return ADAPTER_HOMEPLUG;
        }
    }
    TraceHere("EEPROM check failed\n");
    return 0;
}

int CPlexaEngine::AddRemote(const tNetworkKey* nek, const tNetworkKey& dak, tMacAddress& found)
{
    raii::CLock lock(m_lock);
    tNetworkKey random;
    if (!RandomKey(random))
        return kAddRemoteLocalFailed;
    TraceHere("Random NEK: %s\n", KeyToHex(random).c_str());
    for (const std::shared_ptr<CInternalAdapter>& adapter : m_layer.Adapters()) {
        std::shared_ptr<CLocalPlexaAdapter> local = adapter->LocalAdapter();
        if (!local)
            continue;
        if (!SetLocalNEK(local->Address(), random))
            return kAddRemoteLocalFailed;
        tMacAddress remote = MacZero();
        int result = adapter->SetDevice(&dak, random, MacBroadcast(), true, remote);
        if (result == 0)
            continue;
        found = remote;
        if (!nek)
            return result;
        TraceHere("addRemote received NEK\n");
        if (!SetLocalNEK(local->Address(), *nek) && !SetLocalNEK(local->Address(), *nek))
            return 0;
        return adapter->SetDevice(&dak, *nek, MacBroadcast(), false, remote);
    }
    return 0;
}

int CPlexaEngine::SetKnownRemote(const tNetworkKey* dak, const tNetworkKey& nek, const tMacAddress& address)
{
    raii::CLock lock(m_lock);
    for (const std::shared_ptr<CInternalAdapter>& adapter : m_layer.Adapters()) {
        std::shared_ptr<CLocalPlexaAdapter> local = adapter->LocalAdapter();
        if (!local)
            continue;
        if (!SetLocalNEK(local->Address(), nek) && !SetLocalNEK(local->Address(), nek))
            return 0;
        tMacAddress found = MacZero();
        return adapter->SetDevice(dak, nek, address, false, found);
    }
    return 0;
}
