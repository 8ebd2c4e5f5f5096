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
        // A copy of this program that Wine runs as that version.
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        test::ProgramCopy copy(temp, L"pinprint_flags_" + std::to_wstring(GetCurrentProcessId()) +
                                         L"_" + c.version + L".exe");
        ASSERT_TRUE(copy.ok() && copy.Set(L"", L"Version", c.version));
        SetEnvironmentVariableW(kChildVariable, L"1");
        const std::string output = copy.Run("SheetVersion.Windows2000RuleFollowsTheVersion").output;
        SetEnvironmentVariableW(kChildVariable, nullptr);
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
