// The document sheet's Windows 2000 rule, seen through Wine's per-program Windows version
// (HKCU\Software\Wine\AppDefaults\<exe>\Version): a copy of this program runs under a chosen
// version and reports the flags the sheet derived.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "pages/page_procs.h"
#include "pages/property_sheets.h"
#include "pages/sheet_context.h"
#include "support/child_process.h"
#include "tools/drvhost/driver_side.h"

namespace pinprint {
namespace {

constexpr wchar_t kChildVariable[] = L"PINPRINT_SHEET_FLAGS_CHILD";
constexpr DWORD kFlagCases[] = {0x00, 0x40, 0x20};

// The child's part: one line per dwFlags value.
void ReportFlags() {
    const DWORD version = GetVersion();
    drvhost::DriverHeap heap;
    for (DWORD flags : kFlagCases) {
        drvhost::SheetCall call(
            drvhost::DriverParameters(nullptr, nullptr, nullptr, heap.get(), nullptr, flags));
        if (call.Run(DocumentPropertySheets, PROPSHEETUI_REASON_INIT) != S_OK) {
            printf("sheet-flags init failed\n");
            continue;
        }
        const auto* context = call.context<SheetContext>();
        printf("sheet-flags %u.%u 0x%02lx %lu %lu %lu\n", LOBYTE(version), HIBYTE(version), flags,
               context->canChange, context->userDefault, context->perDocument);
        call.Run(DocumentPropertySheets, PROPSHEETUI_REASON_DESTROY);
    }
    fflush(stdout);
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// A copy of this program that Wine runs as the given Windows version; removed with its setting.
class VersionedCopy {
  public:
    explicit VersionedCopy(const wchar_t* version) {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        name_ =
            L"pinprint_flags_" + std::to_wstring(GetCurrentProcessId()) + L"_" + version + L".exe";
        path_ = std::wstring(temp) + name_;
        ok_ = CopyFileW(OwnPath().c_str(), path_.c_str(), FALSE) &&
              RegSetKeyValueW(HKEY_CURRENT_USER, AppKey().c_str(), L"Version", REG_SZ, version,
                              static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t))) ==
                  ERROR_SUCCESS;
    }
    ~VersionedCopy() {
        RegDeleteTreeW(HKEY_CURRENT_USER, AppKey().c_str());
        DeleteFileW(path_.c_str());
    }
    VersionedCopy(const VersionedCopy&) = delete;
    VersionedCopy& operator=(const VersionedCopy&) = delete;

    bool ok() const { return ok_; }

    // Runs the copy as this test's child and returns what it printed.
    std::string Run() const {
        SetEnvironmentVariableW(kChildVariable, L"1");
        const test::ChildResult child =
            test::RunChild(path_, L"--gtest_filter=SheetVersion.Windows2000RuleFollowsTheVersion");
        SetEnvironmentVariableW(kChildVariable, nullptr);
        return child.output;
    }

  private:
    std::wstring AppKey() const { return L"Software\\Wine\\AppDefaults\\" + name_; }

    std::wstring name_;
    std::wstring path_;
    bool ok_ = false;
};

// userDefault and perDocument for dwFlags 0, 0x40 and 0x20 (canChange follows 0x20 alone).
struct Expected {
    const wchar_t* version;
    const char* reported;  // GetVersion's major.minor under that setting
    DWORD userDefault[3];
    DWORD perDocument[3];
};

TEST(SheetVersion, Windows2000RuleFollowsTheVersion) {
    wchar_t child[4] = {};
    if (GetEnvironmentVariableW(kChildVariable, child, 4) != 0) {
        ReportFlags();
        return;
    }
    const Expected cases[] = {
        {L"win2k", "5.0", {1, 1, 1}, {1, 1, 1}},  // always editing defaults, per document
        {L"winxp", "5.1", {0, 1, 0}, {1, 0, 1}},  // the bit alone from 5.1 on
        {L"win7", "6.1", {0, 1, 0}, {1, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "version " << testing::PrintToString(std::wstring(c.version)));
        VersionedCopy copy(c.version);
        ASSERT_TRUE(copy.ok());
        const std::string output = copy.Run();
        for (size_t i = 0; i < 3; ++i) {
            char line[64];
            snprintf(line, sizeof(line), "sheet-flags %s 0x%02lx %d %lu %lu\r\n", c.reported,
                     kFlagCases[i], kFlagCases[i] == 0x20 ? 0 : 1, c.userDefault[i],
                     c.perDocument[i]);
            EXPECT_NE(output.find(line), std::string::npos) << "expected " << line << output;
        }
    }
}

}  // namespace
}  // namespace pinprint
