// Feeds arbitrary bytes to the raw port's envelope reader, once whole and once in pieces whose
// sizes the input's first byte picks, and checks:
//   - the two readings report exactly the same (the reader does not depend on how the socket
//     splits the stream);
//   - no PostScript handed on contains a UEL (the envelope is always removed);
//   - every decision keeps its promise: a job asking for any hold is held under a key or
//     refused, never printed; the names are UTF-8 without control characters, at most 80 bytes.
#include "printer/pjl.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace pinprint::printer;

namespace {

#define REQUIRE(condition)                                        \
    do {                                                          \
        if (!(condition)) {                                       \
            fprintf(stderr, "pjl_fuzz: %s failed\n", #condition); \
            abort();                                              \
        }                                                         \
    } while (0)

void RequireCleanName(const std::string& name) {
    REQUIRE(name.size() <= 80);
    for (unsigned char c : name) {
        REQUIRE(c >= 0x20 && c != 0x7F);
    }
}

// Everything the reader reported, in order.
struct Transcript : JobReader::Handler {
    std::string events;
    std::string data;

    bool OnEnvelope(const Envelope& e) override {
        const Decision d = Decide(e);
        // HOLD=OFF alone (no key, no HOLDTYPE=PRIVATE) asks for no hold.
        REQUIRE(!(e.holdAsked && d.verdict == Verdict::kPrint) ||
                (e.hold == "OFF" && e.holdKey.empty() && e.holdKeyDigest.empty() &&
                 !e.holdKeyMalformed && e.holdType != "PRIVATE"));
        if (d.verdict == Verdict::kHold) {
            REQUIRE(d.clearKey ? d.key.size() == 4 : !e.holdKeyDigest.empty());
            REQUIRE(!d.userName.empty());
        }
        RequireCleanName(d.userName);
        RequireCleanName(d.jobName);
        events += "E" + std::to_string(static_cast<int>(d.verdict)) + d.reason + "|";
        data.clear();
        return true;
    }
    bool OnData(const char* p, size_t n) override {
        data.append(p, n);
        return true;
    }
    void OnJobEnd(int pages) override {
        REQUIRE(data.find("\x1b%-12345X") == std::string::npos);
        events += "J" + std::to_string(pages) + ":" + std::to_string(data.size()) + ":" +
                  std::to_string(std::hash<std::string>{}(data)) + "|";
    }
    void OnError(const std::string& reason) override { events += "X" + reason + "|"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t piece = 1 + bytes[0] % 16;
    const char* data = reinterpret_cast<const char*>(bytes + 1);
    const size_t length = size - 1;

    Transcript whole;
    JobReader wholeReader(whole);
    wholeReader.Feed(data, length);
    wholeReader.Finish();

    Transcript pieces;
    JobReader piecesReader(pieces);
    for (size_t at = 0; at < length; at += piece) {
        piecesReader.Feed(data + at, std::min(piece, length - at));
    }
    piecesReader.Finish();
    REQUIRE(whole.events == pieces.events);
    return 0;
}
