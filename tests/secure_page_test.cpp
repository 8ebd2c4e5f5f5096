// The secure-print page in a real property sheet: layout from the devmode and the options word,
// the lock and its unlock gesture, change notices, apply, painting, and two pages at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "config/driver_options.h"
#include "pages/page_procs.h"
#include "resmodule/resource_ids.h"
#include "support/key_override.h"
#include "support/secure_page_fixture.h"
#include "support/test_support.h"

namespace pinprint::test {
namespace {

bool Enabled(SecurePageSheet& sheet, int id) {
    return IsWindowEnabled(sheet.item(id)) != FALSE;
}
bool Visible(SecurePageSheet& sheet, int id) {
    return IsWindowVisible(sheet.item(id)) != FALSE;
}
bool Checked(SecurePageSheet& sheet, int id) {
    return IsDlgButtonChecked(sheet.page(), id) == BST_CHECKED;
}
std::wstring Text(SecurePageSheet& sheet, int id) {
    return SecurePageSheet::Text(sheet.item(id));
}

// ---- Initialization --------------------------------------------------------------------------

// A whole stored digest shows as four zeros; one of any other length (65 characters: unterminated),
// or secure printing off, is dropped and leaves the edit empty.
TEST_F(SecurePageTest, StoredDigestShowsTheFourZeroPlaceholderOrIsDropped) {
    const struct {
        std::string digest;
        uint8_t secure;
        const wchar_t* shown;
    } cases[] = {{kDigest1234, 1, L"0000"},
                 {"", 1, L""},
                 {std::string(kDigest1234).substr(0, 63), 1, L""},
                 {std::string(kDigest1234) + "5", 1, L""},
                 {kDigest1234, 0, L""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.digest.size() << " characters, secure " << +c.secure);
        PrivateDevmode devmode = SecureDevmode();
        memcpy(devmode.pinDigest, c.digest.data(), c.digest.size());
        if (c.digest.size() < sizeof(devmode.pinDigest)) {
            devmode.pinDigest[c.digest.size()] = '\0';
        }
        devmode.secureEnabled = c.secure;
        auto sheet = Open(0, devmode);
        EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), c.shown);
        EXPECT_STREQ(sheet->devmode().pinDigest, *c.shown != L'\0' ? kDigest1234 : "");
        EXPECT_EQ(sheet->devmode().secureEnabled, c.secure);
        EXPECT_EQ(Checked(*sheet, IDC_SECURE_ENABLE), c.secure == 1);
        EXPECT_TRUE(Enabled(*sheet, IDC_SECURE_ENABLE));
        EXPECT_EQ(Enabled(*sheet, IDC_PIN_LABEL), c.secure == 1);
        EXPECT_EQ(Enabled(*sheet, IDC_PIN_EDIT), c.secure == 1);
        EXPECT_EQ(SendMessageW(sheet->item(IDC_PIN_EDIT), EM_GETLIMITTEXT, 0, 0), 4);
        EXPECT_EQ(sheet->context().pinEdited, 0u);
    }
}

struct LockCase {
    const char* what;
    DWORD perDocument;
    uint32_t pageFlags;
    DWORD options;
    bool unlocked;
};

TEST_F(SecurePageTest, LockStateFollowsSheetDevmodeAndOptions) {
    const LockCase cases[] = {
        {"per-document sheet", 1, 0, 0, true},
        {"unlocked before", 0, kPageFlagUnlocked, 0, true},
        {"secure always", 0, 0, DRVOPT_SECURE_ALWAYS, true},
        {"other page flags only", 0, ~kPageFlagUnlocked, DriverOptions(~DRVOPT_SECURE_ALWAYS),
         false},
        {"nothing", 0, 0, 0, false},
    };
    for (const LockCase& c : cases) {
        PrivateDevmode devmode = SecureDevmode();
        devmode.pageFlags = c.pageFlags;
        PageSetup setup;
        setup.perDocument = c.perDocument;
        auto sheet = Open(c.options, devmode, setup);
        EXPECT_EQ(Enabled(*sheet, IDC_SECURE_ENABLE), c.unlocked) << c.what;
        EXPECT_EQ(Checked(*sheet, IDC_SECURE_ENABLE), c.unlocked) << c.what;
        EXPECT_EQ(Enabled(*sheet, IDC_PIN_EDIT), c.unlocked) << c.what;
        EXPECT_EQ(Enabled(*sheet, IDC_PIN_LABEL), c.unlocked) << c.what;
        EXPECT_EQ(sheet->devmode().secureEnabled, c.unlocked ? 1 : 0) << c.what;
        // Locking switches secure printing off but keeps the digest for a later unlock.
        EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234) << c.what;
        EXPECT_EQ(sheet->devmode().pageFlags, c.pageFlags) << c.what;
    }
}

