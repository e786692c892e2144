#include "setup/file_queue.h"

#include <string.h>
#include <strings.h>

#include <algorithm>

#include "common/raii.h"
#include "common/registry.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "setup/script_rules.h"

namespace setup {

namespace {

std::string FolderOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    std::string::size_type slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool EndsWith(const std::string& text, const char* tail)
{
    size_t length = strlen(tail);
    return text.size() >= length && strcasecmp(text.c_str() + text.size() - length, tail) == 0;
}

// True when the folder exists and holds nothing.
bool IsEmptyFolder(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    raii::CFindHandle find(FindFirstFileA((folder + "\\*").c_str(), &found));
    if (!find)
        return false;
    do {
        if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0)
            return false;
    } while (FindNextFileA(find.Get(), &found));
    return true;
}

// The file operations the system carries out at the next restart.
std::vector<BYTE> PendingOperations()
{
    CRegistryKey key;
    std::vector<BYTE> list;
    DWORD size = 0;
    // Read raw: the list holds empty strings (a deletion has no new name).
    if (key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager") &&
        RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size <= CRegistryKey::kMaxValueBytes) {
        list.resize(size);
        if (RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, nullptr, list.data(), &size) != ERROR_SUCCESS)
            list.clear();
        list.resize(std::min<size_t>(size, list.size()));
    }
    return list;
}

bool Exists(const std::string& path)
{
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// True when `folder` lies strictly below `top` (compared without regard to case).
bool IsBelow(const std::string& folder, const std::string& top)
{
    return !top.empty() && folder.size() > top.size() + 1 && strncasecmp(folder.c_str(), top.c_str(), top.size()) == 0 &&
           folder[top.size()] == '\\';
}

} // namespace

CFileQueue::CFileQueue(IPipelineSink& sink, std::vector<std::string> folders)
    : m_sink(sink), m_folders(std::move(folders))
{
    for (std::string& folder : m_folders)
        while (folder.size() > 3 && folder.back() == '\\')
            folder.pop_back();
}

CFileQueue::~CFileQueue()
{
    if (m_defaultContext)
        SetupTermDefaultQueueCallback(m_defaultContext);
}

bool CFileQueue::Open()
{
    HSPFILEQ queue = SetupOpenFileQueue();
    if (queue == INVALID_HANDLE_VALUE) {
        TraceHere("SetupOpenFileQueue failed\n");
        TraceLastError();
        return false;
    }
    m_queue.Attach(queue);
    return true;
}

int CFileQueue::ScriptVersion(const std::string& path)
{
    return static_cast<int>(GetPrivateProfileIntA("VERSION", "Version", 0, path.c_str()));
}

void CFileQueue::NoteRequiredFiles(const CInfFile& inf, const std::string& section)
{
    for (const std::string& list : inf.KeyValues(section, "CopyFiles")) {
        if (list.empty() || list[0] == '@')
            continue;
        for (const CInfLine& line : inf.Lines(list)) {
            int flags = 0;
            line.IntField(4, flags);
            std::string source = line.Field(2).empty() ? line.Field(1) : line.Field(2);
            if ((flags & COPYFLG_NOSKIP) && !source.empty())
                m_required.insert(LowerCase(source));
        }
    }
}

bool CFileQueue::AddSection(const CInfFile& inf, const std::string& section, const std::string& sourceRoot)
{
    NoteRequiredFiles(inf, section);
    if (!SetupInstallFilesFromInfSectionA(inf.Get(), nullptr, m_queue.Get(), section.c_str(), sourceRoot.c_str(),
                                          SP_COPY_NEWER_OR_SAME)) {
        TraceHere("SetupInstallFilesFromInfSection(%s) failed\n", section.c_str());
        TraceLastError();
        return false;
    }
    return true;
}

bool CFileQueue::QueueCopy(const std::string& source, const std::string& destination)
{
    std::string sourceFolder = FolderOf(source), targetFolder = FolderOf(destination);
    if (!m_queue || sourceFolder.empty() || targetFolder.empty())
        return false;
    return SetupQueueCopyA(m_queue.Get(), sourceFolder.c_str(), nullptr, NameOf(source).c_str(), nullptr, nullptr,
                           targetFolder.c_str(), NameOf(destination).c_str(), SP_COPY_NEWER_OR_SAME) != FALSE;
}

bool CFileQueue::QueueDelete(const std::string& path)
{
    std::string folder = FolderOf(path);
    if (!m_queue || folder.empty())
        return false;
    return SetupQueueDeleteA(m_queue.Get(), folder.c_str(), NameOf(path).c_str()) != FALSE;
}

bool CFileQueue::Commit(HWND owner, DWORD& error)
{
    error = 0;
    m_error = 0;
    std::vector<BYTE> pending = PendingOperations();
    // No progress window of SetupAPI's own: the page shows the progress.
    m_defaultContext = SetupInitDefaultQueueCallbackEx(owner, static_cast<HWND>(INVALID_HANDLE_VALUE), 0, 0, nullptr);
    BOOL committed = SetupCommitFileQueueA(owner, m_queue.Get(), Callback, this);
    if (!committed) {
        error = m_error ? m_error : GetLastError();
        if (!error)
            error = ERROR_GEN_FAILURE;
        TraceHere("SetupCommitFileQueue failed\n");
        TraceError(error);
        return false;
    }
    // Operations left for the restart are in the system's own list (SetupAPI's delayed-copy
    // scan is not answered alike everywhere).
    if (PendingOperations() != pending)
        NeedReboot("the queue left operations for the restart");
    return true;
}

UINT CALLBACK CFileQueue::Callback(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    return static_cast<CFileQueue*>(context)->OnNotify(notification, param1, param2);
}

