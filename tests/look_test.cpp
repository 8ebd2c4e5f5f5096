// The pages where and as users meet them: second in compstui's real sheets, after the driver's
// own first page, in the looks of Windows 10 and 11, each in a copy of this program started in it
// (support/look.h) as a program with a Common Controls 6 manifest: the Light style, a
// high-contrast scheme, 144 DPI. And a package whose resource module is not there.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <uxtheme.h>

#include <algorithm>
#include <set>

#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/compstui_sheet.h"
#include "support/look.h"
#include "support/secure_page_fixture.h"
#include "tools/drvhost/host.h"

namespace pinprint::test {
namespace {

using drvhost::SheetKind;

// `inner`'s window rectangle in `outer`'s window coordinates, as CaptureWindow has them.
RECT RectIn(HWND outer, HWND inner) {
    RECT o = {}, r = {};
    GetWindowRect(outer, &o);
    GetWindowRect(inner, &r);
    OffsetRect(&r, -o.left, -o.top);
    return r;
}

// A system colour as CaptureWindow has its pixels, 0x00RRGGBB.
uint32_t Pixel(int index) {
    const COLORREF c = GetSysColor(index);
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

// `p` is a colour of `scheme`, or one over the scheme's black at a glyph's smoothed edge.
bool OfScheme(uint32_t p, const std::set<uint32_t>& scheme) {
    const auto at = [](uint32_t c, int i) { return static_cast<double>((c >> (8 * i)) & 0xFF); };
    return std::any_of(scheme.begin(), scheme.end(), [&](uint32_t c) {
        const int k = at(c, 0) > 0 ? 0 : at(c, 1) > 0 ? 1 : 2;  // a channel the colour has
        const double t = at(c, k) > 0 ? at(p, k) / at(c, k) : 0;
        bool on = t <= 1;
        for (int i = 0; i < 3; ++i) {
            on = on && std::abs(at(p, i) - t * at(c, i)) <= 2;
        }
        return on;
    });
}

// Under the style: the page's controls are Common Controls 6 windows, and the tab's own
// background, which shows in the margin below the page, shows wherever no control lies on it.
void TabShowsThroughThePage(HWND sheet, HWND page) {
    ASSERT_TRUE(IsAppThemed());
    const auto user32 = reinterpret_cast<ULONG_PTR>(GetModuleHandleW(L"user32.dll"));
    for (HWND c = GetWindow(page, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        EXPECT_NE(GetClassLongPtrW(c, GCLP_HMODULE), user32) << GetDlgCtrlID(c);
    }
    SIZE size = {};
    const std::vector<uint32_t> pixels = drvhost::CaptureWindow(sheet, size);
    const RECT onPage = RectIn(sheet, page);
    ASSERT_GE(RectIn(sheet, PropSheet_GetTabControl(sheet)).bottom - onPage.bottom, 3);
    const uint32_t tab = pixels[(onPage.bottom + 1) * size.cx + onPage.left + 4];
    EXPECT_NE(tab, Pixel(COLOR_BTNFACE)) << "the style draws no tab of its own";
    int sampled = 0, other = 0;
    for (LONG y = 2; y < onPage.bottom - onPage.top - 2; y += 6) {
        for (LONG x = 2; x < onPage.right - onPage.left - 2; x += 6) {
            if (ChildWindowFromPointEx(page, {x, y}, CWP_ALL) == page) {
                ++sampled;
                other += pixels[(onPage.top + y) * size.cx + onPage.left + x] != tab;
            }
        }
    }
    EXPECT_GT(sampled, 100);
    EXPECT_EQ(other, 0);
}

// In a high-contrast scheme: no pixel of the page but the scheme's, the logo's own aside, whose
// transparent corner shows the window colour.
void OnlyTheSchemesColours(HWND, HWND page) {
    std::set<uint32_t> scheme;
    for (int i = COLOR_SCROLLBAR; i <= COLOR_MENUBAR; ++i) {
        scheme.insert(Pixel(i));
    }
    ASSERT_EQ(Pixel(COLOR_WINDOW), 0u);
    SIZE size = {};
    const std::vector<uint32_t> pixels = drvhost::CaptureWindow(page, size);
    const HWND logo = GetDlgItem(page, IDC_ABOUT_LOGO);
    const RECT logoRect = logo != nullptr ? RectIn(page, logo) : RECT{};
    EXPECT_EQ(logo != nullptr ? pixels[logoRect.top * size.cx + logoRect.left] : 0u, 0u);
    std::set<uint32_t> checked;
    for (LONG y = 0; y < size.cy; ++y) {
        for (LONG x = 0; x < size.cx; ++x) {
            const uint32_t p = pixels[y * size.cx + x];
            if (!PtInRect(&logoRect, {x, y}) && checked.insert(p).second) {
                ASSERT_TRUE(OfScheme(p, scheme))
                    << std::hex << p << " at " << std::dec << x << ", " << y;
            }
        }
    }
}

// At 144 DPI: the logo 1.5 times its size, control and drawing alike.
void LogoAtOneAndAHalf(HWND, HWND page) {
    const auto extent = [](const std::vector<uint32_t>& p, LONG w, uint32_t blank) {
        RECT r = {LONG_MAX, LONG_MAX, 0, 0};
        for (LONG i = 0; i < static_cast<LONG>(p.size()); ++i) {
            if (p[i] != blank) {
                r = {std::min(r.left, i % w), std::min(r.top, i / w), std::max(r.right, i % w + 1),
                     std::max(r.bottom, i / w + 1)};
            }
        }
        return SIZE{r.right - r.left, r.bottom - r.top};
    };
    SIZE size = {};
    const auto drawn = drvhost::CaptureWindow(GetDlgItem(page, IDC_ABOUT_LOGO), size);
    EXPECT_EQ(size.cx, 185);
    EXPECT_EQ(size.cy, 48);
    // The logo's own colours lie in 114 x 27 of its 123 x 32 (resources/logo.bmp); filtering
    // gives each edge at most one pixel of partly transparent logo more.
    const SIZE at144 = extent(drawn, size.cx, Pixel(COLOR_WINDOW));
    EXPECT_NEAR(at144.cx, 114 * 1.5, 2);
    EXPECT_NEAR(at144.cy, 27 * 1.5, 2);
}

const struct {
    Look look;
    SheetKind sheet;
    void (*check)(HWND, HWND);
} kLooks[] = {{{.lightStyle = true}, SheetKind::Document, TabShowsThroughThePage},
              {{.highContrast = true}, SheetKind::Document, OnlyTheSchemesColours},
              {{.highContrast = true}, SheetKind::Device, OnlyTheSchemesColours},
              {{.dpi = 144}, SheetKind::Device, LogoAtOneAndAHalf}};

class Looks : public CompstuiSheetTest {
  protected:
    Looks() : CompstuiSheetTest(L"PinPrint Look") {}
};

// Each case in a copy started in its look; the copy runs the case its tag names.
TEST_F(Looks, PagesFollowTheLook) {
    if (const std::wstring tag = LookCopyTag(); !tag.empty()) {
        ASSERT_TRUE(printer_->SetOptions(0x101));
        const auto host = ActivateHostManifest();
        ASSERT_NE(host, nullptr);
        const auto& c = kLooks[std::stoi(tag)];
        EXPECT_EQ(Open(c.sheet, {}, 300, 100, c.check).pages, 2);
        return;
    }
    for (size_t i = 0; i < std::size(kLooks); ++i) {
        const ChildResult copy =
            RunInLook(kLooks[i].look, L"--gtest_filter=Looks.*", std::to_wstring(i));
        EXPECT_TRUE(copy.started && copy.exitCode == 0) << "case " << i << "\n" << copy.output;
    }
}

// A package whose resource module is not beside the plug-in (named, but renamed away): the page
// opens whole from the plug-in's own English templates, and leaving it stores the digest.
class MissingResourceModule : public CompstuiSheetTest {
  protected:
    MissingResourceModule()
        : CompstuiSheetTest(L"PinPrint Renamed", [] {
              DriverSetup driver;
              driver.dependentFiles = {L"pinprintui.dll", L"pinprintlg-renamed.dll"};
              return driver;
          }()) {}
};

TEST_F(MissingResourceModule, PageOpensInEnglishAndStoresTheDigest) {
    ASSERT_TRUE(printer_->SetOptions(0x1));
    ResourceModule english;
    const auto layout = ReadTemplate(english.get(), IDD_SECURE_PRINT);
    Open(SheetKind::Document, {}, 300, 100, [&layout](HWND, HWND page) {
        EXPECT_EQ(ContextOf(page)->resourceModule, GetModuleHandleW(L"pinprintui.dll"));
        for (const auto& [id, control] : layout) {
            EXPECT_TRUE(id < 0 || ChildText(page, id) == control.text) << id;
        }
        SendDlgItemMessageW(page, IDC_SECURE_ENABLE, BM_CLICK, 0, 0);
        SetFocus(GetDlgItem(page, IDC_PIN_EDIT));
        SecurePageSheet::Type(GetDlgItem(page, IDC_PIN_EDIT), L"1234");
        SecurePageSheet::Type(GetDlgItem(page, IDC_USER_NAME_EDIT), L"Ann");
        SecurePageSheet::Type(GetDlgItem(page, IDC_JOB_NAME_EDIT), L"Payroll");
    });
    EXPECT_STREQ(reinterpret_cast<PrivateDevmode*>(devmode_.data() + sizeof(DEVMODEW))->pinDigest,
                 kDigest1234);
}

}  // namespace
}  // namespace pinprint::test
