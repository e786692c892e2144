// The wizard's fonts and pictures, made once per wizard: the title fonts, the watermark and
// header bitmaps for the screen's colour depth, and the two header icons of classic pages.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "common/raii.h"

namespace setup {

class CWizardArt {
public:
    explicit CWizardArt(HINSTANCE instance);
    ~CWizardArt();
    CWizardArt(const CWizardArt&) = delete;
    CWizardArt& operator=(const CWizardArt&) = delete;

    // 16-colour pictures on screens of 8 bits or fewer, else the high-colour ones.
    static bool FewColours();
    UINT WatermarkId() const;
    UINT HeaderId() const;
    HFONT TitleFont() const { return static_cast<HFONT>(m_titleFont.Get()); }
    HFONT BoldFont() const { return static_cast<HFONT>(m_boldFont.Get()); }
    HBITMAP Watermark() const { return static_cast<HBITMAP>(m_watermark.Get()); }
    // 0: installation, 1: removal.
    HICON HeaderIcon(int index) const { return index == 0 ? m_installIcon : m_removeIcon; }

private:
    HINSTANCE m_instance;
    raii::CGdiObject m_titleFont;
    raii::CGdiObject m_boldFont;
    raii::CGdiObject m_watermark;
    HIMAGELIST m_icons = nullptr;
    HICON m_installIcon = nullptr;
    HICON m_removeIcon = nullptr;
};

} // namespace setup
