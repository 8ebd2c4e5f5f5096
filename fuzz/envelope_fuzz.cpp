// Feeds arbitrary records, allocated exactly 652 bytes long, to the rendering plug-in's
// envelope writer. The result must be nothing (a normal job, or one that cannot be held) or
// exactly the envelope, each name the first of its chain with anything left, cleaned as the
// printer must receive it (a model of the rules below), and the record never written.
//
// Input: byte 0 sets bits that make the interesting records common (0x01 secureEnabled 1, 0x02
// a digest of 64 lower-case hexadecimal characters, 0x04 customNames 1); then the record's
// 652 bytes, missing bytes 0.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "devmode/private_devmode.h"
#include "fuzz/require.h"
#include "render/job_envelope.h"

using namespace pinprint;
using namespace pinprint::render;

namespace {

// The model: a field as the printer may receive it, UTF-8 without the refused characters and
// unpaired surrogates, cut before the first character that does not fit in 80 bytes.
std::string Cleaned(const char16_t* field, size_t maxChars) {
    std::string name;
    for (size_t i = 0; i < maxChars && field[i] != 0; ++i) {
        uint32_t c = field[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < maxChars && field[i + 1] >= 0xDC00 && field[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (field[++i] - 0xDC00);
        } else if ((c >= 0xD800 && c <= 0xDFFF) || c < 0x20 || c == 0x7F || c == '"') {
            continue;
        }
        const int n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        std::string bytes(1, static_cast<char>(n == 1 ? c : (0xF00 >> n) | (c >> (6 * (n - 1)))));
        for (int k = n - 2; k >= 0; --k) {
            bytes += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
        }
        if (name.size() + bytes.size() > kPrinterNameBytes) {
            break;
        }
        name += bytes;
    }
    return name;
}

std::string FirstOf(std::initializer_list<std::pair<const char16_t*, size_t>> chain) {
    for (const auto& [field, maxChars] : chain) {
        if (std::string name = Cleaned(field, maxChars); !name.empty()) {
            return name;
        }
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> storage(new uint8_t[kPrivateDevmodeSize]());
    std::memcpy(storage.get(), data + (size > 0),
                std::min<size_t>(size - (size > 0), kPrivateDevmodeSize));
    auto* raw = reinterpret_cast<PrivateDevmode*>(storage.get());
    const uint8_t control = size > 0 ? data[0] : 0;
    raw->secureEnabled = (control & 0x01) ? 1 : raw->secureEnabled;
    raw->customNames = (control & 0x04) ? 1 : raw->customNames;
    for (size_t i = 0; (control & 0x02) && i <= kPinDigestChars; ++i) {
        raw->pinDigest[i] = i == kPinDigestChars ? 0 : "0123456789abcdef"[raw->pinDigest[i] & 15];
    }
    const std::vector<uint8_t> before(storage.get(), storage.get() + kPrivateDevmodeSize);
    auto envelope = std::make_unique<JobEnvelope>();
    const JobKind kind = PrepareJobEnvelope(storage.get(), *envelope);
    REQUIRE(std::memcmp(before.data(), storage.get(), kPrivateDevmodeSize) == 0);

    // What the record asks for, worked out from a validated copy and the model.
    PrivateDevmode r;
    std::memcpy(&r, before.data(), sizeof(r));
    ValidatePrivateDevmode(&r);
    const size_t typed = r.customNames == 1 ? kNameChars : 0;
    const auto user = FirstOf(
        {{r.userName, typed}, {r.loginName, kNameChars}, {r.computerName, kComputerNameChars}});
    const auto job = FirstOf(
        {{r.jobName, typed}, {r.computerName, kComputerNameChars}, {r.loginName, kNameChars}});
    const std::string digest(r.pinDigest, strnlen(r.pinDigest, sizeof(r.pinDigest)));
    const bool hex = digest.size() == kPinDigestChars &&
                     digest.find_first_not_of("0123456789abcdef") == std::string::npos;
    REQUIRE(kind == (r.secureEnabled != 1          ? JobKind::Normal
                     : !hex                        ? JobKind::NoDigest
                     : user.empty() || job.empty() ? JobKind::NoName
                                                   : JobKind::Secure));
    if (kind != JobKind::Secure) {
        REQUIRE(envelope->beginLength == 0 && envelope->endLength == 0);
        return 0;
    }

    // Whatever the model says, no name may end a PJL string or line, or be longer than 80 bytes.
    for (const std::string* name : {&user, &job}) {
        REQUIRE(name->size() <= kPrinterNameBytes);
        for (const unsigned char c : *name) {
            REQUIRE(c >= 0x20 && c != '"' && c != 0x7F);
        }
    }
    // Exactly the envelope, with the model's names and the record's digest in their places.
    REQUIRE(std::string(envelope->begin, envelope->beginLength) ==
            "\x1B%-12345X@PJL\r\n@PJL JOB NAME=\"" + job + "\"\r\n@PJL SET USERNAME=\"" + user +
                "\"\r\n@PJL SET JOBNAME=\"" + job +
                "\"\r\n@PJL SET HOLD=ON\r\n@PJL SET HOLDTYPE=PRIVATE\r\n@PJL SET HOLDKEYDIGEST=\"" +
                digest + "\"\r\n@PJL SET QTY=1\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n");
    REQUIRE(std::string(envelope->end, envelope->endLength) ==
            "\x1B%-12345X@PJL EOJ NAME=\"" + job + "\"\r\n\x1B%-12345X");
    return 0;
}