struct NameLayoutCase {
    DWORD options;
    uint8_t customNames;
    bool radios;
    bool note;     // 2405
    bool altNote;  // 2406
    bool radioCustom;
    bool namesEnabled;
    uint8_t customNamesAfter;
};

TEST_F(SecurePageTest, NameChoiceAndLabelSwapLayouts) {
    const NameLayoutCase cases[] = {
        {0, 0, false, true, false, false, true, 1},
        {0, 1, false, true, false, false, true, 1},
        {DRVOPT_LABEL_SWAP, 0, false, false, true, false, true, 1},
        {DRVOPT_NAME_CHOICE, 0, true, false, false, false, false, 0},
        {DRVOPT_NAME_CHOICE, 1, true, false, false, true, true, 1},
        {DRVOPT_NAME_CHOICE | DRVOPT_LABEL_SWAP, 1, true, false, false, true, true, 1},
    };
    for (const NameLayoutCase& c : cases) {
        PrivateDevmode devmode = DefaultDevmode();
        devmode.customNames = c.customNames;
        auto sheet = Open(c.options, devmode);
        const std::string what = "options " + std::to_string(c.options) + ", customNames " +
                                 std::to_string(c.customNames);
        EXPECT_EQ(Visible(*sheet, IDC_NAMES_AUTO), c.radios) << what;
        EXPECT_EQ(Visible(*sheet, IDC_NAMES_CUSTOM), c.radios) << what;
        EXPECT_EQ(Enabled(*sheet, IDC_NAMES_AUTO), c.radios) << what;
        EXPECT_EQ(Visible(*sheet, IDC_NAME_NOTE), c.note) << what;
        EXPECT_EQ(Visible(*sheet, IDC_NAME_NOTE_ALT), c.altNote) << what;
        if (c.radios) {
            EXPECT_FALSE(Enabled(*sheet, IDC_NAME_NOTE)) << what;
            EXPECT_EQ(Checked(*sheet, IDC_NAMES_CUSTOM), c.radioCustom) << what;
            EXPECT_EQ(Checked(*sheet, IDC_NAMES_AUTO), !c.radioCustom) << what;
        }
        for (int id = IDC_USER_NAME_LABEL; id <= IDC_JOB_NAME_EDIT; ++id) {
            EXPECT_EQ(Enabled(*sheet, id), c.namesEnabled) << what << ", control " << id;
        }
        EXPECT_EQ(sheet->devmode().customNames, c.customNamesAfter) << what;
    }
}

TEST_F(SecurePageTest, AlternativeTemplateCarriesTheSameControls) {
    PageSetup setup;
    setup.templateId = IDD_SECURE_PRINT_ALT;
    auto sheet = Open(DRVOPT_NAME_CHOICE, SecureDevmode(), setup);
    EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), L"0000");
    EXPECT_TRUE(Visible(*sheet, IDC_NAMES_AUTO));
}

// HKEY_LOCAL_MACHINE of this process overridden by an empty key of the test's own, where the
// computer name is read from. (The options word then reads as unset.)
struct LocalMachineOverride : KeyOverride {
    explicit LocalMachineOverride(const wchar_t* computerName)
        : KeyOverride(HKEY_LOCAL_MACHINE, L"Software\\PinPrintTests\\Machine") {
        for (const wchar_t* path :
             {L"System\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName",
              L"System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"}) {
            SetString(path, L"ComputerName", computerName);
        }
    }
};

TEST_F(SecurePageTest, LoginAndComputerNamesAreStoredAndCut) {
    const std::wstring longComputer = L"C0123456789012345678901234567890123456789";  // 41
    std::wstring longUser;
    for (int i = 0; i < 10; ++i) {
        longUser += L"user-name";  // 90 characters
    }
    ASSERT_TRUE(SetEnvironmentVariableW(L"WINEUSERNAME", longUser.c_str()));
    // The printer's data lies under the overridden key too: set the options word first.
    ASSERT_TRUE(printer().SetOptions(0));
    PrivateDevmode devmode = DefaultDevmode();
    {
        LocalMachineOverride machine(longComputer.c_str());
        auto sheet = OpenAsIs(devmode);
        devmode = sheet->devmode();
    }
    EXPECT_EQ(FieldText(devmode.computerName), longComputer.substr(0, 32));
    EXPECT_EQ(FieldText(devmode.loginName), longUser.substr(0, 80));

    ASSERT_TRUE(SetEnvironmentVariableW(L"WINEUSERNAME", L"alice"));
    LocalMachineOverride machine(L"PRINTROOM");
    auto sheet = OpenAsIs(DefaultDevmode());
    EXPECT_EQ(FieldText(sheet->devmode().computerName), L"PRINTROOM");
    EXPECT_EQ(FieldText(sheet->devmode().loginName), L"alice");
}

