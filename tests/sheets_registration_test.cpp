// The two sheet entries driven the way compstui drives them, with the driver side's stand-in
// for compstui's callback, which records the page it is given and answers with a chosen value.
#include <gtest/gtest.h>

#include <windows.h>
#include <compstui.h>

#include <cstring>
#include <string>

#include "module/plugin_module.h"
#include "pages/page_procs.h"
#include "pages/property_sheets.h"
#include "pages/sheet_context.h"
#include "platform/property_sheet_page.h"
#include "resmodule/resource_ids.h"
#include "support/test_printer.h"
#include "support/test_support.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint {
namespace {

using drvhost::SheetCall;
using test::BinPath;
using test::DriverSetup;
using test::TestPrinter;
using Entry = SheetCall::Entry;

const HANDLE kSheetHandle = reinterpret_cast<HANDLE>(0x43440001);

// A printer whose driver lists pinprintlg.dll, and the plug-in DLL of the bin folder as this
// code's own module, so that the resource module is looked for beside it.
class SheetRegistration : public ::testing::Test {
  protected:
    void SetUp() override {
        plugin_ = LoadLibraryW(BinPath(L"pinprintui.dll").c_str());
        ASSERT_NE(plugin_, nullptr);
        SetOwnModuleHandle(plugin_);
        ASSERT_EQ(GetModuleHandleW(L"pinprintlg.dll"), nullptr) << "loaded before the test";
    }
    void TearDown() override {
        SetOwnModuleHandle(nullptr);
        FreeLibrary(plugin_);
    }

    // One sheet of `printer` (none: no printer) with the driver's parameters, on `heap` (the
    // test's own by default), through compstui's recording stand-in.
    SheetCall Call(HANDLE printer = nullptr, DWORD flags = 0, HANDLE heap = nullptr) {
        return SheetCall(
            drvhost::DriverParameters(printer, L"PinPrint Test", nullptr,
                                      heap != nullptr ? heap : heap_.get(), nullptr, flags),
            kSheetHandle);
    }

    HMODULE plugin_ = nullptr;
    drvhost::DriverHeap heap_;
};

// Every member the page record must leave zero, checked by wiping the expected ones.
void ExpectOnlyListedMembers(PropSheetPageFull page) {
    page.dwSize = 0;
    page.dwFlags = 0;
    page.hInstance = nullptr;
    page.pszTemplate = nullptr;
    page.pfnDlgProc = nullptr;
    page.lParam = 0;
    page.hActCtx = nullptr;
    const PropSheetPageFull zero = {};
    EXPECT_EQ(memcmp(&page, &zero, sizeof(page)), 0) << "a member outside the table was set";
}

TEST_F(SheetRegistration, PagesFollowTheOptionsWord) {
    TestPrinter printer(L"Sheets Options");
    ASSERT_TRUE(printer.ok());
    struct Case {
        bool document;
        bool setOptions;
        DWORD options;
        WORD templateId;  // 0: no page
    };
    const Case cases[] = {
        {true, true, 0x1, IDD_SECURE_PRINT},
        {true, true, 0x21, IDD_SECURE_PRINT_ALT},
        {true, true, 0x20, 0},
        {true, true, 0x100, 0},
        {true, true, 0x11F, IDD_SECURE_PRINT},  // no other bit changes the template
        {true, false, 0, 0},                    // no "VkDriverOptions" at all
        {false, true, 0x100, IDD_ABOUT},
        {false, true, 0x1, 0},
        {false, true, 0x21, 0},
        {false, true, 0x13F, IDD_ABOUT},
        {false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.document ? "document" : "device") << ", options 0x"
                                        << std::hex << c.options);
        if (c.setOptions) {
            ASSERT_TRUE(printer.SetOptions(c.options));
        } else {
            printer.RemoveOptions();
        }
        const Entry entry =
            c.document ? Entry(DocumentPropertySheets) : Entry(DevicePropertySheets);
        SheetCall call = Call(printer.handle());
        ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
        SheetContext* context = call.context<SheetContext>();
        ASSERT_NE(context, nullptr);
        if (c.templateId == 0) {
            EXPECT_EQ(call.service.calls, 0);
            EXPECT_EQ(call.info.Result, c.document ? 1u : 0u);
            EXPECT_EQ(c.document ? context->resourceModule : context->ownModule, nullptr);
        } else {
            ASSERT_EQ(call.service.calls, 1);
            EXPECT_EQ(call.service.sheet, kSheetHandle);
            EXPECT_EQ(call.service.function, static_cast<UINT>(CPSFUNC_ADD_PROPSHEETPAGEW));
            EXPECT_EQ(call.service.lParam2, 0);
            const PropSheetPageFull& page = call.service.page;
            EXPECT_EQ(page.dwSize, 104u);
            EXPECT_EQ(page.dwFlags, static_cast<DWORD>((c.document ? PSP_HASHELP : PSP_DEFAULT) |
                                                       PSP_USEFUSIONCONTEXT));
            EXPECT_NE(page.hActCtx, nullptr);
            EXPECT_EQ(page.hActCtx, context->activationContext);
            EXPECT_EQ(page.hInstance, GetModuleHandleW(L"pinprintlg.dll"));
            EXPECT_EQ(page.pszTemplate, MAKEINTRESOURCEW(c.templateId));
            EXPECT_EQ(page.pfnDlgProc, c.document ? &SecurePrintPageProc : &AboutPageProc);
            EXPECT_EQ(page.lParam, static_cast<LPARAM>(call.info.UserData));
            ExpectOnlyListedMembers(page);
            EXPECT_EQ(call.info.Result, static_cast<ULONG_PTR>(call.service.pageAnswer));
            EXPECT_EQ(context->ownModule, c.document ? nullptr : plugin_);
        }
        // Only the document sheet keeps its page's handle; both keep what the sheet gave them.
        EXPECT_EQ(context->pageHandle,
                  c.document && c.templateId != 0 ? call.service.pageAnswer : 0);
        EXPECT_EQ(context->sheetHandle, kSheetHandle);
        EXPECT_EQ(context->uiParam, &call.param);
        EXPECT_EQ(context->sheetCallback, call.info.pfnComPropSheet);
        EXPECT_EQ(context->helpWindow, nullptr);
        EXPECT_EQ(context->userDefault, 0u);
        EXPECT_EQ(context->perDocument, c.document ? 1u : 0u);
        ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
        EXPECT_EQ(heap_.BusyBlocks(), 0);
    }
}

