#include "support/look.h"

#include "support/test_support.h"

namespace pinprint::test {

constexpr wchar_t kCopyVariable[] = L"PINPRINT_LOOK_COPY";

ChildResult RunInLook(const Look& look, const std::wstring& arguments, const std::wstring& tag) {
    const drvhost::ScopedLook scoped(look);
    SetEnvironmentVariableW(kCopyVariable, tag.c_str());
    ChildResult copy = RunChild(OwnPath(), arguments);
    SetEnvironmentVariableW(kCopyVariable, nullptr);
    return copy;
}

std::wstring LookCopyTag() {
    wchar_t tag[64] = {};
    GetEnvironmentVariableW(kCopyVariable, tag, 64);
    return tag;
}

std::shared_ptr<void> ActivateHostManifest() {
    const std::wstring host = BinPath(L"drvhost.exe");
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = host.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    const HANDLE context = CreateActCtxW(&request);
    ULONG_PTR cookie = 0;
    if (context != INVALID_HANDLE_VALUE && !ActivateActCtx(context, &cookie)) {
        ReleaseActCtx(context);
    }
    if (cookie == 0) {
        return nullptr;
    }
    return std::shared_ptr<void>(context, [cookie](HANDLE activated) {
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(activated);
    });
}

}  // namespace pinprint::test