// ---- Unlock gesture --------------------------------------------------------------------------

LPARAM PointIn(SecurePageSheet& sheet, int id, int dx = 0, int dy = 0) {
    RECT r;
    GetWindowRect(sheet.item(id), &r);
    MapWindowPoints(nullptr, sheet.page(), reinterpret_cast<POINT*>(&r), 2);
    return MAKELPARAM((r.left + r.right) / 2 + dx, (r.top + r.bottom) / 2 + dy);
}

LPARAM PointOutside(SecurePageSheet& sheet, int id) {
    RECT r;
    GetWindowRect(sheet.item(id), &r);
    MapWindowPoints(nullptr, sheet.page(), reinterpret_cast<POINT*>(&r), 2);
    return MAKELPARAM(r.right + 2, (r.top + r.bottom) / 2);  // just right of the label
}

void DoubleClick(SecurePageSheet& sheet, LPARAM point) {
    SendMessageW(sheet.page(), WM_LBUTTONDBLCLK, MK_LBUTTON, point);
    PumpMessages();
}

TEST_F(SecurePageTest, DoubleClickOnThePinLabelUnlocksAndLocksAgain) {
    PrivateDevmode devmode = SecureDevmode();
    SetField(devmode.userName, 80, L"stored user");
    PageSetup setup;
    setup.perDocument = 0;
    auto sheet = Open(DRVOPT_NAME_CHOICE, devmode, setup);
    ASSERT_FALSE(Enabled(*sheet, IDC_SECURE_ENABLE));
    sheet->ResetChanges();

    DoubleClick(*sheet, PointIn(*sheet, IDC_PIN_LABEL));
    EXPECT_TRUE(Enabled(*sheet, IDC_SECURE_ENABLE));
    EXPECT_EQ(sheet->devmode().pageFlags, kPageFlagUnlocked);
    EXPECT_EQ(sheet->devmode().secureEnabled, 0);  // locking switched it off
    EXPECT_EQ(sheet->devmode().pinDigest[0], '\0');

    // Secure printing on, names typed but not yet stored: the next gesture shows the devmode's.
    SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
    EXPECT_EQ(sheet->devmode().secureEnabled, 1);
    SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"typed");
    sheet->ResetChanges();

    DoubleClick(*sheet, PointIn(*sheet, IDC_PIN_LABEL));
    EXPECT_FALSE(Enabled(*sheet, IDC_SECURE_ENABLE));
    EXPECT_FALSE(Enabled(*sheet, IDC_PIN_EDIT));
    EXPECT_FALSE(Checked(*sheet, IDC_SECURE_ENABLE));
    EXPECT_EQ(sheet->devmode().pageFlags, 0u);
    EXPECT_EQ(sheet->devmode().secureEnabled, 0);
    EXPECT_EQ(Text(*sheet, IDC_USER_NAME_EDIT), L"stored user");

    // The filters were installed again without chaining onto themselves.
    SetWindowTextW(sheet->item(IDC_USER_NAME_EDIT), L"");
    SecurePageSheet::Type(sheet->item(IDC_USER_NAME_EDIT), L"a/b");
    EXPECT_EQ(Text(*sheet, IDC_USER_NAME_EDIT), L"ab");
    sheet->ResetChanges();
    SecurePageSheet::Type(sheet->item(IDC_JOB_NAME_EDIT), L"j");
    EXPECT_EQ(sheet->changes(), 1);  // EN_UPDATE still reaches the page
}

TEST_F(SecurePageTest, DoubleClickChangesNothingWhereTheGestureDoesNotApply) {
    struct Case {
        const char* what;
        DWORD canChange;
        DWORD perDocument;
        DWORD options;
        bool outside;
        INT_PTR answer;
    };
    const Case cases[] = {
        {"no permission", 0, 0, 0, false, FALSE},
        {"per-document sheet", 1, 1, 0, false, TRUE},
        {"outside the label", 1, 0, 0, true, TRUE},
        {"secure always", 1, 0, DRVOPT_SECURE_ALWAYS, false, TRUE},
    };
    for (const Case& c : cases) {
        PrivateDevmode devmode = SecureDevmode();
        PageSetup setup;
        setup.canChange = c.canChange;
        setup.perDocument = c.perDocument;
        auto sheet = Open(c.options, devmode, setup);
        const PrivateDevmode before = sheet->devmode();
        const bool enabledBefore = Enabled(*sheet, IDC_SECURE_ENABLE);
        const LPARAM point =
            c.outside ? PointOutside(*sheet, IDC_PIN_LABEL) : PointIn(*sheet, IDC_PIN_LABEL);
        DoubleClick(*sheet, point);
        EXPECT_EQ(memcmp(&before, &sheet->devmode(), sizeof(before)), 0) << c.what;
        EXPECT_EQ(Enabled(*sheet, IDC_SECURE_ENABLE), enabledBefore) << c.what;
        // The dialog procedure's own answer: not handled only without permission.
        EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_LBUTTONDBLCLK, MK_LBUTTON, point), c.answer)
            << c.what;
    }
}

