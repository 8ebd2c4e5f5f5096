#include "render/job_envelope.h"

#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace pinprint::render {
namespace {

// The envelope, line by line: a fixed head, the value of one field, a fixed tail. A printer
// whose firmware speaks another dialect of job retention changes these lines and nothing else.
// A PJL JOB resets every PJL SET before it, so the whole envelope is written here and the PPD
// carries no job-control text of its own.
enum class Field : uint8_t { None, JobName, UserName, Digest };
struct EnvelopeLine {
    std::string_view head;
    Field field;
    std::string_view tail;
};
constexpr EnvelopeLine kBeginLines[] = {
    {"\x1B%-12345X@PJL", Field::None, "\r\n"},
    {"@PJL JOB NAME=\"", Field::JobName, "\"\r\n"},
    {"@PJL SET USERNAME=\"", Field::UserName, "\"\r\n"},
    {"@PJL SET JOBNAME=\"", Field::JobName, "\"\r\n"},
    {"@PJL SET HOLD=ON", Field::None, "\r\n"},
    {"@PJL SET HOLDTYPE=PRIVATE", Field::None, "\r\n"},
    // This product's own variable: printers that compare a digest hold the job under it.
    {"@PJL SET HOLDKEYDIGEST=\"", Field::Digest, "\"\r\n"},
    {"@PJL SET QTY=1", Field::None, "\r\n"},
    {"@PJL ENTER LANGUAGE=POSTSCRIPT", Field::None, "\r\n"},
};
constexpr EnvelopeLine kEndLines[] = {
    {"\x1B%-12345X@PJL EOJ NAME=\"", Field::JobName, "\"\r\n"},
    {"\x1B%-12345X", Field::None, ""},
};

constexpr size_t LongestValue(Field field) {
    return field == Field::Digest ? kPinDigestChars : field == Field::None ? 0 : kPrinterNameBytes;
}

template <size_t N>
constexpr size_t LongestEnvelope(const EnvelopeLine (&lines)[N]) {
    size_t total = 0;
    for (const EnvelopeLine& line : lines) {
        total += line.head.size() + LongestValue(line.field) + line.tail.size();
    }
    return total;
}
static_assert(LongestEnvelope(kBeginLines) <= kEnvelopeBeginCapacity);
static_assert(LongestEnvelope(kEndLines) <= kEnvelopeEndCapacity);

template <size_t N>
size_t WriteLines(const EnvelopeLine (&lines)[N], const JobNames& names, const char* digest,
                  char* out) {
    size_t length = 0;
    const auto put = [&](std::string_view text) {
        memcpy(out + length, text.data(), text.size());
        length += text.size();
    };
    for (const EnvelopeLine& line : lines) {
        put(line.head);
        switch (line.field) {
            case Field::JobName:
                put({names.job.text, names.job.length});
                break;
            case Field::UserName:
                put({names.user.text, names.user.length});
                break;
            case Field::Digest:
                put({digest, kPinDigestChars});
                break;
            case Field::None:
                break;
        }
        put(line.tail);
    }
    return length;
}

bool IsRefused(uint32_t c) {
    return c < 0x20 || c == 0x7F || c == '"';
}

// A string field and how many characters it holds.
using NameField = std::pair<const char16_t*, size_t>;

// The first name of `fields` with anything left after cleaning, into `name`.
bool FirstName(std::initializer_list<NameField> fields, PrinterName& name) {
    for (const auto& [field, maxChars] : fields) {
        name = CleanPrinterName(field, maxChars);
        if (name.length != 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

PrinterName CleanPrinterName(const char16_t* field, size_t maxChars) {
    PrinterName name{};
    size_t i = 0;
    while (i < maxChars && field[i] != u'\0') {
        uint32_t c = field[i++];
        if (c >= 0xDC00 && c <= 0xDFFF) {
            continue;  // a low surrogate without its high one
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i == maxChars || field[i] < 0xDC00 || field[i] > 0xDFFF) {
                continue;  // a high surrogate without its low one
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (field[i++] - 0xDC00);
        }
        if (IsRefused(c)) {
            continue;
        }
        char bytes[4];
        size_t count = 0;
        if (c < 0x80) {
            bytes[count++] = static_cast<char>(c);
        } else if (c < 0x800) {
            bytes[count++] = static_cast<char>(0xC0 | (c >> 6));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            bytes[count++] = static_cast<char>(0xE0 | (c >> 12));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            bytes[count++] = static_cast<char>(0xF0 | (c >> 18));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            bytes[count++] = static_cast<char>(0x80 | (c & 0x3F));
        }
        if (name.length + count > kPrinterNameBytes) {
            break;  // cut before the first character that does not fit whole
        }
        memcpy(name.text + name.length, bytes, count);
        name.length += count;
    }
    name.text[name.length] = '\0';
    return name;
}

bool ChooseJobNames(const PrivateDevmode& record, JobNames& names) {
    const bool typed = record.customNames == 1;
    const NameField none = {u"", 0};
    const NameField login = {record.loginName, kNameChars};
    const NameField computer = {record.computerName, kComputerNameChars};
    const NameField user = typed ? NameField{record.userName, kNameChars} : none;
    const NameField job = typed ? NameField{record.jobName, kNameChars} : none;
    const bool haveUser = FirstName({user, login, computer}, names.user);
    const bool haveJob = FirstName({job, computer, login}, names.job);
    return haveUser && haveJob;
}

bool HasHoldKeyDigest(const PrivateDevmode& record) {
    for (size_t i = 0; i < kPinDigestChars; ++i) {
        const char c = record.pinDigest[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return record.pinDigest[kPinDigestChars] == '\0';
}

JobKind PrepareJobEnvelope(const void* record, JobEnvelope& envelope) {
    envelope.beginLength = 0;
    envelope.endLength = 0;
    PrivateDevmode copy;
    memcpy(&copy, record, sizeof(copy));
    ValidatePrivateDevmode(&copy);
    if (copy.secureEnabled != 1) {
        return JobKind::Normal;
    }
    if (!HasHoldKeyDigest(copy)) {
        return JobKind::NoDigest;
    }
    JobNames names;
    if (!ChooseJobNames(copy, names)) {
        return JobKind::NoName;
    }
    envelope.beginLength = WriteLines(kBeginLines, names, copy.pinDigest, envelope.begin);
    envelope.endLength = WriteLines(kEndLines, names, copy.pinDigest, envelope.end);
    return JobKind::Secure;
}

}  // namespace pinprint::render
