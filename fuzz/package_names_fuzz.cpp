// Feeds arbitrary dependent-file multi-strings through the bounded walk and the two name tests,
// and the file name picked out of them for a user's locale; and arbitrary directory, name and
// data-file strings through the path composition. Every buffer is on the heap with exactly the
// units it claims (the multi-string possibly without any terminator), so AddressSanitizer catches a
// unit read or written past it. Each result is compared with a plain model built on std::u16string.
//
// Input (FuzzedDataProvider): the walk's stop count, the multi-string's length and units, the
// pick's output size, the composition's output size (260 most of the time each), then the
// directory, name and data-file strings.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "config/package_names.h"
#include "fuzz/require.h"

namespace names = pinprint::names;

namespace {

using View = std::u16string_view;
constexpr char16_t kStale = u'\xFFFE';

// A unit: mostly from the characters the rules look at, sometimes any 16-bit value.
char16_t Unit(FuzzedDataProvider& in) {
    static constexpr char16_t kAlphabet[] = u"\\.LGlgDdCHMchm\0xZjaJP-\x00E9\x4E00";
    const uint8_t pick = in.ConsumeIntegral<uint8_t>();
    if (pick < 0xF0) {
        return kAlphabet[pick % (sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 1)];
    }
    return in.ConsumeIntegral<uint16_t>();
}

std::u16string Text(FuzzedDataProvider& in, size_t maxLength, bool allowZero) {
    const size_t length = in.ConsumeIntegralInRange<size_t>(0, maxLength);
    std::u16string text;
    for (size_t i = 0; i < length && in.remaining_bytes() > 0; ++i) {
        const char16_t c = Unit(in);
        text.push_back(c == 0 && !allowZero ? u'x' : c);
    }
    return text;
}

std::u16string Upper(View text) {
    std::u16string upper(text);
    for (auto& c : upper) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - u'a' + u'A');
        }
    }
    return upper;
}

bool ModelIsResourceModule(View fileName) {
    const std::u16string upper = Upper(fileName);
    return upper.find(u"LG") != std::u16string::npos && upper.find(u".DLL") != std::u16string::npos;
}

bool ModelIsHelpFile(View fileName) {
    return Upper(fileName).find(u".CHM") != std::u16string::npos;
}

View ModelFileName(View path) {
    const size_t slash = path.rfind(u'\\');
    return slash == View::npos ? path : path.substr(slash + 1);
}

View ModelDirectory(View path) {
    const size_t slash = path.rfind(u'\\');
    return slash == View::npos ? View() : path.substr(0, slash + 1);
}

// The complete strings of a multi-string of `units`, up to the empty one or the first that
// runs into the end.
std::vector<std::u16string> ModelEntries(const std::u16string& units) {
    std::vector<std::u16string> entries;
    size_t offset = 0;
    while (offset < units.size() && units[offset] != 0) {
        const size_t end = units.find(char16_t(0), offset);
        if (end == std::u16string::npos) {
            break;
        }
        entries.push_back(units.substr(offset, end - offset));
        offset = end + 1;
    }
    return entries;
}

// A heap buffer of exactly `chars` units, filled with a stale value.
struct Out {
    explicit Out(size_t chars) : chars(chars), data(new char16_t[chars]) {
        for (size_t i = 0; i < chars; ++i) {
            data[i] = kStale;
        }
    }
    // Holds `expected` and its terminator, then the untouched stale units; or, for an empty
    // `expected`, is untouched entirely.
    bool Holds(View expected) const {
        const size_t used = expected.empty() ? 0 : expected.size() + 1;
        if (used > chars) {
            return false;
        }
        for (size_t i = 0; i < expected.size(); ++i) {
            if (data[i] != expected[i]) {
                return false;
            }
        }
        if (!expected.empty() && data[expected.size()] != 0) {
            return false;
        }
        for (size_t i = used; i < chars; ++i) {
            if (data[i] != kStale) {
                return false;
            }
        }
        return true;
    }
    size_t chars;
    std::unique_ptr<char16_t[]> data;
};

