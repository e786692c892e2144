#include "common/ui/dpi.h"

#include <stdint.h>

#include <vector>

#include "common/raii.h"

namespace ui {

namespace {

typedef UINT(WINAPI* tGetDpiForWindow)(HWND);

// 32-bit pixels, top row first, as GetDIBits and CreateDIBSection see them (blue in the low byte).
struct tPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> data;
    uint32_t& At(int x, int y) { return data[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// The strip with straight alpha: the mask colour (or a strip without any alpha) made explicit.
bool ReadStrip(HBITMAP strip, COLORREF mask, tPixels& out)
{
    BITMAP bitmap = {};
    if (!GetObjectA(strip, sizeof bitmap, &bitmap) || bitmap.bmWidth <= 0 || bitmap.bmHeight == 0)
        return false;
    out.width = bitmap.bmWidth;
    out.height = bitmap.bmHeight < 0 ? -bitmap.bmHeight : bitmap.bmHeight;
    out.data.assign(static_cast<size_t>(out.width) * static_cast<size_t>(out.height), 0);
    BITMAPINFO info = TopDown32(out.width, out.height);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, strip, 0, static_cast<UINT>(out.height), out.data.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (lines != out.height)
        return false;

    bool anyAlpha = false;
    for (uint32_t pixel : out.data)
        anyAlpha = anyAlpha || (pixel >> 24) != 0;
    const uint32_t maskPixel = mask == CLR_NONE ? 0xFFFFFFFFu
                                                : (static_cast<uint32_t>(GetRValue(mask)) << 16) |
                                                      (static_cast<uint32_t>(GetGValue(mask)) << 8) | GetBValue(mask);
    for (uint32_t& pixel : out.data) {
        if (mask != CLR_NONE)
            pixel = (pixel & 0xFFFFFFu) == maskPixel ? 0u : (pixel | 0xFF000000u);
        else if (!anyAlpha)
            pixel |= 0xFF000000u;
    }
    return true;
}

// Area averaging, weighted by alpha so that transparent pixels lend no colour to the edges.
uint32_t AveragePixel(tPixels& source, int left, int size96, double x0, double x1, double y0, double y1)
{
    double sum[4] = {0, 0, 0, 0}; // blue, green, red weighted by alpha; alpha
    double area = 0;
    for (int y = static_cast<int>(y0); y < size96 && y < y1; ++y) {
        double h = (y + 1 < y1 ? y + 1 : y1) - (y > y0 ? y : y0);
        for (int x = static_cast<int>(x0); x < size96 && x < x1; ++x) {
            double w = (x + 1 < x1 ? x + 1 : x1) - (x > x0 ? x : x0);
            if (w <= 0 || h <= 0)
                continue;
            uint32_t pixel = source.At(left + x, y);
            double alpha = static_cast<double>(pixel >> 24) / 255.0;
            double weight = w * h;
            sum[0] += weight * alpha * static_cast<double>(pixel & 0xFF);
            sum[1] += weight * alpha * static_cast<double>((pixel >> 8) & 0xFF);
            sum[2] += weight * alpha * static_cast<double>((pixel >> 16) & 0xFF);
            sum[3] += weight * alpha;
            area += weight;
        }
    }
    if (area <= 0 || sum[3] <= 0)
        return 0;
    auto channel = [](double value) { return static_cast<uint32_t>(value < 0 ? 0 : value > 255 ? 255 : value + 0.5); };
    uint32_t alpha = channel(255.0 * sum[3] / area);
    return (alpha << 24) | (channel(sum[2] / sum[3]) << 16) | (channel(sum[1] / sum[3]) << 8) | channel(sum[0] / sum[3]);
}

bool FewColours()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    ReleaseDC(nullptr, screen);
    return bits <= 8;
}

} // namespace

int DpiOf(HWND window)
{
    static const tGetDpiForWindow getDpiForWindow = reinterpret_cast<tGetDpiForWindow>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow"));
    if (window && getDpiForWindow) {
        UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int ScaleToDpi(int length96, int dpi)
{
    return MulDiv(length96, dpi, 96);
}

HIMAGELIST CreateScaledImageList(HBITMAP strip, int size96, int count, int dpi, COLORREF mask)
{
    int size = ScaleToDpi(size96, dpi);
    tPixels source;
    if (!strip || size96 <= 0 || count <= 0 || size <= 0 || !ReadStrip(strip, mask, source) ||
        source.width < size96 * count || source.height < size96)
        return nullptr;

    const bool fewColours = FewColours();
    const COLORREF fill = mask == CLR_NONE ? RGB(255, 0, 255) : mask;
    const uint32_t fillPixel = (static_cast<uint32_t>(GetRValue(fill)) << 16) | (static_cast<uint32_t>(GetGValue(fill)) << 8) | GetBValue(fill);
    BITMAPINFO info = TopDown32(size * count, size);
    void* bits = nullptr;
    raii::CGdiObject scaled(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!scaled || !bits)
        return nullptr;
    uint32_t* target = static_cast<uint32_t*>(bits);
    const double step = static_cast<double>(size96) / static_cast<double>(size);
    for (int image = 0; image < count; ++image) {
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                uint32_t pixel;
                if (fewColours) {
                    // Only the strip's own colours: the nearest pixel, the mask colour where clear.
                    pixel = source.At(image * size96 + static_cast<int>((x + 0.5) * step), static_cast<int>((y + 0.5) * step));
                    pixel = (pixel >> 24) < 128 ? fillPixel : (pixel & 0xFFFFFFu);
                } else {
                    pixel = AveragePixel(source, image * size96, size96, x * step, (x + 1) * step, y * step, (y + 1) * step);
                }
                target[static_cast<size_t>(y) * static_cast<size_t>(size * count) + static_cast<size_t>(image * size + x)] = pixel;
            }
        }
    }
    GdiFlush();

    HIMAGELIST list = ImageList_Create(size, size, fewColours ? (ILC_COLORDDB | ILC_MASK) : ILC_COLOR32, count, 0);
    if (!list)
        return nullptr;
    HBITMAP picture = static_cast<HBITMAP>(scaled.Get());
    int added = fewColours ? ImageList_AddMasked(list, picture, fill) : ImageList_Add(list, picture, nullptr);
    if (added < 0) {
        ImageList_Destroy(list);
        return nullptr;
    }
    return list;
}

} // namespace ui
