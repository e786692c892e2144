// A setup plug-in and condition DLL for the tests. Its parameter says what it does:
//   "copy:SOURCE|TARGET"  a level-0 step queues the copy of SOURCE to TARGET; a level-2 step
//                         asks for a restart; one page at level 0 (replacing the welcome page)
//   "fail"                a level-1 step that fails with ERROR_INVALID_DATA
// Conditions: "ConditionHolds" holds, "ConditionFails" does not. Built a second time with
// TEST_PLUGIN_VERSION 2, which the setup must refuse.
#include <windows.h>
#include <prsht.h>

#include <stdio.h>
#include <string.h>

#include "setup/setup_plugin.h"
#include "setup/tests/test_plugin_resource.h"

#ifndef TEST_PLUGIN_VERSION
#define TEST_PLUGIN_VERSION 1
#endif

namespace {

HMODULE g_module;

bool IsCopy(const char* parameter)
{
    return parameter && strncmp(parameter, "copy:", 5) == 0;
}

INT_PTR CALLBACK PageProcedure(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == PSN_SETACTIVE) {
        PostMessageA(GetParent(page), PSM_SETWIZBUTTONS, 0, PSWIZB_NEXT);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = instance;
    return TRUE;
}

__declspec(dllexport) int WINAPI GetVersionNumber(void)
{
    return TEST_PLUGIN_VERSION;
}

__declspec(dllexport) void WINAPI QueryPlugin(HWND, const char*)
{
}

__declspec(dllexport) int WINAPI QueryPluginSteps(const char* parameter)
{
    if (IsCopy(parameter))
        return 2;
    return parameter && strcmp(parameter, "fail") == 0 ? 1 : 0;
}

__declspec(dllexport) BOOL WINAPI GetPluginStep(tSetupPluginStep* step, int index, const char* parameter)
{
    if (parameter && strcmp(parameter, "fail") == 0) {
        step->level = 1;
        strcpy(step->function, "FailStep");
        strcpy(step->text, "Failing on purpose");
        return TRUE;
    }
    step->level = index == 0 ? 0 : 2;
    strcpy(step->function, index == 0 ? "QueueStep" : "RebootStep");
    step->showProgress = index == 0;
    strcpy(step->text, index == 0 ? "Preparing the test files" : "Checking the test files");
    return TRUE;
}

__declspec(dllexport) int WINAPI QueryPluginPages(int level, const char* parameter)
{
    return IsCopy(parameter) && level == 0 ? 1 : 0;
}

__declspec(dllexport) BOOL WINAPI GetPluginPages(int level, PROPSHEETPAGEA* pages, BOOL wizard97, const char*)
{
    if (level != 0)
        return FALSE;
    pages[0].dwSize = sizeof pages[0];
    pages[0].dwFlags = wizard97 ? PSP_HIDEHEADER : PSP_DEFAULT;
    pages[0].hInstance = g_module;
    pages[0].pszTemplate = MAKEINTRESOURCEA(IDD_TEST_PLUGIN_PAGE);
    pages[0].pfnDlgProc = PageProcedure;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI QueueStep(tSetupQueueCopy queueCopy, tSetupQueueDelete, HWND, DWORD flags,
                                            BOOL*, const char* parameter, int)
{
    if (!(flags & 1))
        return TRUE;
    char paths[2 * MAX_PATH];
    snprintf(paths, sizeof paths, "%s", parameter + 5);
    char* bar = strchr(paths, '|');
    if (!bar)
        return FALSE;
    *bar = '\0';
    return queueCopy(paths, bar + 1);
}

__declspec(dllexport) BOOL WINAPI RebootStep(tSetupQueueCopy queueCopy, tSetupQueueDelete, HWND, DWORD, BOOL* reboot,
                                             const char*, int)
{
    // After the queue is done, adding to it is refused.
    if (queueCopy("C:\\nothing", "C:\\nowhere"))
        return FALSE;
    *reboot = TRUE;
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI FailStep(tSetupQueueCopy, tSetupQueueDelete, HWND, DWORD, BOOL*, const char*, int)
{
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
}

__declspec(dllexport) BOOL WINAPI ConditionHolds(void)
{
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI ConditionFails(void)
{
    return FALSE;
}

__declspec(dllexport) void WINAPI GetLastFailMessage(char* buffer)
{
    strcpy(buffer, "The test condition does not hold.");
}
}
