// Every platform call the plug-in makes, failed on purpose (tests/support/fault_injection.h).
// Each scenario runs once as it is, which records its call sites, and then once per injected
// failure, each time on a freshly loaded DLL. After every run: no crash and no hang, nothing
// the plug-in acquired still held (and its driver heap empty), nothing reported as done that
// was not, and the devmode still meets the record's invariants.
//
// `make test` injects the first call of every call site the plain run makes. The full sweep
// (PINPRINT_FAULTS=all, `make faults`) injects every call of every site, and every site that
// only an injected failure reaches, with that failure in place.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <type_traits>
#include <string>
#include <vector>

#include "config/help_launcher.h"
#include "driver_render.h"
#include "driver_ticket.h"
#include "devmode/private_devmode.h"
#include "pages/secure_page_leave.h"
#include "pages/sheet_context.h"
#include "pages/strip_mnemonic.h"
#include "platform/oemui.h"
#include "platform/print_ticket_provider.h"
#include "platform/proc_address.h"
#include "platform/property_sheet_page.h"
#include "resmodule/resource_ids.h"
#include "support/about_sheet.h"
#include "support/fault_injection.h"
#include "support/help_control.h"
#include "support/import_table.h"
#include "support/look.h"
#include "support/secure_page_fixture.h"
#include "support/secure_page_sheet.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "rules/pin_digest.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint::test {
namespace {

using faults::Failure;
using faults::Fault;
using faults::Injector;
using faults::Plan;
using faults::Site;
using Problems = std::vector<std::string>;

constexpr wchar_t kPrinterName[] = L"PinPrint Faults";
constexpr char kSettings[] =
    "[DriverInfo]\r\nVkDriverOptions=261\r\nVkDriverType=1\r\nCopyrightYear1=2024\r\n"
    "CopyrightYear2=2026\r\n";
constexpr DWORD kOptions = 261;  // secure page, name choice, About page

bool FullSweep() {
    const char* value = getenv("PINPRINT_FAULTS");
    return value != nullptr && strcmp(value, "all") == 0;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

bool MeetsInvariants(const PrivateDevmode& devmode) {
    PrivateDevmode validated = devmode;
    ValidatePrivateDevmode(&validated);
    return memcmp(&validated, &devmode, sizeof(devmode)) == 0;
}

Injector& TheInjector() {
    static Injector injector;
    return injector;
}

// --- The driver's side of a sheet ------------------------------------------------------------

// What the driver and compstui hand the plug-in for one sheet, and what it got back.
struct DriverSide {
    // The devmode is filled first; the parameters then point into it.
    DriverSide(IPrintOemUI* plugin, HANDLE printer, HMODULE module)
        : plugin(plugin),
          call((drvhost::DefaultDevmode(plugin, devmode),
                drvhost::DriverParameters(printer, kPrinterName, module, heap.get(),
                                          devmode.data())),
               reinterpret_cast<HANDLE>(0x7000)) {}
    ~DriverSide() { CloseSheet(); }

    PrivateDevmode& Private() { return *static_cast<PrivateDevmode*>(call.param.pOEMDM); }

    // INIT; a page the plug-in added is shown in a real sheet. A failing INIT must have added
    // no page and must hold nothing.
    HRESULT Init(bool document, Problems& problems) {
        kind = document ? drvhost::SheetKind::Document : drvhost::SheetKind::Device;
        const HRESULT result = call.Run(plugin, kind, PROPSHEETUI_REASON_INIT);
        if (FAILED(result) && call.service.pagesAdded != 0) {
            problems.push_back("INIT failed after adding a page");
        }
        if (FAILED(result) && heap.BusyBlocks() != 0) {
            problems.push_back("INIT failed and left its context on the driver heap");
        }
        if (SUCCEEDED(result) && call.service.pagesAdded != 0) {
            PROPSHEETHEADERW header = {};
            header.dwSize = sizeof(header);
            header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
            header.pszCaption = L"Faults";
            header.nPages = 1;
            header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEW>(&call.service.page);
            sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
            if (sheet == reinterpret_cast<HWND>(-1)) {
                sheet = nullptr;
            }
            if (sheet != nullptr) {
                pageWindow =
                    reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                SetForegroundWindow(sheet);
                RedrawWindow(
                    sheet, nullptr, nullptr,
                    RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
                PumpMessages();
            }
        }
        return result;
    }

    // INIT and the page shown; false (after DESTROY) when there is no page to go on with,
    // which the plain run must always have.
    bool Show(bool document, bool plain, Problems& problems) {
        Init(document, problems);
        if (pageWindow != nullptr) {
            return true;
        }
        if (plain) {
            problems.push_back("no page in the plain run");
        }
        Destroy();
        return false;
    }

    void CloseSheet() {
        if (sheet != nullptr) {
            DestroyWindow(sheet);
            PumpMessages();
            sheet = nullptr;
            pageWindow = nullptr;
        }
    }

    void Destroy() {
        CloseSheet();
        call.Run(plugin, kind, PROPSHEETUI_REASON_DESTROY);
    }

    HWND item(int id) const { return GetDlgItem(pageWindow, id); }

    IPrintOemUI* plugin;
    drvhost::DriverHeap heap;
    std::vector<BYTE> devmode;
    drvhost::SheetCall call;
    const int& okResults = call.service.okResults;
    drvhost::SheetKind kind = drvhost::SheetKind::Document;
    HWND sheet = nullptr;
    HWND pageWindow = nullptr;
};

// --- The sweep -------------------------------------------------------------------------------

// A scenario drives the object of one plug-in DLL through the interface `Interface`.
template <typename Interface>
using Scenario =
    std::function<void(Interface* plugin, HMODULE module, bool plain, Problems& problems)>;

// The DLL swept, its class and the interface its scenarios drive.
struct Target {
    const wchar_t* dll;
    const CLSID* clsid;
    const IID* iid;
};
const Target kUiPlugin = {L"pinprintui.dll", &CLSID_OEMUI, &IID_IPrintOemUI};
const Target kRenderPlugin = {L"pinprintps.dll", &CLSID_OEMRENDER, &IID_IPrintOemPS};

class FaultSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        DriverSetup driver;
        driver.settingsFile = kSettings;
        printer_ = std::make_unique<TestPrinter>(kPrinterName, driver);
        ASSERT_TRUE(printer_->ok());
        ASSERT_TRUE(printer_->SetOptions(kOptions));
    }

    TestPrinter& printer() { return *printer_; }

    // One run on a fresh DLL with `plan`; the problems it showed.
    template <typename Interface>
    Problems RunOnce(const char* name, const Scenario<Interface>& scenario, const Plan& plan,
                     bool plain, const Target& target) {
        Injector& injector = TheInjector();
        Problems problems;
        const HMODULE module =
            injector.Start(plan, std::string(name) + ": " + Injector::Describe(plan), target.dll);
        if (module == nullptr) {
            return {"the plug-in did not load"};
        }
        HRESULT created = S_OK;
        auto* plugin = static_cast<Interface*>(
            drvhost::CreatePluginObject(module, *target.iid, &created, *target.clsid));
        // Without memory for the factory or the object the driver is told so, and gets nothing.
        if (plugin != nullptr) {
            scenario(plugin, module, plain, problems);
            plugin->Release();
        } else if (plain || created != E_OUTOFMEMORY) {
            problems.push_back("no plug-in object");
        }
        injector.Stop();
        if (drvhost::CanUnloadNow(module) != S_OK) {
            problems.push_back("objects or locks left alive");
        }
        for (const auto& held : injector.Outstanding()) {
            problems.push_back(std::string("leaked a ") + Injector::ResourceName(held.resource) +
                               " from " + Injector::Describe(held.site));
        }
        for (const auto& released : injector.UnmatchedReleases()) {
            problems.push_back(std::string("released a ") +
                               Injector::ResourceName(released.resource) + " it did not hold, at " +
                               Injector::Describe(released.site));
        }
        if (injector.Crashed()) {
            problems.push_back("crashed");
        }
        return problems;
    }

    // The plain run, then one run per injected failure; expects every outcome handled.
    template <typename Interface = IPrintOemUI>
    void Sweep(const char* name, const std::type_identity_t<Scenario<Interface>>& scenario,
               const Target& target = kUiPlugin) {
        Injector& injector = TheInjector();
        const bool full = FullSweep();
        const Problems plain = RunOnce(name, scenario, {}, true, target);
        for (const auto& problem : plain) {
            ADD_FAILURE() << "plain run: " << problem;
        }
        ASSERT_TRUE(plain.empty());

        struct Queued {
            Plan plan;
        };
        std::vector<Queued> queue;
        std::set<Site> seen;
        const auto queueSites = [&](const Plan& before, const std::map<Site, int>& calls) {
            for (const auto& [site, count] : calls) {
                if (!seen.insert(site).second) {
                    continue;
                }
                if (faults::Imports()[site.import].failure == Failure::Never) {
                    continue;
                }
                for (int occurrence = 1; occurrence <= (full ? count : 1); ++occurrence) {
                    Plan plan = before;
                    plan.push_back({site, occurrence});
                    queue.push_back({plan});
                }
            }
        };
        queueSites({}, injector.Calls());

        std::set<Site> injected;
        std::set<Site> injectable;
        int runs = 0;
        std::vector<std::string> notHandled;
        // Outcomes of a failure in what handles another one: reported, left to judgement.
        std::vector<std::string> afterTwo;
        for (size_t i = 0; i < queue.size(); ++i) {
            const Plan plan = queue[i].plan;
            const Problems problems = RunOnce(name, scenario, plan, false, target);
            if (!injector.PlanFired()) {
                continue;  // the call did not come this time
            }
            ++runs;
            injected.insert(plan.back().site);
            if (!problems.empty()) {
                std::string text = Injector::Describe(plan) + ":";
                for (const auto& problem : problems) {
                    text += " " + problem + ";";
                }
                (plan.size() == 1 ? notHandled : afterTwo).push_back(text);
            }
            if (full && plan.size() == 1) {
                queueSites(plan, injector.Calls());
            } else {
                for (const auto& [site, count] : injector.Calls()) {
                    seen.insert(site);
                }
            }
        }
        for (const Site& site : seen) {
            if (faults::Imports()[site.import].failure != Failure::Never) {
                injectable.insert(site);
            }
        }
        printf(
            "[faults] %s: %zu call sites, %zu can fail, %zu injected in %d runs, %zu not "
            "handled, %zu after two faults%s\n",
            name, seen.size(), injectable.size(), injected.size(), runs, notHandled.size(),
            afterTwo.size(), full ? " (full sweep)" : "");
        for (const auto& text : afterTwo) {
            printf("[faults]   after two faults: %s\n", text.c_str());
        }
        // In the bounded sweep the sites only a failure reaches are left to `make faults`.
        for (const Site& site : injectable) {
            if (full && injected.count(site) == 0) {
                printf("[faults]   not injected: %s\n", Injector::Describe(site).c_str());
            }
        }
        fflush(stdout);
        for (const auto& text : notHandled) {
            ADD_FAILURE() << text;
        }
    }

    std::unique_ptr<TestPrinter> printer_;
};

// The four DevMode requests the driver makes for every job and sheet.
TEST_F(FaultSweep, DevModeRequests) {
    Sweep("DevMode", [](IPrintOemUI* plugin, HMODULE, bool, Problems& problems) {
        std::vector<BYTE> in(sizeof(DEVMODEW) + kPrivateDevmodeSize, 0);
        std::vector<BYTE> out(in.size(), 0);
        auto* publicOut = reinterpret_cast<DEVMODEW*>(out.data());
        OEMDMPARAM param = {};
        param.cbSize = sizeof(param);
        param.pPublicDMIn = reinterpret_cast<DEVMODEW*>(in.data());
        param.pPublicDMOut = publicOut;
        param.pOEMDMIn = in.data() + sizeof(DEVMODEW);
        param.pOEMDMOut = out.data() + sizeof(DEVMODEW);
        param.cbBufSize = kPrivateDevmodeSize;
        const auto& result = *static_cast<const PrivateDevmode*>(param.pOEMDMOut);
        if (plugin->DevMode(OEMDM_SIZE, &param) != S_OK || param.cbBufSize != kPrivateDevmodeSize) {
            problems.push_back("SIZE");
        }
        auto* request = static_cast<PrivateDevmode*>(param.pOEMDMIn);
        for (DWORD mode : {OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE}) {
            DefaultPrivateDevmode(request);
            request->secureEnabled = 1;
            publicOut->dmCopies = 3;
            if (plugin->DevMode(mode, &param) != S_OK || !MeetsInvariants(result)) {
                problems.push_back("mode " + std::to_string(mode));
            }
        }
        if (publicOut->dmCopies != 1) {
            problems.push_back("a secure merge kept several copies");
        }
    });
}

// PRINTER_EVENT_INITIALIZE: reported S_OK only with all three values written, each as the
// settings file has it (or its default, where the file could not be read).
TEST_F(FaultSweep, PrinterInitialization) {
    TestPrinter& target = printer();
    Sweep("PrinterEvent", [&target](IPrintOemUI* plugin, HMODULE, bool plain, Problems& problems) {
        target.SetOptions(0xDEAD);
        target.SetString(L"CopyrightYear1", L"stale");
        target.SetString(L"CopyrightYear2", L"stale");
        const HRESULT result = plugin->PrinterEvent(const_cast<PWSTR>(target.name().c_str()),
                                                    PRINTER_EVENT_INITIALIZE, 0, 0);
        const auto text = [&target](const wchar_t* value) {
            DWORD type = 0;
            std::vector<BYTE> data;
            target.ReadValue(value, type, data);
            data.resize(data.size() + 2, 0);
            return std::wstring(reinterpret_cast<const wchar_t*>(data.data()));
        };
        DWORD type = 0;
        std::vector<BYTE> options;
        target.ReadValue(L"VkDriverOptions", type, options);
        options.resize(4, 0);
        const DWORD word = *reinterpret_cast<const DWORD*>(options.data());
        const std::wstring year1 = text(L"CopyrightYear1");
        const std::wstring year2 = text(L"CopyrightYear2");
        if (plain && result != S_OK) {
            problems.push_back("the plain run failed");
        }
        if (result == S_OK &&
            (!(word == 261 || word == 0) || !(year1 == L"2024" || year1.empty()) ||
             !(year2 == L"2026" || year2.empty()))) {
            problems.push_back("S_OK with printer data " + std::to_string(word) + ", '" +
                               Narrow(year1) + "', '" + Narrow(year2) + "'");
        }
        target.SetOptions(kOptions);
    });
}

// Printing Preferences: the secure-print page shown, secure printing ticked, names by hand, a
// short PIN refused, then a missing user name refused, then PIN 1234 and both names accepted,
// applied, closed.
TEST_F(FaultSweep, DocumentSheet) {
    HANDLE handle = printer().handle();
    ResourceModule resources;
    std::wstring pinCaption = ResourceString(resources.get(), IDS_PIN_CAPTION);
    pinCaption.resize(StripMnemonic(pinCaption.data()));
    Sweep("document sheet", [&](IPrintOemUI* plugin, HMODULE module, bool plain,
                                Problems& problems) {
        MessageBoxRecorder boxes;
        DriverSide driver(plugin, handle, module);
        if (!driver.Show(true, plain, problems)) {
            return;
        }
        // Only what a user can do: click and type where the control is enabled.
        const auto usable = [&driver](int id) {
            return IsWindowEnabled(driver.pageWindow) && IsWindowEnabled(driver.item(id));
        };
        const auto click = [&](int id) {
            if (usable(id)) {
                SendMessageW(driver.item(id), BM_CLICK, 0, 0);
            }
        };
        const auto type = [&](int id, const wchar_t* text) {
            if (usable(id)) {
                SecurePageSheet::Type(driver.item(id), text);
            }
        };
        click(IDC_SECURE_ENABLE);
        const struct {
            int names;  // the radio button clicked first
            const wchar_t* pin;
            const wchar_t* user;
            const wchar_t* job;
            bool leaves;  // in the plain run
        } attempts[] = {{IDC_NAMES_CUSTOM, L"12", L"", L"", false},
                        {0, L"1234", L"", L"", false},
                        {0, nullptr, L"Ann/", L"Report", true},
                        {IDC_NAMES_AUTO, nullptr, L"", L"", true}};
        // The digits typed since the last PIN warning, as the four-character edit takes them:
        // the only PIN a digest may be made of.
        std::wstring typed;
        for (const auto& attempt : attempts) {
            if (attempt.names != 0) {
                click(attempt.names);
            }
            if (attempt.pin != nullptr && usable(IDC_PIN_EDIT)) {
                SetFocus(driver.item(IDC_PIN_EDIT));
                type(IDC_PIN_EDIT, attempt.pin);
                typed = (typed + attempt.pin).substr(0, 4);
            }
            type(IDC_USER_NAME_EDIT, attempt.user);
            type(IDC_JOB_NAME_EDIT, attempt.job);
            const PrivateDevmode before = driver.Private();
            const std::wstring user = SecurePageSheet::Text(driver.item(IDC_USER_NAME_EDIT));
            const std::wstring job = SecurePageSheet::Text(driver.item(IDC_JOB_NAME_EDIT));
            const int okBefore = driver.okResults;
            const size_t boxesBefore = boxes.boxes().size();
            const bool left = SendMessageW(driver.sheet, PSM_APPLY, 0, 0) != FALSE;
            PumpMessages();
            const PrivateDevmode& after = driver.Private();
            const std::string digest(after.pinDigest, strnlen(after.pinDigest, 65));
            char expected[65] = {};
            const bool typedPin = ComputePinDigest(typed.c_str(), expected);
            if (plain && left != attempt.leaves) {
                problems.push_back(left ? "the plain run left the page early"
                                        : "the plain run could not leave the page");
            }
            if (left && after.secureEnabled == 1 && (!typedPin || digest != expected)) {
                problems.push_back("left with secure printing on and the digest '" + digest +
                                   "', not the typed PIN's (" + Narrow(typed) + ")");
            }
            if (left && (FieldText(after.userName) != user || FieldText(after.jobName) != job)) {
                problems.push_back("left with names '" + Narrow(FieldText(after.userName)) +
                                   "', '" + Narrow(FieldText(after.jobName)) +
                                   "' that the edits did not hold");
            }
            if (!left && (memcmp(before.pinDigest, after.pinDigest, sizeof(after.pinDigest)) != 0 ||
                          memcmp(before.userName, after.userName, sizeof(after.userName)) != 0 ||
                          memcmp(before.jobName, after.jobName, sizeof(after.jobName)) != 0)) {
                problems.push_back("the page stayed but the devmode changed");
            }
            if (!left && driver.okResults != okBefore) {
                problems.push_back("reported OK while the page stayed");
            }
            // A refused PIN is typed again from the start: the warning says so, the emptied
            // edit shows it.
            for (size_t i = boxesBefore; i < boxes.boxes().size(); ++i) {
                if (boxes.boxes()[i].caption == pinCaption) {
                    typed.clear();
                }
            }
            if (SecurePageSheet::Text(driver.item(IDC_PIN_EDIT)).empty()) {
                typed.clear();
            }
        }
        driver.Destroy();
        if (!MeetsInvariants(driver.Private())) {
            problems.push_back("the devmode breaks the record's invariants");
        }
        if (driver.heap.BusyBlocks() != 0) {
            problems.push_back("blocks left on the driver heap");
        }
    });
}

// Printer Properties: the About page shown and painted, then closed. Its name and version
// texts are whole or the template's own.
TEST_F(FaultSweep, DeviceSheet) {
    ASSERT_TRUE(printer().SetString(L"CopyrightYear1", L"2024"));
    ASSERT_TRUE(printer().SetString(L"CopyrightYear2", L"2026"));
    HANDLE handle = printer().handle();
    ResourceModule resources;
    const auto layout = ReadTemplate(resources.get(), IDD_ABOUT);
    std::vector<std::wstring> shown;
    Sweep("device sheet", [&](IPrintOemUI* plugin, HMODULE module, bool plain, Problems& problems) {
        DriverSide driver(plugin, handle, module);
        if (driver.Show(false, plain, problems)) {
            UpdateWindow(driver.sheet);
            PumpMessages();
            // The version text either has the version appended or is the template's; the name
            // line is the template's, or the printer's name and the version text.
            const int controls[] = {IDC_ABOUT_VERSION, IDC_ABOUT_NAME_VERSION};
            const std::wstring templateVersion = layout.at(IDC_ABOUT_VERSION).text;
            const std::wstring nameWithTemplate =
                std::wstring(kPrinterName) + L" " + templateVersion;
            for (size_t i = 0; i < std::size(controls); ++i) {
                const std::wstring text = ChildText(driver.pageWindow, controls[i]);
                if (plain) {
                    shown.push_back(text);
                } else if (text != shown[i] && text != layout.at(controls[i]).text &&
                           !(controls[i] == IDC_ABOUT_NAME_VERSION && text == nameWithTemplate &&
                             ChildText(driver.pageWindow, IDC_ABOUT_VERSION) == templateVersion)) {
                    problems.push_back("control " + std::to_string(controls[i]) + " shows '" +
                                       Narrow(text) + "'");
                }
            }
            driver.Destroy();
        }
        if (driver.heap.BusyBlocks() != 0) {
            problems.push_back("blocks left on the driver heap");
        }
    });
}

// The same at 144 DPI, where the logo is scaled, in a copy of this program started at that DPI.
TEST(FaultSweepInLook, DeviceSheetAt144Dpi) {
    const ChildResult copy = RunInLook({.dpi = 144}, L"--gtest_filter=FaultSweep.DeviceSheet");
    EXPECT_TRUE(copy.started && copy.exitCode == 0) << copy.output;
}

// Help shown from the secure-print page and closed with it, through the recording control.
TEST_F(FaultSweep, Help) {
    RecordingHelpControl control;
    ASSERT_TRUE(control.ok());
    HANDLE handle = printer().handle();
    const std::wstring helpFile = printer().DriverDirectory() + L"pinprint.chm";
    Sweep("help", [&](IPrintOemUI* plugin, HMODULE module, bool plain, Problems& problems) {
        DriverSide driver(plugin, handle, module);
        if (!driver.Show(true, plain, problems)) {
            return;
        }
        const RecordedHelp* recorded = RecordingHelpControl::Recorded();
        const LONG callsBefore = recorded != nullptr ? recorded->calls : 0;
        SendMessageW(driver.sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
        PumpMessages();
        recorded = RecordingHelpControl::Recorded();
        const LONG shownCalls = recorded != nullptr ? recorded->calls - callsBefore : 0;
        auto* context = ContextOf(driver.pageWindow);
        // The recorder answers with a made-up handle; a window of the test's own plays the
        // help viewer, so that closing the page finds it open.
        HWND viewer = nullptr;
        if (context != nullptr && context->helpWindow != nullptr) {
            // Shown by the recorder, or by the system's own control where the registered one
            // could not be had.
            const bool recorder = shownCalls == 1 && recorded->last.command == kHelpDisplayTopic &&
                                  _wcsicmp(recorded->last.file, helpFile.c_str()) == 0;
            if (!recorder && (shownCalls != 0 || GetModuleHandleW(L"hhctrl.ocx") == nullptr)) {
                problems.push_back("a help window without the help file shown");
            }
            viewer = CreateWindowW(L"STATIC", L"help", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                   nullptr, nullptr);
            context->helpWindow = viewer;
        } else if (plain) {
            problems.push_back("no help in the plain run");
        }
        driver.Destroy();
        if (viewer != nullptr) {
            DestroyWindow(viewer);
        }
    });
}

// The PrintTicket provider as the driver drives it: versions, binding, capabilities, a stored
// secure job into a ticket, a program's PIN and names validated and converted back. Whatever a
// call reports as done is checked done; a failed conversion leaves the devmode as it was.
TEST_F(FaultSweep, PrintTicketProvider) {
    // Names within Latin-1: under the ANSI rule a failed code-page conversion is the platform
    // saying a character has no one-byte form, which refuses it (as the page's filters do).
    ASSERT_TRUE(printer().SetOptions(0x101));
    HANDLE handle = printer().handle();
    const std::wstring head =
        L"xmlns:psf=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework\" "
        L"xmlns:psk=\"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords\" "
        L"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        L"xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:k=\"http://schemas.microsoft.com/"
        L"windows/2013/05/printing/printschemakeywordsv11\" version=\"1\"";
    const std::wstring request =
        L"<psf:PrintTicket " + head +
        L" xmlns:p=\"http://schemas.pinprint.example/2024/printing/securejob\"><psf:Feature "
        L"name=\"k:JobPasscode\"><psf:Option name=\"psk:On\"/></psf:Feature><psf:ParameterInit "
        L"name=\"k:JobPasscodeString\"><psf:Value xsi:type=\"xsd:string\">5678</psf:Value>"
        L"</psf:ParameterInit><psf:ParameterInit name=\"p:UserName\"><psf:Value "
        L"xsi:type=\"xsd:string\">Ann/B</psf:Value></psf:ParameterInit></psf:PrintTicket>";
    Sweep("PrintTicket provider", [&](IPrintOemUI* plugin, HMODULE, bool plain,
                                      Problems& problems) {
        const auto expect = [&](bool ok, const char* what) {
            if (!ok) {
                problems.push_back(what);
            }
        };
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        IPrintOemPrintTicketProvider* provider = nullptr;
        IXMLDOMDocument2* capabilities = drvhost::CreateDocument();
        IXMLDOMDocument2* ticket = drvhost::CreateDocument();
        std::wstring reason;
        if (SUCCEEDED(plugin->QueryInterface(IID_IPrintOemPrintTicketProvider,
                                             reinterpret_cast<void**>(&provider))) &&
            drvhost::LoadXml(capabilities, L"<psf:PrintCapabilities " + head + L"/>", reason) &&
            drvhost::LoadXml(ticket, L"<psf:PrintTicket " + head + L"/>", reason)) {
            Injector& injector = TheInjector();
            INT* versions = nullptr;
            INT count = 0;
            HRESULT hr = provider->GetSupportedVersions(handle, &versions, &count);
            expect(SUCCEEDED(hr) ? count == 1 && versions[0] == 1 : !plain && versions == nullptr,
                   "GetSupportedVersions");
            injector.HandedOver(versions);
            CoTaskMemFree(versions);
            OEMPTOPTS options = OEMPT_NOSNAPSHOT;
            BSTR* names = nullptr;
            hr = provider->BindPrinter(handle, 1, &options, &count, &names);
            expect(SUCCEEDED(hr) ? count == 1 && options == OEMPT_DEFAULT && names[0] != nullptr
                                 : !plain && count == 0 && names == nullptr,
                   "BindPrinter");
            if (names != nullptr) {
                injector.HandedOver(names[0]);
                injector.HandedOver(names);
                SysFreeString(names[0]);
                CoTaskMemFree(names);
            }
            const auto text = [](IXMLDOMDocument2* document) {
                BSTR xml = nullptr;
                document->get_xml(&xml);
                std::wstring result(xml != nullptr ? xml : L"");
                SysFreeString(xml);
                return result;
            };
            // A failed read of the options word offers no secure printing: the call then
            // changes nothing, and says so with success.
            std::wstring before = text(capabilities);
            hr = provider->CompletePrintCapabilities(nullptr, capabilities);
            expect(SUCCEEDED(hr) ? text(capabilities).find(L"JobName\"") != std::wstring::npos ||
                                       (!plain && text(capabilities) == before)
                                 : !plain,
                   "CompletePrintCapabilities");
            PrivateDevmode job{};
            DefaultPrivateDevmode(&job);
            job.secureEnabled = 1;
            ComputePinDigest(L"1234", job.pinDigest);
            SetField(job.userName, 80, L"Ann");
            before = text(ticket);
            hr = provider->ConvertDevModeToPrintTicket(0, nullptr, sizeof(job), &job, ticket);
            expect(SUCCEEDED(hr) ? (text(ticket).find(L"psk:On") != std::wstring::npos &&
                                    text(ticket).find(L">Ann<") != std::wstring::npos) ||
                                       (!plain && text(ticket) == before)
                                 : !plain,
                   "ConvertDevModeToPrintTicket");
            drvhost::LoadXml(ticket, request, reason);
            before = text(ticket);
            hr = provider->ValidatePrintTicket(ticket);
            expect(hr == S_CONFLICT_RESOLVED ||
                       (!plain && (FAILED(hr) || (hr == S_NO_CONFLICT && text(ticket) == before))),
                   "ValidatePrintTicket");
            const PrivateDevmode unchanged = job;
            hr = provider->ConvertPrintTicketToDevMode(ticket, 0, nullptr, sizeof(job), &job);
            char digest[65] = {};
            ComputePinDigest(L"5678", digest);
            const bool same = memcmp(&job, &unchanged, sizeof(job)) == 0;
            expect(SUCCEEDED(hr) ? (strcmp(job.pinDigest, digest) == 0 &&
                                    FieldText(job.userName) == L"AnnB") ||
                                       (!plain && same)
                                 : !plain && same,
                   "ConvertPrintTicketToDevMode");
        } else {
            problems.push_back("no provider or no MSXML 6");
        }
        for (IUnknown* object :
             {static_cast<IUnknown*>(provider), static_cast<IUnknown*>(capabilities),
              static_cast<IUnknown*>(ticket)}) {
            if (object != nullptr) {
                object->Release();
            }
        }
        CoUninitialize();
    });
}

// The rendering plug-in as the driver drives it: the helper published, then a secure and a
// normal job, each with its devmode made and merged by the plug-in, printed and ended. A job
// that starts is written whole, the secure one inside its envelope; one that does not start
// has written nothing.
TEST_F(FaultSweep, RenderingPlugin) {
    static drvhost::SpoolHelper helper;  // outlives every object that holds it
    const auto scenario = [](IPrintOemPS* plugin, HMODULE, bool plain, Problems& problems) {
        plugin->PublishDriverInterface(static_cast<IPrintCorePS2*>(&helper));
        for (const uint8_t secure : {1, 0}) {
            PrivateDevmode record{};
            DefaultPrivateDevmode(&record);
            record.secureEnabled = secure;
            ComputePinDigest(L"1234", record.pinDigest);
            SetField(record.loginName, kNameChars, L"ann");
            std::vector<BYTE> devmode;
            drvhost::DefaultDevmode(plugin, devmode);
            drvhost::MergeDevmode(plugin, devmode, &record);
            drvhost::DriverJob job;
            const auto result = drvhost::PrintJob(plugin, job, devmode, {"T", "d", {}, 1});
            const std::string end = "\x1B%-12345X@PJL EOJ NAME=\"ann\"\r\n\x1B%-12345X";
            const std::string& s = job.stream;
            const bool whole = secure ? s.rfind("\x1B%-12345X@PJL\r\n", 0) == 0 &&
                                            s.size() > end.size() &&
                                            s.compare(s.size() - end.size(), end.size(), end) == 0
                                      : s.rfind("%!PS-Adobe-3.0", 0) == 0;
            if (SUCCEEDED(result.started) ? !result.written || !whole : plain || !s.empty()) {
                problems.push_back(std::string(secure ? "a secure" : "a normal") +
                                   " job started but not written whole, or written unstarted");
            }
        }
    };
    Sweep<IPrintOemPS>("rendering plug-in", scenario, kRenderPlugin);
}

// Every function the built DLLs import has its row in the table (or is the runtime's), and
// every row names a function one of them imports: a new import cannot slip past the sweep.
TEST(FaultTable, CoversEveryImportOfTheBuiltDlls) {
    std::set<std::string> rows;
    std::set<std::string> imported;
    for (const auto& row : faults::Imports()) {
        rows.insert(std::string(row.dll) + "!" + row.name);
    }
    const auto visit = [&](const char* dll, const char* name, ULONG_PTR*) {
        std::string upper = dll;
        for (char& c : upper) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        const std::string key = upper + "!" + name;
        imported.insert(key);
        const bool runtime = upper == "MSVCRT.DLL" ||
                             (upper == "KERNEL32.DLL" &&
                              std::find_if(faults::RuntimeImports().begin(),
                                           faults::RuntimeImports().end(), [name](const char* r) {
                                               return strcmp(r, name) == 0;
                                           }) != faults::RuntimeImports().end());
        EXPECT_TRUE(runtime || rows.count(key) != 0) << key << " has no row";
        return true;
    };
    LoadedPlugin plugin;
    drvhost::PluginModule renderer(BinPath(L"pinprintps.dll"));
    ASSERT_TRUE(plugin.module() != nullptr && renderer.module() != nullptr);
    ForEachImport(plugin.module(), visit);
    ForEachImport(renderer.module(), visit);
    for (const auto& row : rows) {
        EXPECT_EQ(imported.count(row), 1u) << row << " is not imported";
    }
}

}  // namespace
}  // namespace pinprint::test
