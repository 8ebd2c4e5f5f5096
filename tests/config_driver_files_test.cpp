// Finding the driver package's files through Wine's spooler: the driver information record, the
// dependent-file list, the two name tests and the paths composed from them.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/driver_files.h"
#include "config/package_names.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

using test::DriverSpec;
using test::TestPrinter;

DriverSpec Spec(const std::wstring& tag, std::vector<std::wstring> dependent = {}) {
    DriverSpec spec;
    spec.driverName = L"PinPrint DF Driver " + tag;
    spec.dataFile = L"DF" + tag + L".PPD";
    spec.dependentFiles = std::move(dependent);
    return spec;
}

constexpr wchar_t kSentinel = L'#';

struct NameCase {
    const wchar_t* what;
    std::vector<std::wstring> installed;  // as the driver is installed
    std::vector<std::wstring> stored;     // as the spooler keeps them (when not empty)
    const wchar_t* resourceName;          // nullptr: not found
    const wchar_t* helpName;
};

// Each list goes through a real install, and the spooler hands it back as the record.
TEST(DriverFiles, NameTestsPickTheFirstMatchingFileNameInItsOwnCase) {
    const NameCase cases[] = {
        {L"first match wins, own case",
         {L"C:\\D\\README.TXT", L"C:\\D\\xyzlgres.dll", L"C:\\D\\OTHERLG.DLL"},
         {},
         L"xyzlgres.dll",
         nullptr},
        {L"both substrings anywhere",
         {L"LGRES.DL", L"A.DLLG", L"LG.DLL.OLD"},
         {},
         L"A.DLLG",
         nullptr},
        {L".DLL need not end the name", {L"LGRES.DL", L"LG.DLL.OLD"}, {}, L"LG.DLL.OLD", nullptr},
        {L"mixed case",
         {L"readme.txt", L"MyLgUi.Dll", L"Guide.ChM"},
         {},
         L"MyLgUi.Dll",
         L"Guide.ChM"},
        {L".CHM anywhere, .CHI is not it",
         {L"MANUAL.CHI", L"MANUAL.CHM.BAK", L"other.chm"},
         {},
         nullptr,
         L"MANUAL.CHM.BAK"},
        {L"non-ASCII units stay as they are",
         {L"\u00e4lg.dll", L"\uff2c\uff27.CHM"},
         {},
         L"\u00e4lg.dll",
         L"\uff2c\uff27.CHM"},
        {L"fullwidth letters are no ASCII letters",
         {L"\uff4c\uff47.dll", L"x.\uff43hm"},
         {},
         nullptr,
         nullptr},
        {L"only the file-name part is tested",
         {L"placeholder.txt"},
         {L"C:\\LG\\RES.DLL", L"C:\\Docs.chm\\readme.txt", L"C:\\LG\\lgui.dll"},
         L"lgui.dll",
         nullptr},
        {L"entries without a backslash are taken whole",
         {L"placeholder.txt"},
         {L"ablg.dll", L"guide.chm"},
         L"ablg.dll",
         L"guide.chm"},
        {L"no dependent files", {}, {}, nullptr, nullptr},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.what, c.what + wcslen(c.what)));
        DriverSpec spec = Spec(L"N" + std::to_wstring(index), c.installed);
        spec.storedDependentFiles = c.stored;
        TestPrinter printer(L"PinPrint DF Names " + std::to_wstring(index++), spec);
        ASSERT_TRUE(printer.ok());

        wchar_t name[kPathChars];
        wmemset(name, kSentinel, kPathChars);
        EXPECT_EQ(FindResourceModuleName(printer.handle(), name), c.resourceName ? 1 : 0);
        if (c.resourceName != nullptr) {
            EXPECT_STREQ(name, c.resourceName);
        } else {
            EXPECT_EQ(name[0], kSentinel) << "untouched when nothing is found";
        }

        wmemset(name, kSentinel, kPathChars);
        EXPECT_EQ(FindHelpFileName(printer.handle(), name), c.helpName ? 1 : 0);
        if (c.helpName != nullptr) {
            EXPECT_STREQ(name, c.helpName);
        } else {
            EXPECT_EQ(name[0], kSentinel);
        }
    }
}

TEST(DriverFiles, DependentFilesAreAppendedInOrder) {
    TestPrinter printer(L"PinPrint DF List", Spec(L"L", {L"b.dll", L"a.chm", L"c.ini"}));
    ASSERT_TRUE(printer.ok());
    std::vector<std::wstring> list = {L"kept"};
    EXPECT_EQ(GetDependentFiles(printer.handle(), list), 1);
    const std::wstring dir = printer.DriverDirectory();
    EXPECT_EQ(list,
              (std::vector<std::wstring>{L"kept", dir + L"b.dll", dir + L"a.chm", dir + L"c.ini"}));
}

TEST(DriverFiles, NoRecordMeansNothingFound) {
    // A handle the spooler does not know: every lookup comes back empty, nothing is touched.
    HANDLE unknown = nullptr;
    EXPECT_FALSE(GetDriverInfo(unknown, 3));
    std::vector<std::wstring> list = {L"kept"};
    EXPECT_EQ(GetDependentFiles(unknown, list), 1);
    EXPECT_EQ(list.size(), 1u);
    wchar_t buffer[kPathChars];
    wmemset(buffer, kSentinel, kPathChars);
    EXPECT_EQ(FindResourceModuleName(unknown, buffer), 0);
    EXPECT_EQ(BuildHelpFilePath(unknown, buffer), 0u);
    EXPECT_EQ(buffer[0], kSentinel);
}

