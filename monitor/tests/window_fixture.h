// The monitor window's test fixture: the window over a stand-in for the monitor core, with
// a settings file of its own, and what the window's tests share.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/parseini.h"
#include "common/tests/test_support.h"
#include "monitor/merge.h"
#include "monitor/monitor_dialog.h"
#include "monitor/plugin.h"
#include "monitor/tests/monitor_test_support.h"

namespace monitortest {

using testsupport::CTempDir;

class CFakeMonitor : public IMonitor, public IPluginControl {
public:
    // As the monitor reads it, when the test gives the settings.
    bool SharedOptionsEnabled() override
    {
        int value = 1;
        if (settings)
            settings->GetInt("DialogSettings", "SharedOptions", value, 1);
        return value == 1;
    }
    void SignalChange() override
    {
        ++signals;
        lastSignal = GetTickCount();
    }
    void KickstartBroadcast() override { ++kickstarts; }
    bool DisablePlugin(const std::string& name) override
    {
        disabled.push_back(name);
        return true;
    }
    bool EnablePlugin(const std::string& name) override
    {
        enabled.push_back(name);
        return true;
    }
    const utilcpp::CParseini* settings = nullptr;
    int signals = 0;
    int kickstarts = 0;
    DWORD lastSignal = 0;
    std::vector<std::string> disabled, enabled;
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LINK_CLASS};
        InitCommonControlsEx(&controls);
        m_settings.reset(new utilcpp::CParseini(m_dir.File("watchpost.ini")));
        m_fake.settings = m_settings.get();
        m_dialog.reset(new CMonitorDialog(&m_fake, &m_fake, GetModuleHandleA(nullptr), *m_settings));
        if (!m_dialog->GetHandle()) {
            if (testsupport::DisplayRequired())
                FAIL() << "no window although a display was provided";
            GTEST_SKIP() << "no display";
        }
        // Every update is shown at once; the pacing has tests of its own.
        m_dialog->SetUpdateInterval(0);
    }
    void TearDown() override { m_dialog.reset(); }

    LRESULT CopyData(ULONG_PTR kind, const void* data, DWORD size)
    {
        COPYDATASTRUCT copy = {kind, size, const_cast<void*>(data)};
        return SendMessageA(m_dialog->GetHandle(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
    }

    void SendTree(CState* tree, CPlugin& plugin)
    {
        tStatusUpdate update = {tree, &plugin, nullptr};
        SendMessageA(m_dialog->GetHandle(), WM_STATUSUPDATE, reinterpret_cast<WPARAM>(&update), 0);
    }

    std::vector<std::string> MenuTexts(HMENU menu)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            MENUITEMINFOA info = {};
            char text[128] = "";
            info.cbSize = sizeof info;
            info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = sizeof text;
            GetMenuItemInfoA(menu, i, TRUE, &info);
            texts.push_back((info.fType & MFT_SEPARATOR) ? "-" : std::to_string(info.wID) + ":" + text);
        }
        return texts;
    }

    HTREEITEM FindRow(int32_t id)
    {
        HWND tree = m_dialog->GetTree();
        for (HTREEITEM item = TreeView_GetRoot(tree); item; item = TreeView_GetNextSibling(tree, item))
            if (GetTreeRow(tree, item)->id == id)
                return item;
        return nullptr;
    }

    std::string ShownText(HTREEITEM item) { return TreeItemText(m_dialog->GetTree(), item); }

    // Pumps messages as the monitor's loop does (with the window's keyboard shortcuts).
    bool Pump(const std::function<bool()>& condition, DWORD milliseconds)
    {
        return PumpUntil(condition, milliseconds, [this](MSG* msg) { return m_dialog && m_dialog->PreTranslateMessage(msg); });
    }

    CTempDir m_dir;
    CFakeMonitor m_fake;
    std::unique_ptr<utilcpp::CParseini> m_settings;
    std::unique_ptr<CMonitorDialog> m_dialog;
};


} // namespace monitortest
