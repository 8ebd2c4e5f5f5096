#include <cstdio>
#include <cstring>

#include "driver_side.h"
#include "host.h"

namespace drvhost {

bool HasFlag(const Args& args, const wchar_t* flag) {
    for (const auto& a : args) {
        if (a == flag) {
            return true;
        }
    }
    return false;
}

std::wstring OptionValue(const Args& args, const wchar_t* option, const std::wstring& fallback) {
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == option) {
            return args[i + 1];
        }
    }
    return fallback;
}

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    const size_t slash = result.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : result.substr(0, slash + 1);
}

PluginHost::~PluginHost() {
    if (plugin_ != nullptr) {
        plugin_->Release();
    }
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}

bool PluginHost::Load(const std::wstring& dllPath) {
    const std::wstring path = dllPath.empty() ? ExeDirectory() + L"pinprintui.dll" : dllPath;
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) {
        fwprintf(stderr, L"drvhost: cannot load %ls (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    HRESULT hr = S_OK;
    plugin_ = CreatePlugin(module_, &hr);
    if (plugin_ == nullptr) {
        fwprintf(stderr,
                 L"drvhost: %ls gives no plug-in object (DllGetClassObject, then "
                 L"CreateInstance), 0x%08lX\n",
                 path.c_str(), hr);
        return false;
    }
    hr = plugin_->PublishDriverInterface(&driverObject_);
    if (FAILED(hr)) {
        fwprintf(stderr, L"drvhost: PublishDriverInterface failed, 0x%08lX\n", hr);
        return false;
    }
    DWORD needed = 0;
    if (FAILED(plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature_, sizeof(signature_), &needed)) ||
        FAILED(plugin_->GetInfo(OEMGI_GETVERSION, &version_, sizeof(version_), &needed))) {
        fwprintf(stderr, L"drvhost: GetInfo failed, error %lu\n", GetLastError());
        return false;
    }
    return true;
}

bool PluginHost::DefaultDevmode(std::vector<BYTE>& block, DWORD& privateSize) {
    if (!drvhost::DefaultDevmode(plugin_, block, &privateSize)) {
        fwprintf(stderr, L"drvhost: DevMode(OEMDM_SIZE, OEMDM_DEFAULT) failed, error %lu\n",
                 GetLastError());
        return false;
    }
    return true;
}

HRESULT PluginHost::MergeDevmode(std::vector<BYTE>& block, DWORD, const void* privateIn) {
    return drvhost::MergeDevmode(plugin_, block, privateIn);
}

}  // namespace drvhost
