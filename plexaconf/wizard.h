// The wizard: seven Wizard97 pages over the shared state below. The pages only move data
// between their controls and that state; the search and the assignment run on worker threads
// of their pages (wizard_model.h), the key procedures of the Add button and of the assignment
// on the window thread, never two at a time.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/raii.h"
#include "common/thread.h"
#include "common/ui/property_sheet.h"
#include "plexaconf/monitor_control.h"
#include "plexaconf/wizard_model.h"

// Where the setting "allow" lives in the settings file beside the program.
extern const char kSettingsSection[];
extern const char kAllowKey[];

class CWizard {
public:
    CWizard(HINSTANCE instance, CAdapterLayer& layer, CPlexaEngine& engine, CSecurityIdStore& store,
            CMonitorControl& monitor, const std::string& allow);

    // Runs the sheet; 1 when finished, 0 when cancelled, -1 when it could not be shown.
    INT_PTR Run();

    HINSTANCE Instance() const { return m_instance; }
    CAdapterLayer& Layer() { return m_layer; }
    CPlexaEngine& Engine() { return m_engine; }
    CSecurityIdStore& Store() { return m_store; }
    CMonitorControl& Monitor() { return m_monitor; }
    const std::string& Allow() const { return m_allow; }

    // The search's result: the local adapters found and the list to key.
    tSearchOutcome& Search() { return m_search; }
    std::vector<tListedAdapter>& List() { return m_search.list; }
    bool HasRemote() const;

    void SetNek(const tNetworkKey& nek);
    bool NekSet() const { return m_nekSet; }
    const tNetworkKey& Nek() const { return m_nek; }

    // The sheet's Cancel button: off as soon as a remote adapter's key may have changed.
    static void EnableCancel(HWND sheet, bool enabled);
    // The big bold font of the welcome, failure and last pages' titles.
    HFONT TitleFont();

private:
    HINSTANCE m_instance;
    CAdapterLayer& m_layer;
    CPlexaEngine& m_engine;
    CSecurityIdStore& m_store;
    CMonitorControl& m_monitor;
    std::string m_allow;
    tSearchOutcome m_search;
    tNetworkKey m_nek = {};
    bool m_nekSet = false;
    raii::CGdiObject m_titleFont;
};

// --- the pages -------------------------------------------------------------------------------

class CWizardPage : public ui::CPropertyPage {
public:
    // Every page carries the wizard's caption: the title bar shows the page's.
    CWizardPage(CWizard& wizard, UINT templateId);

protected:
    void SetTitleFont(int id);
    // After an interior page the sheet keeps the header band where an exterior page's
    // watermark belongs until it is painted again.
    void RepaintSheet();
    CWizard& m_wizard;
};

class CWelcomePage : public CWizardPage {
public:
    explicit CWelcomePage(CWizard& wizard);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
};

// Page 2: the search runs each time the page becomes active; Next is pressed by the page.
class CSearchPage : public CWizardPage {
public:
    explicit CSearchPage(CWizard& wizard);
    bool Searching() const { return m_searching; }

protected:
    LRESULT OnSetActive() override;
    bool OnQueryCancel() override;
    void OnDestroy() override;

private:
    void Finish(tSearchOutcome outcome);

    CThread m_worker;
    bool m_searching = false;
};

// Page 3: shown only when the search did not find exactly one local adapter.
class CFailedPage : public CWizardPage {
public:
    explicit CFailedPage(CWizard& wizard);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
};

// Page 4: the list of adapters, remote ones added by security ID.
class CAdaptersPage : public CWizardPage {
public:
    explicit CAdaptersPage(CWizard& wizard);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardNext() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnAdd();
    void OnDelete();
    void ShowList();
    void UpdateDefaultButton();
    std::string EnteredId() const;
    int Message(UINT textId, UINT captionId, UINT flags);
};

// Page 5: the network password, twice.
class CPasswordPage : public CWizardPage {
public:
    explicit CPasswordPage(CWizard& wizard);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
    LRESULT OnWizardNext() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    bool Acceptable() const;
    void UpdateButtons();
};

// Page 6: the assignment worker keys every adapter; the page runs the key procedures it asks
// for and goes on to the last page by itself.
class CAssignPage : public CWizardPage {
public:
    explicit CAssignPage(CWizard& wizard);

protected:
    LRESULT OnSetActive() override;
    bool OnQueryCancel() override;
    void OnDestroy() override;

private:
    void Finish(std::vector<tListedAdapter> list, bool completed);

    CThread m_worker;
    bool m_assigning = false;
};

// Page 7: every adapter of the list, and whether it answers under the new key.
class CFinishPage : public CWizardPage {
public:
    explicit CFinishPage(CWizard& wizard);

protected:
    bool OnInitDialog() override;
    LRESULT OnSetActive() override;
};
