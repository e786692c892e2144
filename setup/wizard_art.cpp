#include "setup/wizard_art.h"

#include "setup/res/resource.h"

namespace setup {

namespace {

HFONT MakeFont(int points, bool bold)
{
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    LOGFONTA font = {};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font = metrics.lfMessageFont;
    else
        lstrcpynA(font.lfFaceName, "MS Shell Dlg", LF_FACESIZE);
    HDC screen = GetDC(nullptr);
    if (points > 0)
        font.lfHeight = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirectA(&font);
}

} // namespace

bool CWizardArt::FewColours()
{
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return depth < 9;
}

CWizardArt::CWizardArt(HINSTANCE instance) : m_instance(instance)
{
    m_titleFont.Attach(MakeFont(12, true));
    m_boldFont.Attach(MakeFont(0, true));
    m_watermark.Attach(LoadImageA(instance, MAKEINTRESOURCEA(WatermarkId()), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    m_icons = ImageList_LoadImageA(instance, MAKEINTRESOURCEA(IDB_HEADER_ICONS), 32, 0, RGB(255, 0, 255), IMAGE_BITMAP,
                                   LR_CREATEDIBSECTION);
    if (m_icons) {
        m_installIcon = ImageList_GetIcon(m_icons, 0, ILD_NORMAL);
        m_removeIcon = ImageList_GetIcon(m_icons, 1, ILD_NORMAL);
    }
}

CWizardArt::~CWizardArt()
{
    if (m_installIcon)
        DestroyIcon(m_installIcon);
    if (m_removeIcon)
        DestroyIcon(m_removeIcon);
    if (m_icons)
        ImageList_Destroy(m_icons);
}

UINT CWizardArt::WatermarkId() const
{
    return FewColours() ? IDB_WATERMARK16 : IDB_WATERMARK;
}

UINT CWizardArt::HeaderId() const
{
    return FewColours() ? IDB_HEADER16 : IDB_HEADER;
}

} // namespace setup
