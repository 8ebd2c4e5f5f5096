// Feeds arbitrary records to the rendering plug-in's envelope writer. The record is allocated
// exactly 652 bytes long, so that AddressSanitizer catches a read past it. The result must be
// nothing (a normal job, or one that cannot be held) or exactly the envelope, with each name
// the first of its chain that has anything left, cleaned as the printer must receive it.
//
// Input layout:
//   byte 0      control bits:
//                 0x01  secureEnabled forced to 1
//                 0x02  pinDigest made 64 lower-case hexadecimal characters from the input
//                 0x04  customNames forced to 1
//   then        the record's 652 bytes; missing bytes are 0.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "render/job_envelope.h"
#include "fuzz/require.h"

using namespace pinprint;
using namespace pinprint::render;

namespace {

// The code points of a field the printer may receive, in order: whole pairs, no refused
// character.
std::vector<uint32_t> AcceptedCodePoints(const char16_t* field, size_t maxChars) {
    std::vector<uint32_t> points;
    for (size_t i = 0; i < maxChars && field[i] != 0; ++i) {
        const uint32_t unit = field[i];
        uint32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < maxChars && field[i + 1] >= 0xDC00 &&
            field[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((unit - 0xD800) << 10) + (field[++i] - 0xDC00);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            continue;
        }
        if (c >= 0x20 && c != 0x7F && c != '"') {
            points.push_back(c);
        }
    }
    return points;
}

size_t Utf8Length(uint32_t c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Strict UTF-8 decoding (shortest forms, no surrogates); false for anything else.
bool DecodeUtf8(const std::string& text, std::vector<uint32_t>& points) {
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<uint8_t>(text[i]);
        const size_t n = b < 0x80         ? 1
                         : (b >> 5) == 6  ? 2
                         : (b >> 4) == 14 ? 3
                         : (b >> 3) == 30 ? 4
                                          : 0;
        if (n == 0 || i + n > text.size()) {
            return false;
        }
        uint32_t c = n == 1 ? b : b & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const auto t = static_cast<uint8_t>(text[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if (Utf8Length(c) != n || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            return false;
        }
        points.push_back(c);
        i += n;
    }
    return true;
}

struct Source {
    const char16_t* field;
    size_t maxChars;
};

// The name the chain gives, as code points; empty when every field is empty.
std::vector<uint32_t> ExpectedName(std::initializer_list<Source> chain) {
    for (const Source& source : chain) {
        std::vector<uint32_t> points = AcceptedCodePoints(source.field, source.maxChars);
        if (points.empty()) {
            continue;
        }
        std::vector<uint32_t> kept;
        size_t bytes = 0;
        for (uint32_t c : points) {
            if (bytes + Utf8Length(c) > kPrinterNameBytes) {
                break;
            }
            bytes += Utf8Length(c);
            kept.push_back(c);
        }
        return kept;
    }
    return {};
}

// Takes `literal` from the front of `text`; false when it is not there.
bool Take(std::string& text, const std::string& literal) {
    if (text.compare(0, literal.size(), literal) != 0) {
        return false;
    }
    text.erase(0, literal.size());
    return true;
}

// Takes a quoted value up to its closing quote and the line's end.
bool TakeValue(std::string& text, std::string& value) {
    const size_t quote = text.find('"');
    if (quote == std::string::npos || text.compare(quote, 3, "\"\r\n") != 0) {
        return false;
    }
    value = text.substr(0, quote);
    text.erase(0, quote + 3);
    return true;
}

bool IsLowerHex(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t control = size > 0 ? data[0] : 0;
    std::unique_ptr<uint8_t[]> storage(new uint8_t[kPrivateDevmodeSize]());
    if (size > 1) {
        std::memcpy(storage.get(), data + 1, std::min<size_t>(size - 1, kPrivateDevmodeSize));
    }
    auto* raw = reinterpret_cast<PrivateDevmode*>(storage.get());
    if (control & 0x01) {
        raw->secureEnabled = 1;
    }
    if (control & 0x02) {
        for (size_t i = 0; i < kPinDigestChars; ++i) {
            raw->pinDigest[i] = "0123456789abcdef"[static_cast<uint8_t>(raw->pinDigest[i]) & 15];
        }
        raw->pinDigest[kPinDigestChars] = '\0';
    }
    if (control & 0x04) {
        raw->customNames = 1;
    }
    const std::vector<uint8_t> before(storage.get(), storage.get() + kPrivateDevmodeSize);

    auto envelope = std::make_unique<JobEnvelope>();
    const JobKind kind = PrepareJobEnvelope(storage.get(), *envelope);
    // The record is read, never written.
    REQUIRE(std::memcmp(before.data(), storage.get(), kPrivateDevmodeSize) == 0);

    PrivateDevmode record;
    std::memcpy(&record, before.data(), sizeof(record));
    ValidatePrivateDevmode(&record);
    const bool typed = record.customNames == 1;
    const std::vector<uint32_t> user =
        ExpectedName({{typed ? record.userName : u"", typed ? kNameChars : 0},
                      {record.loginName, kNameChars},
                      {record.computerName, kComputerNameChars}});
    const std::vector<uint32_t> job =
        ExpectedName({{typed ? record.jobName : u"", typed ? kNameChars : 0},
                      {record.computerName, kComputerNameChars},
                      {record.loginName, kNameChars}});
    const bool digest = record.pinDigest[kPinDigestChars] == '\0' &&
                        std::strlen(record.pinDigest) == kPinDigestChars &&
                        IsLowerHex(record.pinDigest, kPinDigestChars);
    const JobKind expected = record.secureEnabled != 1     ? JobKind::Normal
                             : !digest                     ? JobKind::NoDigest
                             : user.empty() || job.empty() ? JobKind::NoName
                                                           : JobKind::Secure;
    REQUIRE(kind == expected);
    if (kind != JobKind::Secure) {
        REQUIRE(envelope->beginLength == 0 && envelope->endLength == 0);
        return 0;
    }

    // Exactly the envelope, with the names and the digest in their places.
    REQUIRE(envelope->beginLength <= kEnvelopeBeginCapacity);
    REQUIRE(envelope->endLength <= kEnvelopeEndCapacity);
    std::string begin(envelope->begin, envelope->beginLength);
    std::string end(envelope->end, envelope->endLength);
    std::string jobName, userName, jobName2, digestText, jobName3;
    REQUIRE(Take(begin, "\x1B%-12345X@PJL\r\n@PJL JOB NAME=\"") && TakeValue(begin, jobName));
    REQUIRE(Take(begin, "@PJL SET USERNAME=\"") && TakeValue(begin, userName));
    REQUIRE(Take(begin, "@PJL SET JOBNAME=\"") && TakeValue(begin, jobName2));
    REQUIRE(Take(begin,
                 "@PJL SET HOLD=ON\r\n@PJL SET HOLDTYPE=PRIVATE\r\n"
                 "@PJL SET HOLDKEYDIGEST=\"") &&
            TakeValue(begin, digestText));
    REQUIRE(begin == "@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n");
    REQUIRE(Take(end, "\x1B%-12345X@PJL EOJ NAME=\"") && TakeValue(end, jobName3));
    REQUIRE(end == "\x1B%-12345X");
    REQUIRE(jobName == jobName2 && jobName == jobName3);
    REQUIRE(digestText == std::string(record.pinDigest, kPinDigestChars));
    std::vector<uint32_t> userPoints;
    std::vector<uint32_t> jobPoints;
    REQUIRE(DecodeUtf8(userName, userPoints) && userPoints == user);
    REQUIRE(DecodeUtf8(jobName, jobPoints) && jobPoints == job);
    for (const std::string* name : {&userName, &jobName}) {
        REQUIRE(!name->empty() && name->size() <= kPrinterNameBytes);
        for (char c : *name) {
            const auto b = static_cast<uint8_t>(c);
            REQUIRE(b >= 0x20 && b != 0x7F && b != '"');
        }
    }
    return 0;
}