TEST_F(SecurePageTest, RealDoubleClickOnTheLabelReachesThePage) {
    PageSetup setup;
    setup.perDocument = 0;
    auto sheet = Open(0, DefaultDevmode(), setup);
    // Other tests' sheets share the display: keep this one above them under the cursor.
    SetWindowPos(sheet->sheet(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    RECT r;
    GetWindowRect(sheet->item(IDC_PIN_LABEL), &r);
    const POINT target = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetCursorPos(target.x, target.y);
    ASSERT_EQ(GetAncestor(WindowFromPoint(target), GA_ROOT), sheet->sheet());
    INPUT clicks[4] = {};
    for (int i = 0; i < 4; ++i) {
        clicks[i].type = INPUT_MOUSE;
        clicks[i].mi.dwFlags = i % 2 == 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    ASSERT_EQ(SendInput(4, clicks, sizeof(INPUT)), 4u);
    for (int i = 0; i < 20 && sheet->devmode().pageFlags == 0; ++i) {
        Sleep(20);
        PumpMessages();
    }
    EXPECT_EQ(sheet->devmode().pageFlags, kPageFlagUnlocked);
    EXPECT_TRUE(Enabled(*sheet, IDC_SECURE_ENABLE));
}

TEST_F(SecurePageTest, OnlyTheUsersEditsMarkTheSheetChanged) {
    PrivateDevmode devmode = SecureDevmode();
    devmode.pageFlags = kPageFlagUnlocked;
    SetField(devmode.userName, 80, L"ann");
    SetField(devmode.jobName, 80, L"payroll");
    PageSetup setup;
    setup.perDocument = 0;
    auto sheet = Open(0, devmode, setup);
    const HWND apply = GetDlgItem(sheet->sheet(), 0x3021);  // the sheet's Apply button
    ASSERT_NE(apply, nullptr);
    EXPECT_FALSE(IsWindowEnabled(apply)) << "initialization marked the sheet changed";

    // The page's own text: the placeholder given up, and the page laid out again twice.
    SetFocus(sheet->item(IDC_PIN_EDIT));
    DoubleClick(*sheet, PointIn(*sheet, IDC_PIN_LABEL));
    DoubleClick(*sheet, PointIn(*sheet, IDC_PIN_LABEL));
    EXPECT_EQ(sheet->changes(), 0);
    EXPECT_FALSE(IsWindowEnabled(apply));

    SecurePageSheet::Type(sheet->item(IDC_JOB_NAME_EDIT), L"2");
    EXPECT_EQ(sheet->changes(), 1);
    EXPECT_TRUE(IsWindowEnabled(apply));
}

// ---- Reactions and change notices --------------------------------------------------------------

TEST_F(SecurePageTest, SecureCheckBoxFollowsTheDevmodeAtOnce) {
    auto sheet = Open(0, SecureDevmode());
    sheet->ResetChanges();
    SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
    EXPECT_EQ(sheet->devmode().secureEnabled, 0);
    EXPECT_FALSE(Enabled(*sheet, IDC_PIN_EDIT));
    EXPECT_FALSE(Enabled(*sheet, IDC_PIN_LABEL));
    EXPECT_EQ(sheet->changes(), 1);
    // Neither the PIN text nor the digest is touched.
    EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), L"0000");
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234);

    SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
    EXPECT_EQ(sheet->devmode().secureEnabled, 1);
    EXPECT_TRUE(Enabled(*sheet, IDC_PIN_EDIT));
    EXPECT_EQ(sheet->changes(), 2);
}

