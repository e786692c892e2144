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

} // namespace

CEmulator::CEmulator(const tScenario& scenario) : m_devices(scenario.devices) {}

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
        if (d.role == ROLE_REMOTE && d.plugged && d.key == local.key)
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
    return out;
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
                 << (d.plugged ? " plugged" : " unplugged") << " key=" << d.key << " rate=" << d.rate
                 << " quality=" << d.quality;
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
    } else {
        reply = "error: commands are plug NAME, unplug NAME, rate NAME RAW, quality NAME RAW, key NAME KEY, list, burst COUNT MS, quit";
        return false;
    }
    reply = "ok " + verb + " " + device->name + (value.empty() ? "" : " " + value);
    return true;
}
