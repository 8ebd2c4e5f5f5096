// The secure job's whole road at the printer: in by the raw port (the plug-in's envelope) and by
// IPP (ipptool for a clear job-password, libcups for the 32 bytes of a sha2-256 one), listed by
// name, refused with a wrong PIN, printed with the right one.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <fstream>

#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

class RoadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.Start()) << server.Log(); }

    // The held job of `user` is listed, a wrong PIN is refused with the tries left, and `pin`
    // prints it as <id>-<job name>.pdf, whose text is the job's.
    void ExpectReleasedOnlyByPin(int id, const std::string& user, const std::string& job,
                                 const std::string& pin) {
        const auto held = server.Held();
        ASSERT_EQ(held.size(), 1u);
        EXPECT_NE(held[0].find(user), std::string::npos) << held[0];
        EXPECT_NE(held[0].find(job), std::string::npos) << held[0];
        const CommandResult wrong = server.Command({"release", "--user", user, "--pin", "0000"});
        EXPECT_EQ(wrong.status, 1);
        EXPECT_EQ(wrong.output, "Wrong PIN. 4 tries left.\n");
        EXPECT_TRUE(server.Outputs().empty());
        const CommandResult right = server.Command({"release", "--user", user, "--pin", pin});
        EXPECT_EQ(right.status, 0) << right.output;
        ASSERT_TRUE(server.WaitForOutputs(1));
        const std::string pdf = std::to_string(id) + "-" + job + ".pdf";
        EXPECT_EQ(server.Outputs(), std::vector<std::string>{pdf});
        const CommandResult text =
            RunProgram({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=txtwrite",
                        "-sOutputFile=-", server.output + "/" + pdf});
        EXPECT_NE(text.output.find(job), std::string::npos);
        EXPECT_TRUE(server.Held().empty());
        // The digest is never shown or logged at the default level.
        EXPECT_EQ(server.Log().find(PinDigest(pin)), std::string::npos);
    }

    PrinterServer server;
};

TEST_F(RoadTest, RawPortHoldsThePluginsEnvelope) {
    const std::string job =
        SecureJob("Ann Smith", "Q3 report", PinDigest("1234"), PostScript("Q3 report", 2));
    EXPECT_EQ(server.Send(job), "held 1");
    EXPECT_NE(server.Held()[0].find("  2  "), std::string::npos) << "two pages";
    ExpectReleasedOnlyByPin(1, "Ann Smith", "Q3 report", "1234");
}

TEST_F(RoadTest, IpptoolPrintJobWithAClearJobPassword) {
    const std::string document = server.folder + "/doc.ps";
    std::ofstream(document) << PostScript("Budget");
    const std::string test = server.folder + "/print.test";
    std::ofstream(test) << R"({
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name bob
  ATTR name job-name Budget
  ATTR mimeMediaType document-format application/postscript
  ATTR octetString job-password "2468"
  ATTR keyword job-password-encryption none
  FILE $filename
  STATUS successful-ok
  EXPECT job-state OF-TYPE enum WITH-VALUE 4
  EXPECT job-state-reasons WITH-VALUE job-password-wait
})";
    const CommandResult ipptool = RunProgram({"ipptool", "-t", "-f", document, server.uri, test});
    EXPECT_EQ(ipptool.status, 0) << ipptool.output;
    ExpectReleasedOnlyByPin(1, "bob", "Budget", "2468");
}

TEST_F(RoadTest, LibcupsPrintJobWithASha256JobPassword) {
    const IppResult printed =
        server.Print("carol", "Plan", PostScript("Plan"), PinDigest("1357", true), "sha2-256");
    EXPECT_EQ(printed.status, IPP_STATUS_OK);
    EXPECT_EQ(server.JobAttributes(printed.jobId).state, "pending-held");
    EXPECT_EQ(server.JobAttributes(printed.jobId).reasons.find("job-password-wait"), 0u);
    ExpectReleasedOnlyByPin(printed.jobId, "carol", "Plan", "1357");
}

}  // namespace
