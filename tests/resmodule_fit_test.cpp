// Every language's templates as the dialog manager lays them out, at 96 and at 144 DPI, with the
// font it really selects: every text fits its control, every character has a glyph in that font,
// every control lies on the page, and no two visible controls overlap. Exempt by design: the two
// name notes (2405, 2406) and the radio pair (2407, 2408), of which the page shows one in the same
// area; controls inside a group box or on the About page's band (the logo); and 5004, which only
// lends its text to 5003 and is never visible. Mnemonics do not depend on the DPI:
// resmodule_templates_test checks them.
//
// Wine reads the system DPI and the visual style when a process starts, so all but the plain
// look at 96 DPI is measured in copies of this program started in their look (support/look.h):
// 144 DPI, and the Light style at 96 and 144 DPI, with a Common Controls 6 manifest active.
#include <gtest/gtest.h>

#include <windows.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/child_process.h"
#include "support/languages.h"
#include "support/look.h"
#include "support/secure_page_sheet.h"

namespace pinprint::test {
namespace {

const WORD kTemplates[] = {IDD_SECURE_PRINT, IDD_SECURE_PRINT_ALT, IDD_ABOUT};
// Each DPI plain, and with the Light style (a language's results are then "<tag> light").
const std::pair<int, const char*> kDpis[] = {{96, ""}, {96, " light"}, {144, ""}, {144, " light"}};

// One template of one language at one DPI.
struct Fit {
    std::string language;
    int templateId = 0;
    int dpi = 0;
    int clipped = 0;        // controls whose text does not fit, or that stick out of the page
    int overlapping = 0;    // visible controls that overlap another one
    int missingGlyphs = 0;  // controls with characters that the font cannot draw
    std::string font;       // the page's font as asked for, and the font that was selected
    std::vector<std::string> findings;
};

struct Control {
    HWND window = nullptr;
    int id = 0;
    std::wstring className;
    DWORD style = 0;
    RECT rect = {};  // in the page's client coordinates
    std::wstring text;
};

bool IsButton(const Control& c, DWORD type) {
    return _wcsicmp(c.className.c_str(), L"Button") == 0 && (c.style & BS_TYPEMASK) == type;
}

std::vector<Control> Controls(HWND page) {
    std::vector<Control> controls;
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Control c = {};
        c.window = child;
        c.id = GetDlgCtrlID(child);
        c.style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        wchar_t name[64] = {};
        GetClassNameW(child, name, 64);
        c.className = name;
        GetWindowRect(child, &c.rect);
        MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&c.rect), 2);
        wchar_t text[512] = {};
        GetWindowTextW(child, text, 512);
        c.text = text;
        controls.push_back(c);
    }
    return controls;
}

// The text the page shows in a control: the template's, except for the copyright lines, which
// the About page builds from its strings (here with both years set, the longest case).
std::wstring ShownText(HMODULE module, const Control& c) {
    if (c.id == IDC_ABOUT_COPYRIGHT1) {
        return CopyrightLine(module, IDS_COPYRIGHT2_FORMAT, L"2024-2026", IDS_COPYRIGHT2_SUFFIX);
    }
    if (c.id == IDC_ABOUT_COPYRIGHT2) {
        return CopyrightLine(module, IDS_COPYRIGHT1_FORMAT, L"2024-2026", IDS_COPYRIGHT1_SUFFIX);
    }
    return c.text;
}

