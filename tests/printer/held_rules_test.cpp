// Held jobs as people need them: nothing overwrites a held job, one PIN releases every job of
// its user that it opens, wrong tries are counted per job and delete it at the limit, the hold
// time deletes it, and everything held survives a restart and a kill -9.
#include <cups/cups.h>
#include <gtest/gtest.h>

#include "printer/control.h"
#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

std::string Job(const std::string& user, const std::string& name, const std::string& pin) {
    return SecureJob(user, name, PinDigest(pin), PostScript(name));
}

TEST(HeldRules, SameNamesAreTwoJobsAndOnePinReleasesEachOnce) {
    PrinterServer server;
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Send(Job("ann", "Report", "1111")), "held 1");
    EXPECT_EQ(server.Send(Job("ann", "Report", "2222")), "held 2");
    EXPECT_EQ(server.Send(Job("ann", "Memo", "1111")), "held 3");
    EXPECT_EQ(server.Send(Job("bob", "Report", "1111")), "held 4");
    const auto held = server.Held();
    ASSERT_EQ(held.size(), 4u);
    EXPECT_EQ(held[0].substr(0, 14), "3   ann   Memo");  // by user name, then job name
    const CommandResult r = server.Command({"release", "--user", "ann", "--pin", "1111"});
    EXPECT_EQ(r.output,
              "Released 2 jobs of ann: \"Report\" (1) and \"Memo\" (3). Wrong PIN for "
              "\"Report\" (2): 4 tries left.\n");
    ASSERT_TRUE(server.WaitForOutputs(2));
    EXPECT_EQ(server.Outputs(), (std::vector<std::string>{"1-Report.pdf", "3-Memo.pdf"}));
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "1111"}).status, 1);
    EXPECT_EQ(server.Held().size(), 2u);  // ann's other Report and bob's stay
}

TEST(HeldRules, WrongPinsAreCountedPerJobAndDeleteAtTheLimit) {
    PrinterServer server({"--max-wrong-pins", "3"});
    ASSERT_TRUE(server.Start());
    server.Send(Job("ann", "Old", "1234"));
    // Not on the network port.
    http_t* http = httpConnect2("127.0.0.1", server.ippPort, nullptr, AF_INET,
                                HTTP_ENCRYPTION_NEVER, 1, 10000, nullptr);
    ipp_t* request = ippNewRequest(pinprint::printer::kOpReleaseHeldJobs);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 server.uri.c_str());
    ippDelete(cupsDoRequest(http, request, "/ipp/print"));
    httpClose(http);
    EXPECT_EQ(cupsLastError(), IPP_STATUS_ERROR_FORBIDDEN);
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "9999"}).output,
              "Wrong PIN. 2 tries left.\n");
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "1234", "--job", "x"}).status,
              2);  // not job 0, every job
    server.Send(Job("ann", "New", "1234"));
    // A named job's wrong PIN counts against it alone; an unnamed one against each.
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "9999", "--job", "2"}).output,
              "Wrong PIN. 2 tries left.\n");
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "9999", "--job", "1"}).output,
              "Wrong PIN. 1 try left.\n");
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "9999"}).output,
              "Wrong PIN. \"New\" (2): 1 try left. \"Old\" (1) was deleted after 3 wrong PINs.\n");
    ASSERT_EQ(server.Held().size(), 1u);
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "1234"}).status, 0);
    ASSERT_TRUE(server.WaitForOutputs(1));
    EXPECT_EQ(server.Outputs(), std::vector<std::string>{"2-New.pdf"});
}

TEST(HeldRules, AJobNotReleasedWithinTheHoldTimeIsDeleted) {
    PrinterServer server({"--hold-hours", "0.0005"});  // 1.8 s
    ASSERT_TRUE(server.Start());
    server.Send(Job("ann", "Late", "1234"));
    ASSERT_EQ(server.Held().size(), 1u);
    sleep(4);
    EXPECT_TRUE(server.Held().empty());
    EXPECT_EQ(server.Command({"release", "--user", "ann", "--pin", "1234"}).output,
              "No held jobs for ann.\n");
    EXPECT_NE(server.Log().find("Held job 1 of ann deleted: not released within"),
              std::string::npos);
}

TEST(HeldRules, HeldJobsSurviveARestartAndAKill) {
    PrinterServer server;
    ASSERT_TRUE(server.Start());
    server.Send(Job("Ann Smith", "Q3 report", "1234"));
    EXPECT_EQ(server.Print("bob", "Budget", PostScript("Budget"), "2468", "none").state,
              "pending-held");
    server.Command({"release", "--user", "Ann Smith", "--pin", "0000"});
    const auto before = server.Held();
    ASSERT_EQ(before.size(), 2u);
    server.Stop();
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Held(), before);  // ids, names, pages, time received, tries left
    EXPECT_EQ(server.JobAttributes(2).reasons.find("job-password-wait"), 0u);
    server.Kill();
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Held(), before);
    EXPECT_EQ(server.Send(Job("carol", "Plan", "1357")), "held 3");  // ids go on
    EXPECT_EQ(server.Command({"release", "--user", "bob", "--pin", "2468"}).status, 0);
    EXPECT_EQ(server.Command({"release", "--user", "Ann Smith", "--pin", "1234"}).status, 0);
    ASSERT_TRUE(server.WaitForOutputs(2));
    EXPECT_EQ(server.Outputs(), (std::vector<std::string>{"1-Q3 report.pdf", "2-Budget.pdf"}));
}

}  // namespace
