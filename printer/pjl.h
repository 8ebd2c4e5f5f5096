// The raw port's input: a PJL envelope around PostScript, read as a stream. Platform-neutral
// (the standard library only), so that it fuzzes natively.
//
// A job on the raw port is a UEL (ESC %-12345X), PJL command lines, `@PJL ENTER
// LANGUAGE=POSTSCRIPT`, the PostScript, and a UEL that ends it; what follows that UEL (the
// `@PJL EOJ` line and a last UEL, or the next job) is read as the next PJL context. A job may
// also be bare PostScript, or PJL lines without a UEL before them; those end with the
// connection.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pinprint::printer {

using Digest = std::array<uint8_t, 32>;

// What one job's PJL lines asked for. The strings are as sent (PJL strings: bytes 32-255 and
// tab); HOLDKEY and HOLDKEYDIGEST stay text until Decide judges them.
struct Envelope {
    std::string userName;           // SET USERNAME
    std::string jobName;            // SET JOBNAME
    std::string pjlJobName;         // JOB NAME=
    std::string language;           // ENTER LANGUAGE; "POSTSCRIPT" for bare PostScript
    std::string hold;               // SET HOLD, upper case
    std::string holdType;           // SET HOLDTYPE, upper case
    std::string holdKey;            // SET HOLDKEY
    std::string holdKeyDigest;      // SET HOLDKEYDIGEST
    bool holdAsked = false;         // a HOLD* variable was named, even on a malformed line
    bool holdKeyMalformed = false;  // a HOLDKEY* line that could not be read
    bool holdReset = false;         // hold variables set before a JOB command, which resets them
};

enum class Verdict { kPrint, kHold, kRefuse };

struct Decision {
    Verdict verdict = Verdict::kRefuse;
    std::string reason;    // kRefuse: why, in words for the sender and the log
    std::string userName;  // cleaned (CleanName)
    std::string jobName;
    bool clearKey = false;  // kHold under HOLDKEY: `key` holds its four digits, to be hashed
    std::string key;
    Digest digest{};  // kHold under HOLDKEYDIGEST
};

// A job that asks for any hold is held only under one private key (HOLDKEY of four digits or a
// 64-hex HOLDKEYDIGEST) and with a user name; otherwise it is refused. A job that asks for no
// hold (HOLD=OFF with no key and no HOLDTYPE=PRIVATE counts as none) prints at once.
Decision Decide(const Envelope& envelope);

// A PJL string as a name: UTF-8 (a string that is not UTF-8 is read as Latin-1), tabs as
// spaces, no control characters, trimmed, at most 80 bytes cut at a character boundary.
std::string CleanName(const std::string& pjlString);

// 64 hexadecimal characters, either case, as the 32 bytes they spell.
bool ParseHexDigest(const std::string& hex, Digest* digest);

class JobReader {
  public:
    class Handler {
      public:
        virtual ~Handler() = default;
        // The envelope is complete and the PostScript starts: false skips the job's data.
        virtual bool OnEnvelope(const Envelope& envelope) = 0;
        // PostScript, the envelope removed: false skips the rest of the job's data.
        virtual bool OnData(const char* data, size_t size) = 0;
        // The job's data is complete; `pages` counts its DSC %%Page: comments.
        virtual void OnJobEnd(int pages) = 0;
        // The stream cannot be read on; nothing more is reported for it.
        virtual void OnError(const std::string& reason) = 0;
    };

    static constexpr size_t kMaxHeaderBytes = 64 * 1024;
    static constexpr size_t kMaxLineBytes = 4096;

    explicit JobReader(Handler& handler) : handler_(handler) {}

    // What the connection gives, in pieces of any size.
    void Feed(const char* data, size_t size);
    // The connection ended.
    void Finish();
    bool Failed() const { return state_ == State::kDead; }
    // Inside a job: its header begun, or its data.
    bool InJob() const { return state_ == State::kData || (state_ == State::kPjl && jobLike_); }

  private:
    enum class State { kPjl, kData, kDead };

    size_t FeedPjl(const char* data, size_t size);
    size_t FeedData(const char* data, size_t size);
    bool EndContext();  // at a UEL or the end: false when a job's header was cut short
    void NewContext(bool afterUel);
    void PjlLine(std::string line);
    void StartData();
    void Emit(const char* data, size_t size);
    void CountPages(const char* data, size_t size);
    void Fail(const std::string& reason);

    Handler& handler_;
    State state_ = State::kPjl;
    Envelope envelope_;
    std::string line_;  // kPjl: the line being read; kData: a UEL's first bytes held back
    size_t headerBytes_ = 0;
    bool afterUel_ = false;  // this context began with a UEL, so its data must end with one
    bool jobLike_ = false;   // this context has JOB, SET or ENTER: a job's header
    bool skipping_ = false;  // the handler declined the job's data
    int pages_ = 0;
    std::string pageCarry_;  // the last bytes of data, for a %%Page: split across pieces
};

}  // namespace pinprint::printer
