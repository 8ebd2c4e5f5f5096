// Hosting the About page for tests: a real comctl32 property sheet holding the page exactly as
// the driver's device sheet does, the context it receives, and what its template looks like
// before the page moves anything.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "pages/sheet_context.h"
#include "support/test_support.h"
#include "platform/oemui.h"

namespace pinprint::test {

// A control's window rectangle in its dialog's client coordinates.
RECT ChildRect(HWND dialog, int controlId);
std::wstring ChildText(HWND dialog, int controlId);

// The controls of a dialog template as the dialog manager lays them out, with their texts:
// the positions the page starts from.
struct TemplateControl {
    RECT rect;
    std::wstring text;
};
std::map<int, TemplateControl> ReadTemplate(HMODULE module, int templateId);

// A copyright line as the page builds it from `module`'s strings: the format with its "%s"
// replaced by the value, one space and the suffix.
std::wstring CopyrightLine(HMODULE module, UINT formatId, const std::wstring& value, UINT suffixId);

// The SheetContext and driver parameters of one device sheet.
struct AboutContext {
    AboutContext(HANDLE printer, const std::wstring& printerName, HMODULE resourceModule,
                 HMODULE ownModule);
    AboutContext(const AboutContext&) = delete;
    AboutContext& operator=(const AboutContext&) = delete;

    std::wstring printerName;
    OEMUIPSPARAM uiParam{};
    SheetContext context{};
};

// Printer Properties with the About page: a modeless PropertySheetW built from a
// PropSheetPageFull with AboutPageProc, template 154 of `templateModule` and `context`.
class AboutSheet {
  public:
    AboutSheet(HMODULE templateModule, SheetContext& context);
    ~AboutSheet();
    AboutSheet(const AboutSheet&) = delete;
    AboutSheet& operator=(const AboutSheet&) = delete;

    bool ok() const { return sheet_ != nullptr && page_ != nullptr; }
    HWND sheet() const { return sheet_; }
    HWND page() const { return page_; }

  private:
    HWND sheet_ = nullptr;
    HWND page_ = nullptr;
};

// The About page created by the dialog manager alone, inside a plain top-level window: no
// property sheet sizes it after WM_INITDIALOG, so what the page does to its own window stays.
class AboutDialog {
  public:
    AboutDialog(HMODULE templateModule, SheetContext& context);
    ~AboutDialog();
    AboutDialog(const AboutDialog&) = delete;
    AboutDialog& operator=(const AboutDialog&) = delete;

    bool ok() const { return page_ != nullptr; }
    HWND page() const { return page_; }

  private:
    HWND frame_ = nullptr;
    HWND page_ = nullptr;
};

}  // namespace pinprint::test