TEST_F(SecurePageTest, RadioPairSwitchesNamesAndNotifiesOnlyOnChange) {
    PrivateDevmode devmode = DefaultDevmode();
    auto sheet = Open(DRVOPT_NAME_CHOICE, devmode);
    sheet->ResetChanges();
    SendMessageW(sheet->item(IDC_NAMES_AUTO), BM_CLICK, 0, 0);  // already selected
    EXPECT_EQ(sheet->changes(), 0);
    SendMessageW(sheet->item(IDC_NAMES_CUSTOM), BM_CLICK, 0, 0);
    EXPECT_EQ(sheet->changes(), 1);
    EXPECT_EQ(sheet->devmode().customNames, 1);
    EXPECT_TRUE(Enabled(*sheet, IDC_USER_NAME_EDIT));
    EXPECT_TRUE(Enabled(*sheet, IDC_JOB_NAME_LABEL));
    SendMessageW(sheet->item(IDC_NAMES_CUSTOM), BM_CLICK, 0, 0);  // already selected
    EXPECT_EQ(sheet->changes(), 1);
    SendMessageW(sheet->item(IDC_NAMES_AUTO), BM_CLICK, 0, 0);
    EXPECT_EQ(sheet->changes(), 2);
    EXPECT_EQ(sheet->devmode().customNames, 0);
    for (int id = IDC_USER_NAME_LABEL; id <= IDC_JOB_NAME_EDIT; ++id) {
        EXPECT_FALSE(Enabled(*sheet, id)) << id;
    }
}

TEST_F(SecurePageTest, OnlyEditUpdatesNotify) {
    auto sheet = Open(0, SecureDevmode());
    const WORD codes[] = {EN_SETFOCUS, EN_KILLFOCUS, EN_CHANGE, EN_MAXTEXT, EN_HSCROLL, EN_UPDATE};
    for (int id : {IDC_PIN_EDIT, IDC_USER_NAME_EDIT, IDC_JOB_NAME_EDIT}) {
        for (WORD code : codes) {
            sheet->ResetChanges();
            SendMessageW(sheet->page(), WM_COMMAND, MAKEWPARAM(id, code),
                         reinterpret_cast<LPARAM>(sheet->item(id)));
            EXPECT_EQ(sheet->changes(), code == EN_UPDATE ? 1 : 0) << id << " code " << code;
        }
        // Typing produces exactly one EN_UPDATE per character.
        sheet->ResetChanges();
        SetFocus(sheet->item(id));
        SendMessageW(sheet->item(id), EM_SETSEL, 0, -1);
        sheet->ResetChanges();
        SecurePageSheet::Type(sheet->item(id), L"12");
        EXPECT_EQ(sheet->changes(), 2) << id;
    }
    // Other controls' commands are not the page's.
    sheet->ResetChanges();
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_COMMAND, MAKEWPARAM(IDC_PIN_LABEL, 0), 0),
              FALSE);
    EXPECT_EQ(SecurePrintPageProc(sheet->page(), WM_COMMAND, MAKEWPARAM(IDC_NAME_NOTE, 0), 0),
              FALSE);
    EXPECT_EQ(sheet->changes(), 0);
}

TEST_F(SecurePageTest, FocusingThePinEditEmptiesItAndMarksANewPin) {
    auto sheet = Open(0, SecureDevmode());
    ASSERT_EQ(Text(*sheet, IDC_PIN_EDIT), L"0000");
    SetFocus(sheet->item(IDC_PIN_EDIT));
    EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), L"");
    EXPECT_EQ(sheet->context().pinEdited, 1u);
    EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234);
}

TEST_F(SecurePageTest, PinIsMaskedAndTakesOnlyDigitsFromTheKeyboard) {
    for (WORD templateId : {WORD{IDD_SECURE_PRINT}, WORD{IDD_SECURE_PRINT_ALT}}) {
        PageSetup setup;
        setup.templateId = templateId;
        auto sheet = Open(0, SecureDevmode(), setup);
        const HWND pin = sheet->item(IDC_PIN_EDIT);
        // Masked from the start: the placeholder reads no differently from a PIN.
        EXPECT_NE(SendMessageW(pin, EM_GETPASSWORDCHAR, 0, 0), 0) << templateId;
        SetFocus(pin);
        for (SecurePageSheet::Input input : SecurePageSheet::kInputs) {
            SetWindowTextW(pin, L"");
            SecurePageSheet::Enter(pin, L"1a-\xFF12 3", input);
            EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), L"13")
                << templateId << ", " << SecurePageSheet::InputName(input);
        }
    }
}

// Other windows of the test's own: activating one takes the activation from the sheet, as
// switching to another program does.
class OtherWindow {
  public:
    OtherWindow()
        : window_(CreateWindowExW(0, L"#32770", L"other", WS_POPUP | WS_VISIBLE, 600, 600, 80, 40,
                                  nullptr, nullptr, nullptr, nullptr)) {}
    ~OtherWindow() { DestroyWindow(window_); }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;
    HWND get() const { return window_; }

