// The help launcher with HKEY_CLASSES_ROOT redirected to a key of the test's own, where the HTML
// Help control's server is registered as the recording control, as a path that does not load,
// or not at all. The launcher's state lasts for the process, so each scenario that calls it
// needs a process of its own (CTest runs every test case in one).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "config/help_launcher.h"
#include "fixtures/helprecorder/helprecorder.h"
#include "support/child_process.h"
#include "support/guarded_array.h"
#include "support/help_control.h"
#include "support/key_override.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

constexpr char kServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr char kDirVariable[] = "PINPRINT_HELP_DIR";
constexpr char kRecorderByVariable[] = "%PINPRINT_HELP_DIR%\\helprecorder.dll";
const HWND kCaller = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x1234));

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// HKEY_CLASSES_ROOT of this process, redirected to an empty key under HKCU for one scope.
class ClassesRoot : public test::KeyOverride {
  public:
    ClassesRoot()
        : KeyOverride(HKEY_CLASSES_ROOT, L"Software\\PinPrintTests\\Classes" +
                                             std::to_wstring(GetCurrentProcessId())) {}

    // The server key with a default value of `type` holding exactly `bytes`.
    bool Register(DWORD type, const std::string& bytes) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root(), kServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const LSTATUS status =
            RegSetValueExA(key, nullptr, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
        return status == ERROR_SUCCESS;
    }
    // The same, for a string and its terminator.
    bool RegisterString(DWORD type, const std::string& text) {
        return Register(type, std::string(text.c_str(), text.size() + 1));
    }
    // The server key without a default value.
    bool RegisterEmptyKey() {
        HKEY key = nullptr;
        RegDeleteTreeA(root(), "CLSID");
        const bool created = RegCreateKeyExA(root(), kServerKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr) == ERROR_SUCCESS;
        if (created) {
            RegCloseKey(key);
        }
        return created;
    }
    void Unregister() { RegDeleteTreeA(root(), "CLSID"); }
};

const RecordedHelp* Recorder() {
    return test::RecordingHelpControl::Recorded();
}

bool Loaded(const wchar_t* module) {
    return GetModuleHandleW(module) != nullptr;
}

// The launcher's state is the process's: a second scenario in the same process would start
// from where the first left it.
bool LauncherUsed() {
    static int scenarios = 0;
    return scenarios++ > 0;
}

#define REQUIRE_FRESH_LAUNCHER()                                                    \
    if (LauncherUsed()) {                                                           \
        GTEST_SKIP() << "needs a process of its own (CTest runs each case in one)"; \
    }

std::string BinDirectoryWithoutSlash() {
    std::string dir = Narrow(test::BinDirectory());
    dir.pop_back();
    return dir;
}

