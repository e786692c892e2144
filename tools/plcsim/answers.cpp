#include "tools/plcsim/answers.h"

namespace {

const size_t kMinimumFrame = 60;
const size_t kLongestFrame = 1514;
const uint16_t kAudioPortNumber = 15472;

class CWriter {
public:
    void Byte(uint8_t value) { m_bytes.push_back(value); }
    void Big16(uint16_t value)
    {
        Byte(static_cast<uint8_t>(value >> 8));
        Byte(static_cast<uint8_t>(value & 0xFF));
    }
    void Little16(uint16_t value)
    {
        Byte(static_cast<uint8_t>(value & 0xFF));
        Byte(static_cast<uint8_t>(value >> 8));
    }
    void Address(const tMacAddress& address) { m_bytes.insert(m_bytes.end(), address.bytes, address.bytes + 6); }
    // An address in network order, as it lies in memory.
    void Ipv4(uint32_t address)
    {
        const uint8_t* b = reinterpret_cast<const uint8_t*>(&address);
        m_bytes.insert(m_bytes.end(), b, b + 4);
    }
    void Zeros(size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }
    void Text(const std::string& text) { m_bytes.insert(m_bytes.end(), text.begin(), text.end()); }
    size_t Size() const { return m_bytes.size(); }
    uint8_t& At(size_t position) { return m_bytes[position]; }
    tFrameBytes Finish()
    {
        if (m_bytes.size() < kMinimumFrame)
            m_bytes.resize(kMinimumFrame, 0);
        return std::move(m_bytes);
    }

private:
    tFrameBytes m_bytes;
};

// Ethernet header and the entry count of a management frame with one entry.
void ManagementHeader(CWriter& out, const tMacAddress& to, const tMacAddress& from, uint8_t type, uint8_t length)
{
    out.Address(to);
    out.Address(from);
    out.Big16(0x887B);
    out.Byte(1);
    out.Byte(type);
    out.Byte(length);
}

// The ones'-complement sum of big-endian 16-bit words, folded.
uint32_t WordSum(const uint8_t* bytes, size_t length, uint32_t sum)
{
    for (size_t i = 0; i < length; i += 2)
        sum += static_cast<uint32_t>(bytes[i] << 8) | (i + 1 < length ? bytes[i + 1] : 0);
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return sum;
}

void PutChecksum(uint8_t& high, uint8_t& low, uint32_t sum)
{
    uint16_t value = static_cast<uint16_t>(~sum & 0xFFFF);
    high = static_cast<uint8_t>(value >> 8);
    low = static_cast<uint8_t>(value & 0xFF);
}

} // namespace

tFrameBytes AnswerStatRsp(const tMacAddress& to, const tMacAddress& from)
{
    CWriter out;
    ManagementHeader(out, to, from, 0x08, 22);
    out.Zeros(22);
    return out.Finish();
}

tFrameBytes AnswerNetStat(const tMacAddress& to, const tMacAddress& from, const std::vector<tStationRate>& stations)
{
    CWriter out;
    ManagementHeader(out, to, from, 0x1A, 187);
    out.Zeros(7); // byte 0 with bit 7 clear: an answer
    for (size_t i = 0; i < 15; ++i) {
        if (i < stations.size()) {
            out.Address(stations[i].address);
            out.Little16(stations[i].raw);
            out.Zeros(4);
        } else {
            out.Zeros(12);
        }
    }
    return out.Finish();
}

tFrameBytes AnswerDeviceDescription(const tMacAddress& to, const tMacAddress& from, bool remote)
{
    CWriter out;
    ManagementHeader(out, to, from, 0x02, 16);
    out.Byte(0x00);
    out.Byte(0x04);
    out.Byte(0x87);
    out.Byte(0x90);
    out.Byte(remote ? 0x01 : 0x00);
    out.Zeros(11);
    return out.Finish();
}

tFrameBytes AnswerQuality(const tMacAddress& to, const tMacAddress& from, const std::vector<tStationRate>& stations)
{
    size_t count = stations.size() < 31 ? stations.size() : 31;
    CWriter out;
    ManagementHeader(out, to, from, 0x02, static_cast<uint8_t>(4 + 8 * count));
    out.Byte(0x00);
    out.Byte(0x04);
    out.Byte(0x87);
    out.Byte(0x98);
    for (size_t i = 0; i < count; ++i) {
        out.Address(stations[i].address);
        out.Big16(stations[i].raw);
    }
    return out.Finish();
}

tFrameBytes AnswerHello(const tMacAddress& to, const tMacAddress& from, uint32_t sourceIp,
                        const tHelloAnnouncement& hello)
{
    size_t payload = 25 + hello.path.size();
    if (14 + 20 + 8 + payload > kLongestFrame)
        return tFrameBytes();
    CWriter out;
    out.Address(to);
    out.Address(from);
    out.Big16(0x0800);
    const size_t ip = out.Size();
    out.Byte(0x45);
    out.Byte(0);
    out.Big16(static_cast<uint16_t>(20 + 8 + payload));
    out.Big16(0x1234);
    out.Big16(0); // may be fragmented: the receiver drops datagrams that say otherwise
    out.Byte(64);
    out.Byte(17);
    out.Big16(0); // header checksum, below
    out.Ipv4(sourceIp);
    out.Ipv4(0xFFFFFFFFu);
    const size_t udp = out.Size();
    out.Big16(kAudioPortNumber);
    out.Big16(kAudioPortNumber);
    out.Big16(static_cast<uint16_t>(8 + payload));
    out.Big16(0); // UDP checksum, below
    out.Byte(0x8B);
    out.Byte(0x30);
    out.Byte(0xB6);
    out.Byte(0x01); // version
    out.Byte(0x00); // Hello
    out.Byte(hello.stream ? 1 : 0);
    out.Byte(hello.state);
    out.Zeros(4);
    out.Ipv4(hello.ip);
    out.Big16(hello.httpPort);
    out.Address(hello.station);
    out.Big16(static_cast<uint16_t>(hello.path.size()));
    out.Text(hello.path);

    PutChecksum(out.At(ip + 10), out.At(ip + 11), WordSum(&out.At(ip), 20, 0));
    uint8_t pseudo[12] = {};
    for (int i = 0; i < 8; ++i)
        pseudo[i] = out.At(ip + 12 + static_cast<size_t>(i));
    pseudo[9] = 17;
    pseudo[10] = out.At(udp + 4);
    pseudo[11] = out.At(udp + 5);
    uint32_t sum = WordSum(&out.At(udp), 8 + payload, WordSum(pseudo, sizeof pseudo, 0));
    PutChecksum(out.At(udp + 6), out.At(udp + 7), sum);
    if (out.At(udp + 6) == 0 && out.At(udp + 7) == 0)
        out.At(udp + 6) = out.At(udp + 7) = 0xFF; // zero means "no checksum"
    return out.Finish();
}
