// Eight senders, fifty jobs each, half of them secure, on both roads at once; then a restart;
// then every secure job released. Every job acknowledged is accounted for: held, or printed
// exactly once as <id>-<its name>.pdf.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

constexpr int kSenders = 8;
constexpr int kJobsEach = 50;

struct Acknowledged {
    std::string name;
    bool raw;
};

TEST(Load, BothRoadsAtOnceThenARestartThenEveryRelease) {
    PrinterServer server;
    ASSERT_TRUE(server.Start());
    std::mutex mu;
    std::map<int, Acknowledged> jobs;  // by id
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            const std::string user = "sender-" + std::to_string(s);
            const std::string pin = std::to_string(1000 + s);
            for (int j = 0; j < kJobsEach; ++j) {
                const std::string name = "job-" + std::to_string(s) + "-" + std::to_string(j);
                const bool secure = j % 2 == 0, raw = s % 2 == 0;
                const std::string ps = PostScript(name);
                int id = 0;
                std::string answer;
                if (raw) {
                    const std::string reply =
                        server.Send(secure ? SecureJob(user, name, PinDigest(pin), ps)
                                           : JobWithLines({"@PJL SET USERNAME=\"" + user + "\"",
                                                           "@PJL SET JOBNAME=\"" + name + "\""},
                                                          ps));
                    id = atoi(reply.substr(reply.find(' ') + 1).c_str());
                    id = reply.rfind(secure ? "held " : "printing ", 0) == 0 ? id : 0;
                    answer = reply;
                } else {
                    const IppResult r =
                        server.Print(user, name, ps, secure ? pin : "", secure ? "none" : "");
                    id = r.status == IPP_STATUS_OK ? r.jobId : 0;
                    answer = r.reasons;
                }
                std::lock_guard<std::mutex> lock(mu);
                EXPECT_NE(id, 0) << name << ": " << answer;
                EXPECT_TRUE(jobs.emplace(id, Acknowledged{name, raw}).second)
                    << "id " << id << " twice";
            }
        });
    }
    for (auto& t : senders) {
        t.join();
    }
    ASSERT_FALSE(HasFailure());  // every job acknowledged, each under an id of its own
    ASSERT_EQ(jobs.size(), size_t(kSenders * kJobsEach));
    const size_t half = jobs.size() / 2;
    size_t raw = 0;
    for (const auto& [id, job] : jobs) {
        raw += job.raw;
    }
    const auto Account = [&](const char* when) {
        std::cout << when << ": acknowledged " << jobs.size() << " (raw " << raw << ", IPP "
                  << jobs.size() - raw << "; secure " << half << "), held " << server.Held().size()
                  << ", printed " << server.Outputs().size() << "\n";
    };
    ASSERT_TRUE(server.WaitForOutputs(half, 120));
    EXPECT_EQ(server.Held().size(), half);
    Account("before the restart");

    const auto held = server.Held();
    server.Stop();
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(server.Held(), held);
    Account("after the restart");

    for (int s = 0; s < kSenders; ++s) {
        const CommandResult r = server.Command({"release", "--user", "sender-" + std::to_string(s),
                                                "--pin", std::to_string(1000 + s)});
        EXPECT_EQ(r.output.find("Released 25 jobs of sender-" + std::to_string(s)), 0u) << r.output;
    }
    ASSERT_TRUE(server.WaitForOutputs(jobs.size(), 120));
    sleep(1);
    Account("after every release");
    std::set<std::string> expected;
    for (const auto& [id, job] : jobs) {
        expected.insert(std::to_string(id) + "-" + job.name + ".pdf");
    }
    const auto outputs = server.Outputs();
    EXPECT_EQ(std::set<std::string>(outputs.begin(), outputs.end()), expected);
    const std::string log = server.Log();
    size_t printed = 0;
    for (size_t at = 0; (at = log.find("] Printed to ", at)) != std::string::npos; ++at) {
        ++printed;
    }
    EXPECT_EQ(printed, jobs.size()) << "a job printed twice";
    EXPECT_TRUE(server.Held().empty());
}

}  // namespace
