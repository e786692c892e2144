// Display scaling for the programs' own drawing. The programs declare themselves aware of the
// system's scaling in their manifest (common/res/manifest.rc), so the system no longer stretches
// their windows: dialogs scale with their font by themselves, but pictures drawn for 96 dots
// per inch (image lists, icons in trees and lists) must be scaled here.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace ui {

// Dots per inch of the display that shows the window (the system's when there is none).
int DpiOf(HWND window);

// A length meant for 96 dots per inch, at `dpi`, rounded to the nearest pixel.
int ScaleToDpi(int length96, int dpi);

// An image list of `count` square images cut from a strip of images `size96` pixels wide,
// scaled to `dpi`. `mask` is the strip's transparent colour, or CLR_NONE for a 32-bit strip
// with an alpha channel. The scaled list has 32 bits per pixel (pixels are averaged, edges
// stay soft); on a display of at most 256 colours it keeps the strip's colours and a mask
// (pixels are repeated). Null when the strip cannot be read.
HIMAGELIST CreateScaledImageList(HBITMAP strip, int size96, int count, int dpi, COLORREF mask);

} // namespace ui
