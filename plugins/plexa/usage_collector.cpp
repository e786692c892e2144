#include "plugins/plexa/usage_collector.h"

#include <objbase.h>
#include <wininet.h>

#include <stdio.h>

#include <memory>
#include <vector>

#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
#include <cryptopp/md5.h>
#include <zlib.h>

#include "plugins/plexa/usage_file.h"


const char kCollectorKey[] = "software\\velmora\\Plexa";

namespace {

const DWORD kWatchdogMs = 2000;
const DWORD kTimerGraceMs = 200;
const char kRecordFileName[] = "condata.csv";

// --- registry ---------------------------------------------------------------------------------

raii::CRegKey OpenSettings(REGSAM access)
{
    HKEY key = nullptr;
    if (access & KEY_SET_VALUE) {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCollectorKey, 0, nullptr, 0, access, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            key = nullptr;
    } else if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCollectorKey, 0, access, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    return raii::CRegKey(key);
}

bool ReadText(HKEY key, const char* name, std::string& out)
{
    DWORD type = 0, size = 0;
    if (!key || RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type == REG_DWORD && size == 4) {
        DWORD value = 0;
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        out = std::to_string(value);
        return true;
    }
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size > 64 * 1024)
        return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return false;
    out = data.data();
    return true;
}

void WriteText(HKEY key, const char* name, const std::string& value)
{
    if (key)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
}

uint64_t ReadNumber(HKEY key, const char* name, uint64_t defaultValue)
{
    std::string text;
    return ReadText(key, name, text) ? ParseSettingNumber(text, defaultValue) : defaultValue;
}

std::string NewGuidText()
{
    GUID guid;
    if (FAILED(CoCreateGuid(&guid)))
        return std::string();
    char text[64];
    snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
             static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
             guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

// --- the system a record describes -----------------------------------------------------------

LANGID UserInterfaceLanguage()
{
    typedef LANGID(WINAPI * tGetUserDefaultUILanguage)(void);
    auto get = reinterpret_cast<tGetUserDefaultUILanguage>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetUserDefaultUILanguage"));
    if (get)
        return get();
    // Systems before 2000: the registry holds the language as hexadecimal text.
    bool nineX = (GetVersion() & 0x80000000u) != 0;
    HKEY key = nullptr;
    std::string text;
    if (nineX ? RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop\\ResourceLocale", 0, KEY_READ, &key) == ERROR_SUCCESS
              : RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Control Panel\\International", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        ReadText(key, nineX ? nullptr : "Locale", text);
        RegCloseKey(key);
    }
    unsigned long id = text.empty() ? 0 : strtoul(text.c_str(), nullptr, 16);
    return static_cast<LANGID>(id ? id : 1033);
}

std::string LocaleText(LCID locale, LCTYPE type)
{
    char text[128] = "";
    return GetLocaleInfoA(locale, type, text, sizeof text) > 0 ? std::string(text) : std::string();
}

std::string OsVersionText()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber & 0xFFFF);
}

// --- upload -----------------------------------------------------------------------------------

// Every internet handle of one request, so that the watchdog can close them all.
struct tRequestHandles {
    raii::CCriticalSection lock;
    std::vector<HINTERNET> handles;
    bool closedByWatchdog = false;
};

void CALLBACK OnInternetStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD)
{
    auto request = reinterpret_cast<tRequestHandles*>(context);
    if (!request || status != INTERNET_STATUS_HANDLE_CREATED || !information)
        return;
    auto result = static_cast<const INTERNET_ASYNC_RESULT*>(information);
    raii::CLock lock(request->lock);
    request->handles.push_back(reinterpret_cast<HINTERNET>(result->dwResult));
}

bool Compress(const std::string& source, const std::string& target)
{
    FILE* in = fopen(source.c_str(), "rb");
    if (!in)
        return false;
    gzFile out = gzopen(target.c_str(), "wb");
    bool ok = out != nullptr;
    char piece[1000];
    size_t count;
    while (ok && (count = fread(piece, 1, sizeof piece, in)) > 0)
        ok = gzwrite(out, piece, static_cast<unsigned>(count)) == static_cast<int>(count);
    ok = ok && !ferror(in);
    fclose(in);
    if (out && gzclose(out) != Z_OK)
        ok = false;
    return ok;
}

