#include "tools/plcsim/emulator.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <set>
#include <sstream>

namespace {

struct tEntryList {
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> entries;
};

void CollectEntry(uint8_t type, size_t length, const uint8_t* data, void* context)
{
    static_cast<tEntryList*>(context)->entries.emplace_back(type, std::vector<uint8_t>(data, data + length));
}

uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// The WhoIsThere of a PC: sent with do-not-fragment and from 0.0.0.0, so it is recognised
// here by its shape rather than by the stricter checks the PC applies to Hello frames.
bool IsWhoIsThere(const uint8_t* frame, size_t length)
{
    if (length < kEthernetHeader + 20 || Get16(frame + 12) != kEtherTypeIPv4)
        return false;
    const uint8_t* ip = frame + kEthernetHeader;
    size_t headerLength = static_cast<size_t>(ip[0] & 0x0F) * 4;
    if ((ip[0] >> 4) != 4 || headerLength < 20 || ip[9] != 17 ||
        length < kEthernetHeader + headerLength + 8 + 5)
        return false;
    const uint8_t* udp = ip + headerLength;
    return Get16(udp + 2) == kAudioPort && memcmp(udp + 8, "\x8B\x30\xB6\x01\x01", 5) == 0;
}

std::string MacText(const uint8_t* bytes)
{
    return MacToText(MacFromBytes(bytes), ":");
}

// FNV-1a: different texts, different keys; nothing more is asked of the stand-in.
tNetworkKey StandInDerivation(const std::string& password)
{
    uint64_t hash = 14695981039346656037ull;
    for (char c : password)
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    tNetworkKey key;
    for (size_t i = 0; i < kNetworkKeyLength; ++i)
        key.bytes[i] = static_cast<uint8_t>(hash >> (8 * i));
    return key;
}

// The key entry inside the vendor's remote key frame, from its EtherType at byte 27 on.
const size_t kInnerFrame = 27;

const size_t kEepromEks = 14;
const size_t kEepromKey = 15;
const size_t kEepromConfiguration = 23;

} // namespace

CEmulator::CEmulator(const tScenario& scenario, tKeyDerivation derive)
    : m_devices(scenario.devices), m_keys(scenario.devices.size()), m_derive(derive ? derive : StandInDerivation)
{
    for (size_t i = 0; i < m_devices.size(); ++i) {
        const tEmulatedDevice& d = m_devices[i];
        tDeviceKeys& keys = m_keys[i];
        keys.nek = KeyOfText(d.key, d.keyIsPassword);
        if (!d.securityId.empty()) {
            std::string id;
            for (char c : d.securityId)
                if (c != '-' && c != ' ')
                    id += c;
            keys.hasDak = true;
            keys.dak = m_derive(id);
        }
        keys.eeprom[kEepromConfiguration] = 0x40;
        keys.eeprom[kEepromConfiguration + 2] = 0x01;
        for (size_t b = 0; b < d.eeprom.size() && b < sizeof keys.eeprom; ++b)
            keys.eeprom[b] = d.eeprom[b];
        keys.eeprom[kEepromEks] = 0x01;
        memcpy(keys.eeprom + kEepromKey, keys.nek.bytes, kNetworkKeyLength);
    }
}

tNetworkKey CEmulator::KeyOfText(const std::string& text, bool password) const
{
    tNetworkKey key;
    if (!password && text == "default")
        return m_derive(kDefaultNetworkPassword);
    if (!password && KeyFromHex(text, key))
        return key;
    return m_derive(text);
}

bool CEmulator::IsOwnAddress(const tMacAddress& address) const
{
    return Find(address) != nullptr;
}

std::vector<std::string> CEmulator::Ports() const
{
    std::set<std::string> ports;
    for (const tEmulatedDevice& d : m_devices)
        if (d.role == ROLE_LOCAL && !d.port.empty())
            ports.insert(d.port);
    return std::vector<std::string>(ports.begin(), ports.end());
}

const tEmulatedDevice* CEmulator::Find(const tMacAddress& address) const
{
    for (const tEmulatedDevice& d : m_devices)
        if (d.address == address)
            return &d;
    return nullptr;
}

tEmulatedDevice* CEmulator::FindByName(const std::string& name)
{
    for (tEmulatedDevice& d : m_devices)
        if (strcasecmp(d.name.c_str(), name.c_str()) == 0)
            return &d;
    return nullptr;
}

std::vector<const tEmulatedDevice*> CEmulator::LocalsOn(const std::string& port) const
{
    std::vector<const tEmulatedDevice*> locals;
    for (const tEmulatedDevice& d : m_devices)
        if (d.role == ROLE_LOCAL && d.plugged &&
            (d.port.empty() || strcasecmp(d.port.c_str(), port.c_str()) == 0))
            locals.push_back(&d);
    return locals;
}