// Where a control draws its text and with which DrawText flags; false for a control that draws
// no text of its own (edits, owner-drawn statics).
bool TextArea(const Control& c, HDC dc, RECT* area, UINT* format) {
    GetClientRect(c.window, area);
    *format = DT_EXPANDTABS;
    if (_wcsicmp(c.className.c_str(), L"Static") == 0) {
        switch (c.style & SS_TYPEMASK) {
            case SS_LEFT:
            case SS_CENTER:
            case SS_RIGHT:
                *format |= DT_WORDBREAK;
                break;
            case SS_LEFTNOWORDWRAP:
            case SS_SIMPLE:
                *format |= DT_SINGLELINE;
                break;
            default:
                return false;
        }
        *format |= (c.style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
        return true;
    }
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    *format |= (c.style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    if (IsButton(c, BS_AUTOCHECKBOX) || IsButton(c, BS_CHECKBOX) ||
        IsButton(c, BS_AUTORADIOBUTTON) || IsButton(c, BS_RADIOBUTTON)) {
        // The box or circle (13 px at 96 DPI, as buttons draw it) and the gap of half a digit.
        SIZE digit = {};
        GetTextExtentPoint32W(dc, L"0", 1, &digit);
        area->left += MulDiv(13, GetDeviceCaps(dc, LOGPIXELSX), 96) + digit.cx / 2;
        return true;
    }
    if (IsButton(c, BS_GROUPBOX)) {
        // The caption is drawn into the frame's top line, inset from both corners.
        InflateRect(area, -metrics.tmAveCharWidth, 0);
        area->bottom = area->top + metrics.tmHeight;
        return true;
    }
    return false;
}

std::wstring WithoutMnemonics(const std::wstring& text) {
    std::wstring result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) {
            ++i;
        }
        result.push_back(text[i]);
    }
    return result;
}

// The page shows one of these in one area: the note, the other note, or the radio pair.
int Alternative(int id) {
    switch (id) {
        case IDC_NAME_NOTE:
            return 1;
        case IDC_NAME_NOTE_ALT:
            return 2;
        case IDC_NAMES_AUTO:
        case IDC_NAMES_CUSTOM:
            return 3;
        default:
            return 0;
    }
}

// A group box frames the controls below its caption; the About page's band carries the logo.
bool Frames(const Control& frame, const RECT& inner, int captionHeight) {
    RECT inside = frame.rect;
    if (IsButton(frame, BS_GROUPBOX)) {
        inside.top += captionHeight;
    } else if (frame.id != IDC_ABOUT_BAND) {
        return false;
    }
    RECT both = {};
    IntersectRect(&both, &inside, &inner);
    return EqualRect(&both, &inner) != FALSE;
}

std::string Describe(const Control& c, const std::wstring& text) {
    return std::to_string(c.id) + " \"" + Utf8(text) + "\"";
}

INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// The page's font as the template asks for it, and the full name of the font GDI selected for it
// (a replacement's own name, not the name it stands in for).
std::string FontName(HDC dc, HFONT font) {
    LOGFONTW asked = {};
    GetObjectW(font, sizeof(asked), &asked);
    std::vector<BYTE> outline(GetOutlineTextMetricsW(dc, 0, nullptr));
    auto* metrics = reinterpret_cast<OUTLINETEXTMETRICW*>(outline.data());
    const bool known = !outline.empty() && GetOutlineTextMetricsW(dc, outline.size(), metrics);
    const std::string selected =
        known ? Utf8(reinterpret_cast<const wchar_t*>(
                    outline.data() + reinterpret_cast<UINT_PTR>(metrics->otmpFullName)))
              : "?";
    return "\"" + Utf8(asked.lfFaceName) + "\" " + std::to_string(-asked.lfHeight) + " px -> " +
           selected;
}

// Whether the control's text fits where the control draws it, in the font selected into `dc`;
// notes what does not, and characters the font has no glyph for.
bool TextFits(HMODULE module, const Control& c, HDC dc, Fit& fit) {
    const std::wstring shown = ShownText(module, c);
    RECT area = {};
    UINT format = 0;
    if (shown.empty() || !TextArea(c, dc, &area, &format)) {
        return true;
    }
    const std::wstring drawn = (format & DT_NOPREFIX) ? shown : WithoutMnemonics(shown);
    std::vector<WORD> glyphs(drawn.size());
    GetGlyphIndicesW(dc, drawn.c_str(), static_cast<int>(drawn.size()), glyphs.data(),
                     GGI_MARK_NONEXISTING_GLYPHS);
    const auto missing = std::find(glyphs.begin(), glyphs.end(), WORD{0xFFFF});
    if (missing != glyphs.end()) {
        ++fit.missingGlyphs;
        char code[64];
        std::snprintf(code, sizeof(code), "U+%04X and %d more", drawn[missing - glyphs.begin()],
                      static_cast<int>(std::count(missing, glyphs.end(), 0xFFFF) - 1));
        fit.findings.push_back(Describe(c, shown) + ": the font has no glyph for " + code);
    }
    const LONG width = area.right - area.left, height = area.bottom - area.top;
    RECT needed = {0, 0, width, 0};
    DrawTextW(dc, shown.c_str(), -1, &needed, format | DT_CALCRECT);
    if (needed.right <= width && needed.bottom <= height) {
        return true;
    }
    fit.findings.push_back(Describe(c, shown) + " needs " + std::to_string(needed.right) + " x " +
                           std::to_string(needed.bottom) + " px, has " + std::to_string(width) +
                           " x " + std::to_string(height));
    return false;
}

