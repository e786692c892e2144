#include "common/trace.h"
#include "common/ui/window.h"
#include "setup/pages.h"
#include "setup/res/resource.h"
#include "setup/work.h"

namespace setup {

CWorkPage::CWorkPage(tSetupContext& context, const CWizardArt& art, bool removal)
    : CSetupPage(context, art, removal ? IDD_REMOVAL : IDD_CARRY_OUT, removal ? IDS_REMOVAL_TITLE : IDS_CARRY_OUT_TITLE,
                 removal ? IDS_REMOVAL_SUBTITLE : IDS_CARRY_OUT_SUBTITLE),
      m_removal(removal)
{
    SetButtons(0);
}

CWorkPage::~CWorkPage()
{
    // The worker may be asking this page something: answer while waiting for it.
    m_worker.StopAnsweringSentMessages();
}

bool CWorkPage::OnInitDialog()
{
    CSetupPage::OnInitDialog();
    m_self = m_hwnd;
    ShowItem(IDC_WORK_PROGRESS, false);
    return true;
}

LRESULT CWorkPage::OnSetActive()
{
    LRESULT result = CSetupPage::OnSetActive();
    if (m_started)
        return result;
    m_started = true;
    EnableCancel(false);
    InterlockedExchange(&m_context.workInProgress, 1);
    bool started = m_worker.Start([this](CThread&) {
        DWORD error = 0;
        bool done = m_removal ? RunRemoval(m_context, *this, m_self, error)
                              : RunInstallation(m_context, *this, m_self, error);
        PostMessageA(m_self, WM_SETUP_DONE, done ? 1 : 0, static_cast<LPARAM>(error));
    });
    if (!started) {
        InterlockedExchange(&m_context.workInProgress, 0);
        PostMessageA(m_self, WM_SETUP_DONE, 0, ERROR_NOT_ENOUGH_MEMORY);
    }
    return result;
}

bool CWorkPage::OnQueryCancel()
{
    return m_context.workInProgress == 0;
}

void CWorkPage::OnDestroy()
{
    m_worker.StopAnsweringSentMessages();
}

bool CWorkPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_SETUP_PHASE:
        OnPhase(static_cast<int>(wParam));
        break;
    case WM_SETUP_PROGRESS:
        OnProgress(wParam, lParam);
        break;
    case WM_SETUP_DONE:
        OnDone(wParam != 0, static_cast<DWORD>(lParam));
        break;
    default:
        return CSetupPage::OnMessage(message, wParam, lParam, result);
    }
    result = TRUE;
    return true;
}

void CWorkPage::OnPhase(int phase)
{
    UINT text = 0;
    switch (phase) {
    case PHASE_SERVICES_STOPPED:
        text = IDS_PHASE_STOP_SERVICES;
        break;
    case PHASE_FILES:
        text = m_removal ? IDS_PHASE_DELETE : IDS_PHASE_COPY;
        break;
    case PHASE_REGISTRY:
        text = IDS_PHASE_REGISTRY;
        break;
    case PHASE_SHORTCUTS:
        text = IDS_PHASE_SHORTCUTS;
        break;
    case PHASE_SERVICES_STARTED:
        text = IDS_PHASE_START_SERVICES;
        break;
    default:
        break;
    }
    SetItemText(IDC_WORK_PHASE, text ? LoadText(text) : std::string());
    if (phase != PHASE_FILES)
        ShowItem(IDC_WORK_PROGRESS, false);
}

void CWorkPage::OnProgress(WPARAM kind, LPARAM count)
{
    HWND bar = Item(IDC_WORK_PROGRESS);
    if (kind == 0) {
        SendMessageA(bar, PBM_SETRANGE32, 0, count > 0 ? count : 1);
        SendMessageA(bar, PBM_SETPOS, 0, 0);
        SendMessageA(bar, PBM_SETSTEP, 1, 0);
        ShowWindow(bar, SW_SHOW);
    } else {
        SendMessageA(bar, PBM_STEPIT, 0, 0);
    }
}

void CWorkPage::OnDone(bool success, DWORD error)
{
    m_worker.Join();
    m_context.workDone = true;
    m_context.workSucceeded = success;
    m_context.workError = error;
    EnableCancel(true);
    if (success) {
        SetItemText(IDC_WORK_PHASE, LoadText(IDS_WORK_DONE));
        GoToIndex(m_context.successPage);
        return;
    }
    std::string text = LoadText(m_removal ? IDS_REMOVE_FAILED : IDS_INSTALL_FAILED) + "\r\n\r\n" +
                       ErrorText(error, m_context.language);
    SetItemText(IDC_WORK_PHASE, std::string());
    ShowItem(IDC_WORK_PROGRESS, false);
    // The failure page is this page: the user reads why, and may cancel now.
    SetItemText(IDC_WORK_STATUS, text);
    if (m_context.Unattended()) {
        Message(text, MB_OK | MB_ICONERROR);
        PressButton(PSBTN_CANCEL);
    }
}

void CWorkPage::Phase(int phase)
{
    PostMessageA(m_self, WM_SETUP_PHASE, static_cast<WPARAM>(phase), 0);
}

void CWorkPage::FileProgressStart(unsigned count)
{
    PostMessageA(m_self, WM_SETUP_PROGRESS, 0, static_cast<LPARAM>(count));
}

void CWorkPage::FileProgressStep()
{
    PostMessageA(m_self, WM_SETUP_PROGRESS, 1, 0);
}

void CWorkPage::StepText(const std::string& text, bool showProgress)
{
    HWND page = m_self;
    ui::PostTask(page, [page, text, showProgress] {
        SetDlgItemTextA(page, IDC_WORK_PHASE, text.c_str());
        ShowWindow(GetDlgItem(page, IDC_WORK_PROGRESS), showProgress ? SW_SHOW : SW_HIDE);
    });
}

bool CWorkPage::AskShortcut(const std::string& name)
{
    bool create = true;
    ui::SendTask(m_self, [&] {
        std::string format = LoadText(IDS_ASK_SHORTCUT);
        char text[1024];
        snprintf(text, sizeof text, format.c_str(), name.c_str());
        create = Message(text, MB_YESNO | MB_ICONQUESTION) == IDYES;
    });
    return create;
}

} // namespace setup
