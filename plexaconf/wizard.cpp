#include "plexaconf/wizard.h"

#include <commctrl.h>

#include <algorithm>

#include "common/trace.h"
#include "common/ui/message_box.h"
#include "common/xutil.h"
#include "monitor/source.win/global/plugin_contract.h"
#include "plexaconf/res/resource.h"

const char kSettingsSection[] = "Settings";
const char kAllowKey[] = "allow";

namespace {

const int kIdBoxes[4] = {IDC_ADD_ID1, IDC_ADD_ID2, IDC_ADD_ID3, IDC_ADD_ID4};
const size_t kIdGroup = 4;
const int kMaxPassword = 2047;

void PlayAnimation(HWND control, HINSTANCE instance, UINT animation)
{
    SendMessageA(control, ACM_OPENA, reinterpret_cast<WPARAM>(instance), reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(animation)));
    SendMessageA(control, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
}

void StopAnimation(HWND control)
{
    SendMessageA(control, ACM_STOP, 0, 0);
}

} // namespace

// --- the wizard ------------------------------------------------------------------------------

CWizard::CWizard(HINSTANCE instance, CAdapterLayer& layer, CPlexaEngine& engine, CSecurityIdStore& store,
                 CMonitorControl& monitor, const std::string& allow)
    : m_instance(instance), m_layer(layer), m_engine(engine), m_store(store), m_monitor(monitor), m_allow(allow)
{
}

bool CWizard::HasRemote() const
{
    return std::any_of(m_search.list.begin(), m_search.list.end(), [](const tListedAdapter& a) { return !a.local; });
}

void CWizard::SetNek(const tNetworkKey& nek)
{
    m_nek = nek;
    m_nekSet = true;
}

void CWizard::EnableCancel(HWND sheet, bool enabled)
{
    if (HWND cancel = GetDlgItem(sheet, IDCANCEL))
        EnableWindow(cancel, enabled);
}