// Sheets report a refused page as a negative 32-bit value; only those low 32 bits decide.
TEST_F(SheetRegistration, RefusedPageLeavesItsValueInResult) {
    TestPrinter printer(L"Sheets Refused");
    ASSERT_TRUE(printer.ok() && printer.SetOptions(0x101));
    struct Case {
        LONG_PTR answer;
        LONG_PTR pageHandle;  // document sheet
    };
    const Case cases[] = {
        {-1, 0},
        {ERR_CPSUI_CREATEPROPPAGE_FAILED, 0},
        {static_cast<LONG_PTR>(0x00000000FFFFFFF0ull), 0},  // negative in its low 32 bits
        {static_cast<LONG_PTR>(0xFFFFFFFF00000005ull),
         static_cast<LONG_PTR>(0xFFFFFFFF00000005ull)},
        {0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "answer 0x" << std::hex << c.answer);
        for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
            SheetCall call = Call(printer.handle());
            call.service.pageAnswer = c.answer;
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
            EXPECT_EQ(call.service.calls, 1);
            EXPECT_EQ(call.info.Result, static_cast<ULONG_PTR>(c.answer));
            ASSERT_NE(call.context<SheetContext>(), nullptr);
            const bool document = entry == Entry(DocumentPropertySheets);
            EXPECT_EQ(call.context<SheetContext>()->pageHandle, document ? c.pageHandle : 0);
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
            EXPECT_EQ(heap_.BusyBlocks(), 0);
        }
    }
}

TEST_F(SheetRegistration, OtherReasonsAnswerAsTheSheetExpects) {
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SheetCall call = Call();
        call.info.Result = 77;
        call.info.UserData = 0x5A5A;

        PROPSHEETUI_INFO_HEADER header;
        memset(&header, 0xCD, sizeof(header));
        PROPSHEETUI_INFO_HEADER expected = header;
        EXPECT_EQ(
            call.Run(entry, PROPSHEETUI_REASON_GET_INFO_HEADER, reinterpret_cast<LPARAM>(&header)),
            S_OK);
        EXPECT_EQ(call.info.Result, 1u);
        EXPECT_STREQ(header.pTitle, L"OEM UI Page");
        expected.pTitle = header.pTitle;
        EXPECT_EQ(memcmp(&header, &expected, sizeof(header)), 0) << "only pTitle is written";

        SETRESULT_INFO result = {};
        result.cbSize = sizeof(result);
        result.Result = 5;
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_SET_RESULT, reinterpret_cast<LPARAM>(&result)),
                  S_OK);
        EXPECT_EQ(call.info.Result, 5u);

        // Without their records the two requests read nothing; a result never set stays.
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_GET_INFO_HEADER, 0), S_OK);
        EXPECT_EQ(call.info.Result, 1u);
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_SET_RESULT, 0), S_OK);
        EXPECT_EQ(call.info.Result, 1u);

        for (WORD reason : {WORD(PROPSHEETUI_REASON_GET_ICON), WORD(7), WORD(0xFFFF)}) {
            call.info.Result = 77;
            EXPECT_EQ(call.Run(entry, reason), S_OK) << reason;
            EXPECT_EQ(call.info.Result, 0u) << reason;
        }
        EXPECT_EQ(call.info.UserData, 0x5A5Au) << "no reason but INIT and DESTROY touches it";
    }
}

