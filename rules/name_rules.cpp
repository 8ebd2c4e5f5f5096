#include "rules/name_rules.h"

#include "config/driver_options.h"

namespace pinprint {

NameCharset NameCharsetFor(DWORD options) {
    if ((options & DRVOPT_SHORT_NAMES) != 0) {
        return NameCharset::Any;
    }
    return (options & (DRVOPT_NAME_CHOICE | DRVOPT_LABEL_SWAP)) != 0 ? NameCharset::Ansi
                                                                     : NameCharset::Latin1;
}

int NameLimitFor(DWORD options) {
    return (options & DRVOPT_SHORT_NAMES) != 0 ? kShortNameLimit : kFullNameLimit;
}

bool AcceptsNameCharacter(NameCharset charset, wchar_t c) {
    switch (charset) {
        case NameCharset::Any:
            return c > 0xFF || !IsRefusedNameCharacter(c);
        case NameCharset::Ansi:
            return PassesAnsiTest(c) && !IsRefusedNameCharacter(c);
        case NameCharset::Latin1:
        default:
            return c <= 0xFF && !IsRefusedNameCharacter(c);
    }
}

bool IsRefusedNameCharacter(wchar_t c) {
    switch (c) {
        case L'"':
        case L'%':
        case L'*':
        case L'+':
        case L',':
        case L'/':
        case L';':
        case L'=':
        case L'?':
        case L'\\':
        case L'|':
            return true;
        default:
            return false;
    }
}

bool PassesAnsiTest(wchar_t c) {
    const wchar_t wide[2] = {c, L'\0'};
    char narrow[2] = {0, 0};
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, &usedDefault);
    if (usedDefault || narrow[1] != 0) {
        return false;
    }
    wchar_t back[2] = {0, 0};
    MultiByteToWideChar(CP_ACP, 0, narrow, -1, back, 2);
    return lstrcmpW(back, wide) == 0;
}

}  // namespace pinprint
