#include "monitor/monitor.h"

#include <stdlib.h>
#include <strings.h>

#include "common/trace.h"
#include "common/xutil.h"
#include "monitor/monitor_dialog.h"

const char kDialogSettings[] = "DialogSettings";

const char* const kPluginList[4] = {"coppercard.dll", "copperstick.dll", "dialtrack.dll",
                                    "plexa.dll"};

void MigrateSettings(const utilcpp::CParseini& settings)
{
    settings.RenameKey(kDialogSettings, "PositionX", "XPos");
    settings.RenameKey(kDialogSettings, "PositionY", "YPos");
    settings.RenameKey(kDialogSettings, "Width", "XSize");
    settings.RenameKey(kDialogSettings, "Height", "YSize");
}

bool IsInstallationRegistered()
{
    char path[MAX_PATH * 2];
    return xUtilFindInstalledFile("netwarden", "watchpost", path, sizeof path);
}

CMonitor::CMonitor(HINSTANCE instance)
    : m_settings(new utilcpp::CParseini("")), m_instance(instance), m_proclamationId(-1), m_options(*this)
{
    m_options.Start();
    m_window.reset(new CMonitorDialog(this, this, m_instance, *m_settings));
}

CMonitor::~CMonitor()
{
    // Whatever fails here must not keep the process from ending.
    try {
        TraceHere("entering\n");
        m_options.Stop();
        UnLoadPlugins();
        m_window.reset();
        m_settings.reset();
    } catch (...) {
    }
}

void CMonitor::Show()
{
    TraceHere("entering\n");
    m_window->PrepareAndShow();
    LoadPlugins();
    RunMessageLoop(*m_window);
}

void RunMessageLoop(CMonitorDialog& window)
{
    int failures = 0;
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            break;
        if (got == -1) {
            // A message that could not be received is lost, not the monitor: under Wine an
            // 8 MiB WM_COPYDATA from another program does this. Should it keep failing, the
            // loop slows down instead of spinning.
            if (++failures == 1) {
                TraceHere("GetMessage failed, the message is dropped\n");
                TraceLastError();
            }
            if (failures > 100)
                Sleep(10);
            continue;
        }
        failures = 0;
        if (window.PreTranslateMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void CMonitor::LoadPlugins()
{
    for (const char* name : kPluginList) {
        std::unique_ptr<CPlugin> plugin(new CPlugin(name, m_window->GetHandle()));
        if (plugin->Create()) {
            raii::CLock lock(m_pluginsLock);
            m_plugins.push_back(std::move(plugin));
        }
    }
}

void CMonitor::UnLoadPlugins()
{
    TraceHere("entering\n");
    while (!m_plugins.empty()) {
        m_plugins.front()->Destroy();
        raii::CLock lock(m_pluginsLock);
        m_plugins.erase(m_plugins.begin());
    }
    TraceHere("all plugins unloaded/ended\n");
}

CPlugin* CMonitor::FindPlugin(const std::string& name)
{
    for (const std::unique_ptr<CPlugin>& plugin : m_plugins)
        if (strcasecmp(plugin->GetName().c_str(), name.c_str()) == 0)
            return plugin.get();
    return nullptr;
}

bool CMonitor::DisablePlugin(const std::string& name)
{
    TraceHere("strName: %s\n", name.c_str());
    CPlugin* plugin = FindPlugin(name);
    if (!plugin)
        return false;
    TraceHere("disabling plugin %s (%s)\n", name.c_str(), plugin->GetName().c_str());
    plugin->Destroy();
    return true;
}

bool CMonitor::EnablePlugin(const std::string& name)
{
    TraceHere("strName: %s\n", name.c_str());
    CPlugin* plugin = FindPlugin(name);
    if (!plugin)
        return false;
    TraceHere("enabling plugin %s\n", name.c_str());
    return plugin->Create();
}

bool CMonitor::SharedOptionsEnabled()
{
    int value = 1;
    m_settings->GetInt(kDialogSettings, "SharedOptions", value, 1);
    return value == 1;
}

void CMonitor::SignalChange()
{
    for (const std::unique_ptr<CPlugin>& plugin : m_plugins)
        plugin->SignalChange();
}

std::vector<CPlugin*> CMonitor::Plugins()
{
    raii::CLock lock(m_pluginsLock);
    std::vector<CPlugin*> plugins;
    for (const std::unique_ptr<CPlugin>& plugin : m_plugins)
        plugins.push_back(plugin.get());
    return plugins;
}

std::string CMonitor::BuildSharedOptions()
{
    return BuildOptionsOfPlugins(Plugins());
}

void CMonitor::DispatchShareableOptions(const std::string& text)
{
    DispatchOptionsToPlugins(text, SharedOptionsEnabled(), Plugins());
}

void CMonitor::KickstartBroadcast()
{
    if (SharedOptionsEnabled())
        m_proclamationId = rand();
}
