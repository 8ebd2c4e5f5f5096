// The pages where and as users meet them: second in compstui's real sheets, after the driver's
// own first page, in the looks of Windows 10 and 11. Each look runs in a copy of this program
// started in it (support/look.h): the Light visual style in a program with a Common Controls 6
// manifest, a high-contrast scheme, 144 DPI. And a package without its resource module.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <uxtheme.h>

#include <functional>
#include <set>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/look.h"
#include "support/secure_page_fixture.h"
#include "support/test_printer.h"
#include "tools/drvhost/driver_sheet.h"

namespace pinprint::test {
namespace {

using drvhost::SheetKind;

// A sheet of a printer of this test's own through compstui, closed with OK once `seen` has run
// with the plug-in's page showing; the driver's devmode afterwards.
PrivateDevmode ShowPluginPage(SheetKind kind, const std::function<void(HWND, HWND)>& seen,
                              DriverSetup driver = {}) {
    driver.driverName = L"PinPrint Look Driver";
    TestPrinter printer(L"PinPrint Look", driver);
    LoadedPlugin loaded;
    IPrintOemUI* plugin = loaded.CreatePlugin();
    std::vector<BYTE> devmode;
    EXPECT_TRUE(printer.ok() && printer.SetOptions(0x101) &&
                drvhost::DefaultDevmode(plugin, devmode));
    drvhost::DriverHeap heap;
    drvhost::DriverSheet sheet;
    sheet.entry = {
        .uiParam = drvhost::DriverParameters(printer.handle(), printer.name().c_str(),
                                             loaded.module(), heap.get(), devmode.data()),
        .plugin = plugin,
        .kind = kind};
    sheet.title = L"PinPrint Look";
    sheet.closeAfterMs = 300;
    bool shown = false;
    sheet.onShown = [&](HWND window) {
        shown = true;
        seen(window, drvhost::CurrentPage(window));
    };
    EXPECT_TRUE(drvhost::OpenDriverSheet(sheet) && shown);
    plugin->Release();
    return *reinterpret_cast<PrivateDevmode*>(devmode.data() + sizeof(DEVMODEW));
}

// `inner`'s window rectangle in `outer`'s window coordinates, as CaptureWindow has them.
RECT RectIn(HWND outer, HWND inner) {
    RECT o = {}, r = {};
    GetWindowRect(outer, &o);
    GetWindowRect(inner, &r);
    OffsetRect(&r, -o.left, -o.top);
    return r;
}

uint32_t Pixel(COLORREF c) {
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// The logo as the plug-in carries it, 123 x 32.
std::vector<uint32_t> OwnLogo() {
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(L"pinprintui.dll"), MAKEINTRESOURCEW(IDB_LOGO));
    BITMAPINFO format = {{sizeof(BITMAPINFOHEADER), 123, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<uint32_t> pixels(123 * 32);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDIBits(screen, bitmap, 0, 32, pixels.data(), &format, DIB_RGB_COLORS), 32);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return pixels;
}

// `p` is one of the scheme's colours, or lies between two of them (a glyph's smoothed edge).
bool OfScheme(uint32_t p, const std::set<uint32_t>& scheme) {
    for (uint32_t a : scheme) {
        for (uint32_t b : scheme) {
            int largest = 0, span = 0, offset = 0;
            for (int shift = 0; shift < 24; shift += 8) {
                const int d = static_cast<int>((b >> shift) & 0xFF) - ((a >> shift) & 0xFF);
                if (std::abs(d) >= std::abs(largest)) {
                    largest = d;
                    span = d;
                    offset = static_cast<int>((p >> shift) & 0xFF) - ((a >> shift) & 0xFF);
                }
            }
            const double t = span != 0 ? static_cast<double>(offset) / span : 0;
            bool on = t >= 0 && t <= 1;
            for (int shift = 0; shift < 24 && on; shift += 8) {
                const double expected =
                    ((a >> shift) & 0xFF) + t * (static_cast<int>((b >> shift) & 0xFF) -
                                                 static_cast<int>((a >> shift) & 0xFF));
                on = std::abs(((p >> shift) & 0xFF) - expected) <= 2;
            }
            if (on) {
                return true;
            }
        }
    }
    return false;
}

// Every look, each in a copy of this program started in it.
TEST(Looks, PagesFollowTheLook) {
    const struct {
        const wchar_t* test;
        Look look;
    } looks[] = {{L"InLook.ThemedSheetShowsItsTabThroughThePage", {.lightStyle = true}},
                 {L"InLook.HighContrastLeavesNoColourOfTheirOwn", {.highContrast = true}},
                 {L"InLook.LogoScalesWithTheDpi", {.dpi = 144}}};
    for (const auto& c : looks) {
        const ChildResult copy = RunInLook(c.look, std::wstring(L"--gtest_filter=") + c.test);
        EXPECT_TRUE(copy.started && copy.exitCode == 0 &&
                    copy.output.find("[  PASSED  ] 1 test") != std::string::npos)
            << copy.output;
    }
}

TEST(InLook, ThemedSheetShowsItsTabThroughThePage) {
    if (!IsLookCopy()) {
        GTEST_SKIP() << "runs in a copy of this program started in the look";
    }
    ASSERT_TRUE(IsAppThemed());
    const HostManifest host;
    ASSERT_TRUE(host.ok());
    ShowPluginPage(SheetKind::Document, [](HWND sheet, HWND page) {
        const auto user32 = reinterpret_cast<ULONG_PTR>(GetModuleHandleW(L"user32.dll"));
        std::vector<RECT> controls;
        for (HWND c = GetWindow(page, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
            EXPECT_NE(GetClassLongPtrW(c, GCLP_HMODULE), user32) << GetDlgCtrlID(c);
            controls.push_back(RectIn(sheet, c));
        }
        // The tab's own background below the page, and the page's wherever no control lies.
        SIZE size = {};
        const std::vector<uint32_t> pixels = CaptureWindow(sheet, size);
        const RECT onPage = RectIn(sheet, page);
        // The tab control's body shows in the margin between the page and the tab's frame.
        const RECT tab = RectIn(sheet, PropSheet_GetTabControl(sheet));
        ASSERT_GE(tab.bottom - onPage.bottom, 3) << "no tab background below the page";
        const uint32_t background = pixels[(onPage.bottom + 1) * size.cx + onPage.left + 4];
        EXPECT_NE(background, Pixel(GetSysColor(COLOR_BTNFACE))) << "the style draws no tab";
        int sampled = 0;
        for (LONG y = onPage.top + 2; y < onPage.bottom - 2; y += 6) {
            for (LONG x = onPage.left + 2; x < onPage.right - 2; x += 6) {
                const POINT at = {x, y};
                bool free = true;
                for (const RECT& r : controls) {
                    free = free && !PtInRect(&r, at);
                }
                if (free && ++sampled) {
                    ASSERT_EQ(pixels[y * size.cx + x], background) << "at " << x << ", " << y;
                }
            }
        }
        EXPECT_GT(sampled, 100);
    });
}

TEST(InLook, HighContrastLeavesNoColourOfTheirOwn) {
    if (!IsLookCopy()) {
        GTEST_SKIP() << "runs in a copy of this program started in the look";
    }
    std::set<uint32_t> scheme;
    for (int i = COLOR_SCROLLBAR; i <= COLOR_MENUBAR; ++i) {
        scheme.insert(Pixel(GetSysColor(i)));
    }
    ASSERT_EQ(GetSysColor(COLOR_WINDOW), RGB(0, 0, 0));
    for (SheetKind kind : {SheetKind::Document, SheetKind::Device}) {
        ShowPluginPage(kind, [&scheme](HWND, HWND page) {
            SIZE size = {};
            const std::vector<uint32_t> pixels = CaptureWindow(page, size);
            const HWND logo = GetDlgItem(page, IDC_ABOUT_LOGO);
            const RECT logoRect = logo != nullptr ? RectIn(page, logo) : RECT{};
            const std::vector<uint32_t> own = OwnLogo();
            std::set<uint32_t> checked;
            for (LONG y = 0; y < size.cy; ++y) {
                for (LONG x = 0; x < size.cx; ++x) {
                    const uint32_t p = pixels[y * size.cx + x];
                    // Where the logo is opaque, its own colour; everywhere else the scheme's.
                    const bool inLogo = PtInRect(&logoRect, {x, y});
                    const LONG at = (y - logoRect.top) * 123 + x - logoRect.left;
                    if (inLogo && own[at] != 0xFF00FF) {
                        EXPECT_EQ(p, own[at]);
                    } else if (checked.insert(p).second) {
                        ASSERT_TRUE(OfScheme(p, scheme))
                            << std::hex << p << " at " << std::dec << x << ", " << y;
                    }
                }
            }
        });
    }
}

TEST(InLook, LogoScalesWithTheDpi) {
    if (!IsLookCopy()) {
        GTEST_SKIP() << "runs in a copy of this program started in the look";
    }
    ShowPluginPage(SheetKind::Device, [](HWND, HWND page) {
        // Where the logo has its own colours, at its own size and as drawn.
        const auto extent = [](const std::vector<uint32_t>& p, LONG w, uint32_t blank) {
            RECT r = {LONG_MAX, LONG_MAX, 0, 0};
            for (LONG i = 0; i < static_cast<LONG>(p.size()); ++i) {
                if (p[i] != blank) {
                    r = {std::min(r.left, i % w), std::min(r.top, i / w),
                         std::max(r.right, i % w + 1), std::max(r.bottom, i / w + 1)};
                }
            }
            return SIZE{r.right - r.left, r.bottom - r.top};
        };
        const std::vector<uint32_t> own = OwnLogo();
        SIZE size = {};
        const std::vector<uint32_t> drawn = CaptureWindow(GetDlgItem(page, IDC_ABOUT_LOGO), size);
        EXPECT_EQ(size.cx, 185);  // 123 and 32 at 1.5 times
        EXPECT_EQ(size.cy, 48);
        const SIZE at96 = extent(own, 123, 0xFF00FF);
        const SIZE at144 = extent(drawn, size.cx, Pixel(GetSysColor(COLOR_WINDOW)));
        // Filtering gives each edge at most one pixel of partly transparent logo more.
        EXPECT_NEAR(at144.cx, at96.cx * 1.5, 2);
        EXPECT_NEAR(at144.cy, at96.cy * 1.5, 2);
    });
}

// A package whose resource module is not beside the plug-in (named, but renamed away): the page
// opens whole from the plug-in's own English templates, and leaving it stores the digest.
TEST(MissingResourceModule, PageOpensInEnglishAndStoresTheDigest) {
    DriverSetup driver;
    driver.dependentFiles = {L"pinprintui.dll", L"pinprintlg-renamed.dll", L"pinprint.chm"};
    ResourceModule english;
    const auto layout = ReadTemplate(english.get(), IDD_SECURE_PRINT);
    const PrivateDevmode after = ShowPluginPage(
        SheetKind::Document,
        [&layout](HWND, HWND page) {
            EXPECT_EQ(ContextOf(page)->resourceModule, GetModuleHandleW(L"pinprintui.dll"));
            for (const auto& [id, control] : layout) {
                EXPECT_TRUE(id < 0 || ChildText(page, id) == control.text) << id;
            }
            SendDlgItemMessageW(page, IDC_SECURE_ENABLE, BM_CLICK, 0, 0);
            SetFocus(GetDlgItem(page, IDC_PIN_EDIT));
            SecurePageSheet::Type(GetDlgItem(page, IDC_PIN_EDIT), L"1234");
            SecurePageSheet::Type(GetDlgItem(page, IDC_USER_NAME_EDIT), L"Ann");
            SecurePageSheet::Type(GetDlgItem(page, IDC_JOB_NAME_EDIT), L"Payroll");
        },
        driver);
    EXPECT_STREQ(after.pinDigest, kDigest1234);
}

}  // namespace
}  // namespace pinprint::test