void WalkAndTest(FuzzedDataProvider& in) {
    const size_t stopAfter = in.ConsumeIntegralInRange<size_t>(0, 16);
    const std::u16string units = Text(in, 600, true);
    std::unique_ptr<char16_t[]> multi(new char16_t[units.size()]);
    std::copy(units.begin(), units.end(), multi.get());

    std::vector<std::u16string> visited;
    names::WalkMultiString(multi.get(), units.size(), [&](View entry) {
        REQUIRE(!entry.empty());
        REQUIRE(entry.find(char16_t(0)) == View::npos);
        // The views lie inside the buffer.
        REQUIRE(entry.data() >= multi.get());
        REQUIRE(entry.data() + entry.size() < multi.get() + units.size());
        REQUIRE(entry.data()[entry.size()] == 0);

        const View fileName = names::FileNamePart(entry);
        REQUIRE(fileName == ModelFileName(entry));
        REQUIRE(names::DirectoryPart(entry) == ModelDirectory(entry));
        REQUIRE(names::IsResourceModuleName(fileName) == ModelIsResourceModule(fileName));
        REQUIRE(names::IsHelpFileName(fileName) == ModelIsHelpFile(fileName));

        visited.emplace_back(entry);
        return stopAfter == 0 || visited.size() < stopAfter;
    });
    std::vector<std::u16string> expected = ModelEntries(units);
    if (stopAfter != 0 && expected.size() > stopAfter) {
        expected.resize(stopAfter);
    }
    REQUIRE(visited == expected);

    // Of the entries whose file names pass a test, the first tagged with the user's locale,
    // else with its language, else the first not tagged with a language, else the first decides,
    // whether or not its name fits; the walk goes over every entry, not only those visited above.
    const size_t outChars =
        in.ConsumeBool() ? names::kPathBufferChars : in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::u16string locale = in.ConsumeBool() ? u"ja-JP" : Text(in, 8, false);
    const std::vector<std::u16string> every = ModelEntries(units);
    const auto pick = [&](auto&& test, bool (*model)(View)) {
        Out out(outChars);
        const size_t written = names::CopyBestMatchingFileName(
            multi.get(), units.size(), test, View(locale), out.data.get(), outChars);
        const std::u16string language = locale.substr(0, locale.find(u'-'));
        View chosen;
        int chosenFit = 4;
        for (const auto& entry : every) {
            const View name = ModelFileName(entry);
            if (!model(name)) {
                continue;
            }
            const size_t last = name.rfind(u'.');
            const size_t before =
                last == View::npos || last == 0 ? View::npos : name.rfind(u'.', last - 1);
            const std::u16string tag = before == View::npos
                                           ? std::u16string()
                                           : Upper(name.substr(before + 1, last - before - 1));
            const bool named = tag.size() >= 2 && tag[0] >= u'A' && tag[0] <= u'Z' &&
                               tag[1] >= u'A' && tag[1] <= u'Z' &&
                               (tag.size() == 2 || tag[2] == u'-');
            const int fit = !tag.empty() && !language.empty() && tag == Upper(locale)     ? 0
                            : !tag.empty() && !language.empty() && tag == Upper(language) ? 1
                            : named                                                       ? 3
                                                                                          : 2;
            if (fit < chosenFit) {
                chosen = name;
                chosenFit = fit;
            }
        }
        const bool fits = !chosen.empty() && chosen.size() < outChars;
        REQUIRE(written == (fits ? chosen.size() : 0));
        REQUIRE(out.Holds(fits ? chosen : View()));
    };
    pick(names::IsResourceModuleName<char16_t>, ModelIsResourceModule);
    pick(names::IsHelpFileName<char16_t>, ModelIsHelpFile);

    // The same walk from the first unit of an unterminated string never leaves the buffer.
    const size_t length = names::BoundedLength(multi.get(), units.size());
    REQUIRE(length == std::min(units.size(), units.find(char16_t(0))));
    names::WalkMultiString<char16_t>(nullptr, units.size(), [](View) {
        __builtin_trap();
        return true;
    });
}

void Compose(FuzzedDataProvider& in) {
    const size_t outChars =
        in.ConsumeBool() ? names::kPathBufferChars : in.ConsumeIntegralInRange<size_t>(0, 300);
    const std::u16string directory = Text(in, 300, false);
    const std::u16string name = Text(in, 300, false);
    const std::u16string dataFile = Text(in, 300, false);

    {
        Out out(outChars);
        const size_t written = names::CopyIfFits(View(name), out.data.get(), outChars);
        const bool fits = !name.empty() && name.size() < outChars;
        REQUIRE(written == (fits ? name.size() : 0));
        REQUIRE(out.Holds(fits ? View(name) : View()));
    }
    {
        Out out(outChars);
        const size_t written =
            names::ComposePath(View(directory), View(name), out.data.get(), outChars);
        const std::u16string joined = directory + name;
        const bool fits = !directory.empty() && !name.empty() && joined.size() < outChars;
        REQUIRE(written == (fits ? joined.size() : 0));
        REQUIRE(out.Holds(fits ? View(joined) : View()));
    }
    {
        // As the resource module and help paths are built: the directory of a full path, then
        // a name beside it.
        Out out(outChars);
        const View folder = names::DirectoryPart(View(dataFile));
        const size_t written =
            names::ComposePath(folder, names::FileNamePart(View(name)), out.data.get(), outChars);
        const std::u16string joined =
            std::u16string(ModelDirectory(dataFile)) + std::u16string(ModelFileName(name));
        const bool fits = !ModelDirectory(dataFile).empty() && !ModelFileName(name).empty() &&
                          joined.size() < outChars;
        REQUIRE(written == (fits ? joined.size() : 0));
        REQUIRE(out.Holds(fits ? View(joined) : View()));
    }
    {
        Out out(outChars);
        const size_t written = names::ComposeSettingsPath(View(dataFile), out.data.get(), outChars);
        const bool fits = dataFile.size() >= 3 && dataFile.size() < outChars;
        const std::u16string settings =
            fits ? dataFile.substr(0, dataFile.size() - 3) + u"DAT" : std::u16string();
        REQUIRE(written == settings.size());
        REQUIRE(out.Holds(View(settings)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    WalkAndTest(in);
    Compose(in);
    return 0;
}
