// The SetupAPI file queue of one pipeline run, and the callback that wraps SetupAPI's
// default one: late deletion of files in use, removal of folders left empty, the script
// version rule for "setup.inf", cabinets copied as plain files, files missing from the medium.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <set>
#include <string>
#include <vector>

#include "setup/inf_file.h"
#include "setup/pipeline_sink.h"

namespace setup {

struct tQueueTraits {
    using value_type = HSPFILEQ;
    static HSPFILEQ Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HSPFILEQ h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static bool Close(HSPFILEQ h) { return SetupCloseFileQueue(h) != FALSE; }
};
using CQueueHandle = raii::CUnique<tQueueTraits>;

class CFileQueue {
public:
    // `folders` are the installation folders: empty folders are removed up to them, never
    // above them.
    CFileQueue(IPipelineSink& sink, std::vector<std::string> folders);
    ~CFileQueue();
    CFileQueue(const CFileQueue&) = delete;
    CFileQueue& operator=(const CFileQueue&) = delete;

    bool Open();
    bool IsOpen() const { return m_queue.IsValid(); }
    // The section's file operations (copy style 4: a target of the same or a newer version
    // stays). Files marked "no skip" in their copy lines must be on the medium; others may be
    // missing from it and are then left out.
    bool AddSection(const CInfFile& inf, const std::string& section, const std::string& sourceRoot);
    bool QueueCopy(const std::string& source, const std::string& destination);
    bool QueueDelete(const std::string& path);
    // Carries out the queue; false with the error that stopped it.
    bool Commit(HWND owner, DWORD& error);
    // Whether files were left for the next restart (in use while being replaced or deleted).
    bool RebootNeeded() const { return m_rebootNeeded; }
    void Close() { m_queue.Close(); }

    // The file version rule of the setup script: the "Version" of section "VERSION"; 0
    // without one.
    static int ScriptVersion(const std::string& path);

private:
    static UINT CALLBACK Callback(void* context, UINT notification, UINT_PTR param1, UINT_PTR param2);
    UINT OnNotify(UINT notification, UINT_PTR param1, UINT_PTR param2);
    UINT OnCopyError(const FILEPATHS_A* paths);
    UINT OnStartCopy(const FILEPATHS_A* paths);
    void OnDeleted(const FILEPATHS_A* paths);
    void RemoveEmptyFolders(std::string folder);
    void NeedReboot(const char* why);
    bool IsInsideInstallation(const std::string& folder) const;
    void NoteRequiredFiles(const CInfFile& inf, const std::string& section);

    IPipelineSink& m_sink;
    std::vector<std::string> m_folders;
    CQueueHandle m_queue;
    void* m_defaultContext = nullptr;
    std::set<std::string> m_required; // source file names, lower case
    DWORD m_error = 0;
    bool m_rebootNeeded = false;
};

} // namespace setup