std::vector<const tEmulatedDevice*> CEmulator::RemotesOf(const tEmulatedDevice& local) const
{
    std::vector<const tEmulatedDevice*> remotes;
    for (const tEmulatedDevice& d : m_devices)
        if (d.role == ROLE_REMOTE && d.plugged && Keys(&d).nek == Keys(&local).nek)
            remotes.push_back(&d);
    return remotes;
}

void CEmulator::Answer(std::vector<tEmulatorFrame>& out, tFrameBytes bytes, const std::string& what)
{
    if (bytes.empty())
        return;
    tEmulatorFrame answer;
    answer.bytes = std::move(bytes);
    answer.description = what;
    out.push_back(std::move(answer));
}

std::vector<tEmulatorFrame> CEmulator::OnFrame(const std::string& port, const uint8_t* frame, size_t length)
{
    std::vector<tEmulatorFrame> out;
    if (!frame || length < kEthernetHeader)
        return out;
    tMacAddress destination = MacFromBytes(frame);
    tMacAddress requester = MacFromBytes(frame + 6);
    if (IsOwnAddress(requester))
        return out; // our own answers, seen again on the link

    std::vector<const tEmulatedDevice*> locals = LocalsOn(port);
    // Everything this port reaches: its local devices and the remote devices they see.
    std::vector<const tEmulatedDevice*> reachable = locals;
    for (const tEmulatedDevice* local : locals)
        for (const tEmulatedDevice* remote : RemotesOf(*local))
            if (std::find(reachable.begin(), reachable.end(), remote) == reachable.end())
                reachable.push_back(remote);
    bool broadcast = destination == MacBroadcast();

    if (IsWhoIsThere(frame, length)) {
        for (const tEmulatedDevice* d : reachable) {
            if (!d->audio || (!broadcast && d->address != destination))
                continue;
            tHelloAnnouncement hello;
            hello.stream = d->stream;
            hello.state = d->state;
            hello.ip = d->ip;
            hello.httpPort = d->httpPort;
            hello.station = d->address;
            hello.path = d->path;
            Answer(out, AnswerHello(requester, d->address, d->ip, hello), "Hello from " + d->name);
        }
        return out;
    }

    tEntryList entries;
    MgmtParse(frame, length, CollectEntry, &entries);
    for (const auto& entry : entries.entries) {
        uint8_t type = entry.first;
        const std::vector<uint8_t>& data = entry.second;
        if (type == kEntryStatReq) {
            for (const tEmulatedDevice* d : reachable)
                if (broadcast || d->address == destination)
                    Answer(out, AnswerStatRsp(requester, d->address), "StatRsp from " + d->name);
        } else if (type == kEntryNetStat && data.size() == kNetStatLength && (data[0] & 0x80)) {
            for (const tEmulatedDevice* local : locals) {
                if (local->kind != KIND_HOMEPLUG || (!broadcast && local->address != destination))
                    continue;
                std::vector<tStationRate> stations;
                for (const tEmulatedDevice* remote : RemotesOf(*local)) {
                    if (stations.size() == static_cast<size_t>(kNetStatRecords))
                        break;
                    tMacAddress address = remote->address;
                    if (remote->group)
                        address.bytes[0] |= 1;
                    stations.push_back({address, remote->rate});
                }
                Answer(out, AnswerNetStat(requester, local->address, stations), "NetStat from " + local->name);
            }
        } else if (type == kEntryVendor && IsZivudEntry(data.size(), data.data())) {
            int subtype = ZivudSubtype(data.data());
            if (subtype == kZivudDeviceDescription) {
                for (const tEmulatedDevice* d : reachable)
                    if (d->kind == KIND_HS && (broadcast || d->address == destination))
                        Answer(out, AnswerDeviceDescription(requester, d->address, d->role == ROLE_REMOTE),
                               std::string("ZivudDevDsc (") + (d->role == ROLE_REMOTE ? "remote" : "local") +
                                   ") from " + d->name);
            } else if (subtype == kZivudQuality) {
                for (const tEmulatedDevice* local : locals) {
                    if (local->kind != KIND_HS || (!broadcast && local->address != destination))
                        continue;
                    std::vector<tStationRate> stations;
                    for (const tEmulatedDevice* remote : RemotesOf(*local))
                        stations.push_back({remote->address, remote->quality});
                    Answer(out, AnswerQuality(requester, local->address, stations), "ZivudQuality from " + local->name);
                }
            }
        }
    }
    OnKeyEntries(out, locals, destination, requester, frame, length);
    return out;
}

