// The About page hosted in a real comctl32 property sheet under Wine, laid out from template 154
// and filled from the printer data of a printer in Wine's spooler.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <memory>
#include <optional>
#include <string>

#include "pages/about_page.h"
#include "pages/page_procs.h"
#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/secure_page_sheet.h"
#include "support/test_handles.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

constexpr wchar_t kYear1[] = L"CopyrightYear1";
constexpr wchar_t kYear2[] = L"CopyrightYear2";

bool SameSize(const RECT& a, const RECT& b) {
    return a.right - a.left == b.right - b.left && a.bottom - a.top == b.bottom - b.top;
}

// One printer with the plug-in and the resource module loaded: what every test here needs.
class AboutPage : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(plugin_.module(), nullptr);
        ASSERT_TRUE(resources_) << "pinprintlg.dll beside the test";
        template_ = ReadTemplate(resources(), IDD_ABOUT);
        ASSERT_EQ(template_.size(), 6u);
    }

    // A fresh printer (and driver) that no other test or case uses, with the copyright values
    // given (null: missing).
    void MakePrinter(const wchar_t* year1 = nullptr, const wchar_t* year2 = nullptr,
                     const std::wstring& name = std::wstring()) {
        printer_.reset();
        ++printers_;
        const std::wstring unique = UniqueTestName(L"About ") + L" " + std::to_wstring(printers_);
        printer_ = std::make_unique<TestPrinter>(name.empty() ? unique : name);
        ASSERT_TRUE(printer_->ok());
        for (const auto& [value, text] : {std::pair(kYear1, year1), std::pair(kYear2, year2)}) {
            if (text != nullptr) {
                SetValue(value, text);
            }
        }
    }

    // Sets a copyright value; nullopt leaves it missing (each case uses a printer of its own,
    // since Wine's spooler cannot delete printer data).
    void SetValue(const wchar_t* name, const std::optional<std::wstring>& value,
                  DWORD bytes = 512) {
        if (value) {
            ASSERT_TRUE(printer_->SetString(name, *value, bytes));
        }
    }

    HMODULE resources() const { return static_cast<HMODULE>(resources_.get()); }
    HMODULE own() const { return plugin_.module(); }
    const TemplateControl& Template(int id) { return template_[id]; }
    // The page laid out over template_: band, logo, name line and both copyright lines.
    void CheckLayout(const AboutSheet& sheet);

    LoadedPlugin plugin_;
    UniqueModule resources_{LoadLibraryW(BinPath(L"pinprintlg.dll").c_str())};
    std::map<int, TemplateControl> template_;
    std::unique_ptr<TestPrinter> printer_;
    int printers_ = 0;
};

// Both the real resource module's template and one of the tests' own, whose name line lies
// far lower, so that the lines move up as well as sideways.
TEST_F(AboutPage, MovesTheBandTheLogoAndTheLines) {
    UniqueModule fixture(LoadLibraryW(BinPath(L"about_long_texts.dll").c_str()));
    ASSERT_TRUE(fixture);
    for (const HMODULE m : {resources(), static_cast<HMODULE>(fixture.get())}) {
        SCOPED_TRACE(m == resources() ? "pinprintlg.dll" : "about_long_texts.dll");
        template_ = ReadTemplate(m, IDD_ABOUT);
        MakePrinter(L"2024", L"2026");
        AboutContext context(printer_->handle(), printer_->name(), m, own());
        AboutSheet sheet(m, context.context);
        ASSERT_TRUE(sheet.ok());
        CheckLayout(sheet);
    }
}

