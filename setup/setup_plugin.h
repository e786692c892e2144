/* The interface of setup plug-in DLLs and condition DLLs named in a setup script.
 *
 * Every export is looked up by name and any may be missing. A DLL is used only when it
 * exports GetVersionNumber and that answers a value below 2.
 *
 * Setup plug-in DLL ("Plugins = file.dll[:parameter], ..." in a script section):
 *   int  GetVersionNumber(void);
 *   void QueryPlugin(HWND window, const char* parameter);       once, when registered
 *   int  QueryPluginSteps(const char* parameter);                how many steps it adds
 *   BOOL GetPluginStep(tSetupPluginStep* step, int index, const char* parameter);
 *   int  QueryPluginPages(int level, const char* parameter);     pages at level 0..7
 *   BOOL GetPluginPages(int level, PROPSHEETPAGEA* pages, BOOL wizard97, const char* parameter);
 * A step's function (named in its record) runs on the setup's worker thread:
 *   BOOL Step(tSetupQueueCopy queueCopy, tSetupQueueDelete queueDelete, HWND window,
 *             DWORD flags, BOOL* rebootNeeded, const char* parameter, int fieldIndex);
 * flags bit 0 is set for an installation, clear for a removal. The queue callbacks add
 * copies and deletions to the setup's file queue; they succeed only while the queue is open
 * (steps of levels 0 and 1). A step that needs a reboot sets *rebootNeeded to TRUE; a step
 * that answers FALSE fails the installation with its last error.
 *
 * Level-0 pages replace the welcome page and level-7 pages the finish page of an
 * installation; pages of the other levels come before the built-in page of their level
 * (1 licence, 2 type of installation, 3 components, 4 directory, 5 carry out, 6 finish).
 *
 * Condition DLL (a condition section's "Dll = file.dll, Function"):
 *   int  GetVersionNumber(void);
 *   BOOL Function(void);                        non-zero when the condition holds
 *   void GetLastFailMessage(char* buffer);      at most SETUP_FAIL_MESSAGE_SIZE bytes
 */
#ifndef VELMORA_SETUP_PLUGIN_H
#define VELMORA_SETUP_PLUGIN_H

#include <windows.h>
#include <prsht.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SETUP_PLUGIN_VERSION 1
#define SETUP_FAIL_MESSAGE_SIZE 1024

typedef struct tSetupPluginStep {
    int level;           /* 0..5: when the step runs in the pipeline */
    char function[64];   /* the exported name of the step function */
    BOOL showProgress;   /* the page shows its progress bar and the text while it runs */
    char text[256];      /* shown while the step runs */
} tSetupPluginStep;

typedef BOOL(WINAPI* tSetupQueueCopy)(const char* source, const char* destination);
typedef BOOL(WINAPI* tSetupQueueDelete)(const char* path);
typedef BOOL(WINAPI* tSetupStepFunction)(tSetupQueueCopy queueCopy, tSetupQueueDelete queueDelete,
                                         HWND window, DWORD flags, BOOL* rebootNeeded,
                                         const char* parameter, int fieldIndex);

typedef int(WINAPI* tGetVersionNumber)(void);
typedef void(WINAPI* tQueryPlugin)(HWND window, const char* parameter);
typedef int(WINAPI* tQueryPluginSteps)(const char* parameter);
typedef BOOL(WINAPI* tGetPluginStep)(tSetupPluginStep* step, int index, const char* parameter);
typedef int(WINAPI* tQueryPluginPages)(int level, const char* parameter);
typedef BOOL(WINAPI* tGetPluginPages)(int level, PROPSHEETPAGEA* pages, BOOL wizard97,
                                      const char* parameter);
typedef BOOL(WINAPI* tConditionFunction)(void);
typedef void(WINAPI* tGetLastFailMessage)(char* buffer);

#ifdef __cplusplus
}
#endif

#endif