TEST_F(SheetRegistration, EntryTestRefusesOtherVersionsAndNullRecords) {
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SetLastError(0);
        EXPECT_EQ(entry(nullptr, 0), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        for (WORD version : {WORD(0x0101), WORD(0x00FF), WORD(0)}) {
            for (WORD reason : {WORD(PROPSHEETUI_REASON_INIT), WORD(PROPSHEETUI_REASON_DESTROY),
                                WORD(PROPSHEETUI_REASON_SET_RESULT)}) {
                SheetCall call = Call();
                call.info.Version = version;
                call.info.Result = 77;
                call.info.UserData = 0;
                SetLastError(0);
                EXPECT_EQ(call.Run(entry, reason), E_FAIL) << version;
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
                EXPECT_EQ(call.info.Result, 77u);
                EXPECT_EQ(call.info.UserData, 0u);
                EXPECT_EQ(call.service.calls, 0);
            }
        }
    }
    EXPECT_EQ(heap_.BusyBlocks(), 0);
}

// A driver that hands over no OEMUIPSPARAM (or no sheet callback) gets a refusal, not a crash.
TEST_F(SheetRegistration, InitWithoutDriverParametersFails) {
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SheetCall call = Call();
        call.info.lParamInit = 0;
        SetLastError(0);
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(call.info.UserData, 0u);

        SheetCall noCallback = Call();
        noCallback.info.pfnComPropSheet = nullptr;
        SetLastError(0);
        EXPECT_EQ(noCallback.Run(entry, PROPSHEETUI_REASON_INIT), E_FAIL);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(heap_.BusyBlocks(), 0);
}

TEST_F(SheetRegistration, AllocationFailureIsOutOfMemory) {
    TestPrinter printer(L"Sheets Memory");
    ASSERT_TRUE(printer.ok() && printer.SetOptions(0x101));
    drvhost::DriverHeap full(64 * 1024);
    ASSERT_TRUE(full.Exhaust(sizeof(SheetContext)));
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SheetCall call = Call(printer.handle(), 0, full.get());
        call.info.Result = 77;
        call.info.UserData = 0;
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), E_OUTOFMEMORY);
        EXPECT_EQ(call.info.Result, 0u);
        EXPECT_EQ(call.info.UserData, 0u);
        EXPECT_EQ(GetModuleHandleW(L"pinprintlg.dll"), nullptr);
        // The sheet still sends DESTROY; with no context there is nothing to free.
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
        EXPECT_EQ(call.info.Result, 1u);
        EXPECT_EQ(call.service.calls, 0);
    }
}

// Each sheet frees its context on the driver's heap and releases the resource module only
// when its own INIT loaded it.
TEST_F(SheetRegistration, DestroyReleasesWhatInitTook) {
    TestPrinter found(L"Sheets Found");
    DriverSetup withoutLg;
    withoutLg.dependentFiles = {L"pinprintui.dll", L"PINPRINT.INI"};
    TestPrinter plain(L"Sheets Plain", withoutLg);
    DriverSetup missingLg;
    missingLg.dependentFiles = {L"pinprintui.dll", L"PINPRINTXLG.DLL"};
    TestPrinter missing(L"Sheets Missing", missingLg);
    ASSERT_TRUE(found.ok() && plain.ok() && missing.ok());
    for (auto* printer : {&found, &plain, &missing}) {
        ASSERT_TRUE(printer->SetOptions(0x101));
    }

    const std::wstring lgPath = BinPath(L"pinprintlg.dll");
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        // Found: INIT loads it, DESTROY gives it back.
        {
            SheetCall call = Call(found.handle());
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
            const HMODULE lg = GetModuleHandleW(lgPath.c_str());
            ASSERT_NE(lg, nullptr);
            EXPECT_EQ(call.service.page.hInstance, lg);
            EXPECT_EQ(heap_.BusyBlocks(), 1);
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
            EXPECT_EQ(call.info.Result, 1u);
            EXPECT_EQ(heap_.BusyBlocks(), 0);
            EXPECT_EQ(GetModuleHandleW(lgPath.c_str()), nullptr);
        }
        // Found and already loaded by the host: exactly the sheet's own reference goes.
        {
            const HMODULE ours = LoadLibraryW(lgPath.c_str());
            ASSERT_NE(ours, nullptr);
            SheetCall call = Call(found.handle());
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
            EXPECT_EQ(call.service.page.hInstance, ours);
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
            EXPECT_EQ(GetModuleHandleW(lgPath.c_str()), ours);
            FreeLibrary(ours);
            EXPECT_EQ(GetModuleHandleW(lgPath.c_str()), nullptr);
        }
        // Not among the dependent files, or listed but absent: this DLL serves, never released.
        for (auto* printer : {&plain, &missing}) {
            SCOPED_TRACE(printer->name());
            const HMODULE extra = LoadLibraryW(BinPath(L"pinprintui.dll").c_str());
            SheetCall call = Call(printer->handle());
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
            EXPECT_EQ(call.service.page.hInstance, plugin_);
            EXPECT_EQ(call.context<SheetContext>()->resourceModule, plugin_);
            ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
            EXPECT_EQ(heap_.BusyBlocks(), 0);
            FreeLibrary(extra);
            EXPECT_EQ(GetModuleHandleW(BinPath(L"pinprintui.dll").c_str()), plugin_)
                << "DESTROY released this DLL's own module";
        }
    }
}