void AboutPage::CheckLayout(const AboutSheet& sheet) {
    HWND page = sheet.page();

    // The band: as wide as the sheet's window (not the page), 100 high, at the top-left.
    RECT sheetRect{};
    GetWindowRect(sheet.sheet(), &sheetRect);
    RECT pageRect{};
    GetWindowRect(page, &pageRect);
    ASSERT_NE(sheetRect.right - sheetRect.left, pageRect.right - pageRect.left);
    const RECT band = ChildRect(page, IDC_ABOUT_BAND);
    EXPECT_EQ(band.left, 0);
    EXPECT_EQ(band.top, 0);
    EXPECT_EQ(band.right, sheetRect.right - sheetRect.left);
    EXPECT_EQ(band.bottom, 100);

    // The logo: its own left, y 38, the bitmap's size.
    UniqueGdiObject bitmap(
        LoadImageW(own(), MAKEINTRESOURCEW(IDB_LOGO), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    BITMAP info{};
    ASSERT_NE(GetObjectW(bitmap.get(), sizeof(info), &info), 0) << "logo";
    EXPECT_EQ(info.bmWidth, 123);
    EXPECT_EQ(info.bmHeight, 32);
    const RECT logo = ChildRect(page, IDC_ABOUT_LOGO);
    EXPECT_EQ(logo.left, Template(IDC_ABOUT_LOGO).rect.left);
    EXPECT_EQ(logo.top, 38);
    EXPECT_EQ(logo.right - logo.left, info.bmWidth);
    EXPECT_EQ(logo.bottom - logo.top, info.bmHeight);

    // The name line goes to (20, 120); both copyright lines move by the same offset.
    const RECT name = ChildRect(page, IDC_ABOUT_NAME_VERSION);
    const RECT& name0 = Template(IDC_ABOUT_NAME_VERSION).rect;
    EXPECT_EQ(name.left, 20);
    EXPECT_EQ(name.top, 120);
    EXPECT_TRUE(SameSize(name, name0));
    const POINT offset{20 - name0.left, 120 - name0.top};
    for (int id : {IDC_ABOUT_COPYRIGHT1, IDC_ABOUT_COPYRIGHT2}) {
        const RECT moved = ChildRect(page, id);
        const RECT& before = Template(id).rect;
        EXPECT_EQ(moved.left, before.left + offset.x) << id;
        EXPECT_EQ(moved.top, before.top + offset.y) << id;
        EXPECT_TRUE(SameSize(moved, before)) << id;
        EXPECT_TRUE(IsWindowVisible(GetDlgItem(page, id))) << id;
    }
    // 5004 only lends its text; it stays where the template has it.
    const RECT version = ChildRect(page, IDC_ABOUT_VERSION);
    EXPECT_EQ(version.top, Template(IDC_ABOUT_VERSION).rect.top);
}

// The name line: the printer's name and the version text, which has the driver's version
// appended (Wine's spooler reports none, so the plug-in's own, the same brand's number) or,
// without driver information, stays as it is.
TEST_F(AboutPage, NameLineIsThePrinterAndTheVersionText) {
    MakePrinter(nullptr, nullptr, L"Office");
    for (HANDLE printer : {printer_->handle(), HANDLE(nullptr)}) {
        SCOPED_TRACE(printer != nullptr ? "driver information" : "no printer");
        AboutContext context(printer, L"Office", resources(), own());
        AboutSheet sheet(resources(), context.context);
        ASSERT_TRUE(sheet.ok());
        const std::wstring version =
            Template(IDC_ABOUT_VERSION).text + (printer != nullptr ? L"1.0.0.0" : L"");
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_VERSION), version);
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_NAME_VERSION), L"Office " + version);
        // No copyright values: the first line keeps its text, the second is hidden.
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT1),
                  Template(IDC_ABOUT_COPYRIGHT1).text);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet.page(), IDC_ABOUT_COPYRIGHT2)));
    }
}

