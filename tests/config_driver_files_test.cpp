// Finding the driver package's files through Wine's spooler: the driver information record, the
// dependent-file list, the two name tests and the paths composed from them; and no path builder
// writes (or reads) past its 260-character buffer, for the buffers at their limits end where an
// inaccessible page begins, so one character too many ends the test program.
#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <string>
#include <string_view>
#include <vector>

#include "config/driver_files.h"
#include "config/package_names.h"
#include "config/printer_settings.h"
#include "support/guarded_array.h"
#include "support/test_printer.h"
#include "support/test_support.h"

namespace pinprint {
namespace {

using test::DriverSetup;
using test::TestPrinter;

DriverSetup DriverFor(const std::wstring& tag, std::vector<std::wstring> dependent = {}) {
    DriverSetup driver;
    driver.driverName = L"PinPrint DF Driver " + tag;
    driver.dataFile = L"DF" + tag + L".PPD";
    driver.dependentFiles = std::move(dependent);
    return driver;
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
        {L"names shorter than the patterns", {L"LG", L"A.C", L"X"}, {}, nullptr, nullptr},
        {L"no dependent files", {}, {}, nullptr, nullptr},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.what, c.what + wcslen(c.what)));
        DriverSetup driver = DriverFor(L"N" + std::to_wstring(index), c.installed);
        driver.storedDependentFiles = c.stored;
        TestPrinter printer(L"PinPrint DF Names " + std::to_wstring(index++), driver);
        ASSERT_TRUE(printer.ok());

        const std::pair<int (*)(HANDLE, wchar_t*), const wchar_t*> lookups[] = {
            {FindResourceModuleName, c.resourceName}, {FindHelpFileName, c.helpName}};
        for (const auto& [find, expected] : lookups) {
            wchar_t name[kPathChars];
            wmemset(name, kSentinel, kPathChars);
            EXPECT_EQ(find(printer.handle(), name), expected ? 1 : 0);
            if (expected != nullptr) {
                EXPECT_STREQ(name, expected);
            } else {
                EXPECT_EQ(name[0], kSentinel) << "untouched when nothing is found";
            }
        }
    }
}

TEST(DriverFiles, DependentFilesAreAppendedInOrder) {
    TestPrinter printer(L"PinPrint DF List", DriverFor(L"L", {L"b.dll", L"a.chm", L"c.ini"}));
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
    DriverSetup driver = DriverFor(L"I", {L"x.dll"});
    TestPrinter printer(L"PinPrint DF Info", driver);
    ASSERT_TRUE(printer.ok());

    size_t filled = 0;
    const UniqueGlobal three = GetDriverInfo(printer.handle(), 3, &filled);
    ASSERT_TRUE(three);
    EXPECT_GE(GlobalSize(three.get()), filled);
    const auto* info3 = static_cast<const DRIVER_INFO_3W*>(three.get());
    EXPECT_EQ(std::wstring(info3->pName), driver.driverName);
    bool valid = false;
    EXPECT_EQ(RecordString(three.get(), filled, info3->pDataFile, &valid),
              printer.DriverDirectory() + driver.dataFile);
    EXPECT_TRUE(valid);
    // A pointer outside the block is no string of the record.
    const wchar_t outside[] = L"elsewhere";
    EXPECT_TRUE(RecordString(three.get(), filled, outside, &valid).empty());
    EXPECT_FALSE(valid);
    // The answer alone, for a caller that does not ask whether the string was whole.
    EXPECT_EQ(RecordString(three.get(), filled, info3->pName, nullptr), driver.driverName);

    const UniqueGlobal six = GetDriverInfo(printer.handle(), 6);
    ASSERT_TRUE(six);
    EXPECT_EQ(std::wstring(static_cast<const DRIVER_INFO_6W*>(six.get())->pName),
              driver.driverName);
    // Only the two levels the plug-in reads are fetched.
    EXPECT_FALSE(GetDriverInfo(printer.handle(), 2));
}

