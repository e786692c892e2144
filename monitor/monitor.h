// The monitor core: settings, the fixed plug-in list and the operations by which the window
// and other programs start and stop plug-ins by name.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/parseini.h"
#include "common/raii.h"
#include "monitor/monitor_interfaces.h"
#include "monitor/plugin.h"
#include "monitor/shared_options.h"

class CMonitorDialog;

// Section of the settings file that holds the monitor's own settings.
extern const char kDialogSettings[];

// The plug-ins, in the order of loading. The first is not part of this suite and is skipped
// where it is not installed.
extern const char* const kPluginList[4];

// Moves the keys of older settings files to their present names.
void MigrateSettings(const utilcpp::CParseini& settings);
// Whether the monitor is installed and registered (closing writes settings only then).
bool IsInstallationRegistered();
// Gets and dispatches messages until WM_QUIT, with the window's keyboard shortcuts.
void RunMessageLoop(CMonitorDialog& window);

class CMonitor : public IMonitor, public IPluginControl, public IOptionsHost {
public:
    explicit CMonitor(HINSTANCE instance);
    ~CMonitor();
    CMonitor(const CMonitor&) = delete;
    CMonitor& operator=(const CMonitor&) = delete;

    // Shows the window, loads the plug-ins and runs the message loop until it ends.
    void Show();
    void LoadPlugins();
    void UnLoadPlugins();

    bool SharedOptionsEnabled() override;
    void SignalChange() override;
    void KickstartBroadcast() override;
    bool DisablePlugin(const std::string& name) override;
    bool EnablePlugin(const std::string& name) override;

    // The shared options exchange.
    std::string BuildSharedOptions() override;
    void DispatchShareableOptions(const std::string& text) override;
    int ProclamationId() override { return m_proclamationId; }
    void GetSharedOptions(uint32_t peer) { m_options.GetSharedOptions(peer); }
    const COptionsService& OptionsService() const { return m_options; }

    const utilcpp::CParseini& Settings() const { return *m_settings; }
    CMonitorDialog& Window() { return *m_window; }

private:
    CPlugin* FindPlugin(const std::string& name);
    std::vector<CPlugin*> Plugins();

    raii::CWinsockInit m_winsock;
    std::unique_ptr<utilcpp::CParseini> m_settings;
    HINSTANCE m_instance;
    std::vector<std::unique_ptr<CPlugin>> m_plugins;
    // The options thread reads the plug-in sequence while the plug-ins are still being loaded.
    raii::CCriticalSection m_pluginsLock;
    std::unique_ptr<CMonitorDialog> m_window;
    std::atomic<int> m_proclamationId;
    COptionsService m_options;
};