bool Overlap(const Control& a, const Control& b, int captionHeight) {
    RECT both = {};
    if ((a.style & b.style & WS_VISIBLE) == 0 || !IntersectRect(&both, &a.rect, &b.rect)) {
        return false;
    }
    if (Alternative(a.id) != 0 && Alternative(b.id) != 0 &&
        Alternative(a.id) != Alternative(b.id)) {
        return false;
    }
    return !Frames(a, b.rect, captionHeight) && !Frames(b, a.rect, captionHeight);
}

Fit MeasureTemplate(HMODULE module, const char* language, WORD id, HWND host) {
    Fit fit;
    fit.language = std::string(language) + (IsAppThemed() ? " light" : "");
    fit.templateId = id;
    HDC screen = GetDC(nullptr);
    fit.dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    HWND page =
        module ? CreateDialogParamW(module, MAKEINTRESOURCEW(id), host, PageProc, 0) : nullptr;
    if (page == nullptr) {
        fit.findings.push_back(module ? "the template cannot be created" : "no resource module");
        ++fit.clipped;
        return fit;
    }
    HDC dc = GetDC(page);
    {
        const auto font = reinterpret_cast<HFONT>(SendMessageW(page, WM_GETFONT, 0, 0));
        ScopedSelect selected(dc, font);
        fit.font = FontName(dc, font);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc, &metrics);
        RECT pageRect = {};
        GetClientRect(page, &pageRect);
        const std::vector<Control> controls = Controls(page);
        std::vector<bool> clipped(controls.size()), overlapping(controls.size());
        for (size_t i = 0; i < controls.size(); ++i) {
            const Control& c = controls[i];
            if ((c.style & WS_VISIBLE) == 0) {
                continue;
            }
            RECT onPage = {};
            IntersectRect(&onPage, &c.rect, &pageRect);
            if (!EqualRect(&onPage, &c.rect)) {
                clipped[i] = true;
                fit.findings.push_back(Describe(c, c.text) + " sticks out of the page");
            }
            clipped[i] = !TextFits(module, c, dc, fit) || clipped[i];
            for (size_t j = i + 1; j < controls.size(); ++j) {
                if (Overlap(c, controls[j], metrics.tmHeight)) {
                    overlapping[i] = overlapping[j] = true;
                    fit.findings.push_back(Describe(c, c.text) + " overlaps " +
                                           Describe(controls[j], controls[j].text));
                }
            }
        }
        fit.clipped = static_cast<int>(std::count(clipped.begin(), clipped.end(), true));
        fit.overlapping =
            static_cast<int>(std::count(overlapping.begin(), overlapping.end(), true));
    }
    ReleaseDC(page, dc);
    DestroyWindow(page);
    return fit;
}

// Every template of every language at this process's DPI.
std::vector<Fit> MeasureHere() {
    HWND host = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                nullptr, nullptr);
    std::vector<Fit> fits;
    for (const ModuleLanguage& language : kModuleLanguages) {
        ResourceModule module(LanguageModulePath(language));
        for (WORD id : kTemplates) {
            fits.push_back(MeasureTemplate(module.get(), language.tag, id, host));
        }
    }
    DestroyWindow(host);
    return fits;
}

// One line per fit and one per finding, tab-separated, for the parent to read back.
void Report(const std::vector<Fit>& fits) {
    for (const Fit& f : fits) {
        std::printf("fit\t%s\t%d\t%d\t%d\t%d\t%d\t%s\n", f.language.c_str(), f.templateId, f.dpi,
                    f.clipped, f.overlapping, f.missingGlyphs, f.font.c_str());
        for (const std::string& finding : f.findings) {
            std::printf("finding\t%s\n", finding.c_str());
        }
    }
    std::fflush(stdout);
}

