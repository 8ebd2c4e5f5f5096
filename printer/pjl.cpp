#include "printer/pjl.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace pinprint::printer {
namespace {

constexpr char kUel[] = "\x1b%-12345X";
constexpr size_t kUelBytes = sizeof(kUel) - 1;
constexpr char kPageComment[] = "%%Page:";
constexpr size_t kPageCommentBytes = sizeof(kPageComment) - 1;
constexpr size_t kMaxNameBytes = 80;

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}
bool IsNewline(char c) {
    return c == '\n' || c == '\r';
}
// Between lines and jobs: what drivers put there (line ends, Ctrl-D, form feeds).
bool IsFiller(char c) {
    return IsNewline(c) || IsSpace(c) || c == '\x04' || c == '\f';
}

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

// One PJL command line after "@PJL", read left to right. Any step that fails leaves `ok`
// false, and the whole line is then ignored, as printers do.
struct Cursor {
    const std::string& s;
    size_t at = 0;
    bool ok = true;

    void Spaces() {
        while (at < s.size() && IsSpace(s[at])) {
            ++at;
        }
    }
    bool End() {
        Spaces();
        return at == s.size();
    }
    std::string Word() {
        Spaces();
        const size_t start = at;
        while (at < s.size() && (std::isalnum(static_cast<unsigned char>(s[at])) || s[at] == '_' ||
                                 s[at] == '.' || s[at] == '-')) {
            ++at;
        }
        return Upper(s.substr(start, at - start));
    }
    bool Take(char c) {
        Spaces();
        if (at < s.size() && s[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    // A value: a quoted PJL string (bytes 32-255 and tab) or a word. `quoted` says which.
    std::string Value(bool* quoted) {
        Spaces();
        *quoted = at < s.size() && s[at] == '"';
        if (!*quoted) {
            std::string word = Word();
            ok = ok && !word.empty();
            return word;
        }
        const size_t start = ++at;
        while (at < s.size() && s[at] != '"') {
            const unsigned char c = static_cast<unsigned char>(s[at]);
            if (c < 0x20 && c != '\t') {
                ok = false;
                return {};
            }
            ++at;
        }
        if (at == s.size()) {
            ok = false;  // no closing quote
            return {};
        }
        return s.substr(start, at++ - start);
    }
};

bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || i + length > s.size()) {
            return false;
        }
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

bool IsFourDigits(const std::string& s) {
    return s.size() == 4 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Many drivers write HOLD=OFF into every job: alone it asks for no hold.
bool AsksForHold(const Envelope& e) {
    const bool keyed = !e.holdKey.empty() || !e.holdKeyDigest.empty() || e.holdKeyMalformed ||
                       e.holdType == "PRIVATE";
    return e.holdAsked && (e.hold != "OFF" || keyed);
}

Decision Refuse(std::string reason) {
    Decision d;
    d.reason = std::move(reason);
    return d;
}

}  // namespace

bool ParseHexDigest(const std::string& hex, Digest* digest) {
    if (hex.size() != 64) {
        return false;
    }
    for (size_t i = 0; i < 64; ++i) {
        const char c = hex[i];
        const int nibble = c >= '0' && c <= '9'   ? c - '0'
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
        if (nibble < 0) {
            return false;
        }
        (*digest)[i / 2] = static_cast<uint8_t>((*digest)[i / 2] << 4 | nibble);
    }
    return true;
}

std::string CleanName(const std::string& pjlString) {
    std::string utf8;
    if (IsValidUtf8(pjlString)) {
        utf8 = pjlString;
    } else {
        for (unsigned char c : pjlString) {
            if (c < 0x80) {
                utf8 += static_cast<char>(c);
            } else {
                utf8 += static_cast<char>(0xC0 | c >> 6);
                utf8 += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    std::string clean;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == '\t') {
            clean += ' ';
        } else if (c == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            ++i;  // U+0080..U+009F, the C1 controls
        } else if (c >= 0x20 && c != 0x7F) {
            clean += static_cast<char>(c);
        }
    }
    const size_t first = clean.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    clean = clean.substr(first, clean.find_last_not_of(' ') - first + 1);
    if (clean.size() > kMaxNameBytes) {
        size_t cut = kMaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(clean[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        clean.resize(cut);
    }
    return clean;
}

Decision Decide(const Envelope& e) {
    if (e.language != "POSTSCRIPT") {
        return Refuse("the printer reads PostScript only, not ENTER LANGUAGE=" + e.language);
    }
    Decision d;
    d.userName = CleanName(e.userName);
    d.jobName = CleanName(e.jobName.empty() ? e.pjlJobName : e.jobName);
    if (e.holdReset) {
        return Refuse("hold settings before @PJL JOB, which resets them");
    }
    if (!AsksForHold(e)) {
        d.verdict = Verdict::kPrint;
        return d;
    }
    // Every way a hold can be asked for ends held under a key or refused: none prints.
    if (e.hold == "PROOF") {
        return Refuse("HOLD=PROOF would print a copy of a private job");
    }
    if (e.hold == "OFF") {
        return Refuse("HOLD=OFF beside a key or HOLDTYPE=PRIVATE");
    }
    if (!e.holdType.empty() && e.holdType != "PRIVATE") {
        return Refuse("HOLDTYPE=" + e.holdType + ": this printer keeps private jobs only");
    }
    if (e.holdKeyMalformed) {
        return Refuse("a malformed HOLDKEY or HOLDKEYDIGEST line");
    }
    const bool hasKey = !e.holdKey.empty();
    const bool hasDigest = !e.holdKeyDigest.empty();
    if (hasKey && hasDigest) {
        return Refuse("both HOLDKEY and HOLDKEYDIGEST");
    }
    if (!hasKey && !hasDigest) {
        return Refuse("HOLDTYPE=PRIVATE without HOLDKEY or HOLDKEYDIGEST");
    }
    if (hasDigest && !ParseHexDigest(e.holdKeyDigest, &d.digest)) {
        return Refuse("HOLDKEYDIGEST is not 64 hexadecimal characters");
    }
    if (hasKey && !IsFourDigits(e.holdKey)) {
        return Refuse("HOLDKEY is not four digits");
    }
    if (d.userName.empty()) {
        return Refuse("a private job without USERNAME");
    }
    d.clearKey = hasKey;
    d.key = e.holdKey;
    d.verdict = Verdict::kHold;
    return d;
}

void JobReader::Feed(const char* data, size_t size) {
    while (size > 0 && state_ != State::kDead) {
        const size_t used = state_ == State::kPjl ? FeedPjl(data, size) : FeedData(data, size);
        data += used;
        size -= used;
    }
}

void JobReader::Finish() {
    if (state_ == State::kData) {
        if (afterUel_) {
            Fail("the job ends before its closing UEL");
            return;
        }
        Emit(line_.data(), line_.size());
        line_.clear();
        handler_.OnJobEnd(pages_);
        state_ = State::kPjl;
        return;
    }
    if (state_ != State::kPjl) {
        return;
    }
    if (line_ == kUel) {
        line_.clear();
        EndContext();
        return;
    }
    if (!line_.empty()) {
        if (line_.compare(0, kUelBytes, kUel) == 0 || line_.find('\x1b') == std::string::npos) {
            PjlLine(std::move(line_));  // a last line without its line end
        } else {
            Fail("the stream ends inside a UEL");
        }
        line_.clear();
    }
    if (state_ == State::kPjl) {
        EndContext();
    } else if (state_ == State::kData) {
        Finish();
    }
}

void JobReader::Fail(const std::string& reason) {
    state_ = State::kDead;
    line_.clear();
    handler_.OnError(reason);
}

void JobReader::NewContext(bool afterUel) {
    envelope_ = Envelope{};
    headerBytes_ = 0;
    afterUel_ = afterUel;
    jobLike_ = false;
}

bool JobReader::EndContext() {
    if (jobLike_) {
        Fail("the envelope ends before ENTER LANGUAGE");
        return false;
    }
    return true;
}

size_t JobReader::FeedPjl(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (++headerBytes_ > kMaxHeaderBytes) {
            Fail("a PJL header over 64 KiB");
            return i + 1;
        }
        if (line_.empty() && IsFiller(c)) {
            continue;
        }
        if (c == '\n') {
            PjlLine(std::move(line_));
            line_.clear();
            if (state_ != State::kPjl) {
                return i + 1;
            }
            continue;
        }
        line_ += c;
        if (line_.size() > kMaxLineBytes) {
            Fail("a PJL line over 4096 bytes");
            return i + 1;
        }
        // A UEL at a line's start ends this context and begins the next.
        if (line_[0] == '\x1b' && line_.size() <= kUelBytes) {
            if (line_.compare(0, line_.size(), kUel, line_.size()) != 0) {
                Fail("data that is neither PJL nor PostScript");
                return i + 1;
            }
            if (line_.size() == kUelBytes) {
                line_.clear();
                if (!EndContext()) {
                    return i + 1;
                }
                NewContext(true);
            }
            continue;
        }
        // A line can only be PJL, a UEL or PostScript: anything else is refused at its start.
        static constexpr char kPjlStart[] = "@PJL";
        const bool pjl = line_[0] == '@' && line_.size() <= 4
                             ? line_.compare(0, line_.size(), kPjlStart, line_.size()) == 0
                             : line_[0] == '@';
        if (!pjl && line_[0] != '\x1b' &&
            (line_[0] != '%' || (line_.size() == 2 && line_[1] != '!'))) {
            Fail("data that is neither PJL nor PostScript");
            return i + 1;
        }
        // PostScript where PJL was expected: the printer switches to it, as printers do.
        if (line_ == "%!") {
            line_.clear();
            envelope_.language = "POSTSCRIPT";
            StartData();
            Emit("%!", 2);
            return i + 1;
        }
    }
    return size;
}

void JobReader::PjlLine(std::string line) {
    while (!line.empty() && IsNewline(line.back())) {
        line.pop_back();
    }
    if (line.find(kUel) != std::string::npos) {
        Fail("a UEL inside a PJL command");
        return;
    }
    if (line.compare(0, 4, "@PJL") != 0 || (line.size() > 4 && !IsSpace(line[4]))) {
        if (line.find_first_not_of(" \t\x04\f") == std::string::npos) {
            return;
        }
        Fail("data that is neither PJL nor PostScript");
        return;
    }
    Cursor in{line, 4};
    const std::string command = in.Word();
    if (command == "JOB") {
        jobLike_ = true;
        std::string name;
        while (in.ok && !in.End()) {
            const std::string option = in.Word();
            bool quoted = false;
            in.ok = in.ok && !option.empty() && in.Take('=');
            const std::string value = in.ok ? in.Value(&quoted) : std::string();
            if (option == "NAME") {
                name = value;
                in.ok = in.ok && quoted;
            }
        }
        if (!in.ok) {
            return;
        }
        // JOB starts the job afresh: what SET said before it no longer holds.
        const bool holdBefore = AsksForHold(envelope_) || envelope_.holdReset;
        envelope_ = Envelope{};
        envelope_.holdReset = holdBefore;
        envelope_.pjlJobName = name;
    } else if (command == "SET") {
        jobLike_ = true;
        const std::string variable = in.Word();
        const bool holdVariable = variable.compare(0, 4, "HOLD") == 0;
        const bool keyVariable = variable == "HOLDKEY" || variable == "HOLDKEYDIGEST";
        envelope_.holdAsked = envelope_.holdAsked || holdVariable;
        bool quoted = false;
        in.ok = in.ok && !variable.empty() && in.Take('=');
        const std::string value = in.ok ? in.Value(&quoted) : std::string();
        const bool wantsString = variable == "USERNAME" || variable == "JOBNAME" || keyVariable;
        if (!in.ok || !in.End() || (wantsString && !quoted)) {
            envelope_.holdKeyMalformed = envelope_.holdKeyMalformed || keyVariable;
            return;
        }
        if (variable == "USERNAME") {
            envelope_.userName = value;
        } else if (variable == "JOBNAME") {
            envelope_.jobName = value;
        } else if (variable == "HOLD") {
            envelope_.hold = Upper(value);
        } else if (variable == "HOLDTYPE") {
            envelope_.holdType = Upper(value);
        } else if (variable == "HOLDKEY") {
            envelope_.holdKey = value;
        } else if (variable == "HOLDKEYDIGEST") {
            envelope_.holdKeyDigest = value;
        }
    } else if (command == "ENTER") {
        jobLike_ = true;
        bool quoted = false;
        in.ok = in.Word() == "LANGUAGE" && in.Take('=');
        const std::string language = in.ok ? in.Value(&quoted) : std::string();
        if (in.ok && !quoted && in.End()) {
            envelope_.language = language;
            StartData();
        }
    }
    // Every other command (EOJ, COMMENT, ECHO, INFO, DEFAULT, ...) changes nothing here.
}

void JobReader::StartData() {
    state_ = State::kData;
    pages_ = 0;
    pageCarry_ = "\n";  // the data starts at a line's start
    skipping_ = !handler_.OnEnvelope(envelope_);
}

void JobReader::Emit(const char* data, size_t size) {
    if (size == 0) {
        return;
    }
    CountPages(data, size);
    if (!skipping_ && !handler_.OnData(data, size)) {
        skipping_ = true;
    }
}

void JobReader::CountPages(const char* data, size_t size) {
    // Matches that start in the bytes kept from before and end in these.
    const size_t kept = pageCarry_.size();
    std::string join = pageCarry_ + std::string(data, std::min(size, kPageCommentBytes + 1));
    for (size_t p = 1; p <= kept && p + kPageCommentBytes <= join.size(); ++p) {
        if (p + kPageCommentBytes > kept && IsNewline(join[p - 1]) &&
            join.compare(p, kPageCommentBytes, kPageComment) == 0) {
            ++pages_;
        }
    }
    // Matches wholly in these bytes, line start included.
    const std::string_view piece(data, size);
    for (size_t at = piece.find(kPageComment, 1); at != std::string_view::npos;
         at = piece.find(kPageComment, at + 1)) {
        pages_ += IsNewline(piece[at - 1]) ? 1 : 0;
    }
    join =
        pageCarry_ + std::string(data + size - std::min(size, kPageCommentBytes + 1), data + size);
    pageCarry_ = join.substr(join.size() - std::min(join.size(), kPageCommentBytes + 1));
}

size_t JobReader::FeedData(const char* data, size_t size) {
    // Bytes held back at the last piece's end that may begin a UEL.
    size_t used = 0;
    while (!line_.empty() && line_.size() < kUelBytes && used < size) {
        line_ += data[used++];
        if (line_.compare(0, line_.size(), kUel, line_.size()) != 0) {
            const bool lastIsEscape = line_.back() == '\x1b';
            Emit(line_.data(), line_.size() - (lastIsEscape ? 1 : 0));
            line_ = lastIsEscape ? "\x1b" : "";
        }
    }
    if (line_.size() == kUelBytes) {
        line_.clear();
        handler_.OnJobEnd(pages_);
        state_ = State::kPjl;
        NewContext(true);
        return used;
    }
    const char* at = data + used;
    const char* end = data + size;
    while (at < end) {
        const char* escape = static_cast<const char*>(memchr(at, '\x1b', end - at));
        if (escape == nullptr) {
            Emit(at, end - at);
            return size;
        }
        Emit(at, escape - at);
        const size_t left = end - escape;
        if (left >= kUelBytes && memcmp(escape, kUel, kUelBytes) == 0) {
            handler_.OnJobEnd(pages_);
            state_ = State::kPjl;
            NewContext(true);
            return escape + kUelBytes - data;
        }
        if (left < kUelBytes && memcmp(escape, kUel, left) == 0) {
            line_.assign(escape, left);
            return size;
        }
        Emit(escape, 1);
        at = escape + 1;
    }
    return size;
}

}  // namespace pinprint::printer