bool ReadWhole(const std::string& path, std::string& out)
{
    FILE* in = fopen(path.c_str(), "rb");
    if (!in)
        return false;
    char piece[2048];
    size_t count;
    out.clear();
    while ((count = fread(piece, 1, sizeof piece, in)) > 0)
        out.append(piece, count);
    bool ok = !ferror(in);
    fclose(in);
    return ok;
}

// One request on a thread of its own. Closing its handles does not interrupt a request that
// waits for an answer everywhere (Wine's WinINet goes on waiting), so the caller waits for
// the watchdog time only, closes the handles and leaves; the request thread holds its own
// reference to everything it touches, the plug-in module included, until it ends.
struct tPostJob {
    tCollectorSettings settings;
    std::string body;
    tRequestHandles handles;
    tUploadResult result;
    raii::CHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

void CloseRecorded(tRequestHandles& request)
{
    for (auto it = request.handles.rbegin(); it != request.handles.rend(); ++it)
        InternetCloseHandle(*it);
    request.handles.clear();
}

void RunPost(tPostJob& job)
{
    tRequestHandles& request = job.handles;
    HINTERNET session = InternetOpenA("velmora Gatewright", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session)
        return;
    {
        raii::CLock lock(request.lock);
        if (request.closedByWatchdog) {
            InternetCloseHandle(session);
            return;
        }
        request.handles.push_back(session);
    }
    InternetSetStatusCallbackA(session, OnInternetStatus);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&request);
    HINTERNET connection = InternetConnectA(session, job.settings.server.c_str(), INTERNET_DEFAULT_HTTP_PORT, "",
                                            "", INTERNET_SERVICE_HTTP, 0, context);
    HINTERNET http = connection ? HttpOpenRequestA(connection, "POST", job.settings.serverPage.c_str(), nullptr,
                                                   nullptr, nullptr,
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, context)
                                : nullptr;
    if (!http)
        return;
    std::string header = UploadContentType();
    if (!HttpSendRequestA(http, header.c_str(), static_cast<DWORD>(header.size()), const_cast<char*>(job.body.data()),
                          static_cast<DWORD>(job.body.size())))
        return;
    DWORD status = 0, size = sizeof status;
    if (HttpQueryInfoA(http, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
        job.result.sent = true;
        job.result.status = status;
    }
    char discard[1024];
    DWORD read = 0;
    while (InternetReadFile(http, discard, sizeof discard, &read) && read > 0) {
    }
}

DWORD WINAPI PostThread(void* parameter)
{
    std::unique_ptr<std::shared_ptr<tPostJob>> job(static_cast<std::shared_ptr<tPostJob>*>(parameter));
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&PostThread), &self);
    RunPost(**job);
    {
        raii::CLock lock((*job)->handles.lock);
        if (!(*job)->handles.closedByWatchdog)
            CloseRecorded((*job)->handles);
    }
    SetEvent((*job)->done.Get());
    job.reset();
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

tUploadResult Post(const tCollectorSettings& settings, const std::string& body)
{
    DWORD start = GetTickCount();
    auto job = std::make_shared<tPostJob>();
    job->settings = settings;
    job->body = body;
    tUploadResult result;
    auto handover = new std::shared_ptr<tPostJob>(job);
    raii::CHandle thread(CreateThread(nullptr, 0, PostThread, handover, 0, nullptr));
    if (!thread) {
        delete handover;
        return result;
    }
    if (WaitForSingleObject(job->done.Get(), kWatchdogMs) == WAIT_OBJECT_0) {
        result = job->result;
    } else {
        // The watchdog: every handle of the request is closed; the answer no longer counts.
        raii::CLock lock(job->handles.lock);
        job->handles.closedByWatchdog = true;
        CloseRecorded(job->handles);
    }
    result.milliseconds = GetTickCount() - start;
    return result;
}

} // namespace

// --- the check timer ----------------------------------------------------------------------------

