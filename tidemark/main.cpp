// Program entry of tidemark: the main dialog, and the options it closes with stored.
#include <windows.h>
#include <commctrl.h>

#include "common/raii.h"
#include "common/trace.h"
#include "tidemark/main_dialog.h"
#include "tidemark/option_store.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    TraceInit(GetCommandLineA());
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS |
                                                          ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The shell's window list is asked on this thread.
    raii::CComInit com;

    CMainDialog dialog(instance);
    dialog.m_options = LoadCleanOptions();
    if (dialog.DoModal(nullptr) == IDOK)
        SaveCleanOptions(dialog.m_options);
    return 0;
}
