// The pages in another look (tools/drvhost/look.h) for tests: Wine reads a look when a program
// starts, so a test starts a copy of itself in it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "support/child_process.h"
#include "tools/drvhost/look.h"

namespace pinprint::test {

using drvhost::Look;

// Runs this program again with `arguments` in `look`; the copy finds `tag` in LookCopyTag().
ChildResult RunInLook(const Look& look, const std::wstring& arguments,
                      const std::wstring& tag = L"1");
// Empty outside such a copy.
std::wstring LookCopyTag();

// The printing program's Common Controls 6 manifest (drvhost.exe's) active on this thread until
// the result goes: the sheets opened meanwhile are those of a program that asks for visual
// styles. Null when it cannot be activated.
std::shared_ptr<void> ActivateHostManifest();

}  // namespace pinprint::test