  private:
    HWND window_;
};

TEST_F(SecurePageTest, TypedDigitsSurviveTheFocusComingBack) {
    struct Way {
        const char* what;
        void (*leaveAndComeBack)(SecurePageSheet&);
    };
    const Way ways[] = {
        {"to another control and back",
         [](SecurePageSheet& sheet) {
             SetFocus(sheet.item(IDC_USER_NAME_EDIT));
             SetFocus(sheet.item(IDC_PIN_EDIT));
         }},
        {"to another window and back",
         [](SecurePageSheet& sheet) {
             OtherWindow other;
             SetActiveWindow(other.get());
             PumpMessages();
             SetActiveWindow(sheet.sheet());  // the sheet gives the focus back to the PIN edit
             PumpMessages();
         }},
    };
    for (const Way& way : ways) {
        auto sheet = Open(0, SecureDevmode(kDigest1234, L"u", L"j"));
        EnterPin(*sheet, L"12");
        boxes.Clear();
        way.leaveAndComeBack(*sheet);
        ASSERT_EQ(boxes.lastFocused(), sheet->item(IDC_PIN_EDIT)) << way.what;
        EXPECT_EQ(Text(*sheet, IDC_PIN_EDIT), L"12") << way.what;
        SecurePageSheet::Type(sheet->item(IDC_PIN_EDIT), L"34");
        EXPECT_TRUE(sheet->Apply()) << way.what;
        EXPECT_STREQ(sheet->devmode().pinDigest, kDigest1234) << way.what;
    }
}

// ---- Apply -------------------------------------------------------------------------------------

TEST_F(SecurePageTest, ApplyReportsOkToTheCommonPropertySheet) {
    PageSetup setup;
    setup.pageHandle = 0x4711;
    auto sheet = Open(0, SecureDevmode(kDigest1234, L"u", L"j"), setup);
    EXPECT_TRUE(sheet->Apply());
    const auto& calls = SecurePageSheet::ServiceCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].handle, reinterpret_cast<HANDLE>(0x4711));
    EXPECT_EQ(calls[0].function, static_cast<UINT>(CPSFUNC_SET_RESULT));
    EXPECT_EQ(calls[0].lParam1, 0x4711);
    EXPECT_EQ(calls[0].lParam2, CPSUI_OK);
}

// ---- Painting ----------------------------------------------------------------------------------

class MemoryCanvas {
  public:
    MemoryCanvas(int width, int height) {
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, width, height);
        ReleaseDC(nullptr, screen);
        old_ = SelectObject(dc_, bitmap_);
        RECT all = {0, 0, width, height};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    }
    ~MemoryCanvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }

  private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

TEST_F(SecurePageTest, EraseFillsTheClipBoxWithButtonFace) {
    auto sheet = Open(0, DefaultDevmode());
    MemoryCanvas canvas(40, 30);
    HRGN clip = CreateRectRgn(5, 5, 20, 15);
    SelectClipRgn(canvas.dc(), clip);
    DeleteObject(clip);
    const HGDIOBJ brushBefore = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
    SendMessageW(sheet->page(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvas.dc()), 0);
    SelectClipRgn(canvas.dc(), nullptr);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), brushBefore);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    EXPECT_EQ(GetPixel(canvas.dc(), 5, 5), face);
    EXPECT_EQ(GetPixel(canvas.dc(), 19, 14), face);
    EXPECT_EQ(GetPixel(canvas.dc(), 4, 5), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc(), 20, 14), RGB(0, 0, 0));
}

TEST_F(SecurePageTest, SeparatorIsALineAlongTheTopOnButtonFace) {
    auto sheet = Open(0, DefaultDevmode());
    for (UINT id : {UINT{IDC_SEPARATOR}, UINT{5002}}) {
        MemoryCanvas canvas(40, 30);
        const HGDIOBJ penBefore = GetCurrentObject(canvas.dc(), OBJ_PEN);
        const HGDIOBJ brushBefore = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
        DRAWITEMSTRUCT item = {};
        item.CtlType = ODT_STATIC;
        item.CtlID = id;
        item.hwndItem = sheet->item(IDC_SEPARATOR);
        item.hDC = canvas.dc();
        item.rcItem = {4, 10, 30, 14};
        SendMessageW(sheet->page(), WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), penBefore);
        EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), brushBefore);
        const COLORREF line =
            id == IDC_SEPARATOR ? GetSysColor(COLOR_BTNSHADOW) : GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(GetPixel(canvas.dc(), 4, 10), line) << id;
        EXPECT_EQ(GetPixel(canvas.dc(), 29, 10), line) << id;
        EXPECT_EQ(GetPixel(canvas.dc(), 4, 11), GetSysColor(COLOR_BTNFACE)) << id;
        EXPECT_EQ(GetPixel(canvas.dc(), 29, 13), GetSysColor(COLOR_BTNFACE)) << id;
        EXPECT_EQ(GetPixel(canvas.dc(), 3, 10), RGB(0, 0, 0)) << id;
        EXPECT_EQ(GetPixel(canvas.dc(), 30, 10), RGB(0, 0, 0)) << id;
    }
}