TEST_F(AboutPage, CopyrightLinesFollowTheUsableValues) {
    MakePrinter();
    const HMODULE m = resources();
    const std::wstring year1Line =
        CopyrightLine(m, IDS_COPYRIGHT1_FORMAT, L"2024", IDS_COPYRIGHT1_SUFFIX);
    const std::wstring year2Line =
        CopyrightLine(m, IDS_COPYRIGHT2_FORMAT, L"2026", IDS_COPYRIGHT2_SUFFIX);
    const std::wstring templateLine = Template(IDC_ABOUT_COPYRIGHT1).text;

    // Year-1 values whose formatted line is exactly 127 characters (fits) and 128 (does not).
    const size_t fixed = ResourceString(m, IDS_COPYRIGHT1_FORMAT).size() - 2;
    const std::wstring fits(127 - fixed, L'7');
    const std::wstring tooLong(128 - fixed, L'8');

    struct Case {
        const char* what;
        std::optional<std::wstring> year1;
        std::optional<std::wstring> year2;
        DWORD year1Bytes;
        std::wstring first;                  // 5005
        std::optional<std::wstring> second;  // 5006, nullopt: hidden
    };
    const Case cases[] = {
        {"both", L"2024", L"2026", 512, year2Line, year1Line},
        {"year 1 only", L"2024", std::nullopt, 512, year1Line, std::nullopt},
        {"year 2 only", std::nullopt, L"2026", 512, year2Line, std::nullopt},
        {"neither", std::nullopt, std::nullopt, 512, templateLine, std::nullopt},
        {"127-character line", fits, std::nullopt, 512,
         CopyrightLine(m, IDS_COPYRIGHT1_FORMAT, fits, IDS_COPYRIGHT1_SUFFIX), std::nullopt},
        {"128-character line", tooLong, std::nullopt, 512, templateLine, std::nullopt},
        {"128-character year 1 beside year 2", tooLong, L"2026", 512, year2Line, std::nullopt},
        // 256 characters fill the 512-byte buffer with no terminator: never read past it.
        {"512 bytes without terminator", std::wstring(256, L'9'), std::nullopt, 512, templateLine,
         std::nullopt},
        {"value longer than 512 bytes", std::wstring(300, L'9'), std::nullopt, 602, templateLine,
         std::nullopt},
        {"short value without terminator", L"2024", std::nullopt, 8, year1Line, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MakePrinter();
        SetValue(kYear1, c.year1, c.year1Bytes);
        SetValue(kYear2, c.year2);
        AboutContext context(printer_->handle(), printer_->name(), m, own());
        AboutSheet sheet(m, context.context);
        ASSERT_TRUE(sheet.ok());
        HWND second = GetDlgItem(sheet.page(), IDC_ABOUT_COPYRIGHT2);
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT1), c.first);
        if (c.second) {
            EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT2), *c.second);
            EXPECT_TRUE(IsWindowVisible(second));
            EXPECT_TRUE(IsWindowEnabled(second));
        } else {
            EXPECT_FALSE(IsWindowVisible(second));
            EXPECT_FALSE(IsWindowEnabled(second));
        }
    }
}

// The room of the hidden second line comes off the bottom of the page: the line's height and
// the gap above it, as the template lays them out. Inside a property sheet comctl32 sizes every
// page to the sheet after WM_INITDIALOG, so the page is created here by the dialog manager
// alone, where its own window keeps what the page did to it.
TEST_F(AboutPage, HidingTheSecondLineShrinksThePage) {
    auto pageRect = [](HWND page) {
        RECT rect{};
        GetWindowRect(page, &rect);
        MapWindowPoints(HWND_DESKTOP, GetParent(page), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };

    MakePrinter(L"2024", L"2026");
    AboutContext both(printer_->handle(), printer_->name(), resources(), own());
    RECT full{};
    RECT first{};
    RECT second{};
    {
        AboutDialog page(resources(), both.context);
        ASSERT_TRUE(page.ok());
        full = pageRect(page.page());
        first = ChildRect(page.page(), IDC_ABOUT_COPYRIGHT1);
        second = ChildRect(page.page(), IDC_ABOUT_COPYRIGHT2);
    }
    ASSERT_LT(first.bottom, second.bottom);

    MakePrinter(L"2024");
    AboutContext one(printer_->handle(), printer_->name(), resources(), own());
    AboutDialog page(resources(), one.context);
    ASSERT_TRUE(page.ok());
    HWND line = GetDlgItem(page.page(), IDC_ABOUT_COPYRIGHT2);
    EXPECT_FALSE(IsWindowVisible(line));
    EXPECT_FALSE(IsWindowEnabled(line));
    const RECT shrunk = pageRect(page.page());
    EXPECT_EQ(shrunk.left, full.left);
    EXPECT_EQ(shrunk.top, full.top);
    EXPECT_EQ(shrunk.right, full.right);
    EXPECT_EQ(shrunk.bottom, full.bottom - (second.bottom - first.bottom));
}

TEST_F(AboutPage, WithoutTheLogoNothingIsMovedOrSet) {
    MakePrinter(L"2024");
    // The resource module has no bitmap 1001.
    AboutContext context(printer_->handle(), printer_->name(), resources(), resources());
    AboutSheet sheet(resources(), context.context);
    ASSERT_TRUE(sheet.ok());
    for (const auto& [id, control] : template_) {
        const RECT rect = ChildRect(sheet.page(), id);
        EXPECT_TRUE(EqualRect(&rect, &control.rect)) << id;
        EXPECT_EQ(ChildText(sheet.page(), id), control.text) << id;
    }
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(sheet.page(), IDC_ABOUT_COPYRIGHT2)));
}