TEST(DriverFiles, ResourceModulePathLiesInTheGivenFilesDirectory) {
    TestPrinter printer(L"PinPrint DF Res",
                        DriverFor(L"R", {L"C:\\D\\README.TXT", L"xyzlgres.dll"}));
    ASSERT_TRUE(printer.ok());
    TestPrinter noModule(L"PinPrint DF NoRes", DriverFor(L"R2", {L"README.TXT"}));
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
    TestPrinter printer(L"PinPrint DF Help", DriverFor(L"H", {L"pinprintlg.dll", L"pinprint.chm"}));
    ASSERT_TRUE(printer.ok());
    wchar_t path[kPathChars];
    wmemset(path, kSentinel, kPathChars);
    const std::wstring expected = printer.DriverDirectory() + L"pinprint.chm";
    EXPECT_EQ(BuildHelpFilePath(printer.handle(), path), expected.size());
    EXPECT_EQ(std::wstring(path), expected);

    TestPrinter noChm(L"PinPrint DF NoChm", DriverFor(L"H2", {L"pinprintlg.dll", L"pinprint.chi"}));
    ASSERT_TRUE(noChm.ok());
    wmemset(path, kSentinel, kPathChars);
    EXPECT_EQ(BuildHelpFilePath(noChm.handle(), path), 0u);
    EXPECT_EQ(path[0], L'\0');
}

TEST(DriverFiles, DriverWithoutHelpFileLeavesTheBufferAlone) {
    DriverSetup driver = DriverFor(L"NH", {L"pinprint.chm"});
    driver.helpFile.clear();
    TestPrinter printer(L"PinPrint DF NoHelp", driver);
    ASSERT_TRUE(printer.ok());
    wchar_t path[kPathChars];
    wmemset(path, kSentinel, kPathChars);
    EXPECT_EQ(BuildHelpFilePath(printer.handle(), path), 0u);
    EXPECT_EQ(path[0], kSentinel);
}

// ---- Buffers at their limits ----

using test::GuardedArray;

DriverSetup BoundsDriverFor(const std::wstring& tag, std::vector<std::wstring> stored) {
    DriverSetup driver;
    driver.driverName = L"PinPrint BD Driver " + tag;
    driver.dataFile = L"BD" + tag + L".PPD";
    driver.dependentFiles = {L"placeholder.txt"};
    driver.storedDependentFiles = std::move(stored);
    return driver;
}

// A name of exactly `length` characters that passes the resource-module test.
std::wstring ResourceName(size_t length) {
    std::wstring name = L"lg";
    name.resize(length - 4, L'r');
    return name + L".dll";
}

std::wstring HelpName(size_t length) {
    std::wstring name = L"h";
    name.resize(length - 4, L'h');
    return name + L".chm";
}

