// One run of the setup program, from the administrator check to the reboot policy: the
// script opened and its sections chosen, the version question, the conditions, the products
// and plug-ins, the wizard, and what follows it. Or, for "/plan", the plan of changes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "setup/setup_context.h"

namespace setup {

// Whether the user belongs to the Administrators group.
bool IsUserAdministrator();

class CSetupRun {
public:
    explicit CSetupRun(tSetupContext& context) : m_context(context) {}

    // The whole run; the program's exit code.
    int Run();
    // Checks, script, products and plug-ins, without the wizard; false when the run ends
    // there (the user has been told why).
    bool Prepare();
    // The plan of the prepared run, one change a line.
    std::vector<std::string> Plan();

    // Replaceable in tests.
    std::function<bool()> isAdministrator = IsUserAdministrator;

private:
    bool OpenScript();
    bool CheckVersions();
    bool ChooseProducts();
    void ChooseTargets();
    int Finish(INT_PTR sheetResult);
    void ApplyRebootPolicy();
    int Message(const std::string& text, const std::string& caption, UINT flags) const;
    std::string Text(UINT id) const;
    int WritePlan();

    tSetupContext& m_context;
};

} // namespace setup