CCollectTimer::CCollectTimer(DWORD period)
    : m_period(period ? period : 1), m_trigger(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_wake(CreateEventA(nullptr, FALSE, FALSE, nullptr)), m_quit(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_stop(nullptr)
{
    m_thread.Attach(CreateThread(nullptr, 0, Thread, this, 0, nullptr));
}

CCollectTimer::~CCollectTimer()
{
    SetEvent(m_quit.Get());
    // Destroyed at process detach, under the loader lock, a thread that has not ended yet cannot
    // end (its own detach needs the lock): after a short grace it is stopped instead. Stopping
    // it at once could catch it inside its start-up, holding that lock, and block the process.
    if (m_thread && WaitForSingleObject(m_thread.Get(), kTimerGraceMs) != WAIT_OBJECT_0)
        TerminateThread(m_thread.Get(), 0);
}

void CCollectTimer::SetStopHandle(HANDLE stop)
{
    m_stop = stop;
}

void CCollectTimer::Wake()
{
    SetEvent(m_wake.Get());
}

bool CCollectTimer::DataWanted()
{
    raii::CLock lock(m_lock);
    return m_dataWanted;
}

void CCollectTimer::ClearDataWanted()
{
    raii::CLock lock(m_lock);
    m_dataWanted = false;
}

DWORD WINAPI CCollectTimer::Thread(void* parameter)
{
    static_cast<CCollectTimer*>(parameter)->Run();
    return 0;
}

void CCollectTimer::Run()
{
    DWORD remaining = m_period;
    for (;;) {
        HANDLE handles[3] = {m_wake.Get(), m_quit.Get(), m_stop.load()};
        DWORD count = handles[2] ? 3 : 2;
        DWORD start = GetTickCount();
        DWORD result = WaitForMultipleObjects(count, handles, FALSE, remaining);
        if (result == WAIT_OBJECT_0 + 1 || result == WAIT_OBJECT_0 + 2 || result == WAIT_FAILED)
            return;
        if (result == WAIT_OBJECT_0) {
            // A wake (a new stop handle) never restarts the period.
            DWORD spent = GetTickCount() - start;
            if (spent < remaining) {
                remaining -= spent;
                continue;
            }
        }
        {
            raii::CLock lock(m_lock);
            m_dataWanted = true;
            m_lastFiring = GetTickCount();
        }
        SetEvent(m_trigger.Get());
        remaining = m_period;
    }
}

// --- the collector ------------------------------------------------------------------------------

std::string Md5Hex(const std::string& text)
{
    CryptoPP::Weak::MD5 md5;
    std::string hex;
    CryptoPP::StringSource(text, true,
                           new CryptoPP::HashFilter(md5, new CryptoPP::HexEncoder(new CryptoPP::StringSink(hex), false)));
    return hex;
}

tTimeStamp TimeStampNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    tTimeStamp t;
    t.value = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return t;
}

tUsageRecord MakeUsageRecord(const tLocalDevice& local, const tRemoteDevice& remote, const std::string& progId,
                             const tTimeStamp& now)
{
    tUsageRecord r;
    r.when = CalendarFromTimeStamp(now);
    r.localDigest = Md5Hex(MacToText(local.address, ":") + progId);
    r.remoteDigest = Md5Hex(MacToText(remote.address, ":") + progId);
    r.osVersion = OsVersionText();
    r.language = LocaleText(MAKELCID(UserInterfaceLanguage(), SORT_DEFAULT), LOCALE_SENGLANGUAGE);
    r.rate = remote.rate;
    r.localKind = local.kind;
    r.remoteHs = remote.hs;
    r.country = LocaleText(LOCALE_USER_DEFAULT, LOCALE_SENGCOUNTRY);
    return r;
}

CUsageCollector::CUsageCollector() = default;

CUsageCollector::~CUsageCollector()
{
    Stop();
}

void CUsageCollector::ReadSettings()
{
    raii::CRegKey key = OpenSettings(KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (!key)
        key = OpenSettings(KEY_QUERY_VALUE);
    tCollectorSettings s;
    if (!ReadText(key.Get(), "ProgId", s.progId) || s.progId.empty()) {
        s.progId = NewGuidText();
        WriteText(key.Get(), "ProgId", s.progId);
    }
    s.checkInterval = ReadNumber(key.Get(), "CheckInterval", s.checkInterval);
    std::string transmission;
    if (ReadText(key.Get(), "TransmissionValue", transmission)) {
        s.lastAttempt = ParseTimeStamp(transmission);
    } else {
        s.lastAttempt = TimeStampNow();
        WriteText(key.Get(), "TransmissionValue", FormatTimeStamp(s.lastAttempt));
    }
    ReadText(key.Get(), "Server", s.server);
    ReadText(key.Get(), "ServerPage", s.serverPage);
    s.debugMode = ReadNumber(key.Get(), "DebugMode", 0) != 0;
    s.submitInterval = ReadNumber(key.Get(), "SubmitInterval", s.submitInterval);
    s.timerInterval = ReadNumber(key.Get(), "TimerInterval", s.timerInterval);
    m_settings = s;
}

void CUsageCollector::Start()
{
    ReadSettings();
    DWORD period = m_settings.checkInterval > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(m_settings.checkInterval);
    m_timer = new CCollectTimer(period);
}

void CUsageCollector::Stop()
{
    delete m_timer;
    m_timer = nullptr;
}

bool CUsageCollector::CollectingAllowed() const
{
    raii::CRegKey key = OpenSettings(KEY_QUERY_VALUE);
    DWORD value = 0, size = sizeof value, type = 0;
    if (!key || RegQueryValueExA(key.Get(), "CollectingAllowed", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                 &size) != ERROR_SUCCESS || type != REG_DWORD)
        return false;
    return value != 0;
}

DWORD CUsageCollector::TickInterval()
{
    uint64_t interval = m_settings.timerInterval;
    return interval == 0 || interval > 0x7FFFFFFF ? 1000 : static_cast<DWORD>(interval);
}

HANDLE CUsageCollector::TriggerEvent()
{
    return m_timer && m_active ? m_timer->TriggerEvent() : nullptr;
}

std::string CUsageCollector::RecordFile()
{
    char path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string program(path, length < sizeof path ? length : 0);
    std::string::size_type slash = program.rfind('\\');
    return (slash == std::string::npos ? std::string(".") : program.substr(0, slash)) + "\\" + kRecordFileName;
}

std::string CUsageCollector::CollectorId() const
{
    std::string id = m_settings.progId.empty() ? "unknown" : Md5Hex(m_settings.progId);
    return m_settings.debugMode ? "dbg_" + id : id;
}

void CUsageCollector::BeforeGetState(HANDLE cancelEvent)
{
    if (!m_timer)
        return;
    m_timer->SetStopHandle(cancelEvent);
    m_timer->Wake();
    m_timer->ClearDataWanted();
    tTimeStamp now = TimeStampNow();
    if (now < AddSeconds(m_settings.lastAttempt, m_settings.submitInterval))
        return;
    Upload(RecordFile());
    m_settings.lastAttempt = now;
    raii::CRegKey key = OpenSettings(KEY_SET_VALUE);
    WriteText(key.Get(), "TransmissionValue", FormatTimeStamp(now));
}

void CUsageCollector::Record(const tLocalDevice& local, const tRemoteDevice& remote)
{
    if (!m_timer || !m_timer->DataWanted())
        return;
    // A record file that cannot be written loses this record silently.
    AppendUsageRecord(RecordFile(), FormatUsageRecord(MakeUsageRecord(local, remote, m_settings.progId, TimeStampNow())));
}

tUploadResult CUsageCollector::Upload(const std::string& recordFile)
{
    tUploadResult result;
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExA(recordFile.c_str(), GetFileExInfoStandard, &attributes) ||
        (attributes.nFileSizeLow == 0 && attributes.nFileSizeHigh == 0))
        return result;
    char folder[MAX_PATH], temporary[MAX_PATH];
    if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "tmp", 0, temporary))
        return result;
    std::string compressed;
    if (!Compress(recordFile, temporary) || !ReadWhole(temporary, compressed)) {
        DeleteFileA(temporary);
        return result;
    }
    result = Post(m_settings, UploadBody(CollectorId(), temporary, compressed));
    DeleteFileA(temporary);
    if (result.sent && result.status == 200) {
        raii::CHandle file(CreateFileA(recordFile.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    return result;
}