UINT CFileQueue::OnNotify(UINT notification, UINT_PTR param1, UINT_PTR param2)
{
    const FILEPATHS_A* paths = reinterpret_cast<const FILEPATHS_A*>(param1);
    switch (notification) {
    case SPFILENOTIFY_STARTSUBQUEUE:
        m_sink.FileProgressStart(static_cast<unsigned>(param2));
        break;
    case SPFILENOTIFY_NEEDMEDIA: {
        // The medium is the folder of the setup program: present or not, never to be asked for.
        const SOURCE_MEDIA_A* media = reinterpret_cast<const SOURCE_MEDIA_A*>(param1);
        if (media && media->SourcePath && Exists(media->SourcePath))
            return FILEOP_DOIT;
        m_error = ERROR_PATH_NOT_FOUND;
        TraceHere("the source folder %s is missing\n", media && media->SourcePath ? media->SourcePath : "");
        return FILEOP_ABORT;
    }
    case SPFILENOTIFY_STARTCOPY: {
        UINT answer = OnStartCopy(paths);
        if (answer != FILEOP_DOIT)
            return answer;
        break;
    }
    case SPFILENOTIFY_ENDCOPY:
        m_sink.FileProgressStep();
        break;
    case SPFILENOTIFY_COPYERROR:
        return OnCopyError(paths);
    case SPFILENOTIFY_DELETEERROR:
        TraceHere("cannot delete %s, skipped\n", paths && paths->Target ? paths->Target : "");
        return FILEOP_SKIP;
    case SPFILENOTIFY_ENDDELETE:
        OnDeleted(paths);
        m_sink.FileProgressStep();
        return FILEOP_DOIT;
    case SPFILENOTIFY_FILEOPDELAYED:
        Trace("SPFILENOTIFY_FILEOPDELAYED\n");
        if (paths)
            Trace("target: %s\nsource: %s\nerror: %u\nflags: 0x%x\n", paths->Target ? paths->Target : "",
                  paths->Source ? paths->Source : "", static_cast<unsigned>(paths->Win32Error),
                  static_cast<unsigned>(paths->Flags));
        NeedReboot("a file operation was delayed");
        break;
    default:
        break;
    }
    return SetupDefaultQueueCallbackA(m_defaultContext, notification, param1, param2);
}

UINT CFileQueue::OnStartCopy(const FILEPATHS_A* paths)
{
    if (!paths || !paths->Source || !paths->Target)
        return FILEOP_DOIT;
    std::string source = paths->Source, target = paths->Target;
    if (strcasecmp(NameOf(source).c_str(), "setup.inf") == 0 && strcasecmp(NameOf(target).c_str(), "setup.inf") == 0 &&
        Exists(target) && ScriptVersion(target) > ScriptVersion(source)) {
        TraceHere("%s has a higher version than %s, kept\n", target.c_str(), source.c_str());
        return FILEOP_SKIP;
    }
    if (EndsWith(source, ".cab") && EndsWith(target, ".cab")) {
        // A cabinet is shipped as it is, not unpacked by the queue.
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            m_error = GetLastError();
            TraceHere("cannot copy the cabinet %s\n", source.c_str());
            TraceError(m_error);
            return FILEOP_ABORT;
        }
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        m_sink.FileProgressStep();
        return FILEOP_SKIP;
    }
    return FILEOP_DOIT;
}

UINT CFileQueue::OnCopyError(const FILEPATHS_A* paths)
{
    DWORD error = paths ? paths->Win32Error : ERROR_GEN_FAILURE;
    std::string source = paths && paths->Source ? paths->Source : "";
    bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    if (missing && !m_required.count(LowerCase(NameOf(source)))) {
        // A medium may carry a part of the suite; what is not on it is not installed.
        Trace("[setup] %s is not on the medium, skipped\n", source.c_str());
        return FILEOP_SKIP;
    }
    m_error = error ? error : ERROR_GEN_FAILURE;
    TraceHere("cannot copy %s to %s\n", source.c_str(), paths && paths->Target ? paths->Target : "");
    TraceError(m_error);
    return FILEOP_ABORT;
}

void CFileQueue::OnDeleted(const FILEPATHS_A* paths)
{
    if (!paths || !paths->Target)
        return;
    std::string target = paths->Target;
    if (Exists(target)) {
        // In use: gone at the next restart, with the folders it leaves empty.
        if (xUtilDelayFileDelete(target.c_str())) {
            NeedReboot(target.c_str());
            // Its folders inside the installation follow it (the system skips those that
            // are not empty by then).
            for (std::string folder = FolderOf(target); IsInsideInstallation(folder); folder = FolderOf(folder))
                xUtilDelayFileDelete(folder.c_str());
        } else {
            TraceHere("cannot delete %s, not even later\n", target.c_str());
        }
        return;
    }
    RemoveEmptyFolders(FolderOf(target));
}

void CFileQueue::NeedReboot(const char* why)
{
    Trace("[setup] a restart is needed: %s\n", why);
    m_rebootNeeded = true;
}

void CFileQueue::RemoveEmptyFolders(std::string folder)
{
    while (!folder.empty() && IsEmptyFolder(folder)) {
        if (!RemoveDirectoryA(folder.c_str())) {
            // In use (someone's current folder): it goes at the next restart.
            if (xUtilDelayFileDelete(folder.c_str()))
                NeedReboot(folder.c_str());
            return;
        }
        TraceHere("removed the empty folder %s\n", folder.c_str());
        // Further up only inside an installation folder, never above it.
        if (!IsInsideInstallation(folder))
            return;
        folder = FolderOf(folder);
    }
}

bool CFileQueue::IsInsideInstallation(const std::string& folder) const
{
    for (const std::string& top : m_folders)
        if (IsBelow(folder, top))
            return true;
    return false;
}

} // namespace setup
