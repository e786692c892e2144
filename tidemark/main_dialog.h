// The main dialog (4096): what to delete, Delete, Preview and Close. The caller fills
// m_options, runs the dialog and, when it ends with IDOK ("Close"), stores m_options;
// leaving it any other way keeps the stored options as they were.
#pragma once

#include "common/ui/dialog.h"
#include "tidemark/rules.h"

class CMainDialog : public ui::CDialog {
public:
    explicit CMainDialog(HINSTANCE instance);

    tCleanOptions m_options;
    // The result of the last run's progress dialog (IDOK, or IDCANCEL when cancelled).
    INT_PTR m_lastRun = 0;

    tCleanOptions BoxStates() const;

protected:
    bool OnInitDialog() override;
    bool OnSaveData() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void OnDelete();
    void OnPreview();

    bool m_running = false;
};