TEST(DriverFileBounds, ResourceModulePathFitsExactlyOrIsEmpty) {
    const std::wstring bin = test::BinDirectory();
    const std::wstring exact = ResourceName(kPathChars - 1 - bin.size());  // 259 in all
    const std::wstring over = ResourceName(kPathChars - bin.size());       // 260 in all
    struct Case {
        std::wstring stored;
        std::wstring expected;
    } cases[] = {
        {exact, bin + exact},
        {over, L""},
        {ResourceName(400), L""},
    };
    int index = 0;
    for (const auto& c : cases) {
        TestPrinter printer(L"PinPrint BD Res " + std::to_wstring(index),
                            BoundsDriverFor(L"R" + std::to_wstring(index), {c.stored}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars, kSentinel);
        ASSERT_TRUE(path.ok());
        wcscpy(path.data(), (bin + L"pinprintui.dll").c_str());
        BuildResourceModulePath(printer.handle(), path.data());
        EXPECT_EQ(std::wstring(path.data()), c.expected) << c.stored.size();
    }
}

TEST(DriverFileBounds, UnterminatedBasePathIsNoPath) {
    TestPrinter printer(L"PinPrint BD Base", BoundsDriverFor(L"B", {L"pinprintlg.dll"}));
    ASSERT_TRUE(printer.ok());
    GuardedArray<wchar_t> path(kPathChars);
    ASSERT_TRUE(path.ok());
    const std::wstring bin = test::BinDirectory();
    path.Fill(L'x');  // no terminator anywhere in the 260 characters
    wmemcpy(path.data(), bin.c_str(), bin.size());
    BuildResourceModulePath(printer.handle(), path.data());
    EXPECT_EQ(path.data()[0], L'\0');
}

TEST(DriverFileBounds, NamesLongerThanTheBufferAreNeverCopied) {
    struct Case {
        size_t length;
        int found;
    } cases[] = {{kPathChars - 1, 1}, {kPathChars, 0}, {kPathChars + 1, 0}, {1000, 0}};
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        // The over-long match comes first: it decides, and is not replaced by the later one.
        TestPrinter printer(L"PinPrint BD Name " + std::to_wstring(index),
                            BoundsDriverFor(L"N" + std::to_wstring(index),
                                            {ResourceName(c.length), L"C:\\D\\short.chm",
                                             HelpName(c.length), L"other.chm", L"otherlg.dll"}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> name(kPathChars, kSentinel);
        ASSERT_TRUE(name.ok());
        EXPECT_EQ(FindResourceModuleName(printer.handle(), name.data()), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(name.data()), ResourceName(c.length));
        } else {
            EXPECT_EQ(name.data()[0], kSentinel);
        }
        name.Fill(kSentinel);
        EXPECT_EQ(FindHelpFileName(printer.handle(), name.data()), 1);
        EXPECT_STREQ(name.data(), L"short.chm");
    }
}

TEST(DriverFileBounds, HelpFilePathFitsExactlyOrIsEmpty) {
    const size_t folder = TestPrinter(L"PinPrint BD Probe", BoundsDriverFor(L"P", {L"x.chm"}))
                              .DriverDirectory()
                              .size();
    ASSERT_GT(folder, 0u);
    struct Case {
        size_t nameLength;
        bool fits;
    } cases[] = {{kPathChars - 1 - folder, true}, {kPathChars - folder, false}};
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nameLength);
        TestPrinter printer(
            L"PinPrint BD Help " + std::to_wstring(index),
            BoundsDriverFor(L"H" + std::to_wstring(index), {HelpName(c.nameLength)}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars, kSentinel);
        ASSERT_TRUE(path.ok());
        const size_t length = BuildHelpFilePath(printer.handle(), path.data());
        if (c.fits) {
            EXPECT_EQ(length, kPathChars - 1);
            EXPECT_EQ(std::wstring(path.data()),
                      printer.DriverDirectory() + HelpName(c.nameLength));
        } else {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(path.data()[0], L'\0');
        }
    }
}

TEST(DriverFileBounds, SettingsPathAtTheLimit) {
    const size_t folder = TestPrinter(L"PinPrint BD Probe", BoundsDriverFor(L"P", {L"x.chm"}))
                              .DriverDirectory()
                              .size();
    ASSERT_GT(folder, 0u);
    for (const size_t total : {kPathChars - 1, kPathChars, kPathChars + 1}) {
        SCOPED_TRACE(total);
        DriverSetup driver = BoundsDriverFor(L"S" + std::to_wstring(total), {L"x.dll"});
        driver.dataFile = L"BDS" + std::to_wstring(total) + L"_";
        driver.dataFile.resize(total - folder - 4, L'D');
        driver.dataFile += L".PPD";
        TestPrinter printer(L"PinPrint BD Settings " + std::to_wstring(total), driver);
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars, kSentinel);
        ASSERT_TRUE(path.ok());
        const size_t length = BuildSettingsFilePath(printer.handle(), path.data());
        if (total < kPathChars) {
            EXPECT_EQ(length, total);
            EXPECT_EQ(std::wstring(path.data()), printer.SettingsFilePath());
        } else {
            EXPECT_EQ(length, 0u);
            EXPECT_EQ(path.data()[0], kSentinel);
        }
    }
}

