#include "setup/setup_run.h"

#include <stdio.h>
#include <strings.h>

#include "common/raii.h"
#include "common/strings.h"
#include "common/trace.h"
#include "common/ui/message_box.h"
#include "common/xutil.h"
#include "setup/plan.h"
#include "setup/res/resource.h"
#include "setup/script_rules.h"
#include "setup/uninstall_entry.h"
#include "setup/wizard.h"

namespace setup {

namespace {

std::string Format(const std::string& format, const std::string& text, int number = 0)
{
    std::vector<char> buffer(format.size() + text.size() + 64);
    snprintf(buffer.data(), buffer.size(), format.c_str(), text.c_str(), number);
    return buffer.data();
}

bool Named(const std::vector<std::string>& names, const std::string& key)
{
    for (const std::string& name : names)
        if (strcasecmp(name.c_str(), key.c_str()) == 0)
            return true;
    return false;
}

} // namespace

bool IsUserAdministrator()
{
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, &administrators))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member))
        member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
}

std::string CSetupRun::Text(UINT id) const
{
    return xUtilLoadString(m_context.instance, id);
}

int CSetupRun::Message(const std::string& text, const std::string& caption, UINT flags) const
{
    if (m_context.Silent()) {
        Trace("[setup] %s: %s\n", caption.c_str(), text.c_str());
        return (flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    }
    return ui::ShowMessage(m_context.window, text, caption, flags | MB_SETFOREGROUND);
}

bool CSetupRun::OpenScript()
{
    std::string path = m_context.folder + "\\setup.inf";
    UINT line = 0;
    DWORD error = 0;
    if (!m_context.inf.Open(path, line, error)) {
        TraceHere("cannot open %s (line %u)\n", path.c_str(), line);
        TraceError(error);
        std::string text = line == 0 && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                                         error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                               ? Format(Text(IDS_INF_UNREADABLE), path)
                               : Format(Text(IDS_INF_ERROR), path, static_cast<int>(line));
        Message(text, Text(IDS_CANNOT_CONTINUE), MB_OK | MB_ICONERROR);
        return false;
    }
    m_context.sections = ChooseSections(m_context.inf, xUtilGetOSVersion());
    TraceHere("sections: install %s, remove %s, products %s\n", m_context.sections.install.c_str(),
              m_context.sections.remove.c_str(), m_context.sections.products.c_str());
    return true;
}

bool CSetupRun::CheckVersions()
{
    if (m_context.Removal())
        return true;
    for (const tProductVersion& ours : ReadProductVersions(m_context.inf, m_context.sections.install, m_context.folder)) {
        tUninstallEntry installed;
        if (!ReadUninstallEntry(ours.product, installed) || installed.productVersion.empty() || ours.version.empty() ||
            CompareDottedVersions(installed.productVersion, ours.version) <= 0)
            continue;
        std::string name = installed.displayName.empty() ? ours.product : installed.displayName;
        if (Message(Format(Text(IDS_NEWER_INSTALLED), name), m_context.title, MB_YESNO | MB_ICONWARNING) != IDYES) {
            Trace("[setup] %s %s is installed, newer than %s: not replaced\n", ours.product.c_str(),
                  installed.productVersion.c_str(), ours.version.c_str());
            return false;
        }
    }
    return true;
}

bool CSetupRun::ChooseProducts()
{
    const std::vector<std::string>& named = m_context.commandLine.products;
    std::vector<tProduct> all = ReadProducts(m_context.inf, m_context.sections);
    std::vector<tProductVersion> versions =
        ReadProductVersions(m_context.inf, m_context.sections.install, m_context.folder);
    std::string failures;
    auto note = [&failures](const std::string& text) {
        if (!text.empty())
            failures += (failures.empty() ? "" : "\r\n") + text;
    };
    m_context.products.clear();
    for (tProduct& product : all) {
        if (!product.key.empty() && !IsValidProductKey(product.key)) {
            TraceHere("product key %s cannot be registered, skipped\n", product.key.c_str());
            continue;
        }
        for (const auto& source : {ReadProductVersions(m_context.inf, product.installSection, m_context.folder), versions})
            for (const tProductVersion& version : source)
                if (product.version.empty() && strcasecmp(version.product.c_str(), product.key.c_str()) == 0)
                    product.version = version.version;
        if (!m_context.Removal() && (product.flags & PRODUCT_CONDITIONAL)) {
            tConditionOutcome outcome = CheckConditions(m_context.inf, product.installSection, m_context.folder);
            if (!outcome.holds) {
                Trace("[setup] product %s is not offered\n", product.key.c_str());
                if (named.empty() || Named(named, product.key))
                    note(outcome.message);
                continue;
            }
        }
        tUninstallEntry installed;
        bool isInstalled = ReadUninstallEntry(product.key, installed);
        if (!named.empty())
            product.selected = Named(named, product.key);
        else if (m_context.Removal())
            product.selected = isInstalled;
        else
            product.selected = (product.flags & PRODUCT_PRESELECTED) != 0;
        if (m_context.Removal() && isInstalled && !installed.userTargetDir.empty())
            product.targetDir = installed.userTargetDir;
        m_context.products.push_back(product);
    }
    for (const std::string& name : named) {
        bool known = false;
        for (const tProduct& product : all)
            known = known || strcasecmp(product.key.c_str(), name.c_str()) == 0;
        if (!known)
            note(Format(Text(IDS_UNKNOWN_PRODUCT), name));
    }
    // A removal without a list and without anything installed offers every product.
    bool any = false;
    for (const tProduct& product : m_context.products)
        any = any || product.selected;
    if (!any && m_context.Removal() && named.empty())
        for (tProduct& product : m_context.products)
            product.selected = any = true;
    if (m_context.products.empty() || (!any && !named.empty())) {
        if (m_context.commandLine.plan)
            return true;
        Message(failures.empty() ? Text(IDS_NO_PRODUCT) : failures, Text(IDS_CANNOT_CONTINUE), MB_OK | MB_ICONERROR);
        return false;
    }
    if (!failures.empty())
        Trace("[setup] %s\n", failures.c_str());
    return true;
}

void CSetupRun::ChooseTargets()
{
    std::string chosen = m_context.commandLine.unattendedText;
    if (chosen.empty())
        for (const tProduct& product : m_context.products) {
            tUninstallEntry installed;
            if (product.selected && ReadUninstallEntry(product.key, installed) && !installed.userTargetDir.empty() &&
                ProductDestination(m_context.inf, product.key).empty()) {
                chosen = installed.userTargetDir;
                break;
            }
        }
    if (chosen.empty())
        chosen = DefaultTargetDir(m_context.inf);
    m_context.targetDir = chosen;
    if (m_context.Removal()) {
        for (tProduct& product : m_context.products)
            if (product.targetDir.empty()) {
                std::string own = ProductDestination(m_context.inf, product.key);
                product.targetDir = own.empty() ? chosen : own;
            }
    } else {
        m_context.AssignTargets();
    }
}

bool CSetupRun::Prepare()
{
    if (!m_context.commandLine.plan && !isAdministrator()) {
        Message(Text(IDS_NO_PRIVILEGES), Text(IDS_CANNOT_CONTINUE), MB_OK | MB_ICONSTOP);
        return false;
    }
    if (!OpenScript())
        return false;
    m_context.title = Text(IDS_TITLE);
    m_context.welcomeText = Text(m_context.Removal() ? IDS_WELCOME_REMOVE_TEXT : IDS_WELCOME_TEXT);
    if (m_context.window)
        SetWindowTextA(m_context.window, m_context.title.c_str());
    if (!m_context.commandLine.plan && !CheckVersions())
        return false;
    const std::string& own = m_context.Removal() ? m_context.sections.remove : m_context.sections.install;
    tConditionOutcome outcome = CheckConditions(m_context.inf, own, m_context.folder);
    if (!outcome.holds && !m_context.commandLine.plan) {
        Message(outcome.message.empty() ? Text(IDS_NO_PRODUCT) : outcome.message, Text(IDS_CANNOT_CONTINUE),
                MB_OK | MB_ICONSTOP);
        return false;
    }
    if (!ChooseProducts())
        return false;
    ChooseTargets();
    m_context.plugins.Register(m_context.inf, own, m_context.folder, m_context.window);
    for (const tProduct& product : m_context.products)
        m_context.plugins.Register(m_context.inf, m_context.Removal() ? product.removeSection : product.installSection,
                                   m_context.folder, m_context.window);
    if (!m_context.Removal()) {
        m_context.finishActions = ReadFinishActions(m_context.inf, m_context.sections.install);
        std::string license = m_context.inf.KeyValue(m_context.sections.install, "License");
        if (!license.empty()) {
            std::string path = PathBeside(m_context.folder, license);
            if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                m_context.licenseFile = path;
        }
    }
    return true;
}

std::vector<std::string> CSetupRun::Plan()
{
    tPlanRun run;
    run.install = !m_context.Removal();
    run.sourceRoot = m_context.folder;
    run.setupPath = m_context.programPath;
    run.plugins = &m_context.plugins;
    for (const tProduct& product : m_context.products)
        if (product.selected)
            run.products.push_back(product);
    run.sections = m_context.SelectedSections();
    std::vector<std::string> lines = BuildPlan(m_context.inf, run);
    for (const tProduct& product : m_context.products)
        if (!product.selected)
            lines.push_back("# not chosen: " + product.key);
    return lines;
}

int CSetupRun::WritePlan()
{
    std::string text;
    for (const std::string& line : Plan())
        text += line + "\r\n";
    const std::string& file = m_context.commandLine.planFile;
    if (!file.empty()) {
        raii::CHandle out(CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!out || !WriteFile(out.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            TraceHere("cannot write the plan to %s\n", file.c_str());
            return SETUP_EXIT_FAILED;
        }
        return SETUP_EXIT_SUCCESS;
    }
    // A windowed program has a console only when its caller lends one.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS))
            output = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    DWORD written = 0;
    if (!output || output == INVALID_HANDLE_VALUE ||
        !WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return SETUP_EXIT_FAILED;
    return SETUP_EXIT_SUCCESS;
}

void CSetupRun::ApplyRebootPolicy()
{
    if (!m_context.rebootNeeded)
        return;
    if (m_context.commandLine.reboot == REBOOT_NOW) {
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
            raii::CHandle owned(token);
            TOKEN_PRIVILEGES privileges = {};
            privileges.PrivilegeCount = 1;
            privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
                AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        }
        Trace("[setup] restarting Windows\n");
        ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED);
    } else if (m_context.commandLine.reboot == REBOOT_ASK && !m_context.Silent()) {
        SetupPromptReboot(nullptr, m_context.window, FALSE);
    }
}

int CSetupRun::Finish(INT_PTR sheetResult)
{
    if (!m_context.workDone) {
        Trace("[setup] ended before the work (%ld)\n", static_cast<long>(sheetResult));
        return SETUP_EXIT_CANCELLED;
    }
    if (!m_context.workSucceeded)
        return SETUP_EXIT_FAILED;
    if (!m_context.Unattended()) {
        // The programs are read again now that the script's folder ids name the folder chosen.
        m_context.inf.SetDirectoryId(DIRID_TARGET, m_context.targetDir);
        std::vector<tFinishAction> actions = ReadFinishActions(m_context.inf, m_context.sections.install);
        for (size_t index = 0; index < actions.size() && index < m_context.finishActions.size(); ++index)
            if (m_context.finishActions[index].ticked)
                xUtilStartProgram(actions[index].program.c_str(),
                                  actions[index].parameters.empty() ? nullptr : actions[index].parameters.c_str(), nullptr,
                                  0, nullptr);
    }
    bool restart = m_context.rebootNeeded != 0;
    ApplyRebootPolicy();
    return restart ? SETUP_EXIT_REBOOT_PENDING : SETUP_EXIT_SUCCESS;
}

int CSetupRun::Run()
{
    if (!Prepare())
        return SETUP_EXIT_FAILED;
    if (m_context.commandLine.plan)
        return WritePlan();
    CSetupWizard wizard(m_context);
    INT_PTR result = wizard.Run(m_context.window);
    return Finish(result);
}

} // namespace setup