// Paints into an enhanced metafile and lists the GDI records made: object creation, selection
// and deletion all show up there, so the records tell whether every object the page made was
// put back and deleted within the message.
struct GdiRecords {
    int created = 0;
    int deleted = 0;
    int selectedOwn = 0;    // selections of objects the page created
    int selectedStock = 0;  // selections of stock objects (the ones put back)
};

GdiRecords RecordPainting(HWND page, UINT message, DRAWITEMSTRUCT* item) {
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    if (item != nullptr) {
        item->hDC = dc;
    } else {
        // A clip box to erase: without one there would be nothing to fill.
        HRGN clip = CreateRectRgn(0, 0, 50, 40);
        SelectClipRgn(dc, clip);
        DeleteObject(clip);
    }
    SendMessageW(page, message, item ? item->CtlID : reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(item));
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    GdiRecords records;
    EnumEnhMetaFile(
        nullptr, metafile,
        [](HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM data) -> int {
            auto* r = reinterpret_cast<GdiRecords*>(data);
            switch (record->iType) {
                case EMR_CREATEBRUSHINDIRECT:
                case EMR_CREATEPEN:
                case EMR_EXTCREATEPEN:
                    ++r->created;
                    break;
                case EMR_DELETEOBJECT:
                    ++r->deleted;
                    break;
                case EMR_SELECTOBJECT:
                    if (record->dParm[0] & 0x80000000) {
                        ++r->selectedStock;
                    } else {
                        ++r->selectedOwn;
                    }
                    break;
                default:
                    break;
            }
            return 1;
        },
        &records, nullptr);
    DeleteEnhMetaFile(metafile);
    return records;
}

TEST_F(SecurePageTest, PaintingPutsBackAndDeletesEveryObjectItMakes) {
    auto sheet = Open(0, DefaultDevmode());
    const GdiRecords erase = RecordPainting(sheet->page(), WM_ERASEBKGND, nullptr);
    EXPECT_EQ(erase.created, 1);
    EXPECT_GE(erase.selectedOwn, 1);
    EXPECT_EQ(erase.selectedStock, 1);
    EXPECT_EQ(erase.deleted, 1);

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_STATIC;
    item.CtlID = IDC_SEPARATOR;
    item.hwndItem = sheet->item(IDC_SEPARATOR);
    item.rcItem = {0, 0, 100, 2};
    const GdiRecords separator = RecordPainting(sheet->page(), WM_DRAWITEM, &item);
    EXPECT_EQ(separator.created, 2);      // the brush and the pen
    EXPECT_GE(separator.selectedOwn, 2);  // FillRect selects the brush once more
    EXPECT_EQ(separator.selectedStock, 2);
    EXPECT_EQ(separator.deleted, 2);
}

// ---- Two pages in one process -------------------------------------------------------------------

TEST_F(SecurePageTest, FocusOnOnePagesPinLeavesTheOtherPagesDigestAlone) {
    PrivateDevmode devmode = SecureDevmode(kDigest1234, L"u", L"j");
    auto first = Open(0, devmode);
    auto second = Open(0, devmode);
    EnterPin(*first, L"5678");
    EXPECT_EQ(first->context().pinEdited, 1u);
    EXPECT_EQ(second->context().pinEdited, 0u);

    // Leaving the untouched page keeps its digest: its "0000" is a placeholder, not a PIN.
    EXPECT_TRUE(second->Apply());
    EXPECT_STREQ(second->devmode().pinDigest, kDigest1234);

    EXPECT_TRUE(first->Apply());
    EXPECT_STREQ(first->devmode().pinDigest, kDigest5678);
    EXPECT_EQ(first->context().pinEdited, 0u);
    EXPECT_TRUE(boxes.boxes().empty());
}

// An application's own subclass of every edit its thread creates, as accessibility and skinning
// libraries install from a thread's CBT hook: it keeps each edit's previous procedure in a
// property, and counts the messages of windows it never subclassed.
constexpr wchar_t kAppProcProperty[] = L"PinPrintTestAppEditProc";
std::atomic<int> foreignMessages{0};