// Paths the spooler never hands out, straight to the rules behind the builders. The settings
// file: the last three characters, whatever they are, become "DAT"; fewer than three characters,
// or a result that would not fit, give nothing.
TEST(DriverFileBounds, ShortAndLongDataFilesInThePureRule) {
    struct Case {
        std::wstring dataFile, expected;
    } cases[] = {
        {L"C:\\DRV\\MODEL.PPD", L"C:\\DRV\\MODEL.DAT"},
        {L"C:\\X\\A.PD", L"C:\\X\\ADAT"},
        {L"abc", L"DAT"},
        {L"ab", L""},
        {L"a", L""},
        {L"", L""},
        {std::wstring(259, L'p'), std::wstring(256, L'p') + L"DAT"},
        {std::wstring(260, L'p'), L""},
        {std::wstring(1000, L'p'), L""},
    };
    for (const auto& c : cases) {
        GuardedArray<wchar_t> out(kPathChars, kSentinel);
        ASSERT_TRUE(out.ok());
        EXPECT_EQ(names::ComposeSettingsPath(std::wstring_view(c.dataFile), out.data(), kPathChars),
                  c.expected.size())
            << c.dataFile.size();
        if (c.expected.empty()) {
            EXPECT_EQ(out.data()[0], kSentinel) << c.dataFile.size();
        } else {
            EXPECT_EQ(std::wstring(out.data()), c.expected);
        }
    }
}

TEST(DriverFileBounds, DirectoryAndNameThatDoNotFit) {
    struct Case {
        size_t directory, name, result;
    } cases[] = {{200, 59, 259},
                 {200, 60, 0},
                 {259, 1, 0},
                 {260, 1, 0},
                 {1, 259, 0},
                 // An empty part makes no path.
                 {0, 5, 0},
                 {5, 0, 0}};
    for (const auto& c : cases) {
        const std::wstring directory(c.directory, L'd');
        const std::wstring name(c.name, L'n');
        GuardedArray<wchar_t> out(kPathChars, kSentinel);
        ASSERT_TRUE(out.ok());
        EXPECT_EQ(names::ComposePath(std::wstring_view(directory), std::wstring_view(name),
                                     out.data(), kPathChars),
                  c.result);
        EXPECT_EQ(out.data()[0], c.result ? L'd' : kSentinel);
    }
}

TEST(DriverFileBounds, UnterminatedDependentFilesAreNotReadPastTheirEnd) {
    struct Case {
        const wchar_t* what;
        std::wstring_view content;  // up to the inaccessible page
        std::vector<std::wstring> visited;
    } cases[] = {
        {L"the last name runs into the page without a terminator",
         std::wstring_view(L"a.dll\0lg.dll\0unterminatedlg.dll", 31),
         {L"a.dll", L"lg.dll"}},
        {L"the last name's terminator is the last unit, with no empty string after it",
         std::wstring_view(L"a.dll\0lg.dll\0", 13),
         {L"a.dll", L"lg.dll"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.what, c.what + wcslen(c.what)));
        GuardedArray<wchar_t> multi(c.content.size());
        ASSERT_TRUE(multi.ok());
        wmemcpy(multi.data(), c.content.data(), c.content.size());
        std::vector<std::wstring> seen;
        names::WalkMultiString(multi.data(), multi.size(), [&](std::wstring_view entry) {
            seen.emplace_back(entry);
            return true;
        });
        EXPECT_EQ(seen, c.visited);

        // The same as a record member: a string without its terminator in the block, or one
        // that starts where the block ends, is no string.
        const size_t bytes = c.content.size() * sizeof(wchar_t);
        bool valid = true;
        EXPECT_TRUE(RecordString(multi.data(), bytes, multi.data() + 13, &valid).empty());
        EXPECT_FALSE(valid);
        EXPECT_EQ(RecordString(multi.data(), bytes, multi.data() + 6, &valid), L"lg.dll");
        EXPECT_TRUE(valid);
    }
}

}  // namespace
}  // namespace pinprint