void CEmulator::SetKey(const tEmulatedDevice* local, uint8_t eks, const tNetworkKey& key)
{
    tDeviceKeys& keys = Keys(local);
    if (eks == 0x00) {
        keys.dek = key;
        keys.hasDek = true;
    } else {
        keys.nek = key;
        // Through the default key slot the key reaches the remote device of that access key;
        // the slot serves one key.
        if (local->kind == KIND_HOMEPLUG && keys.hasDek) {
            for (const tEmulatedDevice& d : m_devices)
                if (d.role == ROLE_REMOTE && d.plugged && Keys(&d).hasDak && Keys(&d).dak == keys.dek)
                    m_keys[IndexOf(&d)].nek = key;
            keys.hasDek = false;
        }
    }
    keys.eeprom[kEepromEks] = eks;
    memcpy(keys.eeprom + kEepromKey, key.bytes, kNetworkKeyLength);
}

void CEmulator::OnKeyEntries(std::vector<tEmulatorFrame>& out, const std::vector<const tEmulatedDevice*>& locals,
                             const tMacAddress& destination, const tMacAddress& requester, const uint8_t* frame,
                             size_t length)
{
    tEntryList entries;
    MgmtParse(frame, length, CollectEntry, &entries);
    bool broadcast = destination == MacBroadcast();
    std::vector<const tEmulatedDevice*> addressed;
    for (const tEmulatedDevice* local : locals)
        if (broadcast || local->address == destination)
            addressed.push_back(local);
    for (const auto& entry : entries.entries) {
        uint8_t type = entry.first;
        const std::vector<uint8_t>& data = entry.second;
        if (type == 0x19 && data.size() == 15) {
            for (const tEmulatedDevice* local : addressed)
                Answer(out, AnswerEeprom(requester, local->address, Keys(local).eeprom), "EEPROM from " + local->name);
        } else if (type == 0x04 && data.size() == 1 + kNetworkKeyLength) {
            tNetworkKey key;
            memcpy(key.bytes, data.data() + 1, kNetworkKeyLength);
            for (const tEmulatedDevice* local : addressed) {
                SetKey(local, data[0], key);
                if (local->kind == KIND_HS && data[0] == 0x01)
                    Answer(out, AnswerSetKeyConfirm(requester, local->address), "SetKeyConfirm from " + local->name);
            }
            if (!addressed.empty() || broadcast)
                continue;
            // A key for a remote device of the vendor kind, carried by a local adapter of that
            // kind over the network both are in; confirmed before the device takes it.
            const tEmulatedDevice* remote = Find(destination);
            if (!remote || remote->role != ROLE_REMOTE || remote->kind != KIND_HS || !remote->plugged ||
                data[0] != 0x01)
                continue;
            for (const tEmulatedDevice* local : locals)
                if (local->kind == KIND_HS && Keys(local).nek == Keys(remote).nek) {
                    Answer(out, AnswerSetKeyConfirm(requester, remote->address), "SetKeyConfirm from " + remote->name);
                    m_keys[IndexOf(remote)].nek = key;
                    break;
                }
        } else if (type == 0x1F && data.size() == 3) {
            for (const tEmulatedDevice* local : addressed)
                if (!(data[1] & 0x01))
                    memcpy(m_keys[IndexOf(local)].eeprom + kEepromConfiguration, data.data(), 3);
        } else if (type == 0x14 && data.size() == 2 + kNetworkKeyLength && data[0] == 0x01) {
            const uint8_t* inner = frame + kInnerFrame;
            if (length < kInnerFrame + 6 + kNetworkKeyLength || inner[0] != 0x88 || inner[1] != 0x7B ||
                inner[3] != 0x04 || inner[4] != 1 + kNetworkKeyLength || inner[5] != 0x01)
                continue;
            tNetworkKey dak, key;
            memcpy(dak.bytes, data.data() + 2, kNetworkKeyLength);
            memcpy(key.bytes, inner + 6, kNetworkKeyLength);
            const tEmulatedDevice* carrier = nullptr;
            for (const tEmulatedDevice* local : locals)
                if (local->kind == KIND_HS)
                    carrier = local;
            if (!carrier)
                continue;
            for (const tEmulatedDevice& d : m_devices) {
                const tDeviceKeys& keys = Keys(&d);
                if (d.role != ROLE_REMOTE || d.kind != KIND_HS || !d.plugged || !keys.hasDak || keys.dak != dak ||
                    (!broadcast && d.address != destination))
                    continue;
                m_keys[IndexOf(&d)].nek = key;
                if (key == Keys(carrier).nek)
                    Answer(out, AnswerSetKeyConfirm(requester, d.address), "SetKeyConfirm from " + d.name);
            }
        }
    }
}

