// The setup program's hidden top-level window (class "SETUP"): it runs the setup once the
// message loop is up, refuses the end of the session while work is in progress, and is what
// a second start finds and brings to the front.
#pragma once

#include "common/ui/window.h"
#include "setup/setup_context.h"

namespace setup {

class CSetupWindow : public ui::CWindowImpl {
public:
    static const char kClassName[];
    enum { WM_SETUP_RUN = WM_USER }; // 1024: run the setup

    explicit CSetupWindow(tSetupContext& context) : m_context(context) {}
    bool Make();
    int ExitCode() const { return m_exitCode; }

    // What a second start does: the running setup's wizard comes to the front.
    static bool ActivateRunning();

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    tSetupContext& m_context;
    int m_exitCode = 1;
};

} // namespace setup