TEST(HelpControlPath, ReadsTheRegisteredServerWithinItsBuffer) {
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    const std::string bin = BinDirectoryWithoutSlash();
    ASSERT_TRUE(SetEnvironmentVariableA(kDirVariable, bin.c_str()));
    const std::string longName = "C:\\" + std::string(256, 'L');
    ASSERT_TRUE(SetEnvironmentVariableA("PINPRINT_LONG", longName.c_str()));

    struct Case {
        const char* what;
        DWORD type;
        std::string stored;  // exact bytes; "" with type 0: no key at all
        int found;
        std::string path;
    } cases[] = {
        {"REG_SZ is taken unchanged", REG_SZ,
         "C:\\%PINPRINT_HELP_DIR%\\h.ocx" + std::string(1, '\0'), 1,
         "C:\\%PINPRINT_HELP_DIR%\\h.ocx"},
        {"REG_EXPAND_SZ is expanded", REG_EXPAND_SZ, std::string(kRecorderByVariable) + '\0', 1,
         bin + "\\helprecorder.dll"},
        {"259 characters fit", REG_SZ, "C:\\" + std::string(256, 'a') + '\0', 1,
         "C:\\" + std::string(256, 'a')},
        {"a longer value is not read", REG_SZ, std::string(260, 'c') + '\0', 0, ""},
        {"expansion to 259 characters fits", REG_EXPAND_SZ,
         "%PINPRINT_LONG%" + std::string(1, '\0'), 1, longName},
        {"expansion beyond the buffer", REG_EXPAND_SZ, "x%PINPRINT_LONG%" + std::string(1, '\0'), 0,
         ""},
        {"unknown variables stay", REG_EXPAND_SZ,
         "C:\\%PINPRINT_NOT_SET%\\h.ocx" + std::string(1, '\0'), 1,
         "C:\\%PINPRINT_NOT_SET%\\h.ocx"},
        {"a path that is not fully qualified is not taken", REG_SZ,
         "helprecorder.dll" + std::string(1, '\0'), 0, ""},
        {"nor one from the current drive's root", REG_EXPAND_SZ,
         "\\%PINPRINT_NOT_SET%\\h.ocx" + std::string(1, '\0'), 0, ""},
        {"nor one from a drive's current folder", REG_SZ, "C:h.ocx" + std::string(1, '\0'), 0, ""},
        {"no default value", REG_NONE, "", 0, ""},
        {"no key", 0, "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        classes.Unregister();
        if (c.type == REG_NONE) {
            ASSERT_TRUE(classes.RegisterEmptyKey());
        } else if (c.type != 0) {
            ASSERT_TRUE(classes.Register(c.type, c.stored));
        }
        test::GuardedArray<char> path(MAX_PATH, '#');
        ASSERT_TRUE(path.ok());
        const int found = FindHelpControlPath(path.data());
        EXPECT_EQ(found, c.found);
        if (found) {
            EXPECT_EQ(std::string(path.data()), c.path);
        } else {
            EXPECT_EQ(path.data()[0], '#') << "untouched";
        }
    }
}

TEST(HelpLauncher, ExpandedRegistryPathIsLoadedAndCalledWithTheArguments) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(SetEnvironmentVariableA(kDirVariable, BinDirectoryWithoutSlash().c_str()));
    ASSERT_TRUE(classes.RegisterString(REG_EXPAND_SZ, kRecorderByVariable));

    EXPECT_EQ(CallHtmlHelp(kCaller, L"C:\\Help\\pinprint.chm", kHelpDisplayTopic, 7),
              RecordedHelpWindow(1));
    const RecordedHelp* recorded = Recorder();
    ASSERT_NE(recorded, nullptr);
    EXPECT_EQ(recorded->calls, 1);
    EXPECT_EQ(recorded->last.caller, kCaller);
    EXPECT_FALSE(recorded->last.fileIsNull);
    EXPECT_STREQ(recorded->last.file, L"C:\\Help\\pinprint.chm");
    EXPECT_EQ(recorded->last.command, kHelpDisplayTopic);
    EXPECT_EQ(recorded->last.data, 7u);
    EXPECT_FALSE(Loaded(L"hhctrl.ocx"));

    // The closing call passes its null window and null file through; the control stays cached
    // even when the registry changes.
    classes.Unregister();
    EXPECT_EQ(CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0), RecordedHelpWindow(2));
    EXPECT_EQ(recorded->calls, 2);
    EXPECT_EQ(recorded->last.caller, nullptr);
    EXPECT_TRUE(recorded->last.fileIsNull);
    EXPECT_EQ(recorded->last.command, kHelpCloseAll);
    EXPECT_EQ(recorded->last.data, 0u);
}

TEST(HelpLauncher, PlainRegistryPathIsLoadedAsItStands) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(classes.RegisterString(REG_SZ, Narrow(test::BinPath(L"helprecorder.dll"))));
    EXPECT_EQ(CallHtmlHelp(kCaller, L"a.chm", kHelpDisplayTopic, 0), RecordedHelpWindow(1));
    ASSERT_NE(Recorder(), nullptr);
    EXPECT_STREQ(Recorder()->last.file, L"a.chm");
}

TEST(HelpLauncher, PlainRegistryPathIsNotExpanded) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(SetEnvironmentVariableA(kDirVariable, BinDirectoryWithoutSlash().c_str()));
    ASSERT_TRUE(classes.RegisterString(REG_SZ, kRecorderByVariable));
    // The unexpanded name loads nothing, so the control is loaded by its plain name.
    CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    EXPECT_FALSE(Loaded(L"helprecorder.dll"));
    EXPECT_TRUE(Loaded(L"hhctrl.ocx"));
}

TEST(HelpLauncher, WithoutRegistrationTheControlIsLoadedByName) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_FALSE(Loaded(L"hhctrl.ocx"));
    CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    EXPECT_TRUE(Loaded(L"hhctrl.ocx"));
}

TEST(HelpLauncher, RegisteredPathThatDoesNotLoadFallsBackToTheControlsName) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(classes.RegisterString(REG_SZ, "C:\\no\\such\\folder\\control.ocx"));
    CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    EXPECT_TRUE(Loaded(L"hhctrl.ocx"));
}

