#include "tandem/app/options.h"

#include <initializer_list>
#include <string>

#include "common/raii.h"
#include "common/strings.h"
#include "common/ui/property_sheet.h"
#include "common/xutil.h"
#include "tandem/app/dialogs.h"
#include "tandem/app/folder_browser.h"
#include "tandem/res/resource.h"
#include "tandem/share_files.h"
#include "tandem/share_rules.h"

namespace {

// Texts of the string table use a lone "\r" as line break.
std::string Lines(std::string text)
{
    for (size_t at = 0; (at = text.find('\r', at)) != std::string::npos; at += 2)
        if (at + 1 >= text.size() || text[at + 1] != '\n')
            text.insert(at + 1, "\n");
    return text;
}

class CGeneralPage : public ui::CPropertyPage {
public:
    explicit CGeneralPage(HINSTANCE instance) : ui::CPropertyPage(instance, IDD_GENERAL) {}
    std::string m_hostName;
    bool m_sound = true;
    bool m_applied = false;

protected:
    bool OnInitDialog() override
    {
        SendItem(IDC_COMPUTER_NAME, EM_LIMITTEXT, 255);
        SetItemText(IDC_COMPUTER_NAME, m_hostName);
        Check(IDC_SOUND, m_sound);
        return true;
    }
    bool OnApply() override
    {
        m_hostName = ItemText(IDC_COMPUTER_NAME);
        m_sound = IsChecked(IDC_SOUND);
        m_applied = true;
        return true;
    }
};

// What the wizard pages collect.
struct tWizardData {
    std::string hostName;
    bool shareNow = true;
    std::string path;
    std::string name;
    bool completed = false;
};

class CWelcomePage : public ui::CPropertyPage {
public:
    CWelcomePage(HINSTANCE instance, UINT firstText) : ui::CPropertyPage(instance, IDD_WIZ_WELCOME), m_first(firstText)
    {
        SetExterior(true);
    }

protected:
    bool OnInitDialog() override
    {
        LOGFONTA look = {};
        look.lfHeight = -16;
        look.lfWeight = FW_BOLD;
        lstrcpynA(look.lfFaceName, "Verdana", LF_FACESIZE);
        m_title.Attach(CreateFontIndirectA(&look));
        SendItem(IDC_WELCOME_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(m_title.Get()), TRUE);
        const int ids[] = {IDC_WELCOME_TITLE, IDC_WELCOME_TEXT, IDC_WELCOME_MORE, IDC_WELCOME_NEXT};
        for (UINT i = 0; i < 4; ++i)
            SetItemText(ids[i], Lines(LoadText(m_first + i)));
        return true;
    }
    LRESULT OnSetActive() override
    {
        SetWizardButtons(PSWIZB_NEXT);
        return 0;
    }

private:
    UINT m_first;
    raii::CGdiObject m_title;
};

class CNamePage : public ui::CPropertyPage {
public:
    CNamePage(HINSTANCE instance, tWizardData& data) : ui::CPropertyPage(instance, IDD_WIZ_NAME), m_data(data)
    {
        SetHeader(IDS_WIZ_NAME_TITLE, IDS_WIZ_NAME_SUBTITLE);
    }

protected:
    bool OnInitDialog() override
    {
        SendItem(IDC_COMPUTER_NAME, EM_LIMITTEXT, 255);
        SetItemText(IDC_COMPUTER_NAME, m_data.hostName);
        Check(IDC_SHARE_NOW, m_data.shareNow);
        return true;
    }
    LRESULT OnSetActive() override
    {
        SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
        return 0;
    }
    LRESULT OnWizardNext() override
    {
        m_data.hostName = ItemText(IDC_COMPUTER_NAME);
        m_data.shareNow = IsChecked(IDC_SHARE_NOW);
        return m_data.shareNow ? 0 : IDD_WIZ_FINISH;
    }

private:
    tWizardData& m_data;
};

class CSharePathPage : public ui::CPropertyPage {
public:
    CSharePathPage(HINSTANCE instance, tWizardData& data) : ui::CPropertyPage(instance, IDD_WIZ_PATH), m_data(data)
    {
        SetHeader(IDS_WIZ_SHARE_TITLE, IDS_WIZ_PATH_SUBTITLE);
    }

protected:
    bool OnInitDialog() override
    {
        SendItem(IDC_SHARE_PATH, EM_LIMITTEXT, MAX_PATH);
        SetItemText(IDC_SHARE_PATH, m_data.path);
        return true;
    }
    bool OnCommand(WORD id, WORD, HWND) override
    {
        if (id != IDC_BROWSE)
            return false;
        std::string chosen;
        if (BrowseForFolder(m_hwnd, LoadText(IDS_WIZ_PATH_SUBTITLE), ItemText(IDC_SHARE_PATH), chosen))
            SetItemText(IDC_SHARE_PATH, chosen);
        return true;
    }
    LRESULT OnSetActive() override
    {
        SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
        return 0;
    }
    LRESULT OnWizardNext() override
    {
        std::string path = ItemText(IDC_SHARE_PATH);
        unsigned error = path.empty() ? IDS_SHARE_EMPTY : IsExistingFolder(path) ? 0 : IDS_PATH_INVALID;
        if (error) {
            ShowInputError(m_hwnd, m_instance, error);
            SetFocus(Item(IDC_SHARE_PATH));
            return -1;
        }
        if (path != m_data.path)
            m_data.name = ShareNameForFolder(path);
        m_data.path = path;
        return 0;
    }

private:
    tWizardData& m_data;
};

class CShareNamePage : public ui::CPropertyPage {
public:
    CShareNamePage(HINSTANCE instance, tWizardData& data)
        : ui::CPropertyPage(instance, IDD_WIZ_SHARE_NAME), m_data(data)
    {
        SetHeader(IDS_WIZ_SHARE_TITLE, IDS_WIZ_NAME_PAGE_SUBTITLE);
    }

protected:
    bool OnInitDialog() override
    {
        SendItem(IDC_SHARE_NAME, EM_LIMITTEXT, 255);
        return true;
    }
    LRESULT OnSetActive() override
    {
        SetItemText(IDC_SHARE_NAME, m_data.name);
        SetWizardButtons(PSWIZB_BACK | PSWIZB_NEXT);
        return 0;
    }
    LRESULT OnWizardNext() override
    {
        std::string name = ItemText(IDC_SHARE_NAME);
        unsigned error = ValidateShare(name, m_data.path, IsExistingFolder);
        if (error) {
            ShowInputError(m_hwnd, m_instance, error);
            SetFocus(Item(IDC_SHARE_NAME));
            return -1;
        }
        m_data.name = name;
        return 0;
    }

private:
    tWizardData& m_data;
};

class CFinishPage : public ui::CPropertyPage {
public:
    CFinishPage(HINSTANCE instance, tWizardData& data) : ui::CPropertyPage(instance, IDD_WIZ_FINISH), m_data(data)
    {
        SetExterior(true);
    }

protected:
    bool OnInitDialog() override
    {
        SetItemText(IDC_FINISH_TITLE, Lines(LoadText(IDS_FINISH_TITLE)));
        SetItemText(IDC_FINISH_TEXT, Lines(LoadText(IDS_FINISH_TEXT)));
        return true;
    }
    LRESULT OnSetActive() override
    {
        SetWizardButtons(PSWIZB_BACK | PSWIZB_FINISH);
        return 0;
    }
    bool OnWizardFinish() override
    {
        m_data.completed = true;
        return true;
    }

private:
    tWizardData& m_data;
};

void Style(ui::CPropertySheet& sheet)
{
    DWORD major = 0, minor = 0;
    bool newer = xUtilGetComctlVersion(&major, &minor) && (major > 5 || (major == 5 && minor >= 80));
    // Wine's comctl32 6 still calls itself 5.81.
    if (newer)
        sheet.SetWizard97(IDB_WATERMARK, IDB_HEADER);
    else
        sheet.SetWizard();
}

} // namespace