HFONT CWizard::TitleFont()
{
    if (!m_titleFont) {
        // Wizard97's exterior titles: Verdana bold, 12 points.
        HDC screen = GetDC(nullptr);
        int height = -MulDiv(12, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        m_titleFont.Attach(CreateFontA(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, "Verdana"));
    }
    return static_cast<HFONT>(m_titleFont.Get());
}

INT_PTR CWizard::Run()
{
    CWelcomePage welcome(*this);
    CSearchPage search(*this);
    CFailedPage failed(*this);
    CAdaptersPage adapters(*this);
    CPasswordPage password(*this);
    CAssignPage assign(*this);
    CFinishPage finish(*this);

    char caption[256] = "";
    LoadStringA(m_instance, IDS_CAPTION, caption, sizeof caption);
    ui::CPropertySheet sheet(m_instance, caption);
    sheet.SetWizard97(IDB_WATERMARK, IDB_HEADER);
    for (CWizardPage* page : std::initializer_list<CWizardPage*>{&welcome, &search, &failed, &adapters, &password,
                                                                 &assign, &finish})
        sheet.AddPage(*page);
    sheet.SetIcon(LoadIconA(m_instance, MAKEINTRESOURCEA(IDI_PLEXACONF)));
    return sheet.DoModal(nullptr);
}

CWizardPage::CWizardPage(CWizard& wizard, UINT templateId)
    : CPropertyPage(wizard.Instance(), templateId, IDS_CAPTION), m_wizard(wizard)
{
}

void CWizardPage::RepaintSheet()
{
    HWND sheet = Sheet();
    ui::PostTask(Handle(), [sheet] { RedrawWindow(sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN); });
}

void CWizardPage::SetTitleFont(int id)
{
    SendItem(id, WM_SETFONT, reinterpret_cast<WPARAM>(m_wizard.TitleFont()), TRUE);
}

// --- page 1 ----------------------------------------------------------------------------------

CWelcomePage::CWelcomePage(CWizard& wizard) : CWizardPage(wizard, IDD_WELCOME)
{
    SetExterior(true);
}

bool CWelcomePage::OnInitDialog()
{
    // The first page is made when the sheet has its size.
    xUtilCenterWindow(Sheet(), nullptr);
    SetTitleFont(IDC_WELCOME_TITLE);
    return true;
}

LRESULT CWelcomePage::OnSetActive()
{
    SetWizardButtons(PSWIZB_NEXT);
    return 0;
}

// --- page 2 ----------------------------------------------------------------------------------

CSearchPage::CSearchPage(CWizard& wizard) : CWizardPage(wizard, IDD_SEARCH)
{
    SetHeader(IDS_SEARCH_TITLE, IDS_SEARCH_SUBTITLE);
}

LRESULT CSearchPage::OnSetActive()
{
    SetWizardButtons(0);
    if (m_searching)
        return 0;
    m_worker.Join();
    SendItem(IDC_SEARCH_PROGRESS, PBM_SETRANGE32, 0, 100);
    SendItem(IDC_SEARCH_PROGRESS, PBM_SETPOS, 0);
    PlayAnimation(Item(IDC_SEARCH_ANIMATION), m_wizard.Instance(), IDA_SEARCH);
    m_searching = true;
    HWND page = Handle();
    HWND sheet = Sheet();
    CWizard& wizard = m_wizard;
    m_worker.Start([this, page, sheet, &wizard](CThread&) {
        HWND bar = GetDlgItem(page, IDC_SEARCH_PROGRESS);
        CSearchProcedure search(wizard.Layer(), wizard.Engine(), wizard.Store(), wizard.Allow());
        // Every search checks the stored security IDs: the adapters found with them last time
        // belong in the list again.
        tSearchOutcome outcome = search.Run(
            [page, bar](int position) { ui::PostTask(page, [bar, position] { SendMessageA(bar, PBM_SETPOS, position, 0); }); },
            [&wizard] { wizard.Monitor().StopPlugin(kPowerlinePluginName); },
            [page, sheet] { ui::PostTask(page, [sheet] { CWizard::EnableCancel(sheet, false); }); }, true);
        ui::PostTask(page, [this, outcome] { Finish(outcome); });
    });
    return 0;
}

void CSearchPage::Finish(tSearchOutcome outcome)
{
    m_searching = false;
    StopAnimation(Item(IDC_SEARCH_ANIMATION));
    m_wizard.Search() = outcome;
    SetWizardButtons(PSWIZB_NEXT);
    PressButton(PSBTN_NEXT);
}

bool CSearchPage::OnQueryCancel()
{
    return !m_searching;
}

void CSearchPage::OnDestroy()
{
    m_worker.StopAnsweringSentMessages();
}

// --- page 3 ----------------------------------------------------------------------------------

CFailedPage::CFailedPage(CWizard& wizard) : CWizardPage(wizard, IDD_FAILED)
{
    SetExterior(true);
}

bool CFailedPage::OnInitDialog()
{
    SetTitleFont(IDC_FAILED_TITLE);
    return true;
}

LRESULT CFailedPage::OnSetActive()
{
    size_t locals = m_wizard.Search().locals.size();
    if (locals == 1)
        return -1; // on to the list (or back to the search)
    bool none = locals == 0;
    SetItemText(IDC_FAILED_REASON, LoadText(none ? IDS_NONE_FOUND_TITLE : IDS_SEVERAL_FOUND_TITLE));
    SetItemText(IDC_FAILED_TEXT, LoadText(none ? IDS_NONE_FOUND_TEXT : IDS_SEVERAL_FOUND_TEXT));
    SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
    RepaintSheet();
    return 0;
}

// --- page 4 ----------------------------------------------------------------------------------

CAdaptersPage::CAdaptersPage(CWizard& wizard) : CWizardPage(wizard, IDD_ADD)
{
    SetHeader(IDS_ADD_TITLE, IDS_ADD_SUBTITLE);
}

bool CAdaptersPage::OnInitDialog()
{
    for (int box : kIdBoxes)
        SendItem(box, EM_LIMITTEXT, kIdGroup);
    return true;
}

LRESULT CAdaptersPage::OnSetActive()
{
    ShowList();
    UpdateDefaultButton();
    SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
    return 0;
}

void CAdaptersPage::ShowList()
{
    SendItem(IDC_ADD_LIST, LB_RESETCONTENT);
    for (const tListedAdapter& listed : m_wizard.List()) {
        std::string text = MacListText(listed.address) + " " + LoadText(listed.local ? IDS_ON_THIS_COMPUTER : IDS_VIA_THE_GRID);
        SendItem(IDC_ADD_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

std::string CAdaptersPage::EnteredId() const
{
    std::string id;
    for (int box : kIdBoxes)
        id += ItemText(box);
    return id;
}

void CAdaptersPage::UpdateDefaultButton()
{
    bool complete = true;
    for (int box : kIdBoxes)
        complete = complete && ItemText(box).size() == kIdGroup;
    // A complete security ID: Enter adds it instead of leaving the page.
    SendMessageA(Handle(), DM_SETDEFID, complete ? IDC_ADD_ADD : 0, 0);
    SendItem(IDC_ADD_ADD, BM_SETSTYLE, complete ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

int CAdaptersPage::Message(UINT textId, UINT captionId, UINT flags)
{
    return ui::ShowMessage(Sheet(), m_wizard.Instance(), textId, captionId, flags);
}

bool CAdaptersPage::OnCommand(WORD id, WORD code, HWND)
{
    if (code == EN_CHANGE && std::find(std::begin(kIdBoxes), std::end(kIdBoxes), id) != std::end(kIdBoxes)) {
        UpdateDefaultButton();
        // A full group moves on to the next box, as typing the printed ID goes.
        int index = static_cast<int>(std::find(std::begin(kIdBoxes), std::end(kIdBoxes), id) - std::begin(kIdBoxes));
        if (index < 3 && ItemText(id).size() == kIdGroup && GetFocus() == Item(id))
            SetFocus(Item(kIdBoxes[index + 1]));
        return true;
    }
    if (code != BN_CLICKED)
        return false;
    if (id == IDC_ADD_ADD) {
        OnAdd();
        return true;
    }
    if (id == IDC_ADD_DELETE) {
        OnDelete();
        return true;
    }
    return false;
}

void CAdaptersPage::OnAdd()
{
    std::string id = EnteredId();
    if (!IsSecurityId(id)) {
        Message(IDS_INCOMPLETE_ID, IDS_CAPTION, MB_OK | MB_ICONWARNING);
        return;
    }
    std::vector<tListedAdapter>& list = m_wizard.List();
    if (std::any_of(list.begin(), list.end(), [&](const tListedAdapter& a) { return a.securityId == id; })) {
        Message(IDS_ALREADY_ADDED, IDS_CAPTION, MB_OK | MB_ICONINFORMATION);
        return;
    }
    // From here on a remote adapter's key may change: no way back by Cancel. (Stations the
    // search listed do not count as keyed: their keys have not been touched.)
    CWizard::EnableCancel(Sheet(), false);
    HCURSOR cursor = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    tNetworkKey random;
    tMacAddress found = MacZero();
    int result = m_wizard.Engine().RandomKey(random)
                     ? m_wizard.Engine().AddRemote(&random, CPlexaEngine::PasswordToKey(id), found)
                     : 0;
    SetCursor(cursor);
    if (result == 0 || result == kAddRemoteLocalFailed) {
        Message(IDS_NOT_ADDRESSABLE, IDS_CAPTION, MB_OK | MB_ICONWARNING);
        return;
    }
    AddToList(list, found, id);
    m_wizard.Store().Add(id);
    for (int box : kIdBoxes)
        SetItemText(box, "");
    ShowList();
    SetFocus(Item(IDC_ADD_ID1));
}

void CAdaptersPage::OnDelete()
{
    int count = static_cast<int>(SendItem(IDC_ADD_LIST, LB_GETSELCOUNT));
    if (count <= 0)
        return;
    std::vector<int> selected(static_cast<size_t>(count));
    count = static_cast<int>(SendItem(IDC_ADD_LIST, LB_GETSELITEMS, selected.size(), reinterpret_cast<LPARAM>(selected.data())));
    selected.resize(count > 0 ? static_cast<size_t>(count) : 0);
    std::sort(selected.rbegin(), selected.rend());
    std::vector<tListedAdapter>& list = m_wizard.List();
    for (int index : selected) {
        // The local adapter, first in the list, stays.
        if (index <= 0 || static_cast<size_t>(index) >= list.size() || list[index].local)
            continue;
        if (!list[index].securityId.empty())
            m_wizard.Store().Remove(list[index].securityId);
        list.erase(list.begin() + index);
    }
    ShowList();
    if (!m_wizard.HasRemote())
        CWizard::EnableCancel(Sheet(), true);
}

LRESULT CAdaptersPage::OnWizardNext()
{
    if (m_wizard.List().size() == 1 && Message(IDS_ONLY_ONE_TEXT, IDS_ONLY_ONE_CAPTION, MB_YESNO | MB_ICONWARNING) == IDYES)
        return -1;
    return 0;
}

// --- page 5 ----------------------------------------------------------------------------------

CPasswordPage::CPasswordPage(CWizard& wizard) : CWizardPage(wizard, IDD_PASSWORD)
{
    SetHeader(IDS_PASSWORD_TITLE, IDS_PASSWORD_SUBTITLE);
}

bool CPasswordPage::OnInitDialog()
{
    SendItem(IDC_PASSWORD, EM_LIMITTEXT, kMaxPassword);
    SendItem(IDC_PASSWORD_CONFIRM, EM_LIMITTEXT, kMaxPassword);
    return true;
}

bool CPasswordPage::Acceptable() const
{
    std::string password = ItemText(IDC_PASSWORD);
    return !password.empty() && password == ItemText(IDC_PASSWORD_CONFIRM);
}

void CPasswordPage::UpdateButtons()
{
    SetWizardButtons(Acceptable() ? PSWIZB_BACK | PSWIZB_NEXT : PSWIZB_BACK);
}

LRESULT CPasswordPage::OnSetActive()
{
    UpdateButtons();
    return 0;
}

bool CPasswordPage::OnCommand(WORD id, WORD code, HWND)
{
    if (code == EN_CHANGE && (id == IDC_PASSWORD || id == IDC_PASSWORD_CONFIRM)) {
        UpdateButtons();
        return true;
    }
    return false;
}

LRESULT CPasswordPage::OnWizardNext()
{
    if (!Acceptable())
        return -1;
    std::string password = ItemText(IDC_PASSWORD);
    m_wizard.SetNek(CPlexaEngine::PasswordToKey(password));
    SecureZeroMemory(&password[0], password.size());
    return 0;
}

// --- page 6 ----------------------------------------------------------------------------------

CAssignPage::CAssignPage(CWizard& wizard) : CWizardPage(wizard, IDD_ASSIGN)
{
    SetHeader(IDS_ASSIGN_TITLE, IDS_ASSIGN_SUBTITLE);
}

LRESULT CAssignPage::OnSetActive()
{
    SetWizardButtons(0);
    if (m_assigning)
        return 0;
    m_worker.Join();
    std::vector<tListedAdapter> list = m_wizard.List();
    int remotes = static_cast<int>(std::count_if(list.begin(), list.end(), [](const tListedAdapter& a) { return !a.local; }));
    SendItem(IDC_ASSIGN_PROGRESS, PBM_SETRANGE32, 0, AssignSteps(remotes));
    SendItem(IDC_ASSIGN_PROGRESS, PBM_SETSTEP, 1);
    SendItem(IDC_ASSIGN_PROGRESS, PBM_SETPOS, 0);
    PlayAnimation(Item(IDC_ASSIGN_ANIMATION), m_wizard.Instance(), IDA_ASSIGN);
    m_assigning = true;
    HWND page = Handle();
    HWND bar = Item(IDC_ASSIGN_PROGRESS);
    tNetworkKey nek = m_wizard.Nek();
    CWizard& wizard = m_wizard;
    m_worker.Start([this, page, bar, nek, list, &wizard](CThread& self) mutable {
        CAssignProcedure assign(wizard.Engine(), wizard.Layer(),
                                [page](const std::function<void()>& operation) { ui::SendTask(page, operation); });
        bool completed = assign.Run(self, list, nek,
                                    [page, bar] { ui::PostTask(page, [bar] { SendMessageA(bar, PBM_STEPIT, 0, 0); }); });
        ui::PostTask(page, [this, list, completed] { Finish(list, completed); });
    });
    return 0;
}

void CAssignPage::Finish(std::vector<tListedAdapter> list, bool completed)
{
    m_assigning = false;
    StopAnimation(Item(IDC_ASSIGN_ANIMATION));
    m_wizard.List() = list;
    if (!completed)
        return;
    SetWizardButtons(PSWIZB_NEXT);
    PressButton(PSBTN_NEXT);
}

bool CAssignPage::OnQueryCancel()
{
    // The worker stops before the next adapter.
    m_worker.RequestStop();
    return true;
}

void CAssignPage::OnDestroy()
{
    m_worker.StopAnsweringSentMessages();
}

// --- page 7 ----------------------------------------------------------------------------------

CFinishPage::CFinishPage(CWizard& wizard) : CWizardPage(wizard, IDD_FINISH)
{
    SetExterior(true);
}

bool CFinishPage::OnInitDialog()
{
    SetTitleFont(IDC_FINISH_TITLE);
    return true;
}

LRESULT CFinishPage::OnSetActive()
{
    SendItem(IDC_FINISH_LIST, LB_RESETCONTENT);
    for (const tListedAdapter& listed : m_wizard.List()) {
        std::string text = MacListText(listed.address) + ": " + LoadText(listed.answers ? IDS_ANSWERS : IDS_DOES_NOT_ANSWER);
        SendItem(IDC_FINISH_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    CWizard::EnableCancel(Sheet(), false);
    SetWizardButtons(PSWIZB_FINISH);
    RepaintSheet();
    return 0;
}