LRESULT CALLBACK AppEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kAppProcProperty));
    if (previous == nullptr) {
        ++foreignMessages;
        return DefWindowProcW(edit, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(edit, kAppProcProperty);
    }
    return CallWindowProcW(previous, edit, message, wParam, lParam);
}

LRESULT CALLBACK SubclassEveryEdit(int code, WPARAM wParam, LPARAM lParam) {
    const auto window = reinterpret_cast<HWND>(wParam);
    wchar_t name[8] = {};
    if (code == HCBT_CREATEWND && GetClassNameW(window, name, 8) && _wcsicmp(name, L"Edit") == 0) {
        SetPropW(window, kAppProcProperty,
                 reinterpret_cast<HANDLE>(SetWindowLongPtrW(
                     window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AppEditProc))));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Waits for `count` to reach `value` while answering what other threads send to this one.
void PumpUntil(const std::atomic<int>& count, int value) {
    while (count.load() < value) {
        PumpMessages();
        Sleep(1);
    }
}

// Printing Preferences of two printers open at once on two threads, as applications do, the
// second with such a subclass on its edits: each page takes its own PIN and names into its own
// devmode, and nothing of one page reaches the other. Both sheets stay open throughout, but the
// threads take turns to open, type and apply: Wine's text-shaping cache can be left locked when
// two threads build it at the same moment, which would hang the edits, not the pages.
TEST_F(SecurePageTest, TwoPagesOnTwoThreadsKeepToTheirOwn) {
    TestPrinter other(L"PinPrint Secure Second Thread");
    ASSERT_TRUE(other.ok());
    ASSERT_TRUE(printer().SetOptions(0));
    ASSERT_TRUE(other.SetOptions(0));
    struct Side {
        HANDLE printer;
        bool appSubclass;
        const wchar_t* pin;
        const wchar_t* user;
        const wchar_t* job;
        const char* digest;
        bool left = false;
        size_t boxes = 0;
        PrivateDevmode devmode = {};
    } sides[] = {{printer().handle(), false, L"1234", L"Ann", L"Report", kDigest1234},
                 {other.handle(), true, L"5678", L"Bob", L"Invoice", kDigest5678}};
    std::atomic<int> turn{0};
    const HMODULE module = resources();
    const auto run = [&](Side& side, int firstTurn) {
        // Each step waits for this side's turn and hands the next one over once its own
        // messages are answered.
        const auto step = [&](int n, const auto& action) {
            PumpUntil(turn, firstTurn + 2 * n);
            action();
            PumpMessages();
            ++turn;
        };
        MessageBoxRecorder recorder;
        const HHOOK hook = side.appSubclass ? SetWindowsHookExW(WH_CBT, SubclassEveryEdit, nullptr,
                                                                GetCurrentThreadId())
                                            : nullptr;
        PageSetup setup;
        setup.printer = side.printer;
        setup.resources = module;
        std::unique_ptr<SecurePageSheet> sheet;
        step(0, [&] { sheet = std::make_unique<SecurePageSheet>(setup, DefaultDevmode()); });
        step(1, [&] {
            SendMessageW(sheet->item(IDC_SECURE_ENABLE), BM_CLICK, 0, 0);
            EnterPin(*sheet, side.pin);
            SecurePageSheet::Type(sheet->item(IDC_USER_NAME_EDIT), side.user);
            SecurePageSheet::Type(sheet->item(IDC_JOB_NAME_EDIT), side.job);
        });
        step(2, [&] {
            side.left = sheet->Apply();
            side.devmode = sheet->devmode();
        });
        step(3, [&] { sheet.reset(); });
        side.boxes = recorder.boxes().size();
        if (hook != nullptr) {
            UnhookWindowsHookEx(hook);
        }
    };
    std::thread first(run, std::ref(sides[0]), 0);
    std::thread second(run, std::ref(sides[1]), 1);
    first.join();
    second.join();
    for (const Side& side : sides) {
        SCOPED_TRACE(testing::Message() << "PIN " << side.pin);
        EXPECT_TRUE(side.left);
        EXPECT_EQ(side.boxes, 0u);
        EXPECT_EQ(side.devmode.secureEnabled, 1);
        EXPECT_STREQ(side.devmode.pinDigest, side.digest);
        EXPECT_EQ(FieldText(side.devmode.userName), side.user);
        EXPECT_EQ(FieldText(side.devmode.jobName), side.job);
    }
    EXPECT_EQ(foreignMessages.load(), 0) << "one page's edits reached the other's subclass";
}

}  // namespace
}  // namespace pinprint::test