std::vector<Fit> ReadReport(const std::string& output) {
    std::vector<Fit> fits;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');) {
            fields.push_back(cell);
        }
        if (fields.size() == 8 && fields[0] == "fit") {
            Fit f;
            f.language = fields[1];
            f.templateId = std::stoi(fields[2]);
            f.dpi = std::stoi(fields[3]);
            f.clipped = std::stoi(fields[4]);
            f.overlapping = std::stoi(fields[5]);
            f.missingGlyphs = std::stoi(fields[6]);
            f.font = fields[7];
            fits.push_back(f);
        } else if (fields.size() == 2 && fields[0] == "finding" && !fits.empty()) {
            fits.back().findings.push_back(fields[1]);
        }
    }
    return fits;
}

void PrintSummary(const std::map<std::tuple<int, int, std::string>, const Fit*>& table) {
    std::printf("\nResource modules: clipped / overlapping / glyphless controls\n%-18s %4s",
                "template", "DPI");
    for (const ModuleLanguage& language : kModuleLanguages) {
        std::printf(" %7s", language.tag);
    }
    std::printf("\n");
    const std::map<int, const char*> names = {{IDD_SECURE_PRINT, "115 secure print"},
                                              {IDD_SECURE_PRINT_ALT, "143 compact"},
                                              {IDD_ABOUT, "154 about"}};
    for (WORD id : kTemplates) {
        for (const auto& [dpi, look] : kDpis) {
            std::printf("%-18s %4d%-6s", names.at(id), dpi, look);
            for (const ModuleLanguage& language : kModuleLanguages) {
                const auto found = table.find({id, dpi, language.tag + std::string(look)});
                if (found == table.end()) {
                    std::printf(" %7s", "-");
                } else {
                    const Fit& f = *found->second;
                    const std::string cell = std::to_string(f.clipped) + "/" +
                                             std::to_string(f.overlapping) + "/" +
                                             std::to_string(f.missingGlyphs);
                    std::printf(" %7s", cell.c_str());
                }
            }
            std::printf("\n");
        }
    }
    for (const auto& [dpi, look] : kDpis) {
        for (const ModuleLanguage& language : kModuleLanguages) {
            const auto found =
                table.find({IDD_SECURE_PRINT, dpi, language.tag + std::string(look)});
            if (found != table.end()) {
                std::printf("font at %d DPI%s, %s: %s\n", dpi, look, language.tag,
                            found->second->font.c_str());
            }
        }
    }
    std::fflush(stdout);
}

TEST(ResourceFit, EveryTextFitsAndNoVisibleControlsOverlap) {
    if (!LookCopyTag().empty()) {
        const auto host = IsAppThemed() ? ActivateHostManifest() : nullptr;
        Report(MeasureHere());
        return;
    }
    std::vector<Fit> fits = MeasureHere();
    for (const Look& look :
         {Look{.dpi = 144}, Look{.lightStyle = true}, Look{.lightStyle = true, .dpi = 144}}) {
        const ChildResult copy = RunInLook(look, L"--gtest_filter=ResourceFit.*");
        EXPECT_TRUE(copy.started && copy.exitCode == 0) << copy.output;
        for (Fit& f : ReadReport(copy.output)) {
            fits.push_back(f);
        }
    }
    std::map<std::tuple<int, int, std::string>, const Fit*> table;
    for (const Fit& f : fits) {
        table[{f.templateId, f.dpi, f.language}] = &f;
    }
    PrintSummary(table);
    for (WORD id : kTemplates) {
        for (const auto& [dpi, look] : kDpis) {
            for (const ModuleLanguage& language : kModuleLanguages) {
                const auto found = table.find({id, dpi, language.tag + std::string(look)});
                ASSERT_NE(found, table.end()) << language.tag << look << ", template " << id << ", "
                                              << dpi << " DPI not measured";
                const Fit& f = *found->second;
                std::string findings;
                for (const std::string& finding : f.findings) {
                    findings += "\n  " + finding;
                }
                EXPECT_EQ(f.clipped + f.overlapping + f.missingGlyphs, 0)
                    << language.tag << look << ", template " << id << ", " << dpi
                    << " DPI:" << findings;
            }
        }
    }
}

}  // namespace
}  // namespace pinprint::test
