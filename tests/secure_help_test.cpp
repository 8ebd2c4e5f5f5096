// Help on the secure-print page, with the recording stand-in for the HTML Help control
// registered in an HKEY_CLASSES_ROOT of the test's own. The launcher keeps its control per
// process, and CTest runs each case in a process of its own.
#include <gtest/gtest.h>

#include <string>

#include "config/help_launcher.h"
#include "pages/page_procs.h"
#include "resmodule/resource_ids.h"
#include "support/help_control.h"
#include "support/secure_page_fixture.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

class SecureHelpTest : public SecurePageTest {
  protected:
    void SetUp() override {
        SecurePageTest::SetUp();
        ASSERT_TRUE(control_.ok());
    }

    static const RecordedHelp* Recorded() { return RecordingHelpControl::Recorded(); }
    void Unregister() { control_.Unregister(); }

    std::wstring HelpFilePath() { return printer().DriverDirectory() + L"pinprint.chm"; }

  private:
    RecordingHelpControl control_;
};

TEST_F(SecureHelpTest, HelpButtonShowsTheDriversHelpFile) {
    auto sheet = Open(0, DefaultDevmode());
    SetFocus(sheet->item(IDC_USER_NAME_EDIT));
    SendMessageW(sheet->sheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
    PumpMessages();
    const RecordedHelp* help = Recorded();
    ASSERT_NE(help, nullptr);
    ASSERT_EQ(help->calls, 1);
    EXPECT_EQ(help->last.command, kHelpDisplayTopic);
    EXPECT_EQ(help->last.data, 0u);
    EXPECT_EQ(help->last.caller, sheet->item(IDC_USER_NAME_EDIT));  // the focus window
    EXPECT_FALSE(help->last.fileIsNull);
    EXPECT_EQ(_wcsicmp(help->last.file, HelpFilePath().c_str()), 0) << help->last.file;
    EXPECT_EQ(sheet->context().helpWindow, RecordedHelpWindow(1));
}

TEST_F(SecureHelpTest, F1ShowsHelpAndIsAnswered) {
    auto sheet = Open(0, DefaultDevmode());
    HELPINFO info = {};
    info.cbSize = sizeof(info);
    info.iContextType = HELPINFO_WINDOW;
    info.iCtrlId = IDC_PIN_EDIT;
    info.hItemHandle = sheet->item(IDC_PIN_EDIT);
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info)),
              TRUE);
    const RecordedHelp* help = Recorded();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->calls, 1);
    EXPECT_EQ(help->last.command, kHelpDisplayTopic);
    EXPECT_EQ(sheet->context().helpWindow, RecordedHelpWindow(1));
    // PSN_HELP itself is answered as not handled.
    NMHDR header = {sheet->sheet(), 0, static_cast<UINT>(PSN_HELP)};
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)),
              FALSE);
    EXPECT_EQ(help->calls, 2);
}

TEST_F(SecureHelpTest, ClosingThePageClosesAllHelpWindows) {
    auto sheet = Open(0, DefaultDevmode());
    SendMessageW(sheet->sheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
    PumpMessages();
    ASSERT_NE(Recorded(), nullptr);
    // The recorder answers with a made-up handle; the help viewer's window is played by a real
    // window of the test's own, so that the page finds it still open.
    HWND viewer = CreateWindowW(L"STATIC", L"help", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    SheetContext& context = sheet->context();
    context.helpWindow = viewer;
    sheet.reset();
    const RecordedHelp* help = Recorded();
    EXPECT_EQ(help->calls, 2);
    EXPECT_EQ(help->last.command, kHelpCloseAll);
    EXPECT_TRUE(help->last.fileIsNull);
    EXPECT_EQ(help->last.caller, nullptr);
    EXPECT_EQ(help->last.data, 0u);
    DestroyWindow(viewer);
}

TEST_F(SecureHelpTest, ClosingWithoutAnOpenHelpWindowCallsNothing) {
    auto sheet = Open(0, DefaultDevmode());
    SendMessageW(sheet->sheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
    PumpMessages();
    ASSERT_NE(Recorded(), nullptr);
    // The help window is gone (the recorder's handle is no window at all).
    sheet.reset();
    EXPECT_EQ(Recorded()->calls, 1);
}

// A thread whose COM is already multi-threaded, as a printing program's may be: help opens once,
// and the page leaves the thread's COM as it found it.
TEST_F(SecureHelpTest, HelpOpensOnAMultiThreadedComThread) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
        auto sheet = Open(0, DefaultDevmode());
        SendMessageW(sheet->sheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
        PumpMessages();
        ASSERT_NE(Recorded(), nullptr);
        EXPECT_EQ(Recorded()->calls, 1);
        EXPECT_EQ(sheet->context().helpWindow, RecordedHelpWindow(1));
    }
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE) << "COM was uninitialized";
    CoUninitialize();
    CoUninitialize();
}

TEST_F(SecureHelpTest, NoHelpFileNoCall) {
    Unregister();  // not even the real control
    DriverSetup driver;
    driver.dependentFiles = {L"pinprintui.dll", L"pinprintlg.dll"};
    TestPrinter bare(L"PinPrint Secure Help Without Chm", driver);
    ASSERT_TRUE(bare.ok());
    ASSERT_TRUE(bare.SetOptions(0));
    PageSetup setup;
    setup.printer = bare.handle();
    setup.resources = resources();
    SecurePageSheet sheet(setup, DefaultDevmode());
    sheet.context().helpWindow = reinterpret_cast<HWND>(0x1234);
    SendMessageW(sheet.sheet(), PSM_PRESSBUTTON, PSBTN_HELP, 0);
    PumpMessages();
    EXPECT_EQ(GetModuleHandleW(L"helprecorder.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"hhctrl.ocx"), nullptr);
    EXPECT_EQ(sheet.context().helpWindow, reinterpret_cast<HWND>(0x1234));
}

}  // namespace
}  // namespace pinprint::test
