// The About page of the device sheet: a white band with the logo, the printer's name with the
// driver version, and one or two copyright lines built from printer data. The dialog procedure
// itself (AboutPageProc) is declared with the other page procedures in pages/page_procs.h; the
// steps it runs are declared here so that they can be exercised one by one.
#pragma once

#include <windows.h>

#include <cstddef>

#include "pages/sheet_context.h"

namespace pinprint {

// The logo's transparent colour: pixels of it show what lies beneath.
inline constexpr COLORREF kLogoTransparentColour = RGB(0xFF, 0x00, 0xFF);

// Height of the white band across the top of the page, and where the texts start below it.
inline constexpr int kAboutBandHeight = 100;
inline constexpr int kAboutLogoTop = 38;
inline constexpr int kAboutNameLeft = 20;
inline constexpr int kAboutNameTop = 120;

// Text of the driver version: its four 16-bit parts, most significant first, as "a.b.c.d",
// the form of the INF's DriverVer and of every version block of the package.
inline constexpr size_t kVersionTextChars = 24;
void FormatDriverVersion(DWORDLONG version, wchar_t (&text)[kVersionTextChars]);

// The file version of `module`'s own version block as the spooler would report it (a in the
// top 16 bits); 0 when it has none.
DWORDLONG ModuleFileVersion(HMODULE module);

// Lays the page out: band, logo, name and version, copyright lines. FALSE when the logo cannot
// be loaded, in which case nothing on the page is touched.
BOOL InitAboutPage(HWND page, const SheetContext& context);

// Appends the driver version to 5004's template text; leaves it as it is when the spooler has
// no level-6 driver information. A spooler that reports no version (0) gets the plug-in's own,
// which the package's build took from the same source as the INF's DriverVer; when that cannot
// be read either, nothing is appended.
void SetVersionText(HWND page, const SheetContext& context);

// Formats one copyright value ("CopyrightYear1" or "CopyrightYear2" in printer data) with the
// format string `formatId` into `destination`, `bytes` long. S_OK only when the value reads, the
// format loads and the text fits; E_FAIL or the formatter's truncation code otherwise.
HRESULT FormatCopyrightYear(const SheetContext& context, const wchar_t* valueName, UINT formatId,
                            wchar_t* destination, size_t bytes);

// Builds copyright line 5005 or 5006 and sets it as the control's text. FALSE (control
// untouched) when there is no usable value for that line.
BOOL SetCopyrightLine(HWND page, const SheetContext& context, int controlId);

// Hides and disables 5006 and takes the room it had off the bottom of the page. `lineOffset` is
// how far the copyright lines were moved, so that the gap between 5005 and 5006 is measured as
// the template has it.
void HideSecondCopyrightLine(HWND page, POINT lineOffset);

// WM_DRAWITEM: paints the item in the system's window colour and, for the logo control, draws
// the logo into it, scaled to the control's DPI.
void DrawAboutItem(const SheetContext& context, const DRAWITEMSTRUCT& item);

// Draws `bitmap` into `target` at (x, y), leaving the target's own pixels where the bitmap has
// kLogoTransparentColour. The bitmap must not be selected into any DC; it is left unchanged.
// FALSE when a scratch DC or bitmap cannot be made (nothing is drawn then).
BOOL DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y);

// Draws `bitmap` into `target` at (x, y) at `dpi` (its own size at 96 DPI, scaled by dpi / 96),
// smoothly filtered, kLogoTransparentColour kept transparent. The bitmap must not be selected
// into any DC. FALSE when a scratch object cannot be made or the pixels cannot be read (nothing
// is drawn then).
BOOL DrawScaledLogo(HDC target, HBITMAP bitmap, int x, int y, UINT dpi);

}  // namespace pinprint
