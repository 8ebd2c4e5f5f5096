// One table of jobs in by both roads, each held, printed at once or refused; none refused is
// ever printed.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <iostream>

#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

enum class Outcome { kHeld, kPrinted, kRefused };
const char* Name(Outcome o) {
    return o == Outcome::kHeld ? "held" : o == Outcome::kPrinted ? "printed" : "refused";
}

const std::string kPs = PostScript("Table");
const std::string kDigest = PinDigest("1234");
const std::string kUel = "\x1b%-12345X";

std::string Lines(std::vector<std::string> lines) {
    return JobWithLines(lines, kPs);
}
std::vector<std::string> Private(std::vector<std::string> key) {
    std::vector<std::string> lines = {"@PJL JOB NAME=\"T\"", "@PJL SET USERNAME=\"ann\"",
                                      "@PJL SET HOLD=ON", "@PJL SET HOLDTYPE=PRIVATE"};
    lines.insert(lines.end(), key.begin(), key.end());
    return lines;
}
const std::string kKey = "@PJL SET HOLDKEYDIGEST=\"" + kDigest + "\"";

struct RawCase {
    const char* input;
    std::string job;
    Outcome outcome;
};

const RawCase kRawCases[] = {
    {"the plug-in's envelope", SecureJob("Ann Smith", "Q3 report", kDigest, kPs), Outcome::kHeld},
    {"HOLDKEY=\"1234\", hashed by the printer", Lines(Private({"@PJL SET HOLDKEY=\"1234\""})),
     Outcome::kHeld},
    {"HOLD=STORE", Lines({"@PJL SET USERNAME=\"ann\"", "@PJL SET HOLD=STORE", kKey}),
     Outcome::kHeld},
    {"HOLDKEYDIGEST in upper case",
     Lines(Private(
         {"@PJL SET "
          "HOLDKEYDIGEST=\"03AC674216F3E15C761EE1A5E255F067953623C8B388B4459E13F978D7C846F4\""})),
     Outcome::kHeld},
    {"spaces around =, LF line ends, commands in mixed case, HOLD=On without HOLDTYPE",
     kUel +
         "@PJL\n@PJL set username = \"ann\"\n@PJL Set Hold = On\n@PJL SET HOLDKEY = \"1234\"\n"
         "@PJL ENTER LANGUAGE = POSTSCRIPT\n" +
         kPs + kUel,
     Outcome::kHeld},
    {"unknown commands and variables",
     Lines(Private({"@PJL COMMENT x", "@PJL SET RESOLUTION=600",
                    "@PJL SET LPARM:POSTSCRIPT PRTPSERRS=ON", kKey})),
     Outcome::kHeld},
    {"no hold", Lines({"@PJL JOB NAME=\"T\"", "@PJL SET USERNAME=\"ann\""}), Outcome::kPrinted},
    {"bare PostScript", kPs, Outcome::kPrinted},
    {"HOLD=OFF alone", Lines({"@PJL SET USERNAME=\"ann\"", "@PJL SET HOLD=OFF"}),
     Outcome::kPrinted},
    {"HOLD=OFF with HOLDKEYDIGEST", Lines({"@PJL SET USERNAME=\"ann\"", "@PJL SET HOLD=OFF", kKey}),
     Outcome::kRefused},
    {"HOLDTYPE=PRIVATE, no key", Lines(Private({})), Outcome::kRefused},
    {"HOLDKEYDIGEST of 63 characters",
     Lines(Private({"@PJL SET HOLDKEYDIGEST=\"" + kDigest.substr(1) + "\""})), Outcome::kRefused},
    {"HOLDKEY of five digits", Lines(Private({"@PJL SET HOLDKEY=\"12345\""})), Outcome::kRefused},
    {"HOLDKEY not quoted", Lines(Private({"@PJL SET HOLDKEY=1234"})), Outcome::kRefused},
    {"HOLDKEYDIGEST string not closed", Lines(Private({"@PJL SET HOLDKEYDIGEST=\"" + kDigest})),
     Outcome::kRefused},
    {"hold set before @PJL JOB, which resets it",
     Lines({"@PJL SET HOLD=ON", kKey, "@PJL JOB NAME=\"T\"", "@PJL SET USERNAME=\"ann\""}),
     Outcome::kRefused},
    {"HOLDTYPE=PUBLIC",
     Lines({"@PJL SET USERNAME=\"ann\"", "@PJL SET HOLD=ON", "@PJL SET HOLDTYPE=PUBLIC"}),
     Outcome::kRefused},
    {"HOLD=PROOF", Lines({"@PJL SET USERNAME=\"ann\"", "@PJL SET HOLD=PROOF", kKey}),
     Outcome::kRefused},
    {"no USERNAME", Lines({"@PJL SET HOLD=ON", "@PJL SET HOLDTYPE=PRIVATE", kKey}),
     Outcome::kRefused},
    {"HOLDKEY and HOLDKEYDIGEST", Lines(Private({"@PJL SET HOLDKEY=\"1234\"", kKey})),
     Outcome::kRefused},
    {"ENTER LANGUAGE=PCL", kUel + "@PJL\r\n@PJL ENTER LANGUAGE=PCL\r\n" + kPs + kUel,
     Outcome::kRefused},
    {"@pjl in lower case",
     kUel + "@pjl set hold=on\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n" + kPs + kUel,
     Outcome::kRefused},
};

