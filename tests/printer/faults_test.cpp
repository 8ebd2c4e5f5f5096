// Malformed input on the raw port gets a clear refusal, a job Ghostscript cannot read ends
// aborted with the reason, a sender that stalls is cut off, and the printer goes on serving.
#include <arpa/inet.h>
#include <cups/ipp.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

const std::string kUel = "\x1b%-12345X";
const std::string kJob = SecureJob("ann", "Report", PinDigest("1234"), PostScript("Report"));

struct Case {
    const char* input;
    std::string bytes;
    const char* reply;
};

TEST(Faults, MalformedInputIsRefusedAndThePrinterGoesOn) {
    PrinterServer server;
    ASSERT_TRUE(server.Start());
    std::string pjl = kUel;
    while (pjl.size() < (10u << 20)) {
        pjl += "@PJL COMMENT padding\r\n";
    }
    const Case cases[] = {
        {"envelope cut before ENTER LANGUAGE", kJob.substr(0, kJob.find("@PJL SET HOLD=")),
         "refused: the envelope ends before ENTER LANGUAGE"},
        {"PostScript cut before the closing UEL", kJob.substr(0, kJob.rfind("%%EOF")),
         "refused: the job ends before its closing UEL"},
        {"a UEL inside a string",
         kUel + "@PJL\r\n@PJL SET JOBNAME=\"a" + kUel + "@PJL ENTER LANGUAGE=POSTSCRIPT\"\r\n" +
             kJob,
         "refused: a UEL inside a PJL command"},
        {"10 MB of PJL", pjl, "refused: a PJL header over 64 KiB"},
        {"a PJL line without end", kUel + "@PJL COMMENT " + std::string(1 << 20, 'x'),
         "refused: a PJL line over 4096 bytes"},
        {"binary noise", std::string(1 << 20, '\x9c').replace(0, 5, "\x01\xff\x00z\x1b", 5),
         "refused: data that is neither PJL nor PostScript"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(server.Send(c.bytes), c.reply) << c.input;
    }
    // A job Ghostscript cannot interpret ends aborted with the reason; the next one prints.
    EXPECT_EQ(server.Send("%!PS\n/Helvetica findfont 12 scalefont setfont nosuchoperator\n"),
              "printing 1");
    EXPECT_EQ(server.Send(PostScript("After")), "printing 2");
    ASSERT_TRUE(server.WaitForOutputs(1));
    const IppResult aborted = server.JobAttributes(1);
    EXPECT_EQ(aborted.state, "aborted");
    EXPECT_NE(aborted.reasons.find("Ghostscript: Error: /undefined in nosuchoperator"),
              std::string::npos)
        << aborted.reasons;
    EXPECT_EQ(server.Outputs(), std::vector<std::string>{"2-Untitled.pdf"});
    EXPECT_EQ(server.Send(kJob), "held 3");
    // A folder where jobs 4's and 5's records go: unrecorded, neither is acknowledged.
    for (const char* id : {"4", "5"}) {
        mkdir((server.spool + "/jobs/" + id + ".job.tmp").c_str(), 0700);
    }
    EXPECT_EQ(server.Send(kJob), "refused: the printer cannot queue the job");
    EXPECT_EQ(server.Print("bob", "B", PostScript("B"), "2468").status, IPP_STATUS_ERROR_INTERNAL);
    EXPECT_EQ(server.Held().size(), 1u);
    for (const char* hours : {"0", "-1"}) {  // refused (2) before the spool is looked at
        EXPECT_EQ(RunProgram({PINPRINT_PRINTER, "server", "--spool", "/no/such", "--output",
                              "/no/such", "--hold-hours", hours})
                      .status,
                  2);
    }
}

TEST(Faults, ASenderThatStallsIsCutOffWhileOthersPrint) {
    PrinterServer server({"--raw-timeout", "2"});
    ASSERT_TRUE(server.Start());
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.rawPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    const std::string half = kJob.substr(0, kJob.size() / 2);
    ASSERT_EQ(send(fd, half.data(), half.size(), 0), static_cast<ssize_t>(half.size()));
    EXPECT_EQ(server.Send(kJob), "held 1");  // meanwhile
    char reply[256] = {};
    const ssize_t n = recv(fd, reply, sizeof(reply) - 1, 0);  // the printer's answer, then EOF
    EXPECT_STREQ(reply, "refused: the sender sent nothing for 2 s\n") << n;
    EXPECT_EQ(recv(fd, reply, sizeof(reply), 0), 0);
    close(fd);
    EXPECT_EQ(server.Held().size(), 1u);
}

}  // namespace
