// Starting another program of the build from a test and collecting what it prints.
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
// environment, and waits at most `timeoutMs` for it to end.
ChildResult RunChild(const std::wstring& program, const std::wstring& arguments,
                     DWORD timeoutMs = 60000);

}  // namespace pinprint::test