struct IppCase {
    const char* input;
    std::string password, encryption;
    bool createJob;
    std::vector<std::pair<std::string, std::string>> keywords;
    Outcome outcome;
};

const IppCase kIppCases[] = {
    {"Print-Job, job-password \"1234\", none", "1234", "none", false, {}, Outcome::kHeld},
    {"Print-Job, job-password \"1234\", no encryption given",
     "1234",
     "",
     false,
     {},
     Outcome::kHeld},
    {"Print-Job, 32 digest bytes, sha2-256",
     PinDigest("1234", true),
     "sha2-256",
     false,
     {},
     Outcome::kHeld},
    {"Create-Job \"1234\" none, then Send-Document", "1234", "none", true, {}, Outcome::kHeld},
    {"Print-Job, no job-password", "", "", false, {}, Outcome::kPrinted},
    {"job-password \"12345\", none", "12345", "none", false, {}, Outcome::kRefused},
    {"31 bytes, sha2-256",
     PinDigest("1234", true).substr(1),
     "sha2-256",
     false,
     {},
     Outcome::kRefused},
    {"job-password-encryption md5", "1234", "md5", false, {}, Outcome::kRefused},
    {"job-password-encryption, no job-password", "", "none", false, {}, Outcome::kRefused},
    {"job-hold-until indefinite, no job-password",
     "",
     "",
     false,
     {{"job-hold-until", "indefinite"}},
     Outcome::kRefused},
};

TEST(IntakeTable, EachInputIsHeldPrintedOrRefused) {
    PrinterServer server;
    ASSERT_TRUE(server.Start()) << server.Log();
    size_t held = 0, printed = 0;
    const auto check = [&](const std::string& input, Outcome expected, Outcome got,
                           const std::string& answer) {
        std::cout << "| " << input << " | " << Name(got) << " | " << answer << " |\n";
        EXPECT_EQ(Name(got), Name(expected)) << input << ": " << answer;
        held += got == Outcome::kHeld;
        printed += got == Outcome::kPrinted;
        EXPECT_EQ(server.Held().size(), held) << input;
        EXPECT_TRUE(server.WaitForOutputs(printed, 10)) << input;
    };
    for (const RawCase& c : kRawCases) {
        const std::string reply = server.Send(c.job);
        const Outcome got = reply.rfind("held ", 0) == 0       ? Outcome::kHeld
                            : reply.rfind("printing ", 0) == 0 ? Outcome::kPrinted
                                                               : Outcome::kRefused;
        check(std::string("raw: ") + c.input, c.outcome, got, reply);
    }
    for (const IppCase& c : kIppCases) {
        const IppResult r =
            server.Print("ipp-user", "T", kPs, c.password, c.encryption, c.createJob, c.keywords);
        const Outcome got = r.status == IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES ? Outcome::kRefused
                            : r.state == "pending-held"                       ? Outcome::kHeld
                                                                              : Outcome::kPrinted;
        check(std::string("IPP: ") + c.input, c.outcome, got,
              ippErrorString(static_cast<ipp_status_t>(r.status)) + std::string(", ") + r.state +
                  " " + r.reasons);
    }
    // Nothing refused printed later.
    sleep(1);
    EXPECT_EQ(server.Outputs().size(), printed);
}

}  // namespace