TEST(DriverFiles, DriverInfoAtLevelsThreeAndSix) {
    DriverSpec spec = Spec(L"I", {L"x.dll"});
    TestPrinter printer(L"PinPrint DF Info", spec);
    ASSERT_TRUE(printer.ok());

    size_t filled = 0;
    const UniqueGlobal three = GetDriverInfo(printer.handle(), 3, &filled);
    ASSERT_TRUE(three);
    EXPECT_GE(GlobalSize(three.get()), filled);
    const auto* info3 = static_cast<const DRIVER_INFO_3W*>(three.get());
    EXPECT_EQ(std::wstring(info3->pName), spec.driverName);
    bool valid = false;
    EXPECT_EQ(RecordString(three.get(), filled, info3->pDataFile, &valid),
              printer.DriverDirectory() + spec.dataFile);
    EXPECT_TRUE(valid);
    // A pointer outside the block is no string of the record.
    const wchar_t outside[] = L"elsewhere";
    EXPECT_TRUE(RecordString(three.get(), filled, outside, &valid).empty());
    EXPECT_FALSE(valid);

    const UniqueGlobal six = GetDriverInfo(printer.handle(), 6);
    ASSERT_TRUE(six);
    EXPECT_EQ(std::wstring(static_cast<const DRIVER_INFO_6W*>(six.get())->pName), spec.driverName);
    // Only the two levels the plug-in reads are fetched.
    EXPECT_FALSE(GetDriverInfo(printer.handle(), 2));
}

TEST(DriverFiles, ResourceModulePathLiesInTheGivenFilesDirectory) {
    TestPrinter printer(L"PinPrint DF Res", Spec(L"R", {L"C:\\D\\README.TXT", L"xyzlgres.dll"}));
    ASSERT_TRUE(printer.ok());
    TestPrinter noModule(L"PinPrint DF NoRes", Spec(L"R2", {L"README.TXT"}));
    ASSERT_TRUE(noModule.ok());

    const std::wstring bin = test::BinDirectory();
    struct Case {
        HANDLE printer;
        std::wstring base;
        std::wstring expected;
    } cases[] = {
        // Only the directory must exist, not the file.
        {printer.handle(), bin + L"pinprintui.dll", bin + L"xyzlgres.dll"},
        {printer.handle(), L"C:\\no\\such\\folder\\pinprintui.dll", L""},
        {printer.handle(), L"pinprintui.dll", L""},  // empty directory part
        {noModule.handle(), bin + L"pinprintui.dll", L""},
    };
    for (const auto& c : cases) {
        wchar_t path[kPathChars];
        wmemset(path, kSentinel, kPathChars);
        wcscpy(path, c.base.c_str());
        BuildResourceModulePath(c.printer, path);
        EXPECT_EQ(std::wstring(path), c.expected) << std::string(c.base.begin(), c.base.end());
    }
}

TEST(DriverFiles, HelpFilePathLiesBesideTheDriversHelpFile) {
    TestPrinter printer(L"PinPrint DF Help", Spec(L"H", {L"pinprintlg.dll", L"pinprint.chm"}));
    ASSERT_TRUE(printer.ok());
    wchar_t path[kPathChars];
    wmemset(path, kSentinel, kPathChars);
    const std::wstring expected = printer.DriverDirectory() + L"pinprint.chm";
    EXPECT_EQ(BuildHelpFilePath(printer.handle(), path), expected.size());
    EXPECT_EQ(std::wstring(path), expected);

    TestPrinter noChm(L"PinPrint DF NoChm", Spec(L"H2", {L"pinprintlg.dll", L"pinprint.chi"}));
    ASSERT_TRUE(noChm.ok());
    wmemset(path, kSentinel, kPathChars);
    EXPECT_EQ(BuildHelpFilePath(noChm.handle(), path), 0u);
    EXPECT_EQ(path[0], L'\0');
}

TEST(DriverFiles, DriverWithoutHelpFileLeavesTheBufferAlone) {
    DriverSpec spec = Spec(L"NH", {L"pinprint.chm"});
    spec.helpFile.clear();
    TestPrinter printer(L"PinPrint DF NoHelp", spec);
    ASSERT_TRUE(printer.ok());
    wchar_t path[kPathChars];
    wmemset(path, kSentinel, kPathChars);
    EXPECT_EQ(BuildHelpFilePath(printer.handle(), path), 0u);
    EXPECT_EQ(path[0], kSentinel);
}

// The pure rules, without the spooler.
TEST(PackageNames, SettingsPathReplacesTheLastThreeCharacters) {
    struct Case {
        std::u16string_view dataFile, expected;
    } cases[] = {
        {u"C:\\DRV\\MODEL.PPD", u"C:\\DRV\\MODEL.DAT"},
        {u"C:\\X\\A.PD", u"C:\\X\\ADAT"},
        {u"abc", u"DAT"},
        {u"ab", u""},
        {u"", u""},
    };
    for (const auto& c : cases) {
        char16_t out[names::kPathBufferChars] = {};
        EXPECT_EQ(names::ComposeSettingsPath(c.dataFile, out, names::kPathBufferChars),
                  c.expected.size());
        EXPECT_EQ(std::u16string_view(out), c.expected);
    }
}

}  // namespace
}  // namespace pinprint