bool RunOptionsSheet(HWND owner, HINSTANCE instance, const CTandemSettings& settings)
{
    CGeneralPage general(instance);
    general.m_hostName = settings.HostName();
    general.m_sound = settings.GetInt("sound", 1) != 0;
    ui::CPropertySheet sheet(instance, xUtilLoadString(instance, IDS_OPTIONS));
    sheet.AddPage(general);
    sheet.AddFlags(PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP);
    sheet.DoModal(owner);
    if (!general.m_applied)
        return false;
    settings.SetHostName(general.m_hostName);
    settings.SetInt("sound", general.m_sound ? 1 : 0);
    return true;
}

bool RunFirstRunWizard(HWND owner, HINSTANCE instance, const CTandemSettings& settings)
{
    tWizardData data;
    data.hostName = settings.HostName();
    CWelcomePage welcome(instance, IDS_WELCOME_FIRST_1);
    CNamePage name(instance, data);
    CSharePathPage path(instance, data);
    CShareNamePage shareName(instance, data);
    CFinishPage finish(instance, data);
    ui::CPropertySheet sheet(instance, xUtilLoadString(instance, IDS_WIZ_FIRST_RUN));
    for (ui::CPropertyPage* page : std::initializer_list<ui::CPropertyPage*>{&welcome, &name, &path, &shareName, &finish})
        sheet.AddPage(*page);
    Style(sheet);
    sheet.DoModal(owner);
    if (data.completed) {
        settings.SetHostName(data.hostName);
        if (data.shareNow && !data.name.empty())
            settings.WriteShare(data.name, data.path);
    }
    settings.SetInt("firstinstalled", 1);
    return data.completed;
}

bool RunShareWizard(HWND owner, HINSTANCE instance, const CTandemSettings& settings)
{
    tWizardData data;
    CWelcomePage welcome(instance, IDS_WELCOME_SHARE_1);
    CSharePathPage path(instance, data);
    CShareNamePage shareName(instance, data);
    CFinishPage finish(instance, data);
    ui::CPropertySheet sheet(instance, xUtilLoadString(instance, IDS_WIZ_SHARE_WIZARD));
    for (ui::CPropertyPage* page : std::initializer_list<ui::CPropertyPage*>{&welcome, &path, &shareName, &finish})
        sheet.AddPage(*page);
    Style(sheet);
    sheet.DoModal(owner);
    if (!data.completed || data.name.empty())
        return false;
    settings.WriteShare(data.name, data.path);
    return true;
}
