// What the setup tests share: a sink that records what the pipeline tells its page, a
// firewall that keeps a list, and a medium (a folder with a script and files) per test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/raii.h"
#include "common/tests/test_support.h"
#include "setup/firewall.h"
#include "setup/pipeline_sink.h"
#include "setup/setup_context.h"

namespace setuptest {

class CRecordingSink : public setup::IPipelineSink {
public:
    void Phase(int phase) override { phases.push_back(phase); }
    void FileProgressStart(unsigned count) override { queued += count; }
    void FileProgressStep() override { ++steps; }
    void StepText(const std::string& text, bool showProgress) override
    {
        stepTexts.push_back(text + (showProgress ? " [progress]" : ""));
    }
    bool AskShortcut(const std::string& name) override
    {
        asked.push_back(name);
        return false;
    }

    std::vector<int> phases;
    unsigned queued = 0;
    unsigned steps = 0;
    std::vector<std::string> stepTexts;
    std::vector<std::string> asked;
};

class CFakeFirewall : public setup::IFirewall {
public:
    HRESULT Authorize(const std::string& name, const std::string& program) override
    {
        authorized.push_back(name + "=" + program);
        return S_OK;
    }
    HRESULT Remove(const std::string& program) override
    {
        for (auto it = authorized.begin(); it != authorized.end(); ++it)
            if (it->size() > program.size() && it->compare(it->size() - program.size(), program.size(), program) == 0) {
                authorized.erase(it);
                break;
            }
        removed.push_back(program);
        return S_OK;
    }
    std::vector<std::string> authorized;
    std::vector<std::string> removed;
};

// A folder that stands for the installation medium, and one for the installation; both go
// when the test ends, with the uninstall entries of the products named.
class CMedium {
public:
    explicit CMedium(std::vector<std::string> products = {});
    ~CMedium();
    const std::string& Folder() const { return m_medium.Path(); }
    const std::string& Target() const { return m_target.Path(); }
    // Writes setup.inf; "@TARGET@" and "@MEDIUM@" in the text become the two folders.
    void WriteScript(const std::string& text) const;
    void WriteFile(const std::string& name, const std::string& text) const;
    // Copies a program of the build folder onto the medium under another name.
    void CopyProgram(const std::string& program, const std::string& name) const;
    std::string Expand(std::string text) const;

private:
    testsupport::CTempDir m_medium;
    testsupport::CTempDir m_target;
    std::vector<std::string> m_products;
};

// A run's context for a medium, as the program would fill it from its command line.
void FillContext(setup::tSetupContext& context, const CMedium& medium, const char* commandLine,
                 setup::IFirewall& firewall);

// The run's checks, script, products and plug-ins, as the program makes them before its wizard
// (the administrator check answered as given).
bool PrepareRun(setup::tSetupContext& context, const CMedium& medium, const char* commandLine,
                setup::IFirewall& firewall, bool administrator = true);

bool KeyExists(HKEY root, const std::string& path);
std::string RegString(HKEY root, const std::string& path, const char* name);
// The target, arguments and folder of a shell link, read through IShellLink.
struct tLink {
    std::string target;
    std::string arguments;
    std::string directory;
};
bool ReadLink(const std::string& path, tLink& out);
// The access list of a file or key in the security descriptor language.
std::string FileDacl(const std::string& path);
std::string KeyDacl(const std::string& objectName);

} // namespace setuptest
