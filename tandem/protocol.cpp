#include "tandem/protocol.h"

#include "common/framing.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

const char kAnnounceWord[] = "announce";
const char kPingPayload[] = "ping";

namespace {

// One row of the request table. A new command is one more row.
struct tRequestKind {
    const char* command;
    bool prefix; // the command only has to begin with this text
    int type;
    bool quick;
};

// Order matters: the exact "gethostinfo" is tried before the one that is only a beginning.
const tRequestKind kRequestTable[] = {
    {"ping", true, SERVER_JOB_PING, true},
    {"expand", false, SERVER_JOB_EXPAND, true},
    {"retrieve", false, SERVER_JOB_RETRIEVE, false},
    {"gethostinfo", false, SERVER_JOB_HOSTINFO, true},
    {"gethostinfo", true, SERVER_JOB_HOSTINFO_OS, true},
    {"resume", false, SERVER_JOB_RESUME, false},
};

const char kForbiddenInNames[] = "\\/:*?\"<>|";

// Names the system opens as devices, whatever extension follows.
bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        unsigned char digit = static_cast<unsigned char>(base[3]);
        // The superscript digits of the ANSI code page count as digits to the system.
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

std::vector<std::string> SplitAtBackslash(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\\', start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// Every part a safe name; the last one may be empty (a folder path ends in "\").
bool AreSafeParts(const std::vector<std::string>& parts)
{
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 == parts.size() && parts[i].empty())
            return true;
        if (!IsSafeEntryName(parts[i]))
            return false;
    }
    return true;
}

uint64_t ParseDecimal(const std::string& text)
{
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            break;
        unsigned digit = static_cast<unsigned>(c - '0');
        if (value > (UINT64_MAX - digit) / 10)
            return UINT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// The next field of a listing, from pos up to the next "\" or the end.
std::string NextField(const std::string& text, size_t& pos)
{
    if (pos >= text.size()) {
        pos = text.size() + 1;
        return std::string();
    }
    size_t end = text.find('\\', pos);
    if (end == std::string::npos)
        end = text.size();
    std::string field = text.substr(pos, end - pos);
    pos = end + 1;
    return field;
}

std::string Limited(std::string text)
{
    if (text.size() > kHostInfoFieldLimit)
        text.resize(kHostInfoFieldLimit);
    return text;
}

} // namespace

tRequest ParseRequest(const std::string& payload)
{
    tRequest request;
    size_t colon = payload.find(':');
    std::string command = payload.substr(0, colon);
    if (colon != std::string::npos)
        request.argument = payload.substr(colon + 1);
    for (const tRequestKind& kind : kRequestTable) {
        bool match = kind.prefix ? command.compare(0, strlen(kind.command), kind.command) == 0
                                 : command == kind.command;
        if (match) {
            request.type = kind.type;
            request.quick = kind.quick;
            return request;
        }
    }
    return request;
}

size_t CRequestReader::Wanted() const
{
    if (m_failed || Complete())
        return 0;
    // The length text byte by byte: its end is seen only at the ":".
    if (!m_inPayload)
        return 1;
    return static_cast<size_t>(m_length - static_cast<int64_t>(m_payload.size()));
}

size_t CRequestReader::Span(const char* waiting, size_t size) const
{
    if (m_failed || Complete())
        return 0;
    if (m_inPayload)
        return std::min(size, Wanted());
    const char* colon = static_cast<const char*>(memchr(waiting, ':', size));
    if (!colon)
        return size;
    size_t header = static_cast<size_t>(colon - waiting) + 1;
    int64_t length = 0;
    // A broken length fails when taken: up to its ":" is enough for that.
    if (!ParseFramedLength(m_header + std::string(waiting, header - 1), length) || length > m_limit)
        return header;
    return header + static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(size - header)));
}

bool CRequestReader::Take(const char* data, size_t size)
{
    if (m_failed)
        return false;
    size_t at = 0;
    while (!m_inPayload && at < size) {
        char c = data[at++];
        if (c != ':') {
            if (m_header.size() + 1 >= kFramedHeaderMaximum) {
                m_failed = true;
                return false;
            }
            m_header += c;
            continue;
        }
        if (!ParseFramedLength(m_header, m_length) || m_length > m_limit) {
            m_failed = true;
            return false;
        }
        m_inPayload = true;
        m_payload.reserve(static_cast<size_t>(m_length));
    }
    size_t rest = size - at;
    if (rest > 0 && (!m_inPayload || rest > Wanted())) {
        m_failed = true;
        return false;
    }
    m_payload.append(data + at, rest);
    return true;
}

std::string BuildExpandRequest(const std::string& sharePath)
{
    return "expand:" + sharePath;
}

std::string BuildRetrieveRequest(const std::string& sharePath)
{
    return "retrieve:" + sharePath;
}

