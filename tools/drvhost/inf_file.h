// A reader for driver-package INF files: sections of entries, each a key with its values or a
// bare list of values, with the INF syntax for comments, quotes, line continuation and
// %strings% substitution. The driver host installs from what it reads, and the package check
// reads the same way.
#pragma once

#include <string>
#include <vector>

namespace drvhost {

struct InfLine {
    int number = 0;                    // line in the file where the entry starts, from 1
    std::wstring key;                  // empty for a bare line
    std::vector<std::wstring> values;  // split at commas, trimmed, unquoted, %strings% replaced
};

struct InfSection {
    std::wstring name;
    std::vector<InfLine> lines;  // sections of the same name are one section
};

class InfFile {
  public:
    // Reads `text`; each syntax problem is added to `errors` as "line N: what".
    void Parse(const std::wstring& text, std::vector<std::wstring>& errors);
    // Reads the file: UTF-16 with its byte-order mark, otherwise UTF-8. False when it cannot.
    bool Load(const std::wstring& path, std::vector<std::wstring>& errors);

    const std::vector<InfSection>& sections() const { return sections_; }
    // Section names compare without regard to letter case; null when there is none.
    const InfSection* Find(const std::wstring& name) const;
    // The first value of `key` in `section`, or "" when the section or the key is missing.
    std::wstring Value(const std::wstring& section, const wchar_t* key) const;
    // Every value of every `key` entry of `section`, in order.
    std::vector<std::wstring> Values(const std::wstring& section, const wchar_t* key) const;

  private:
    std::vector<InfSection> sections_;
};

// INF names (sections, keys, file names) compare without regard to letter case.
bool SameName(const std::wstring& a, const std::wstring& b);

}  // namespace drvhost