// A resource module of the tests' own: a 252-character version text, a 250-character year-2
// suffix and no year-1 suffix. Every text is cut at its buffer's end.
TEST_F(AboutPage, LongTextsAreCutAndAMissingSuffixLeavesTheSpace) {
    UniqueModule module(LoadLibraryW(BinPath(L"about_long_texts.dll").c_str()));
    ASSERT_TRUE(module);
    const HMODULE m = static_cast<HMODULE>(module.get());
    const auto layout = ReadTemplate(m, IDD_ABOUT);
    MakePrinter(L"2024");
    {
        AboutContext context(printer_->handle(), L"Office", m, own());
        AboutSheet sheet(m, context.context);
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT1), L"Year one 2024 ");

        const std::wstring version =
            (layout.at(IDC_ABOUT_VERSION).text + L"1.0.0.0").substr(0, 255);
        ASSERT_EQ(layout.at(IDC_ABOUT_VERSION).text.size(), 252u);
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_VERSION), version);
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_NAME_VERSION),
                  L"Office " + version.substr(0, 127));
    }
    MakePrinter(L"2024", L"2026");
    {
        AboutContext context(printer_->handle(), L"Office", m, own());
        AboutSheet sheet(m, context.context);
        ASSERT_TRUE(sheet.ok());
        const std::wstring line = L"Year two 2026 " + ResourceString(m, IDS_COPYRIGHT2_SUFFIX);
        ASSERT_GT(line.size(), 255u);
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT1), line.substr(0, 255));
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT2), L"Year one 2024 ");
    }
}

// Formats the page cannot use leave their line out: a module without the page's strings (this
// program), and a format that asks for more than the one string it receives ("%s%n").
TEST_F(AboutPage, UnusableFormatsLeaveTheirLinesOut) {
    UniqueModule badFormat(LoadLibraryW(BinPath(L"about_bad_format.dll").c_str()));
    ASSERT_TRUE(badFormat);
    const HMODULE bad = static_cast<HMODULE>(badFormat.get());
    const struct {
        HMODULE strings;
        HMODULE templates;
        std::wstring first;
    } cases[] = {{GetModuleHandleW(nullptr), resources(), Template(IDC_ABOUT_COPYRIGHT1).text},
                 {bad, bad, L"Year one 2024 one."}};
    for (const auto& c : cases) {
        MakePrinter(L"2024", L"2026");
        AboutContext context(printer_->handle(), printer_->name(), c.strings, own());
        AboutSheet sheet(c.templates, context.context);
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(ChildText(sheet.page(), IDC_ABOUT_COPYRIGHT1), c.first);
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(sheet.page(), IDC_ABOUT_COPYRIGHT2)));
    }
}

