#include "config/driver_files.h"

#include <shlwapi.h>

#include <cstdint>
#include <exception>
#include <utility>

#include "config/package_names.h"

namespace pinprint {
namespace {

static_assert(kPathChars == names::kPathBufferChars);

size_t MinimumRecordSize(DWORD level) {
    switch (level) {
        case 3:
            return sizeof(DRIVER_INFO_3W);
        case 6:
            return sizeof(DRIVER_INFO_6W);
        default:
            return 0;
    }
}

// Number of characters from `text` to the end of the record block; 0 when `text` is null or
// does not point into the block.
size_t CharsWithin(const void* block, size_t filled, const wchar_t* text) {
    const auto begin = reinterpret_cast<uintptr_t>(block);
    const auto at = reinterpret_cast<uintptr_t>(text);
    if (text == nullptr || at < begin || at >= begin + filled) {
        return 0;
    }
    return (begin + filled - at) / sizeof(wchar_t);
}

// The printer's level-3 record, which `record` keeps, and the bytes the spooler filled; null
// when there is none.
const DRIVER_INFO_3W* Level3Record(HANDLE printer, UniqueGlobal& record, size_t& filled) {
    record = GetDriverInfo(printer, 3, &filled);
    return static_cast<const DRIVER_INFO_3W*>(record.get());
}

// The record's dependent-file multi-string and the characters from it to the record's end;
// null when there is no record.
const wchar_t* DependentFilesOf(HANDLE printer, UniqueGlobal& record, size_t& bound) {
    size_t filled = 0;
    const DRIVER_INFO_3W* info = Level3Record(printer, record, filled);
    if (info == nullptr) {
        return nullptr;
    }
    bound = CharsWithin(record.get(), filled, info->pDependentFiles);
    return info->pDependentFiles;
}

// The name of the language the pages speak on this thread ("ja-JP"): the thread's UI language,
// which is the user's unless the program chose another. Empty when it has no name, and then the
// untagged file serves.
std::wstring_view UserInterfaceLocale(wchar_t (&buffer)[LOCALE_NAME_MAX_LENGTH]) {
    const int length = LCIDToLocaleName(MAKELCID(GetThreadUILanguage(), SORT_DEFAULT), buffer,
                                        LOCALE_NAME_MAX_LENGTH, 0);
    return length > 1 ? std::wstring_view(buffer, length - 1) : std::wstring_view();
}

// Read in the spooler's record itself: a lookup that allocated could fail where this cannot.
template <typename Test>
int FindDependentFile(HANDLE printer, wchar_t* name, Test test) {
    if (name == nullptr) {
        return 0;
    }
    wchar_t localeBuffer[LOCALE_NAME_MAX_LENGTH];
    const std::wstring_view locale = UserInterfaceLocale(localeBuffer);
    UniqueGlobal record;
    size_t bound = 0;
    const wchar_t* files = DependentFilesOf(printer, record, bound);
    return names::CopyBestMatchingFileName(files, bound, test, locale, name, kPathChars) != 0 ? 1
                                                                                              : 0;
}

// The directory part of `base` followed by the name `find` picks, into `out`; the length, or 0
// when the directory does not exist, nothing is found or the result would not fit.
size_t ComposeInDirectoryOf(HANDLE printer, std::wstring_view base, int (*find)(HANDLE, wchar_t*),
                            wchar_t* out) {
    wchar_t directory[kPathChars];
    const size_t directoryLength =
        names::CopyIfFits(names::DirectoryPart(base), directory, kPathChars);
    if (directoryLength == 0 || !PathIsDirectoryW(directory)) {
        return 0;
    }
    wchar_t name[kPathChars];
    if (!find(printer, name)) {
        return 0;
    }
    return names::ComposePath(std::wstring_view(directory, directoryLength),
                              std::wstring_view(name), out, kPathChars);
}

}  // namespace

UniqueGlobal GetDriverInfo(HANDLE printer, DWORD level, size_t* filled) {
    if (filled != nullptr) {
        *filled = 0;
    }
    const size_t minimum = MinimumRecordSize(level);
    if (minimum == 0) {
        return UniqueGlobal();
    }
    DWORD needed = 0;
    if (GetPrinterDriverW(printer, nullptr, level, nullptr, 0, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed < minimum) {
        return UniqueGlobal();
    }
    UniqueGlobal block(GlobalAlloc(GMEM_FIXED, needed));
    if (!block) {
        return UniqueGlobal();
    }
    DWORD used = 0;
    if (!GetPrinterDriverW(printer, nullptr, level, static_cast<LPBYTE>(block.get()), needed,
                           &used)) {
        return UniqueGlobal();
    }
    if (filled != nullptr) {
        *filled = needed;
    }
    return block;
}

UniqueGlobal GetDriverInfo(HANDLE printer, DWORD level) {
    return GetDriverInfo(printer, level, nullptr);
}

std::wstring_view RecordString(const void* block, size_t filled, const wchar_t* member,
                               bool* valid) {
    const size_t bound = CharsWithin(block, filled, member);
    const size_t length = bound == 0 ? 0 : names::BoundedLength(member, bound);
    const bool ok = bound != 0 && length < bound;
    if (valid != nullptr) {
        *valid = ok;
    }
    return ok ? std::wstring_view(member, length) : std::wstring_view();
}

bool GetDriverString(HANDLE printer, LPWSTR DRIVER_INFO_3W::*member, UniqueGlobal& record,
                     std::wstring_view& text) {
    size_t filled = 0;
    const DRIVER_INFO_3W* info = Level3Record(printer, record, filled);
    if (info == nullptr) {
        return false;
    }
    bool valid = false;
    text = RecordString(record.get(), filled, info->*member, &valid);
    return valid;
}

int GetDependentFiles(HANDLE printer, std::vector<std::wstring>& list) {
    UniqueGlobal record;
    size_t bound = 0;
    const wchar_t* files = DependentFilesOf(printer, record, bound);
    try {
        std::vector<std::wstring> found;
        names::WalkMultiString(files, bound, [&found](std::wstring_view entry) {
            found.emplace_back(entry);
            return true;
        });
        // Once the room is there, moving the entries in cannot fail: the list gets all or none.
        list.reserve(list.size() + found.size());
        for (auto& entry : found) {
            list.push_back(std::move(entry));
        }
    } catch (const std::exception&) {
        // Out of memory: the list stays as it was, which the finds take as "nothing found".
    }
    return 1;
}

int FindResourceModuleName(HANDLE printer, wchar_t* name) {
    return FindDependentFile(printer, name, names::IsResourceModuleName<wchar_t>);
}

int FindHelpFileName(HANDLE printer, wchar_t* name) {
    return FindDependentFile(printer, name, names::IsHelpFileName<wchar_t>);
}

void BuildResourceModulePath(HANDLE printer, wchar_t* path) {
    if (path == nullptr) {
        return;
    }
    // A base path without its terminator inside the buffer is no path.
    const size_t length = names::BoundedLength(path, kPathChars);
    const size_t written = length < kPathChars
                               ? ComposeInDirectoryOf(printer, std::wstring_view(path, length),
                                                      FindResourceModuleName, path)
                               : 0;
    if (written == 0) {
        path[0] = L'\0';
    }
}

size_t BuildHelpFilePath(HANDLE printer, wchar_t* path) {
    if (path == nullptr) {
        return 0;
    }
    UniqueGlobal record;
    std::wstring_view helpFile;
    if (!GetDriverString(printer, &DRIVER_INFO_3W::pHelpFile, record, helpFile)) {
        return 0;
    }
    const size_t written = ComposeInDirectoryOf(printer, helpFile, FindHelpFileName, path);
    if (written == 0) {
        path[0] = L'\0';
    }
    return written;
}

}  // namespace pinprint