std::string BuildHostInfoRequest(bool askForOs)
{
    return askForOs ? "gethostinfoex" : "gethostinfo";
}

std::string BuildResumeRequest(const std::string& sharePath, int64_t offset)
{
    return "resume:" + std::to_string(offset) + ":" + sharePath;
}

bool ParseResumeArgument(const std::string& argument, int64_t& offset, std::string& sharePath)
{
    size_t colon = argument.find(':');
    if (colon == std::string::npos || !ParseFramedLength(argument.substr(0, colon), offset))
        return false;
    sharePath = argument.substr(colon + 1);
    return true;
}

void AppendListingEntry(std::string& listing, const std::string& name, bool isFolder, uint64_t size)
{
    if (!listing.empty())
        listing += '\\';
    listing += name;
    listing += isFolder ? "\\1\\" : "\\0\\";
    listing += std::to_string(isFolder ? 0 : size);
}

std::string BuildListing(const std::vector<ShareItem>& items)
{
    std::string listing;
    for (const ShareItem& item : items)
        AppendListingEntry(listing, item.name, item.isFolder, item.size);
    return listing;
}

void ParseListing(const std::string& text, tListingParse& out)
{
    const size_t kRefusedKept = 16;
    out = tListingParse();
    size_t pos = 0;
    while (pos < text.size()) {
        ShareItem item;
        item.name = NextField(text, pos);
        item.isFolder = NextField(text, pos) == "1";
        item.size = ParseDecimal(NextField(text, pos));
        if (item.name == "." || item.name == "..")
            continue;
        if (!IsSafeEntryName(item.name)) {
            if (out.refused.size() < kRefusedKept)
                out.refused.push_back(item.name.substr(0, 64));
            continue;
        }
        if (out.items.size() >= kListingEntryLimit) {
            ++out.excess;
            continue;
        }
        if (item.isFolder)
            item.size = 0;
        out.items.push_back(std::move(item));
    }
}

bool IsSafeEntryName(const std::string& name)
{
    if (name.empty() || name.size() > kNameLengthLimit)
        return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || strchr(kForbiddenInNames, c))
            return false;
    }
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !IsDeviceName(name);
}

bool SplitSharePath(const std::string& path, std::string& share, std::string& rest)
{
    share.clear();
    rest.clear();
    if (path.size() < 2 || path[0] != '\\')
        return false;
    size_t end = path.find('\\', 1);
    std::string name = path.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    if (!IsSafeEntryName(name))
        return false;
    std::string after = end == std::string::npos ? std::string() : path.substr(end);
    if (!after.empty() && !AreSafeParts(SplitAtBackslash(after.substr(1))))
        return false;
    share = name;
    rest = after;
    return true;
}

bool JoinLocalPath(const std::string& folder, const std::string& relative, std::string& out)
{
    out.clear();
    if (folder.empty() || relative.empty() || !AreSafeParts(SplitAtBackslash(relative)))
        return false;
    out = folder;
    if (out.back() != '\\')
        out += '\\';
    out += relative;
    return true;
}

std::string FormatVersionText(int major, int minor, int hour, int minute, int second, int day,
                              int month, int year)
{
    char text[96];
    snprintf(text, sizeof text, "%i.%i %02d:%02d:%02d %02d.%02d.%02d ", major, minor, hour, minute,
             second, day, month, ((year % 100) + 100) % 100);
    return text;
}

std::string BuildHostInfoReply(const std::string& name, const std::string& versionText,
                               bool withOs, const std::string& osText)
{
    std::string reply = name + "\n" + versionText;
    reply += withOs ? osText + " \n" : "\n";
    return reply;
}

void ParseHostInfoReply(const std::string& text, bool askedForOs, HostInfo& out)
{
    out = HostInfo();
    size_t first = text.find('\n');
    if (first == std::string::npos)
        return;
    out.name = Limited(text.substr(0, first));
    size_t second = text.find('\n', first + 1);
    if (second == std::string::npos)
        return;
    std::string line = text.substr(first + 1, second - first - 1);
    std::string* fields[] = {&out.version, &out.buildTime, &out.buildDate, &out.os};
    size_t count = askedForOs ? 4 : 3;
    size_t start = 0;
    for (size_t i = 0; i < count && start <= line.size(); ++i) {
        size_t blank = line.find(' ', start);
        if (blank == std::string::npos)
            blank = line.size();
        *fields[i] = Limited(line.substr(start, blank - start));
        start = blank + 1;
    }
}

std::string FormatAddress(uint32_t address)
{
    // Network byte order: the first octet is the first byte in memory.
    unsigned char octets[4];
    memcpy(octets, &address, sizeof octets);
    char text[16];
    snprintf(text, sizeof text, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
    return text;
}
