// No path builder writes (or reads) past its 260-character buffer: every buffer here ends where
// an inaccessible page begins, so one character too many ends the test program.
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

using test::DriverSpec;
using test::GuardedArray;
using test::TestPrinter;

constexpr wchar_t kSentinel = L'#';

DriverSpec Spec(const std::wstring& tag, std::vector<std::wstring> stored) {
    DriverSpec spec;
    spec.driverName = L"PinPrint BD Driver " + tag;
    spec.dataFile = L"BD" + tag + L".PPD";
    spec.dependentFiles = {L"placeholder.txt"};
    spec.storedDependentFiles = std::move(stored);
    return spec;
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

TEST(Bounds, ResourceModulePathFitsExactlyOrIsEmpty) {
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
                            Spec(L"R" + std::to_wstring(index), {c.stored}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars);
        ASSERT_TRUE(path.ok());
        path.Fill(kSentinel);
        wcscpy(path.data(), (bin + L"pinprintui.dll").c_str());
        BuildResourceModulePath(printer.handle(), path.data());
        EXPECT_EQ(std::wstring(path.data()), c.expected) << c.stored.size();
    }
}

TEST(Bounds, UnterminatedBasePathIsNoPath) {
    TestPrinter printer(L"PinPrint BD Base", Spec(L"B", {L"pinprintlg.dll"}));
    ASSERT_TRUE(printer.ok());
    GuardedArray<wchar_t> path(kPathChars);
    ASSERT_TRUE(path.ok());
    const std::wstring bin = test::BinDirectory();
    path.Fill(L'x');  // no terminator anywhere in the 260 characters
    wmemcpy(path.data(), bin.c_str(), bin.size());
    BuildResourceModulePath(printer.handle(), path.data());
    EXPECT_EQ(path.data()[0], L'\0');
}

TEST(Bounds, NamesLongerThanTheBufferAreNeverCopied) {
    struct Case {
        size_t length;
        int found;
    } cases[] = {{kPathChars - 1, 1}, {kPathChars, 0}, {kPathChars + 1, 0}, {1000, 0}};
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        // The over-long match comes first: it decides, and is not replaced by the later one.
        TestPrinter printer(L"PinPrint BD Name " + std::to_wstring(index),
                            Spec(L"N" + std::to_wstring(index),
                                 {ResourceName(c.length), L"C:\\D\\short.chm", HelpName(c.length),
                                  L"other.chm", L"otherlg.dll"}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> name(kPathChars);
        ASSERT_TRUE(name.ok());
        name.Fill(kSentinel);
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

TEST(Bounds, HelpFilePathFitsExactlyOrIsEmpty) {
    const size_t folder =
        TestPrinter(L"PinPrint BD Probe", Spec(L"P", {L"x.chm"})).DriverDirectory().size();
    ASSERT_GT(folder, 0u);
    struct Case {
        size_t nameLength;
        bool fits;
    } cases[] = {{kPathChars - 1 - folder, true}, {kPathChars - folder, false}};
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.nameLength);
        TestPrinter printer(L"PinPrint BD Help " + std::to_wstring(index),
                            Spec(L"H" + std::to_wstring(index), {HelpName(c.nameLength)}));
        ++index;
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars);
        ASSERT_TRUE(path.ok());
        path.Fill(kSentinel);
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

TEST(Bounds, SettingsPathAtTheLimit) {
    const size_t folder =
        TestPrinter(L"PinPrint BD Probe", Spec(L"P", {L"x.chm"})).DriverDirectory().size();
    ASSERT_GT(folder, 0u);
    for (const size_t total : {kPathChars - 1, kPathChars, kPathChars + 1}) {
        SCOPED_TRACE(total);
        DriverSpec spec = Spec(L"S" + std::to_wstring(total), {L"x.dll"});
        spec.dataFile = L"BDS" + std::to_wstring(total) + L"_";
        spec.dataFile.resize(total - folder - 4, L'D');
        spec.dataFile += L".PPD";
        TestPrinter printer(L"PinPrint BD Settings " + std::to_wstring(total), spec);
        ASSERT_TRUE(printer.ok());
        GuardedArray<wchar_t> path(kPathChars);
        ASSERT_TRUE(path.ok());
        path.Fill(kSentinel);
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

// Paths the spooler never hands out, straight to the rules behind the builders.
TEST(Bounds, ShortAndLongDataFilesInThePureRule) {
    struct Case {
        size_t length;
        size_t result;
    } cases[] = {{0, 0}, {1, 0}, {2, 0}, {3, 3}, {259, 259}, {260, 0}, {1000, 0}};
    for (const auto& c : cases) {
        const std::wstring dataFile(c.length, L'p');
        GuardedArray<wchar_t> out(kPathChars);
        ASSERT_TRUE(out.ok());
        out.Fill(kSentinel);
        EXPECT_EQ(names::ComposeSettingsPath(std::wstring_view(dataFile), out.data(), kPathChars),
                  c.result)
            << c.length;
        if (c.result == 0) {
            EXPECT_EQ(out.data()[0], kSentinel) << c.length;
        } else {
            EXPECT_EQ(std::wstring_view(out.data() + c.length - 3), L"DAT");
        }
    }
}

TEST(Bounds, DirectoryAndNameThatDoNotFit) {
    struct Case {
        size_t directory, name, result;
    } cases[] = {{200, 59, 259}, {200, 60, 0}, {259, 1, 0}, {260, 1, 0}, {1, 259, 0}};
    for (const auto& c : cases) {
        const std::wstring directory(c.directory, L'd');
        const std::wstring name(c.name, L'n');
        GuardedArray<wchar_t> out(kPathChars);
        ASSERT_TRUE(out.ok());
        out.Fill(kSentinel);
        EXPECT_EQ(names::ComposePath(std::wstring_view(directory), std::wstring_view(name),
                                     out.data(), kPathChars),
                  c.result);
        EXPECT_EQ(out.data()[0], c.result ? L'd' : kSentinel);
    }
}

TEST(Bounds, UnterminatedDependentFilesAreNotReadPastTheirEnd) {
    // The list's last name runs into the inaccessible page without a terminator.
    const std::wstring_view content(L"a.dll\0lg.dll\0unterminatedlg.dll", 31);
    GuardedArray<wchar_t> multi(content.size());
    ASSERT_TRUE(multi.ok());
    wmemcpy(multi.data(), content.data(), content.size());
    std::vector<std::wstring> seen;
    names::WalkMultiString(multi.data(), multi.size(), [&](std::wstring_view entry) {
        seen.emplace_back(entry);
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"a.dll", L"lg.dll"}));

    // The same as a record member: a string without its terminator in the block is no string.
    bool valid = true;
    EXPECT_TRUE(
        RecordString(multi.data(), content.size() * sizeof(wchar_t), multi.data() + 13, &valid)
            .empty());
    EXPECT_FALSE(valid);
    EXPECT_EQ(
        RecordString(multi.data(), content.size() * sizeof(wchar_t), multi.data() + 6, &valid),
        L"lg.dll");
    EXPECT_TRUE(valid);
}

}  // namespace
}  // namespace pinprint
