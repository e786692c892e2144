// The powerline plug-in as the monitor sees it: the five exports, the status tree rebuilt from
// the discovery picture, the device menus and the names store. One instance per loaded DLL.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/raii.h"
#include "monitor/source.win/global/status.h"
#include "plugins/plexa/discovery.h"
#include "plugins/plexa/names.h"
#include "plugins/plexa/plexa_tree.h"
#include "plugins/plexa/usage_collector.h"

// Asks the user for a device name; replaceable so that tests need no one at the keyboard.
typedef bool (*tNamePrompt)(HWND owner, HINSTANCE module, const std::string& caption,
                            const std::string& prompt, std::string& name, size_t maxLength);

class CPlexaFront {
public:
    static CPlexaFront& Instance();

    void Attach(HMODULE module);
    void Detach();
    void Init();
    CState* GetState(HANDLE cancelEvent, HANDLE refreshEvent);
    void Cleanup();
    const char* GetShareableOptions();
    void SetShareableOptions(const std::string& options);

    // Menu procedures (ItemActionProc).
    static void OnRename(HWND window, int32_t id, bool* optionsChanged);
    static void OnStartWizard(HWND window, int32_t id, bool* optionsChanged);
    static void OnControlDevice(HWND window, int32_t id, bool* optionsChanged);
    static void OnPlayMediaPlayer(HWND window, int32_t id, bool* optionsChanged);
    static void OnPlayWinamp(HWND window, int32_t id, bool* optionsChanged);

    // For the tests.
    void SetNamePrompt(tNamePrompt prompt) { m_prompt = prompt; }
    CNamesStore* Names() { return m_names.get(); }
    tDiscovery* Discovery() { return m_discovery; }
    CState* Tree() { return m_tree.get(); }
    const tPlexaMenus& Menus() const { return m_menus; }
    // Rebuilds the tree from the discovery picture, as GetState does after a change.
    void RebuildNow(bool collecting);

private:
    struct tDeviceLookup {
        bool found = false;
        std::string address, baseUrl, streamUrl;
    };
    tDeviceLookup LookUp(int32_t id);
    void BuildMenus();
    std::string Text(UINT id) const;

    HMODULE m_module = nullptr;
    std::unique_ptr<CNamesStore> m_names;
    std::unique_ptr<CState> m_tree;
    raii::CCriticalSection m_lock;
    tDiscovery* m_discovery = nullptr;
    std::unique_ptr<CUsageCollector> m_collector;
    tPlexaMenus m_menus;
    tPlexaTexts m_texts;
    std::string m_options;
    tNamePrompt m_prompt;
};

// Where the two players and the wizard are found; empty when they are not installed.
std::string FindMediaPlayer();
std::string FindWinamp();
// Whether an address may go into a command line at all: printable ASCII without quotes. The
// discovery engine lets no other stream path in; the menus check again before starting anything.
bool IsPlainCommandText(const std::string& text);
// The browser command for a page: the first "%1" replaced, or the address appended, quoted as
// one argument unless the command itself puts "%1" in quotes.
std::string BrowserCommand(const std::string& command, const std::string& url);