TEST(HelpLauncher, ModuleWithoutTheEntryGivesNothing) {
    REQUIRE_FRESH_LAUNCHER();
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(classes.RegisterString(REG_SZ, Narrow(test::BinPath(L"helpnoentry.dll"))));
    EXPECT_EQ(CallHtmlHelp(kCaller, L"a.chm", kHelpDisplayTopic, 0), nullptr);
    // The module that loaded stays, and no other is tried.
    EXPECT_TRUE(Loaded(L"helpnoentry.dll"));
    EXPECT_FALSE(Loaded(L"hhctrl.ocx"));
    ASSERT_TRUE(classes.RegisterString(REG_SZ, Narrow(test::BinPath(L"helprecorder.dll"))));
    EXPECT_EQ(CallHtmlHelp(kCaller, L"a.chm", kHelpDisplayTopic, 0), nullptr);
    EXPECT_FALSE(Loaded(L"helprecorder.dll"));
    EXPECT_FALSE(Loaded(L"hhctrl.ocx"));
}

// Wine takes a program's DLL overrides from HKCU\Software\Wine\AppDefaults\<program>\DllOverrides
// when the program starts. A scenario that needs a load order of its own for the help control
// runs in a copy of this program under a name of its own (`folder` with a trailing backslash),
// and must pass there.
void RunInCopy(const wchar_t* copyName, const wchar_t* order, const char* test,
               const std::wstring& folder) {
    const test::ProgramCopy copy(folder, copyName);
    ASSERT_TRUE(copy.ok());
    ASSERT_TRUE(copy.Set(L"DllOverrides", L"hhctrl.ocx", order));
    // The copy writes to this program's own output: loading the real control may leave a
    // process of Wine's behind that would hold a pipe open after the copy has ended.
    const test::ChildResult run = copy.Run(std::string("HelpLauncher.") + test, false);
    EXPECT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u) << "the scenario failed in the copy";
}

// Neither the registered path nor "hhctrl.ocx" loads: the control is disabled for the copy.
TEST(HelpLauncher, WhenNothingLoadsLaterCallsNeverTryAgain) {
    constexpr wchar_t kCopy[] = L"help_launcher_nocontrol.exe";
    if (!test::RunningAs(kCopy)) {
        RunInCopy(kCopy, L"", "WhenNothingLoadsLaterCallsNeverTryAgain", test::BinDirectory());
        return;
    }
    ClassesRoot classes;
    ASSERT_TRUE(classes.ok());
    ASSERT_TRUE(classes.RegisterString(REG_SZ, "C:\\no\\such\\folder\\control.ocx"));
    EXPECT_EQ(CallHtmlHelp(kCaller, L"a.chm", kHelpDisplayTopic, 0), nullptr);
    ASSERT_FALSE(Loaded(L"hhctrl.ocx")) << "the control was not disabled for this process";

    // Now a loadable control is registered, but the launcher does not look again.
    ASSERT_TRUE(classes.RegisterString(REG_SZ, Narrow(test::BinPath(L"helprecorder.dll"))));
    EXPECT_EQ(CallHtmlHelp(kCaller, L"a.chm", kHelpDisplayTopic, 0), nullptr);
    EXPECT_EQ(CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0), nullptr);
    EXPECT_FALSE(Loaded(L"helprecorder.dll"));
}

// A DLL named like the control in the printing program's own folder, which a bare name would
// find first. The copy prefers a DLL file to Wine's built-in control, as Windows always does.
TEST(HelpLauncher, ControlPlantedInTheProgramsFolderIsNotLoaded) {
    constexpr wchar_t kCopy[] = L"help_launcher_planted.exe";
    if (!test::RunningAs(kCopy)) {
        const std::wstring folder = test::BinDirectory() + L"planted\\";
        CreateDirectoryW(folder.c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(test::BinPath(L"helprecorder.dll").c_str(),
                              (folder + L"hhctrl.ocx").c_str(), FALSE));
        RunInCopy(kCopy, L"native,builtin", "ControlPlantedInTheProgramsFolderIsNotLoaded", folder);
        DeleteFileW((folder + L"hhctrl.ocx").c_str());
        RemoveDirectoryW(folder.c_str());
        return;
    }
    ClassesRoot classes;  // nothing registered: the control is loaded by its name
    ASSERT_TRUE(classes.ok());
    CallHtmlHelp(nullptr, nullptr, kHelpCloseAll, 0);
    const HMODULE control = GetModuleHandleW(L"hhctrl.ocx");
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(GetProcAddress(control, kHelpRecorderStateExport), nullptr)
        << "the planted DLL was loaded";
    wchar_t loaded[MAX_PATH] = {};
    GetModuleFileNameW(control, loaded, MAX_PATH);
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(_wcsnicmp(loaded, system, wcslen(system)), 0) << "loaded from " << Narrow(loaded);
}

}  // namespace
}  // namespace pinprint
