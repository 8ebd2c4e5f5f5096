// Starting another program of the build, or a copy of this test program, from a test and
// collecting what it prints.
#pragma once

#include <windows.h>

#include <string>

namespace pinprint::test {

struct ChildResult {
    bool started = false;
    DWORD exitCode = STILL_ACTIVE;  // STILL_ACTIVE when it did not end within the timeout
    std::string output;             // stdout and stderr together
};

// Runs `program` with `arguments` (already quoted as needed), inheriting this process's
// environment, and waits at most `timeoutMs` for it to end. Without `capture` the child writes
// to this program's own output and nothing is collected, so that a process it leaves behind
// cannot hold a pipe open after it has ended.
ChildResult RunChild(const std::wstring& program, const std::wstring& arguments,
                     DWORD timeoutMs = 60000, bool capture = true);

// This test program's own path.
std::wstring OwnPath();

// A copy of this test program named `name` in `folder` (with a trailing backslash), and Wine's
// settings for programs of that name (HKCU\Software\Wine\AppDefaults\<name>), which Wine reads
// when the program starts; both are removed at scope end.
class ProgramCopy {
  public:
    ProgramCopy(const std::wstring& folder, const std::wstring& name);
    ~ProgramCopy();
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    bool ok() const { return ok_; }
    // Sets `value` of the settings' `subkey` (empty: the settings key itself) to `text`.
    bool Set(const std::wstring& subkey, const wchar_t* value, const wchar_t* text) const;
    // Runs the copy's test cases that `filter` selects.
    ChildResult Run(const std::string& filter, bool capture = true) const;

  private:
    std::wstring path_;
    std::wstring settings_;
    bool ok_ = false;
};

// True when this process is the copy named `name`.
bool RunningAs(const wchar_t* name);

}  // namespace pinprint::test
