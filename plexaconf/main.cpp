// plexaconf.exe: the powerline configuration wizard.
#include <windows.h>
#include <commctrl.h>

#include "common/parseini.h"
#include "common/trace.h"
#include "common/ui/window.h"
#include "plexaconf/wizard.h"

namespace {

const char kWizardWindowClass[] = "VelmoraPlexaConfigClass";
// Sent to the hidden window of a running wizard by a second start: it brings its sheet forward.
const UINT kActivateMessage = WM_APP + 1;

// The hidden window of a running wizard, by which a second start finds it.
class CHiddenWindow : public ui::CWindowImpl {
public:
    bool Make(HINSTANCE instance)
    {
        RegisterClass(instance, kWizardWindowClass);
        return Create(instance, kWizardWindowClass, "", WS_POPUP, 0, 0, 0, 0, 0, nullptr) != nullptr;
    }

protected:
    bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT& result) override
    {
        if (message != kActivateMessage)
            return false;
        EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM) -> BOOL {
            if (!IsWindowVisible(window))
                return TRUE;
            SetForegroundWindow(window);
            return FALSE;
        }, 0);
        result = 0;
        return true;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    TraceInit(GetCommandLineA());
    TraceHere("entering\n");
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    if (HWND running = FindWindowA(kWizardWindowClass, nullptr)) {
        TraceHere("the wizard runs already\n");
        PostMessageA(running, kActivateMessage, 0, 0);
        return 0;
    }
    CHiddenWindow hidden;
    if (!hidden.Make(instance))
        TraceHere("no hidden window\n");

    utilcpp::CParseini settings;
    std::string allow;
    settings.GetString(kSettingsSection, kAllowKey, allow, kAllowAll);

    CAdapterLayer layer;
    if (!layer.Start())
        TraceHere("no raw frame access: the search will find no adapter\n");
    CPlexaEngine engine(layer);
    CSecurityIdStore store;
    CMonitorControl monitor(hidden.Handle());
    CWizard wizard(instance, layer, engine, store, monitor, allow);
    INT_PTR result = wizard.Run();
    TraceHere("the wizard ends (%d)\n", static_cast<int>(result));

    layer.Stop();
    monitor.Restore();
    hidden.Destroy();
    return 0;
}