// Without its own file path the plug-in cannot look for the resource module; the page is added
// all the same, with no instance handle.
TEST_F(SheetRegistration, PageWithoutOwnPathHasNoInstance) {
    TestPrinter printer(L"Sheets Nopath");
    ASSERT_TRUE(printer.ok() && printer.SetOptions(0x101));
    SetOwnModuleHandle(reinterpret_cast<HINSTANCE>(0x7FF000000000));  // no module lives here
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SheetCall call = Call(printer.handle());
        ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
        EXPECT_EQ(call.service.calls, 1);
        EXPECT_EQ(call.service.page.hInstance, nullptr);
        EXPECT_EQ(call.context<SheetContext>()->resourceModule, nullptr);
        ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
        EXPECT_EQ(heap_.BusyBlocks(), 0);
    }
}

// DESTROY normally takes the heap from lParamInit; a sheet that sends it without one still
// gets its context freed, on the heap INIT used.
TEST_F(SheetRegistration, DestroyWithoutDriverParametersUsesTheContextsOwn) {
    for (Entry entry : {Entry(DocumentPropertySheets), Entry(DevicePropertySheets)}) {
        SheetCall call = Call();
        ASSERT_EQ(call.Run(entry, PROPSHEETUI_REASON_INIT), S_OK);
        ASSERT_EQ(heap_.BusyBlocks(), 1);
        call.info.lParamInit = 0;
        EXPECT_EQ(call.Run(entry, PROPSHEETUI_REASON_DESTROY), S_OK);
        EXPECT_EQ(call.info.Result, 1u);
        EXPECT_EQ(heap_.BusyBlocks(), 0);
    }
}

TEST_F(SheetRegistration, FlagsComeFromTheDriverAndTheSystem) {
    const DWORD version = GetVersion();
    ASSERT_FALSE(LOBYTE(version) == 5 && HIBYTE(version) == 0) << "this test needs 5.1 or later";
    struct Case {
        Entry entry;
        DWORD dwFlags;
        DWORD canChange, userDefault, perDocument;
    };
    const Case cases[] = {
        {DocumentPropertySheets, 0x00, 1, 0, 1}, {DocumentPropertySheets, 0x40, 1, 1, 0},
        {DocumentPropertySheets, 0x20, 0, 0, 1}, {DocumentPropertySheets, 0x60, 0, 1, 0},
        {DocumentPropertySheets, 0x01, 1, 0, 1}, {DevicePropertySheets, 0x00, 1, 0, 0},
        {DevicePropertySheets, 0x01, 0, 0, 0},   {DevicePropertySheets, 0x60, 1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.entry == Entry(DocumentPropertySheets) ? "document" : "device")
                     << " dwFlags 0x" << std::hex << c.dwFlags);
        SheetCall call = Call(nullptr, c.dwFlags);
        ASSERT_EQ(call.Run(c.entry, PROPSHEETUI_REASON_INIT), S_OK);
        const SheetContext* context = call.context<SheetContext>();
        ASSERT_NE(context, nullptr);
        EXPECT_EQ(context->canChange, c.canChange);
        EXPECT_EQ(context->userDefault, c.userDefault);
        EXPECT_EQ(context->perDocument, c.perDocument);
        call.Run(c.entry, PROPSHEETUI_REASON_DESTROY);
    }
}

}  // namespace
}  // namespace pinprint