std::string CEmulator::Describe(const uint8_t* frame, size_t length)
{
    if (length < kEthernetHeader)
        return "runt frame";
    std::string text = MacText(frame + 6) + " > " + MacText(frame) + " ";
    if (IsWhoIsThere(frame, length))
        return text + "WhoIsThere";
    tUdpPayload udp;
    tHello hello;
    if (CheckUdpFrame(frame, length, udp) && ParseHello(udp.data, udp.length, hello))
        return text + "Hello";
    tEntryList entries;
    if (!MgmtParse(frame, length, CollectEntry, &entries) && entries.entries.empty())
        return text + "other (EtherType " + std::to_string(Get16(frame + 12)) + ", " + std::to_string(length) + " bytes)";
    for (const auto& entry : entries.entries) {
        const std::vector<uint8_t>& d = entry.second;
        switch (entry.first) {
        case kEntryStatReq: text += "StatReq "; break;
        case kEntryStatRsp: text += "StatRsp "; break;
        case kEntryNetStat: text += (!d.empty() && (d[0] & 0x80)) ? "NetStatReq " : "NetStat "; break;
        case kEntryVendor:
            if (IsZivudEntry(d.size(), d.data()))
                text += ZivudSubtype(d.data()) == kZivudQuality ? "ZivudQuality " : "ZivudDevDsc ";
            else
                text += "vendor ";
            break;
        case 0x04: text += "SetKey(eks=" + std::to_string(d.empty() ? -1 : d[0]) + ") "; break;
        case 0x06: text += "SetKeyConfirm "; break;
        case 0x14: text += "RemoteKey "; break;
        case 0x19: text += d.size() == 15 ? "EepromRead " : "Eeprom "; break;
        case 0x1F: text += "Configuration "; break;
        default: text += "entry " + std::to_string(entry.first) + " ";
        }
    }
    return text.substr(0, text.size() - 1);
}

bool CEmulator::Command(const std::string& line, std::string& reply)
{
    std::istringstream in(line);
    std::string verb, name, value;
    in >> verb >> name >> value;
    if (verb.empty())
        return true;
    if (verb == "list") {
        std::ostringstream list;
        for (const tEmulatedDevice& d : m_devices)
            list << (list.tellp() > 0 ? "\n" : "") << d.name << " " << MacToText(d.address, ":") << " "
                 << (d.role == ROLE_LOCAL ? "local" : "remote") << " " << (d.kind == KIND_HS ? "hs" : "homeplug")
                 << (d.plugged ? " plugged" : " unplugged") << " key=" << KeyToHex(Keys(&d).nek) << " rate=" << d.rate
                 << " quality=" << d.quality;
        reply = list.str();
        return true;
    }
    if (verb == "keys") {
        std::ostringstream list;
        for (const tEmulatedDevice& d : m_devices) {
            const tDeviceKeys& keys = Keys(&d);
            list << "keys " << d.name << " nek=" << KeyToHex(keys.nek) << " dak=" << (keys.hasDak ? KeyToHex(keys.dak) : "-")
                 << " dek=" << (keys.hasDek ? KeyToHex(keys.dek) : "-") << "\n";
        }
        list << "keys end";
        reply = list.str();
        return true;
    }
    tEmulatedDevice* device = FindByName(name);
    if (!device) {
        reply = "error: no device " + name;
        return false;
    }
    unsigned long number = 0;
    bool numeric = !value.empty() && value.size() <= 5 && value.find_first_not_of("0123456789") == std::string::npos &&
                   (number = strtoul(value.c_str(), nullptr, 10)) <= 0xFFFF;
    if (verb == "plug" || verb == "unplug") {
        device->plugged = verb == "plug";
    } else if (verb == "rate" && numeric) {
        device->rate = static_cast<uint16_t>(number);
    } else if (verb == "quality" && numeric) {
        device->quality = static_cast<uint16_t>(number);
    } else if (verb == "key" && !value.empty()) {
        device->key = value;
        device->keyIsPassword = false;
        m_keys[IndexOf(device)].nek = KeyOfText(value, false);
    } else {
        reply = "error: commands are plug NAME, unplug NAME, rate NAME RAW, quality NAME RAW, key NAME KEY, list, keys, burst COUNT MS, quit";
        return false;
    }
    reply = "ok " + verb + " " + device->name + (value.empty() ? "" : " " + value);
    return true;
}
