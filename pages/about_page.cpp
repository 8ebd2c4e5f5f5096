#include "pages/about_page.h"

#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "config/driver_files.h"
#include "pages/format_bounded.h"
#include "pages/logo_scale.h"
#include "pages/page_procs.h"
#include "pages/page_style.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"

namespace pinprint {
namespace {

// Buffers of the page, in characters.
constexpr size_t kLineChars = 256;          // copyright lines, suffixes, 5004's text
constexpr size_t kTemplateTextChars = 128;  // 5004's text as the second half of 5003
constexpr size_t kNameLineBytes = 1024;     // 5003: name, space, 5004's text
// A copyright line must fit in this many bytes (127 characters and the terminator).
constexpr size_t kCopyrightTextBytes = 256;
// Printer-data copyright values are read into this many bytes.
constexpr DWORD kCopyrightValueBytes = 512;

constexpr wchar_t kCopyrightYear1[] = L"CopyrightYear1";
constexpr wchar_t kCopyrightYear2[] = L"CopyrightYear2";

// A control's window rectangle in the page's client coordinates.
RECT ControlRect(HWND page, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, page, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The window a child lies in; null for a top-level window (GetParent would give its owner).
HWND ParentOf(HWND window) {
    HWND parent = GetAncestor(window, GA_PARENT);
    return parent == GetDesktopWindow() ? nullptr : parent;
}

// A window's rectangle in its parent's client coordinates (screen ones for a top-level window),
// as MoveWindow takes it.
RECT RectInParent(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, ParentOf(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void MoveControlBy(HWND page, int controlId, POINT offset) {
    HWND control = GetDlgItem(page, controlId);
    if (control == nullptr) {
        return;
    }
    const RECT rect = ControlRect(page, control);
    MoveWindow(control, rect.left + offset.x, rect.top + offset.y, rect.right - rect.left,
               rect.bottom - rect.top, FALSE);
}

// Appends `text` to the terminated string in `buffer` (`chars` long); what does not fit is cut.
void AppendCut(wchar_t* buffer, size_t chars, const wchar_t* text) {
    size_t length = wcsnlen(buffer, chars);
    if (length >= chars) {
        buffer[chars - 1] = L'\0';
        return;
    }
    while (*text != L'\0' && length + 1 < chars) {
        buffer[length++] = *text++;
    }
    buffer[length] = L'\0';
}

// The copyright formats come from a resource DLL of the driver package and are handed exactly
// one argument, a wide string. Any other conversion would read an argument that was never
// passed, so a format with one is treated like a missing one.
bool TakesAtMostOneString(const wchar_t* format) {
    int strings = 0;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        if (*p != L'%') {
            continue;
        }
        ++p;
        if (*p == L'%') {
            continue;
        }
        while (*p == L'-') {
            ++p;
        }
        while (*p >= L'0' && *p <= L'9') {
            ++p;
        }
        if (*p == L'.') {
            ++p;
            while (*p >= L'0' && *p <= L'9') {
                ++p;
            }
        }
        if (*p == L'l' || *p == L'w') {
            ++p;  // "%ls" and "%ws" are wide strings as well
        }
        if (*p != L's' || ++strings > 1) {
            return false;
        }
    }
    return true;
}

// Reads a copyright value. The buffer starts zeroed, so a shorter value is always terminated; a
// value that fills all 512 bytes without a terminator is refused rather than read past its end.
bool ReadCopyrightValue(HANDLE printer, const wchar_t* valueName,
                        wchar_t (&value)[kCopyrightValueBytes / sizeof(wchar_t)]) {
    constexpr size_t kChars = kCopyrightValueBytes / sizeof(wchar_t);
    std::fill(std::begin(value), std::end(value), L'\0');
    DWORD needed = 0;
    if (GetPrinterDataW(printer, const_cast<LPWSTR>(valueName), nullptr,
                        reinterpret_cast<LPBYTE>(value), kCopyrightValueBytes,
                        &needed) != ERROR_SUCCESS) {
        return false;
    }
    const size_t chars = std::min<size_t>(needed / sizeof(wchar_t), kChars);
    if (chars < kChars) {
        value[chars] = L'\0';
    }
    return wmemchr(value, L'\0', kChars) != nullptr;
}

// Width and height of the logo; false when it cannot be loaded.
bool LogoSize(HMODULE ownModule, SIZE& size) {
    UniqueGdiObject logo(
        LoadImageW(ownModule, MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    BITMAP info{};
    if (!logo || GetObjectW(logo.get(), sizeof(info), &info) == 0) {
        return false;
    }
    size = {info.bmWidth, info.bmHeight};
    return true;
}

// A memory DC compatible with `target` holding a new bitmap of w x h; the bitmap is selected
// out and both are deleted when the scratch goes out of scope.
struct Scratch {
    Scratch(HDC target, HBITMAP newBitmap)
        : dc(CreateCompatibleDC(target)),
          bitmap(newBitmap),
          select(dc.get(), dc && bitmap ? bitmap.get() : nullptr) {}
    bool ok() const { return dc && bitmap; }
    HDC get() const { return dc.get(); }

    UniqueMemoryDc dc;
    UniqueGdiObject bitmap;
    ScopedSelect select;  // last: restored before the bitmap and the DC are deleted
};

// A top-down 32-bit DIB section of w x h and its pixels; null when it cannot be made.
HBITMAP CreatePixels(HDC dc, int w, int h, uint32_t** pixels, BITMAPINFO& format) {
    format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = w;
    format.bmiHeader.biHeight = -h;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    *pixels = static_cast<uint32_t*>(bits);
    return bits != nullptr ? bitmap : nullptr;
}

}  // namespace

void FormatDriverVersion(DWORDLONG version, wchar_t (&text)[kVersionTextChars]) {
    const unsigned a = static_cast<WORD>(version >> 48);
    const unsigned b = static_cast<WORD>(version >> 32);
    const unsigned c = static_cast<WORD>(version >> 16);
    const unsigned d = static_cast<WORD>(version);
    // Four five-digit parts and their dots fit exactly.
    FormatBounded(text, sizeof(text), L"%u.%u.%u.%u", a, b, c, d);
}

DWORDLONG ModuleFileVersion(HMODULE module) {
    // The block starts with its length, its value's length, its type and the key
    // "VS_VERSION_INFO"; the fixed part follows on the next 32-bit boundary.
    constexpr size_t kFixedOffset =
        (3 * sizeof(WORD) + sizeof(L"VS_VERSION_INFO") + 3) & ~size_t(3);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const auto* block =
        static_cast<const BYTE*>(loaded != nullptr ? LockResource(loaded) : nullptr);
    if (block == nullptr ||
        SizeofResource(module, found) < kFixedOffset + sizeof(VS_FIXEDFILEINFO)) {
        return 0;
    }
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, block + kFixedOffset, sizeof(fixed));
    if (fixed.dwSignature != VS_FFI_SIGNATURE) {
        return 0;
    }
    return (static_cast<DWORDLONG>(fixed.dwFileVersionMS) << 32) | fixed.dwFileVersionLS;
}

void SetVersionText(HWND page, const SheetContext& context) {
    // A block comes back only when it holds at least the whole record.
    UniqueGlobal block = GetDriverInfo(PrinterOf(&context), 6);
    if (!block) {
        return;
    }
    const auto* info = static_cast<const DRIVER_INFO_6W*>(static_cast<void*>(block.get()));

    // Without the template's text the version alone would stand there.
    wchar_t text[kLineChars] = {};
    if (!ReadControlText(page, IDC_ABOUT_VERSION, text, kLineChars)) {
        return;
    }
    // A version nobody can tell is not shown as 0.0.0.0.
    const DWORDLONG reported = info->dwlDriverVersion;
    const DWORDLONG known = reported != 0 ? reported : ModuleFileVersion(context.ownModule);
    if (known == 0) {
        return;
    }
    wchar_t version[kVersionTextChars] = {};
    FormatDriverVersion(known, version);
    AppendCut(text, kLineChars, version);
    SetDlgItemTextW(page, IDC_ABOUT_VERSION, text);
}

HRESULT FormatCopyrightYear(const SheetContext& context, const wchar_t* valueName, UINT formatId,
                            wchar_t* destination, size_t bytes) {
    wchar_t value[kCopyrightValueBytes / sizeof(wchar_t)];
    if (!ReadCopyrightValue(PrinterOf(&context), valueName, value)) {
        return E_FAIL;
    }
    wchar_t format[kLineChars] = {};
    if (LoadStringW(context.resourceModule, formatId, format, kLineChars) == 0 ||
        !TakesAtMostOneString(format)) {
        return E_FAIL;
    }
    return FormatBounded(destination, bytes, format, value);
}

BOOL SetCopyrightLine(HWND page, const SheetContext& context, int controlId) {
    wchar_t line[kLineChars] = {};
    UINT suffixId = 0;
    HRESULT result = E_FAIL;
    switch (controlId) {
        case IDC_ABOUT_COPYRIGHT1:
            // The newer year leads when there is one.
            result = FormatCopyrightYear(context, kCopyrightYear2, IDS_COPYRIGHT2_FORMAT, line,
                                         kCopyrightTextBytes);
            suffixId = IDS_COPYRIGHT2_SUFFIX;
            if (FAILED(result)) {
                result = FormatCopyrightYear(context, kCopyrightYear1, IDS_COPYRIGHT1_FORMAT, line,
                                             kCopyrightTextBytes);
                suffixId = IDS_COPYRIGHT1_SUFFIX;
            }
            break;
        case IDC_ABOUT_COPYRIGHT2:
            // A second line only exists when the first one shows year 2.
            if (FAILED(FormatCopyrightYear(context, kCopyrightYear2, IDS_COPYRIGHT2_FORMAT, line,
                                           kCopyrightTextBytes))) {
                return FALSE;
            }
            result = FormatCopyrightYear(context, kCopyrightYear1, IDS_COPYRIGHT1_FORMAT, line,
                                         kCopyrightTextBytes);
            suffixId = IDS_COPYRIGHT1_SUFFIX;
            break;
        default:
            return FALSE;
    }
    if (FAILED(result)) {
        return FALSE;
    }

    wchar_t suffix[kLineChars] = {};
    LoadStringW(context.resourceModule, suffixId, suffix, kLineChars);  // missing: empty
    AppendCut(line, kLineChars, L" ");
    AppendCut(line, kLineChars, suffix);
    SetDlgItemTextW(page, controlId, line);
    return TRUE;
}

void HideSecondCopyrightLine(HWND page, POINT lineOffset) {
    HWND second = GetDlgItem(page, IDC_ABOUT_COPYRIGHT2);
    if (second == nullptr) {
        return;
    }
    ShowWindow(second, SW_HIDE);
    EnableWindow(second, FALSE);

    // The room the line took: its own height plus the gap to the first line above it, both as
    // the template lays them out (the first line has already been moved by `lineOffset`).
    const RECT secondRect = ControlRect(page, second);
    int shrink = secondRect.bottom - secondRect.top;
    if (HWND first = GetDlgItem(page, IDC_ABOUT_COPYRIGHT1)) {
        const RECT firstRect = ControlRect(page, first);
        const int firstBottom = firstRect.bottom - lineOffset.y;
        if (firstBottom <= secondRect.top) {
            shrink = secondRect.bottom - firstBottom;
        }
    }
    const RECT pageRect = RectInParent(page);
    const int height = std::max(0, static_cast<int>(pageRect.bottom - pageRect.top) - shrink);
    MoveWindow(page, pageRect.left, pageRect.top, pageRect.right - pageRect.left, height, TRUE);
}

BOOL InitAboutPage(HWND page, const SheetContext& context) {
    SIZE logo{};
    if (!LogoSize(context.ownModule, logo)) {
        return FALSE;
    }

    // The page's geometry is given at 96 DPI; the logo and the places it fixes follow the
    // window's DPI, as the template's own dialog units do.
    const UINT dpi = WindowDpi(page);

    // The band spans the whole sheet window, not only the page (a page on its own: the page).
    HWND sheet = ParentOf(page);
    HWND outer = sheet != nullptr ? sheet : page;
    RECT outerRect{};
    GetWindowRect(outer, &outerRect);
    MapWindowPoints(HWND_DESKTOP, outer, reinterpret_cast<POINT*>(&outerRect), 2);
    if (HWND band = GetDlgItem(page, IDC_ABOUT_BAND)) {
        MoveWindow(band, 0, 0, outerRect.right - outerRect.left, ScaleToDpi(kAboutBandHeight, dpi),
                   FALSE);
    }

    if (HWND logoControl = GetDlgItem(page, IDC_ABOUT_LOGO)) {
        const RECT rect = ControlRect(page, logoControl);
        MoveWindow(logoControl, rect.left, ScaleToDpi(kAboutLogoTop, dpi), ScaleToDpi(logo.cx, dpi),
                   ScaleToDpi(logo.cy, dpi), FALSE);
    }

    SetVersionText(page, context);

    wchar_t versionText[kTemplateTextChars] = {};
    if (ReadControlText(page, IDC_ABOUT_VERSION, versionText, kTemplateTextChars)) {
        const wchar_t* printerName =
            context.uiParam != nullptr && context.uiParam->pPrinterName != nullptr
                ? context.uiParam->pPrinterName
                : L"";
        wchar_t nameLine[kNameLineBytes / sizeof(wchar_t)] = {};
        FormatBounded(nameLine, kNameLineBytes, L"%s %s", printerName, versionText);
        SetDlgItemTextW(page, IDC_ABOUT_NAME_VERSION, nameLine);
    }

    POINT offset{0, 0};
    if (HWND name = GetDlgItem(page, IDC_ABOUT_NAME_VERSION)) {
        const RECT before = ControlRect(page, name);
        MoveWindow(name, ScaleToDpi(kAboutNameLeft, dpi), ScaleToDpi(kAboutNameTop, dpi),
                   before.right - before.left, before.bottom - before.top, FALSE);
        const RECT after = ControlRect(page, name);
        offset = {after.left - before.left, after.top - before.top};
    }

    SetCopyrightLine(page, context, IDC_ABOUT_COPYRIGHT1);
    MoveControlBy(page, IDC_ABOUT_COPYRIGHT1, offset);
    if (SetCopyrightLine(page, context, IDC_ABOUT_COPYRIGHT2)) {
        MoveControlBy(page, IDC_ABOUT_COPYRIGHT2, offset);
    } else {
        HideSecondCopyrightLine(page, offset);
    }
    return TRUE;
}

BOOL DrawTransparentBitmap(HDC target, HBITMAP bitmap, int x, int y) {
    UniqueMemoryDc source(CreateCompatibleDC(target));
    if (!source) {
        return FALSE;
    }
    const ScopedSelect holdBitmap(source.get(), bitmap);
    BITMAP info{};
    // A bitmap that cannot be selected (one held by another DC) would draw the DC's default.
    if (GetCurrentObject(source.get(), OBJ_BITMAP) != bitmap ||
        GetObjectW(bitmap, sizeof(info), &info) == 0) {
        return FALSE;
    }
    const int w = info.bmWidth;
    const int h = info.bmHeight;

    // Monochrome masks: one plane, one bit per pixel.
    Scratch save(target, CreateCompatibleBitmap(target, w, h));
    Scratch mask(target, CreateBitmap(w, h, 1, 1, nullptr));
    Scratch inverseMask(target, CreateBitmap(w, h, 1, 1, nullptr));
    Scratch work(target, CreateCompatibleBitmap(target, w, h));
    if (!save.ok() || !mask.ok() || !inverseMask.ok() || !work.ok()) {
        return FALSE;
    }
    // The conversions between colour and monochrome below rely on the memory DCs keeping
    // their default black text and white background colours.

    SetMapMode(source.get(), GetMapMode(target));
    BitBlt(save.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);

    // Colour to monochrome: pixels of the background colour become 1, all others 0.
    const COLORREF oldBackground = SetBkColor(source.get(), kLogoTransparentColour);
    BitBlt(mask.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
    SetBkColor(source.get(), oldBackground);
    BitBlt(inverseMask.get(), 0, 0, w, h, mask.get(), 0, 0, NOTSRCCOPY);

    // What lies beneath, kept only where the logo is transparent...
    BitBlt(work.get(), 0, 0, w, h, target, x, y, SRCCOPY);
    BitBlt(work.get(), 0, 0, w, h, mask.get(), 0, 0, SRCAND);
    // ...the logo, kept only where it is opaque...
    BitBlt(source.get(), 0, 0, w, h, inverseMask.get(), 0, 0, SRCAND);
    // ...and the two together.
    BitBlt(work.get(), 0, 0, w, h, source.get(), 0, 0, SRCPAINT);
    BitBlt(target, x, y, w, h, work.get(), 0, 0, SRCCOPY);

    // Give the caller its bitmap back as it was.
    BitBlt(source.get(), 0, 0, w, h, save.get(), 0, 0, SRCCOPY);
    return TRUE;
}

BOOL DrawScaledLogo(HDC target, HBITMAP bitmap, int x, int y, UINT dpi) {
    BITMAP info{};
    if (GetObjectW(bitmap, sizeof(info), &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0) {
        return FALSE;
    }
    const int w = ScaleToDpi(info.bmWidth, dpi);
    const int h = ScaleToDpi(info.bmHeight, dpi);
    if (w <= 0 || h <= 0) {
        return FALSE;
    }
    BITMAPINFO sourceFormat{};
    BITMAPINFO scaledFormat{};
    uint32_t* sourcePixels = nullptr;
    uint32_t* scaledPixels = nullptr;
    const UniqueGdiObject source(
        CreatePixels(target, info.bmWidth, info.bmHeight, &sourcePixels, sourceFormat));
    const UniqueGdiObject scaled(CreatePixels(target, w, h, &scaledPixels, scaledFormat));
    if (!source || !scaled ||
        GetDIBits(target, bitmap, 0, static_cast<UINT>(info.bmHeight), sourcePixels, &sourceFormat,
                  DIB_RGB_COLORS) != info.bmHeight) {
        return FALSE;
    }
    // GDI's colours are 0x00BBGGRR; the DIB's pixels are 0x00RRGGBB.
    constexpr uint32_t kTransparentPixel = (GetRValue(kLogoTransparentColour) << 16) |
                                           (GetGValue(kLogoTransparentColour) << 8) |
                                           GetBValue(kLogoTransparentColour);
    PremultiplyLogo(sourcePixels, info.bmWidth * info.bmHeight, kTransparentPixel);
    ScalePremultiplied(sourcePixels, info.bmWidth, info.bmHeight, scaledPixels, w, h);

    const UniqueMemoryDc dc(CreateCompatibleDC(target));
    if (!dc) {
        return FALSE;
    }
    const ScopedSelect held(dc.get(), scaled.get());
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    return AlphaBlend(target, x, y, w, h, dc.get(), 0, 0, w, h, blend);
}

void DrawAboutItem(const SheetContext& context, const DRAWITEMSTRUCT& item) {
    if (item.hDC == nullptr) {
        return;
    }
    {
        // The band's colour: the system's window colour (white, unless a scheme such as a
        // high-contrast one says otherwise).
        UniqueGdiObject window(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
        if (window) {
            const ScopedSelect selected(item.hDC, window.get());
            const RECT& r = item.rcItem;
            PatBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, PATCOPY);
        }
    }
    if (item.CtlID != IDC_ABOUT_LOGO) {
        return;
    }
    UniqueGdiObject logo(LoadBitmapW(context.ownModule, MAKEINTRESOURCEW(IDB_LOGO)));
    if (!logo) {
        return;
    }
    const auto bitmap = static_cast<HBITMAP>(logo.get());
    const int x = static_cast<short>(item.rcItem.left);
    const int y = static_cast<short>(item.rcItem.top);
    // At another DPI the logo is scaled; should that fail, it is drawn at its own size.
    const UINT dpi = WindowDpi(item.hwndItem);
    if (dpi == kDefaultDpi || !DrawScaledLogo(item.hDC, bitmap, x, y, dpi)) {
        DrawTransparentBitmap(item.hDC, bitmap, x, y);
    }
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM /*wParam*/, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SheetContext* context = ContextFromInitDialog(lParam);
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(context));
        if (context != nullptr) {
            InitAboutPage(page, *context);
        }
        return FALSE;
    }
    const SheetContext* context = ContextOf(page);
    if (context == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_DRAWITEM:
            if (lParam != 0) {
                DrawAboutItem(*context, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            }
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const auto control = reinterpret_cast<HWND>(lParam);
            if (control != nullptr && (control == GetDlgItem(page, IDC_ABOUT_BAND) ||
                                       control == GetDlgItem(page, IDC_ABOUT_LOGO))) {
                // The band in the system's window colour, whatever the scheme (it has no text).
                return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace pinprint
