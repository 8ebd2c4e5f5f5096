#include <cstdio>
#include <cstring>
#include <string>

#include "devmode/private_devmode.h"
#include "host.h"

namespace drvhost {
namespace {

using pinprint::PrivateDevmode;

// A field's text up to its terminator, never past the field.
template <size_t N>
std::wstring FieldText(const char16_t (&field)[N]) {
    std::wstring text;
    for (size_t i = 0; i < N && field[i] != 0; ++i) {
        text.push_back(static_cast<wchar_t>(field[i]));
    }
    return text;
}

std::wstring DigestText(const PrivateDevmode& dm) {
    std::wstring text;
    for (size_t i = 0; i < sizeof(dm.pinDigest) && dm.pinDigest[i] != 0; ++i) {
        text.push_back(static_cast<unsigned char>(dm.pinDigest[i]));
    }
    return text;
}

std::wstring JsonString(const std::wstring& s) {
    std::wstring out = L"\"";
    for (wchar_t c : s) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c < 0x20 || c > 0x7E) {
            wchar_t escaped[8];
            swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

}  // namespace

void PrintPrivateDevmode(const void* block, DWORD size, bool json) {
    if (block == nullptr || size < sizeof(PrivateDevmode)) {
        fwprintf(stderr, L"drvhost: private devmode of %lu bytes, expected %u\n", size,
                 static_cast<unsigned>(sizeof(PrivateDevmode)));
        return;
    }
    PrivateDevmode dm;
    memcpy(&dm, block, sizeof(dm));
    if (json) {
        wprintf(
            L"{\"dwSize\": %u, \"dwSignature\": \"0x%08X\", \"dwVersion\": \"0x%X\", "
            L"\"rangeValue1\": %u, \"rangeValue2\": %u, \"secureEnabled\": %u, "
            L"\"pinDigest\": %ls, \"codePage\": %u, \"pageFlags\": \"0x%X\", "
            L"\"userName\": %ls, \"jobName\": %ls, \"loginName\": %ls, "
            L"\"computerName\": %ls, \"customNames\": %u}\n",
            dm.dwSize, dm.dwSignature, dm.dwVersion, dm.rangeValue1, dm.rangeValue2,
            dm.secureEnabled, JsonString(DigestText(dm)).c_str(), dm.codePage, dm.pageFlags,
            JsonString(FieldText(dm.userName)).c_str(), JsonString(FieldText(dm.jobName)).c_str(),
            JsonString(FieldText(dm.loginName)).c_str(),
            JsonString(FieldText(dm.computerName)).c_str(), dm.customNames);
        return;
    }
    const std::wstring digest = DigestText(dm);
    wprintf(L"Private devmode (%u bytes, signature 0x%08X, version 0x%X)\n", dm.dwSize,
            dm.dwSignature, dm.dwVersion);
    wprintf(L"  secure printing : %ls\n", dm.secureEnabled == 1 ? L"on" : L"off");
    wprintf(L"  PIN digest      : %ls\n", digest.empty() ? L"(none)" : digest.c_str());
    wprintf(L"  user name       : %ls\n", FieldText(dm.userName).c_str());
    wprintf(L"  job name        : %ls\n", FieldText(dm.jobName).c_str());
    wprintf(L"  names by hand   : %ls\n", dm.customNames == 1 ? L"yes" : L"no");
    wprintf(L"  login name      : %ls\n", FieldText(dm.loginName).c_str());
    wprintf(L"  computer name   : %ls\n", FieldText(dm.computerName).c_str());
    wprintf(L"  code page       : %u\n", dm.codePage);
    wprintf(L"  page flags      : 0x%X%ls\n", dm.pageFlags,
            (dm.pageFlags & pinprint::kPageFlagUnlocked) ? L" (secure controls unlocked)" : L"");
    wprintf(L"  range values    : %u, %u\n", dm.rangeValue1, dm.rangeValue2);
}

int CommandDevmode(const Args& args) {
    const bool json = HasFlag(args, L"--json");
    PluginHost host;
    if (!host.Load(OptionValue(args, L"--dll", L""))) {
        return 1;
    }
    std::vector<BYTE> block;
    DWORD privateSize = 0;
    if (!host.DefaultDevmode(block, privateSize)) {
        return 1;
    }
    if (!json) {
        wprintf(L"GetInfo: signature 0x%08lX, version 0x%lX; DevMode size %lu bytes\n",
                host.signature(), host.version(), privateSize);
        wprintf(L"After OEMDM_DEFAULT:\n");
        PrintPrivateDevmode(block.data() + sizeof(DEVMODEW), privateSize, false);
    }
    // A secure job from an earlier session, asking for three copies: the merge keeps the
    // settings and forces one copy.
    pinprint::PrivateDevmode stored;
    memcpy(&stored, block.data() + sizeof(DEVMODEW), sizeof(stored));
    stored.secureEnabled = 1;
    memset(stored.pinDigest, 0, sizeof(stored.pinDigest));
    memcpy(stored.pinDigest, "03ac674216f3e15c761ee1a5e255f067953623c8b388b4459e13f978d7c846f4",
           64);
    const char16_t user[] = u"alice";
    const char16_t job[] = u"Quarterly report";
    memcpy(stored.userName, user, sizeof(user));
    memcpy(stored.jobName, job, sizeof(job));
    stored.customNames = 1;
    auto* pub = reinterpret_cast<DEVMODEW*>(block.data());
    pub->dmCopies = 3;
    const HRESULT hr = host.MergeDevmode(block, privateSize, &stored);
    if (FAILED(hr)) {
        fwprintf(stderr, L"drvhost: DevMode(OEMDM_MERGE) failed, 0x%08lX\n", hr);
        return 1;
    }
    if (!json) {
        wprintf(
            L"After OEMDM_MERGE of a stored secure job asking for 3 copies "
            L"(public dmCopies now %d):\n",
            pub->dmCopies);
    }
    PrintPrivateDevmode(block.data() + sizeof(DEVMODEW), privateSize, json);
    return 0;
}

}  // namespace drvhost
