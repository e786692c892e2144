// A status plug-in for the monitor's tests, built several times with different exports.
// It logs what the monitor calls to the file named by VELMORA_TESTPLUGIN_LOG, one line per
// call ("<module> <event> <thread id>"), so that tests can follow it across reloads and
// processes. VELMORA_TESTPLUGIN_MODE picks how GetState behaves: "wait" (the default: wait
// for an event or 200 ms), "quick" (return at once) or "none" (return no tree);
// VELMORA_TESTPLUGIN_OPTIONS gives the shareable options it starts with (one line).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "monitor/source.win/global/plugin_contract.h"

namespace {

HMODULE g_module;
CState* g_tree;
std::string g_options = "devicenames.02:00:00:00:00:01=Kitchen\n";

std::string Env(const char* name)
{
    char value[1024] = "";
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length < sizeof value ? std::string(value, length) : std::string();
}

void Log(const char* event, const std::string& detail = std::string())
{
    std::string path = Env("VELMORA_TESTPLUGIN_LOG");
    if (path.empty())
        return;
    char module[MAX_PATH] = "";
    GetModuleFileNameA(g_module, module, sizeof module);
    const char* name = strrchr(module, '\\') ? strrchr(module, '\\') + 1 : module;
    FILE* out = fopen(path.c_str(), "a");
    if (!out)
        return;
    fprintf(out, "%s %s %lu%s%s\n", name, event, GetCurrentThreadId(), detail.empty() ? "" : " ",
            detail.c_str());
    fclose(out);
}

void OnAction(HWND, int32_t id, bool* optionsChanged)
{
    Log("action", std::to_string(id));
    *optionsChanged = true;
}

// A small home network, so that the window shows what the suite's trees look like.
void BuildTree()
{
    tItemActions menu = {{"&Rename", OnAction}, {"", nullptr}, {"&Control device", OnAction}};
    CItem* local = new CItem("Brindle Plexa HS Ethernet", 14, "", 1000, menu);
    local->GetChildren().AddItem(new CItem("MAC address", 1, "02:12:34:56:9A:BC", 1002, menu));
    g_tree->AddItem(local);

    CItem* study = new CItem("Study (via the power supply grid)", 15, "", 2000, menu);
    study->GetChildren().AddItem(new CItem("Device", 1, "Brindle Plexa HS Ethernet", 2004, menu));
    study->GetChildren().AddItem(new CItem("MAC address", 1, "02:12:34:56:9A:C1", 2002, menu));
    study->GetChildren().AddItem(new CItem("Connection rate", 4, "85 MBit/s", 2001, menu));
    g_tree->AddItem(study);

    CItem* audio = new CItem("Brindle Plexa Audio (via the power supply grid)", 13, "", 3000, menu);
    audio->GetChildren().AddItem(new CItem("MAC address", 1, "02:12:34:56:9A:D7", 3002, menu));
    audio->GetChildren().AddItem(new CItem("IP address", 1, "198.18.0.20", 3003, menu));
    audio->GetChildren().AddItem(new CItem("Recording audio on channel 1", 17, "", 3005, menu));
    audio->GetChildren().AddItem(new CItem("Connection rate", 4, "14 MBit/s", 3001, menu));
    g_tree->AddItem(audio);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        std::string options = Env("VELMORA_TESTPLUGIN_OPTIONS");
        if (!options.empty())
            g_options = options + "\n";
        g_tree = new CState;
        BuildTree();
        Log("attach");
    } else if (reason == DLL_PROCESS_DETACH) {
        Log("detach");
        delete g_tree;
    }
    return TRUE;
}

#ifdef TP_INIT
VELMORA_PLUGIN_EXPORT void Init(void)
{
    Log("Init");
}
#endif

#ifdef TP_CLEANUP
VELMORA_PLUGIN_EXPORT void Cleanup(void)
{
    Log("Cleanup");
}
#endif

#ifdef TP_GETSTATE
VELMORA_PLUGIN_EXPORT CState* GetState(HANDLE cancel, HANDLE refresh)
{
    static int calls;
    std::string mode = Env("VELMORA_TESTPLUGIN_MODE");
    ++calls;
    if (mode != "quick") {
        HANDLE events[2] = {cancel, refresh};
        DWORD result = WaitForMultipleObjects(2, events, FALSE, 200);
        Log("GetState", result == WAIT_OBJECT_0 ? "cancel" : result == WAIT_OBJECT_0 + 1 ? "refresh" : "timeout");
    }
    if (mode == "none")
        return nullptr;
    // One value changes with every call, as a live rate would.
    if (CItem* rate = g_tree->FindItem(3001))
        rate->SetValue(std::to_string(14 + calls % 2) + " MBit/s");
    return g_tree;
}
#endif

#ifdef TP_GETOPTIONS
VELMORA_PLUGIN_EXPORT const char* GetShareableOptions(void)
{
    Log("GetShareableOptions");
    return g_options.c_str();
}
#endif

#ifdef TP_SETOPTIONS
VELMORA_PLUGIN_EXPORT void SetShareableOptions(std::string& options)
{
    Log("SetShareableOptions", options);
    g_options = options;
}
#endif
