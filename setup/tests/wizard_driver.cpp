#include "setup/tests/wizard_driver.h"

#include <prsht.h>

#include <fstream>

#include "common/ui/window.h"
#include "setup/res/resource.h"

namespace setuptest {

CWizardDriver::CWizardDriver()
{
    ui::SetDialogObserver([this](ui::CDialogBase& page) {
        HWND handle = page.Handle();
        made.push_back(page.TemplateId());
        // The page is made before it is shown (and also when it is about to be skipped): act
        // once it is the current one.
        // The first task is queued before anything the page starts when shown, so it still
        // finds a page current that goes on by itself (the work page whose work is quick).
        // Acting waits for a second turn, so that what the page posts itself when shown (its
        // buttons) comes first.
        ui::PostTask(handle, [this, &page, handle] {
            if (!IsCurrent(handle))
                return;
            shown.push_back(page.TemplateId());
            ui::PostTask(handle, [this, &page, handle] {
                if (IsCurrent(handle))
                    Act(page);
            });
        });
    });
}

CWizardDriver::~CWizardDriver()
{
    ui::SetDialogObserver(nullptr);
}

bool CWizardDriver::IsCurrent(HWND page)
{
    return reinterpret_cast<HWND>(SendMessageA(GetParent(page), PSM_GETCURRENTPAGEHWND, 0, 0)) == page;
}

void CWizardDriver::Advance(ui::CDialogBase& page)
{
    UINT id = page.TemplateId();
    int button = id == IDD_FINISH || id == IDD_REMOVAL_FINISH ? PSBTN_FINISH : PSBTN_NEXT;
    PostMessageA(GetParent(page.Handle()), PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

void CWizardDriver::Act(ui::CDialogBase& page)
{
    UINT id = page.TemplateId();
    if (onShown)
        onShown(page);
    for (const tAction& action : m_actions)
        if (action.templateId == id) {
            action.action(page);
            return;
        }
    if (id != IDD_CARRY_OUT && id != IDD_REMOVAL)
        Advance(page);
}

bool CaptureWindow(HWND window, const std::string& path)
{
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    RECT place;
    if (!GetWindowRect(window, &place))
        return false;
    int width = place.right - place.left, height = place.bottom - place.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    GdiFlush();
    DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u), size = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4d42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + size;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), size);
    SelectObject(memory, old);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return static_cast<bool>(out);
}

} // namespace setuptest
