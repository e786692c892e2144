// The statistics window: a property sheet with the calls of the log ("Individual overview")
// and the monthly totals ("Monthly overview"). It runs on a thread of its own, so neither the
// plug-in's GetState nor the monitor's window waits for it; the plug-in tells it when the files
// changed, and it tells the plug-in (through an event) when the user deleted the statistics.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"
#include "common/ui/property_sheet.h"
#include "plugins/dialtrack/monthly_totals.h"
#include "plugins/dialtrack/statistics_files.h"

class CStatisticsWindow;

// What the two pages share: their files, and reloading when told.
class CStatisticsPage : public ui::CPropertyPage {
public:
    CStatisticsPage(HINSTANCE instance, UINT templateId, CStatisticsWindow& owner, CStatisticFiles& files)
        : CPropertyPage(instance, templateId), m_owner(owner), m_files(files) {}
    // Reads the files again and shows what they hold now.
    virtual void Reload() = 0;

protected:
    bool OnInitDialog() override;
    void OnDestroy() override;

    CStatisticsWindow& m_owner;
    CStatisticFiles& m_files;
};

class CIndividualPage : public CStatisticsPage {
public:
    CIndividualPage(HINSTANCE instance, CStatisticsWindow& owner, CStatisticFiles& files);
    void Reload() override;
    // Asks, then removes the selected calls from the log.
    void DeleteSelected();
    const std::vector<tLoggedCall>& GetCalls() const { return m_calls; }

protected:
    bool OnInitDialog() override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void ShowContextMenu(LPARAM position);

    std::vector<tLoggedCall> m_calls;
};

class CMonthlyPage : public CStatisticsPage {
public:
    // `changed` is set after the user deleted the statistics.
    CMonthlyPage(HINSTANCE instance, CStatisticsWindow& owner, CStatisticFiles& files, HANDLE changed);
    void Reload() override;
    // Asks, then cuts both files to nothing.
    void DeleteStatistics();
    const std::vector<tMonth>& GetMonths() const { return m_months; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void ShowSelectedMonth();

    HANDLE m_changed;
    std::vector<tMonthlyEntry> m_entries;
    std::vector<tMonth> m_months; // the drop-down list's months, newest first
};

class CStatisticsWindow {
public:
    CStatisticsWindow(HINSTANCE instance, CStatisticFiles& files, HANDLE changed);
    ~CStatisticsWindow() { Close(); }
    CStatisticsWindow(const CStatisticsWindow&) = delete;
    CStatisticsWindow& operator=(const CStatisticsWindow&) = delete;

    // Shows the window, or brings it to the front when it is open. Any thread.
    void Open();
    // Ends the window, answering "No" to a question it may be asking, and waits for its thread.
    void Close();
    // The files changed: the open pages read them again. Any thread.
    void DataChanged();
    bool IsRunning() const { return m_thread.IsRunning(); }
    HWND GetSheet() const;

private:
    friend class CStatisticsPage;
    void PageShown(CStatisticsPage& page);
    void PageGone(CStatisticsPage& page);
    void Run();

    HINSTANCE m_instance;
    CStatisticFiles& m_files;
    HANDLE m_changed;
    mutable raii::CCriticalSection m_lock; // guards m_sheet and m_pages
    HWND m_sheet = nullptr;
    std::vector<CStatisticsPage*> m_pages;
    CThread m_thread;
};
