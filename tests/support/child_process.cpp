#include "support/child_process.h"

#include "support/test_handles.h"

namespace pinprint::test {

ChildResult RunChild(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                     bool capture) {
    ChildResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (capture) {
        if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
            return result;
        }
        SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = capture ? writeEnd.get() : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = capture ? writeEnd.get() : GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        nullptr, &startup, &process)) {
        return result;
    }
    result.started = true;
    UniqueKernelHandle processHandle(process.hProcess);
    UniqueKernelHandle threadHandle(process.hThread);
    // Only the child holds the write end now, so reading ends when the child does.
    writeEnd.reset();
    char buffer[4096];
    DWORD read = 0;
    while (capture && ReadFile(readEnd.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        result.output.append(buffer, read);
    }
    WaitForSingleObject(processHandle.get(), timeoutMs);
    GetExitCodeProcess(processHandle.get(), &result.exitCode);
    return result;
}

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

ProgramCopy::ProgramCopy(const std::wstring& folder, const std::wstring& name)
    : path_(folder + name), settings_(L"Software\\Wine\\AppDefaults\\" + name) {
    ok_ = CopyFileW(OwnPath().c_str(), path_.c_str(), FALSE) != FALSE;
}

ProgramCopy::~ProgramCopy() {
    RegDeleteTreeW(HKEY_CURRENT_USER, settings_.c_str());
    DeleteFileW(path_.c_str());
}

bool ProgramCopy::Set(const std::wstring& subkey, const wchar_t* value, const wchar_t* text) const {
    const std::wstring key = subkey.empty() ? settings_ : settings_ + L"\\" + subkey;
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), value, REG_SZ, text,
                           static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

ChildResult ProgramCopy::Run(const std::string& filter, bool capture) const {
    return RunChild(path_, L"--gtest_filter=" + std::wstring(filter.begin(), filter.end()), 60000,
                    capture);
}

bool RunningAs(const wchar_t* name) {
    const std::wstring self = OwnPath();
    const size_t length = wcslen(name);
    return self.size() >= length &&
           self.compare(self.size() - length, std::wstring::npos, name) == 0;
}

}  // namespace pinprint::test