// A format is used when it asks for at most one string, whatever its flags, width and
// precision; any other conversion, a second string, or a width or precision taken from an
// argument ("%*s", "%.*s": an integer never passed), leaves the line out.
TEST_F(AboutPage, FormatsAskingForAtMostOneStringAreUsed) {
    UniqueModule module(LoadLibraryW(BinPath(L"about_bad_format.dll").c_str()));
    ASSERT_TRUE(module);
    MakePrinter(L"2024");
    AboutContext context(printer_->handle(), printer_->name(), static_cast<HMODULE>(module.get()),
                         own());
    const struct {
        UINT format;
        const wchar_t* text;  // null: refused
    } cases[] = {{9001, L"100% 2024"}, {9002, L"[2024  ]"}, {9003, L"[    20]"}, {9004, L"[202]"},
                 {9006, L"[2024]"},    {9005, nullptr},     {9007, nullptr},     {9008, nullptr},
                 {9009, nullptr},      {9010, nullptr},     {9011, nullptr},     {9012, nullptr}};
    for (const auto& c : cases) {
        wchar_t line[64];
        wmemset(line, L'#', 64);
        const HRESULT result =
            FormatCopyrightYear(context.context, kYear1, c.format, line, sizeof(line));
        EXPECT_EQ(SUCCEEDED(result), c.text != nullptr) << c.format;
        if (c.text != nullptr && SUCCEEDED(result)) {
            EXPECT_STREQ(line, c.text) << c.format;
        }
    }
}

TEST(AboutVersionText, ShowsAllFourParts) {
    struct Case {
        DWORDLONG version;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x0006000100020003ull, L"6.1.2.3"},
        {0xFFFFFFFFFFFFFFFFull, L"65535.65535.65535.65535"},
        {0, L"0.0.0.0"},
        {0x000300010004000Full, L"3.1.4.15"},
    };
    for (const Case& c : cases) {
        wchar_t text[kVersionTextChars];
        wmemset(text, L'#', kVersionTextChars);
        FormatDriverVersion(c.version, text);
        EXPECT_STREQ(text, c.text) << std::hex << c.version;
    }
}

// What the procedure answers, before and after the context arrives.
TEST_F(AboutPage, ProcedureAnswers) {
    AboutContext context(nullptr, L"Office", resources(), own());
    AboutSheet sheet(resources(), context.context);
    ASSERT_TRUE(sheet.ok());
    HWND page = sheet.page();
    HDC dc = GetDC(page);
    const auto window = reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    auto colour = [&](int id) {
        return AboutPageProc(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
    };
    EXPECT_EQ(colour(IDC_ABOUT_BAND), window);
    EXPECT_EQ(colour(IDC_ABOUT_LOGO), window);
    EXPECT_EQ(colour(IDC_ABOUT_NAME_VERSION), FALSE);
    EXPECT_EQ(colour(IDC_ABOUT_COPYRIGHT1), FALSE);
    NMHDR notify{sheet.sheet(), 0, static_cast<UINT>(PSN_APPLY)};
    EXPECT_EQ(AboutPageProc(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify)), FALSE);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.CtlID = IDC_ABOUT_BAND;
    item.hDC = dc;
    item.rcItem = {0, 0, 4, 4};
    EXPECT_EQ(AboutPageProc(page, WM_DRAWITEM, IDC_ABOUT_BAND, reinterpret_cast<LPARAM>(&item)),
              TRUE);
    // Without the record, without a DC to draw into, or without the control: nothing is read.
    EXPECT_EQ(AboutPageProc(page, WM_DRAWITEM, IDC_ABOUT_BAND, 0), TRUE);
    DRAWITEMSTRUCT withoutDc = item;
    withoutDc.hDC = nullptr;
    EXPECT_EQ(
        AboutPageProc(page, WM_DRAWITEM, IDC_ABOUT_BAND, reinterpret_cast<LPARAM>(&withoutDc)),
        TRUE);
    EXPECT_EQ(AboutPageProc(page, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0), FALSE);

    // Before WM_INITDIALOG there is no context: nothing is answered.
    SetWindowLongPtrW(page, DWLP_USER, 0);
    EXPECT_EQ(colour(IDC_ABOUT_BAND), FALSE);
    EXPECT_EQ(AboutPageProc(page, WM_DRAWITEM, IDC_ABOUT_BAND, reinterpret_cast<LPARAM>(&item)),
              FALSE);
    SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(&context.context));
    ReleaseDC(page, dc);
}

}  // namespace
}  // namespace pinprint::test
