// Finding the driver package's files through the spooler: the driver information record, the
// dependent-file list, the resource module and help file among it, and their full paths.
// Every path buffer holds kPathChars wide characters including the terminator; an empty string
// means nothing was found.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_handle.h"

namespace pinprint {

inline constexpr size_t kPathChars = MAX_PATH;  // 260, terminator included

// The spooler's DRIVER_INFO_3W (level 3) or DRIVER_INFO_6W (level 6) in one GlobalAlloc block,
// fetched with the two-call pattern; null when the spooler or the allocation fails.
// The caller owns the block (UniqueGlobal frees it with GlobalFree).
UniqueGlobal GetDriverInfo(HANDLE printer, DWORD level);
// The same, also giving the number of bytes the spooler filled: every string of the record lies
// within them.
UniqueGlobal GetDriverInfo(HANDLE printer, DWORD level, size_t* filled);

// A string member of a record block of `filled` bytes, as a view; empty with `valid` false when
// the member is null or does not end within the block.
std::wstring_view RecordString(const void* block, size_t filled, const wchar_t* member,
                               bool* valid);

// One string member of the printer's level-3 driver record, read only inside the record: `record`
// keeps the block that `text` points into. False when there is no record, or the member is
// absent or unterminated within it.
bool GetDriverString(HANDLE printer, LPWSTR DRIVER_INFO_3W::*member, UniqueGlobal& record,
                     std::wstring_view& text);

// Appends one entry per dependent file, in order. Always returns 1; on allocation failure the
// list is left as it was, so no partial list is ever taken for a complete one.
int GetDependentFiles(HANDLE printer, std::vector<std::wstring>& list);

// 1 and the file-name part in `name` (kPathChars) when a dependent file passes the test,
// else 0 with `name` untouched. Of several that pass, the first for the thread's UI language
// ("name.ja.dll" for Japanese), else the first untagged one (English), else the first: a
// package may carry the pages and the help in every language, and one without such names is
// read as it always was.
int FindResourceModuleName(HANDLE printer, wchar_t* name);
int FindHelpFileName(HANDLE printer, wchar_t* name);

// On entry `path` holds a full file path; on return the resource module's full path in the same
// folder, or the empty string.
void BuildResourceModulePath(HANDLE printer, wchar_t* path);

// Length of the help file's full path written to `path`, 0 when there is none.
size_t BuildHelpFilePath(HANDLE printer, wchar_t* path);

}  // namespace pinprint
