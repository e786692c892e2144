// What tandem hosts say to each other, as texts: the request of a connection, listings of
// shares and folders, self-descriptions, and the names and share paths that travel in them.
// Pure logic without windows.h, so that the parsers are fuzzed natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

const unsigned short kAnnouncePort = 12345;
const unsigned short kRequestPort = 12346;
const unsigned short kChatPort = 12347;

// The eight letters every announce datagram starts with (sent with a terminating zero).
extern const char kAnnounceWord[];
// The payload of every keep-alive message.
extern const char kPingPayload[];

// Job types of the server, as the request table classifies a connection's first message.
enum tServerJobType {
    SERVER_JOB_UNKNOWN = 0,
    SERVER_JOB_RETRIEVE = 1,
    SERVER_JOB_PING = 2,
    SERVER_JOB_EXPAND = 3,
    SERVER_JOB_HOSTINFO = 4,
    SERVER_JOB_HOSTINFO_OS = 5,
    // A retrieve that starts at an offset ("resume:" offset ":" share path). Peers that do not
    // know a command close the connection, so new commands need no version handshake: the
    // client falls back to "retrieve".
    SERVER_JOB_RESUME = 6,
};

struct tRequest {
    int type = SERVER_JOB_UNKNOWN;
    // 1 for pings, listings and host info; 0 for downloads and anything unknown.
    bool quick = false;
    // The text after the first ":" (a share path), empty when there is none.
    std::string argument;
};

// Classifies the payload of a connection's first message.
tRequest ParseRequest(const std::string& payload);

// Reads the first message of a connection as its bytes arrive, never taking a byte beyond it:
// what follows (further pings) belongs to the job that serves the connection.
class CRequestReader {
public:
    explicit CRequestReader(int64_t limit) : m_limit(limit) {}
    // How many bytes to take next; 0 once the message is complete.
    size_t Wanted() const;
    // How many of the bytes that are waiting (seen without taking them) belong to the message:
    // a reader that peeks takes a message in two calls rather than one per header byte.
    size_t Span(const char* waiting, size_t size) const;
    // Takes bytes of the message: at most Wanted(), or the Span() of waiting bytes. False when
    // they cannot belong to a message of at most the limit (then nothing more may be given).
    bool Take(const char* data, size_t size);
    bool Complete() const { return m_inPayload && static_cast<int64_t>(m_payload.size()) == m_length; }
    const std::string& Payload() const { return m_payload; }

private:
    int64_t m_limit;
    std::string m_header;
    bool m_inPayload = false;
    bool m_failed = false;
    int64_t m_length = 0;
    std::string m_payload;
};
std::string BuildExpandRequest(const std::string& sharePath);
std::string BuildRetrieveRequest(const std::string& sharePath);
std::string BuildHostInfoRequest(bool askForOs);
std::string BuildResumeRequest(const std::string& sharePath, int64_t offset);
// The argument of a resume request: decimal offset, ":", share path. False for anything else.
bool ParseResumeArgument(const std::string& argument, int64_t& offset, std::string& sharePath);

// One directory entry of a listing: a share, a folder or a file. The host root's is empty.
struct ShareItem {
    std::string name;
    uint64_t size = 0; // 0 for folders and shares
    bool isFolder = false;
};

// Limits on what a listing may hold: a peer must not make us build millions of nodes.
const size_t kListingEntryLimit = 100000;
const size_t kNameLengthLimit = 255;

// name\isfolder\size, entries joined by "\".
std::string BuildListing(const std::vector<ShareItem>& items);
void AppendListingEntry(std::string& listing, const std::string& name, bool isFolder, uint64_t size);

struct tListingParse {
    std::vector<ShareItem> items;
    // Names that are no plain file names ("." and ".." are dropped silently, not listed here).
    std::vector<std::string> refused;
    // Entries beyond the limit, dropped.
    size_t excess = 0;
};
// Reads an expand reply. Every name must be a plain file name (IsSafeEntryName): a listing
// whose names hold separators, drive letters or ".." would steer a folder download outside
// its target folder.
void ParseListing(const std::string& text, tListingParse& out);

// True for a name that stays one entry inside its folder on Windows: not empty, at most
// kNameLengthLimit characters, no control characters, none of \ / : * ? " < > |, not ending in
// "." or blank (Windows drops those, so "..." and ". ." would become ".."), and no device
// name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$, CLOCK$, with any extension).
bool IsSafeEntryName(const std::string& name);

// Splits a share path from a peer: "\" share name, then optionally "\" and folder names each
// ending in "\", optionally followed by a file name. rest is the text after the share name
// ("" or starting with "\"). False for the root "\" and for anything that is not such a path.
bool SplitSharePath(const std::string& path, std::string& share, std::string& rest);

// Joins a local folder and a path relative to it whose parts are separated by "\" (a
// trailing "\" is allowed); false when a part is no safe entry name.
bool JoinLocalPath(const std::string& folder, const std::string& relative, std::string& out);

// What a host tells about itself.
struct HostInfo {
    std::string name;
    std::string version;
    std::string buildTime;
    std::string buildDate;
    std::string os; // only asked for with "ex"
};

const size_t kHostInfoFieldLimit = 255;

// "%i.%i %s ": major, minor, then the link time as "hh:mm:ss DD.MM.YY" and a blank.
std::string FormatVersionText(int major, int minor, int hour, int minute, int second, int day,
                              int month, int year);
// Line 1 the name, line 2 the version text, then "\n", or the OS text and " \n".
std::string BuildHostInfoReply(const std::string& name, const std::string& versionText,
                               bool withOs, const std::string& osText);
// Fields beyond kHostInfoFieldLimit characters are cut there.
void ParseHostInfoReply(const std::string& text, bool askedForOs, HostInfo& out);

// Dotted-quad text of an IPv4 address in network byte order.
std::string FormatAddress(uint32_t address);
