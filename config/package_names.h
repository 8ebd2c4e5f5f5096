// The pure rules behind finding the driver package's files: file-name and directory parts of a
// path, the two name tests, walking a dependent-file multi-string within a bound, and composing
// paths into fixed buffers. Platform-neutral (templates over the 16-bit character type: wchar_t
// on Windows, char16_t elsewhere), so that it can be exercised without the spooler.
#pragma once

#include <cstddef>
#include <string_view>

namespace pinprint::names {

// Characters in every path and name buffer, the terminator included.
inline constexpr size_t kPathBufferChars = 260;

// The characters after the last backslash; the whole string when it holds none.
template <typename Char>
constexpr std::basic_string_view<Char> FileNamePart(std::basic_string_view<Char> path) {
    const size_t slash = path.find_last_of(Char('\\'));
    return slash == std::basic_string_view<Char>::npos ? path : path.substr(slash + 1);
}

// The characters up to and including the last backslash; empty when it holds none.
template <typename Char>
constexpr std::basic_string_view<Char> DirectoryPart(std::basic_string_view<Char> path) {
    const size_t slash = path.find_last_of(Char('\\'));
    return slash == std::basic_string_view<Char>::npos ? std::basic_string_view<Char>()
                                                       : path.substr(0, slash + 1);
}

// a..z become A..Z; every other code unit, non-ASCII ones included, stays as it is.
template <typename Char>
constexpr Char UpperAscii(Char c) {
    return (c >= Char('a') && c <= Char('z')) ? Char(c - Char('a') + Char('A')) : c;
}

// Whether the upper-cased `text` contains `pattern` (plain ASCII capitals) anywhere.
// Compares unit by unit instead of building the upper-cased copy, so it cannot fail.
template <typename Char>
constexpr bool UpperContains(std::basic_string_view<Char> text, const char* pattern) {
    size_t patternLength = 0;
    while (pattern[patternLength] != '\0') {
        ++patternLength;
    }
    if (patternLength > text.size()) {
        return false;
    }
    for (size_t start = 0; start + patternLength <= text.size(); ++start) {
        size_t i = 0;
        while (i < patternLength && UpperAscii(text[start + i]) ==
                                        static_cast<Char>(static_cast<unsigned char>(pattern[i]))) {
            ++i;
        }
        if (i == patternLength) {
            return true;
        }
    }
    return false;
}

// The resource module: its upper-cased file name contains "LG" and, independently, ".DLL".
template <typename Char>
constexpr bool IsResourceModuleName(std::basic_string_view<Char> fileName) {
    return UpperContains(fileName, "LG") && UpperContains(fileName, ".DLL");
}

// The help file: its upper-cased file name contains ".CHM".
template <typename Char>
constexpr bool IsHelpFileName(std::basic_string_view<Char> fileName) {
    return UpperContains(fileName, ".CHM");
}

// Length of the zero-terminated string at `text`, looking at no more than `bound` units;
// `bound` when no terminator lies within them.
template <typename Char>
constexpr size_t BoundedLength(const Char* text, size_t bound) {
    size_t length = 0;
    while (length < bound && text[length] != Char(0)) {
        ++length;
    }
    return length;
}

// Walks a multi-string (zero-terminated strings ended by an empty one) that lies within
// `bound` units from `multi`, calling `visit(std::basic_string_view<Char>)` for each string in
// order. A string that runs into the bound without its terminator is cut-off data and is not
// visited; nothing past the bound is read. `visit` returns false to stop the walk.
template <typename Char, typename Visit>
constexpr void WalkMultiString(const Char* multi, size_t bound, Visit&& visit) {
    if (multi == nullptr) {
        return;
    }
    size_t offset = 0;
    while (offset < bound && multi[offset] != Char(0)) {
        const size_t length = BoundedLength(multi + offset, bound - offset);
        if (offset + length == bound) {
            return;  // unterminated
        }
        if (!visit(std::basic_string_view<Char>(multi + offset, length))) {
            return;
        }
        offset += length + 1;
    }
}

// Copies `text` and a terminator into `out` (`outChars` units) when it fits; returns its
// length. Returns 0 and writes nothing when it does not fit (or is empty).
template <typename Char>
constexpr size_t CopyIfFits(std::basic_string_view<Char> text, Char* out, size_t outChars) {
    if (text.empty() || text.size() >= outChars) {
        return 0;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        out[i] = text[i];
    }
    out[text.size()] = Char(0);
    return text.size();
}

// The language a package file is for: the part of its name between its last two dots
// ("pinprintlg.ja.dll" is Japanese, "pinprint.de-CH.chm" Swiss German); empty for a name with
// fewer dots.
template <typename Char>
constexpr std::basic_string_view<Char> LanguageTagOf(std::basic_string_view<Char> fileName) {
    const size_t last = fileName.find_last_of(Char('.'));
    if (last == std::basic_string_view<Char>::npos || last == 0) {
        return {};
    }
    const size_t before = fileName.find_last_of(Char('.'), last - 1);
    if (before == std::basic_string_view<Char>::npos) {
        return {};
    }
    return fileName.substr(before + 1, last - before - 1);
}

// Whether two ASCII texts are the same but for the case of a..z.
template <typename Char>
constexpr bool SameIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Whether a tag names a language as the package's file names do: two letters, alone or before
// a '-' and a region ("de", "de-CH"). Another dotted part of a name ("MANUAL.CHM.BAK") does not.
template <typename Char>
constexpr bool IsLanguageTag(std::basic_string_view<Char> tag) {
    auto letter = [](Char c) { return UpperAscii(c) >= Char('A') && UpperAscii(c) <= Char('Z'); };
    return tag.size() >= 2 && letter(tag[0]) && letter(tag[1]) &&
           (tag.size() == 2 || tag[2] == Char('-'));
}

// How well a file fits the user's UI language `locale` ("ja-JP"), best first: 0 it is tagged
// with the locale's full name, 1 with its language ("ja"), 2 it is not tagged with a language
// (the package's default, English), 3 it is tagged with another language.
template <typename Char>
constexpr int LanguageFit(std::basic_string_view<Char> fileName,
                          std::basic_string_view<Char> locale) {
    const std::basic_string_view<Char> tag = LanguageTagOf(fileName);
    const std::basic_string_view<Char> language = locale.substr(0, locale.find(Char('-')));
    if (!tag.empty() && !language.empty()) {
        if (SameIgnoringCase(tag, locale)) {
            return 0;
        }
        if (SameIgnoringCase(tag, language)) {
            return 1;
        }
    }
    return IsLanguageTag(tag) ? 3 : 2;
}

// Among the entries of the multi-string at `multi` (within `bound`) whose file names pass
// `test`, the first tagged with `locale`, else the first tagged with its language, else the
// first not tagged with a language (the default), else the first of all, wherever the spooler
// lists them; its file-name part is copied into `out` when it fits. With one passing entry that is
// the one, whatever its name; with none, 0 and nothing written. Nothing is allocated.
template <typename Char, typename Test>
constexpr size_t CopyBestMatchingFileName(const Char* multi, size_t bound, Test&& test,
                                          std::basic_string_view<Char> locale, Char* out,
                                          size_t outChars) {
    std::basic_string_view<Char> best;
    int bestFit = 4;
    WalkMultiString(multi, bound, [&](std::basic_string_view<Char> entry) {
        const std::basic_string_view<Char> fileName = FileNamePart(entry);
        if (test(fileName)) {
            const int fit = LanguageFit(fileName, locale);
            if (fit < bestFit) {
                best = fileName;
                bestFit = fit;
            }
        }
        return bestFit != 0;
    });
    return bestFit == 4 ? 0 : CopyIfFits(best, out, outChars);
}

// `directory` directly followed by `name` into `out`; the length, or 0 with nothing written
// when either is empty or the two and the terminator do not fit.
template <typename Char>
constexpr size_t ComposePath(std::basic_string_view<Char> directory,
                             std::basic_string_view<Char> name, Char* out, size_t outChars) {
    if (directory.empty() || name.empty() || directory.size() >= outChars ||
        name.size() >= outChars - directory.size()) {
        return 0;
    }
    for (size_t i = 0; i < directory.size(); ++i) {
        out[i] = directory[i];
    }
    for (size_t i = 0; i < name.size(); ++i) {
        out[directory.size() + i] = name[i];
    }
    out[directory.size() + name.size()] = Char(0);
    return directory.size() + name.size();
}

// The settings file beside the data file: its path with the last three characters replaced by
// "DAT", whatever they are. 0 with nothing written when the path has fewer than three
// characters or the result and its terminator do not fit.
template <typename Char>
constexpr size_t ComposeSettingsPath(std::basic_string_view<Char> dataFile, Char* out,
                                     size_t outChars) {
    if (dataFile.size() < 3 || dataFile.size() >= outChars) {
        return 0;
    }
    const size_t keep = dataFile.size() - 3;
    for (size_t i = 0; i < keep; ++i) {
        out[i] = dataFile[i];
    }
    out[keep] = Char('D');
    out[keep + 1] = Char('A');
    out[keep + 2] = Char('T');
    out[keep + 3] = Char(0);
    return dataFile.size();
}

}  // namespace pinprint::names
