#include "inf_file.h"

#include <windows.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace drvhost {
namespace {

std::wstring Trim(const std::wstring& s) {
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && iswspace(s[begin])) {
        ++begin;
    }
    while (end > begin && iswspace(s[end - 1])) {
        --end;
    }
    return s.substr(begin, end - begin);
}

std::wstring LineError(int number, const std::wstring& what) {
    return L"line " + std::to_wstring(number) + L": " + what;
}

// The line without its comment: a semicolon outside quotes starts one.
std::wstring StripComment(const std::wstring& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"') {
            quoted = !quoted;
        } else if (line[i] == L';' && !quoted) {
            return line.substr(0, i);
        }
    }
    return line;
}

// Where `c` first stands outside quotes in `text`, or npos.
size_t FindUnquoted(const std::wstring& text, wchar_t c, size_t from = 0) {
    bool quoted = false;
    for (size_t i = from; i < text.size(); ++i) {
        if (text[i] == L'"') {
            quoted = !quoted;
        } else if (text[i] == c && !quoted) {
            return i;
        }
    }
    return std::wstring::npos;
}

// The trimmed text without its quotes; "" inside quotes stands for one quote character.
// `unterminated` is set when a quote is left open.
std::wstring Unquote(const std::wstring& text, bool& unterminated) {
    const std::wstring trimmed = Trim(text);
    std::wstring out;
    bool quoted = false;
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] != L'"') {
            out += trimmed[i];
        } else if (quoted && i + 1 < trimmed.size() && trimmed[i + 1] == L'"') {
            out += L'"';
            ++i;
        } else {
            quoted = !quoted;
        }
    }
    unterminated = unterminated || quoted;
    return out;
}

}  // namespace

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

void InfFile::Parse(const std::wstring& text, std::vector<std::wstring>& errors) {
    sections_.clear();
    constexpr size_t kNone = static_cast<size_t>(-1);
    size_t current = kNone;  // index into sections_, which grows
    size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        // One entry: a line, and the lines after it while it ends in a backslash.
        std::wstring entry;
        const int first = number + 1;
        bool more = true;
        while (more && pos < text.size()) {
            size_t end = text.find(L'\n', pos);
            if (end == std::wstring::npos) {
                end = text.size();
            }
            std::wstring line = Trim(StripComment(text.substr(pos, end - pos)));
            pos = end + 1;
            ++number;
            more = !line.empty() && line.back() == L'\\';
            if (more) {
                line.pop_back();
            }
            entry += line;
        }
        entry = Trim(entry);
        if (entry.empty()) {
            continue;
        }
        if (entry.front() == L'[') {
            if (entry.back() != L']' || Trim(entry.substr(1, entry.size() - 2)).empty()) {
                errors.push_back(
                    LineError(first, L"section header \"" + entry + L"\" is malformed"));
                current = kNone;
                continue;
            }
            const std::wstring name = Trim(entry.substr(1, entry.size() - 2));
            current = kNone;
            for (size_t i = 0; i < sections_.size() && current == kNone; ++i) {
                if (SameName(sections_[i].name, name)) {
                    current = i;
                }
            }
            if (current == kNone) {
                sections_.push_back({name, {}});
                current = sections_.size() - 1;
            }
            continue;
        }
        if (current == kNone) {
            errors.push_back(LineError(first, L"\"" + entry + L"\" stands outside any section"));
            continue;
        }
        bool unterminated = false;
        InfLine line;
        line.number = first;
        const size_t equals = FindUnquoted(entry, L'=');
        if (equals != std::wstring::npos) {
            line.key = Unquote(entry.substr(0, equals), unterminated);
        }
        const std::wstring values = equals == std::wstring::npos ? entry : entry.substr(equals + 1);
        for (size_t from = 0;;) {
            const size_t comma = FindUnquoted(values, L',', from);
            line.values.push_back(Unquote(values.substr(from, comma - from), unterminated));
            if (comma == std::wstring::npos) {
                break;
            }
            from = comma + 1;
        }
        if (unterminated) {
            errors.push_back(LineError(first, L"a quote is not closed"));
        }
        sections_[current].lines.push_back(std::move(line));
    }

    // %name% stands for the value of name in [Strings] (%% for a percent sign), anywhere but
    // in [Strings] itself.
    const InfSection* strings = Find(L"Strings");
    auto substitute = [&](std::wstring& value, int line) {
        std::wstring out;
        size_t at = 0;
        while (at < value.size()) {
            const size_t open = value.find(L'%', at);
            const size_t close = open == std::wstring::npos ? open : value.find(L'%', open + 1);
            if (close == std::wstring::npos) {
                out += value.substr(at);
                break;
            }
            out += value.substr(at, open - at);
            const std::wstring name = value.substr(open + 1, close - open - 1);
            const InfLine* found = nullptr;
            for (size_t i = 0; strings != nullptr && i < strings->lines.size(); ++i) {
                const InfLine& entry = strings->lines[i];
                if (found == nullptr && SameName(entry.key, name) && !entry.values.empty()) {
                    found = &entry;
                }
            }
            if (name.empty()) {
                out += L'%';
            } else if (found != nullptr) {
                out += found->values[0];
            } else {
                errors.push_back(LineError(line, L"%" + name + L"% is not in [Strings]"));
            }
            at = close + 1;
        }
        value = out;
    };
    for (auto& section : sections_) {
        if (&section == strings) {
            continue;
        }
        for (auto& line : section.lines) {
            substitute(line.key, line.number);
            for (auto& value : line.values) {
                substitute(value, line.number);
            }
        }
    }
}

bool InfFile::Load(const std::wstring& path, std::vector<std::wstring>& errors) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.resize((bytes.size() - 2) / sizeof(wchar_t));
        memcpy(text.data(), bytes.data() + 2, text.size() * sizeof(wchar_t));
    } else {
        const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        const int size = static_cast<int>(bytes.size() - start);
        text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, nullptr, 0));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, text.data(),
                            static_cast<int>(text.size()));
    }
    Parse(text, errors);
    return true;
}

const InfSection* InfFile::Find(const std::wstring& name) const {
    for (const auto& section : sections_) {
        if (SameName(section.name, name)) {
            return &section;
        }
    }
    return nullptr;
}

std::wstring InfFile::Value(const std::wstring& section, const wchar_t* key) const {
    const std::vector<std::wstring> values = Values(section, key);
    return values.empty() ? std::wstring() : values[0];
}

std::vector<std::wstring> InfFile::Values(const std::wstring& section, const wchar_t* key) const {
    std::vector<std::wstring> values;
    if (const InfSection* found = Find(section)) {
        for (const auto& line : found->lines) {
            if (SameName(line.key, key)) {
                values.insert(values.end(), line.values.begin(), line.values.end());
            }
        }
    }
    return values;
}

}  // namespace drvhost
