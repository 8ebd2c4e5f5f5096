// The printer's panel in a real headless browser (Debian's chromium through its chromedriver,
// over WebDriver): a user picks their name, sees only their held jobs, a wrong PIN is refused
// with the tries left, the right one releases the jobs and their PDFs appear.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

// A string value of `key` in a WebDriver answer, its JSON escapes read.
std::string JsonString(const std::string& json, const std::string& key) {
    size_t at = json.find("\"" + key + "\":\"");
    std::string value;
    for (at = at == std::string::npos ? json.size() : at + key.size() + 4;
         at < json.size() && json[at] != '"'; ++at) {
        if (json[at] == '\\' && at + 1 < json.size()) {
            const char c = json[++at];
            value += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            value += json[at];
        }
    }
    return value;
}

class Browser {
  public:
    Browser()
        : port_(FreePort()),
          profile_(std::filesystem::temp_directory_path() /
                   ("pinprint-chromium-" + std::to_string(port_))) {
        driver_ = StartProgram({"chromedriver", "--port=" + std::to_string(port_)}, "/dev/null");
        for (int i = 0; i < 100 && Call("GET", "/status", "").find("ready") == std::string::npos;
             ++i) {
            usleep(100000);
        }
        const std::string args =
            R"("--headless","--no-sandbox","--disable-gpu","--disable-quic",)"
            R"("--no-first-run","--disable-background-networking",)"
            R"("--disable-component-update","--disable-sync","--user-data-dir=)" +
            profile_.string() + "\"";
        session_ = JsonString(
            Call(
                "POST", "/session",
                R"({"capabilities":{"alwaysMatch":{"goog:chromeOptions":{"binary":"/usr/bin/chromium","args":[)" +
                    args + "]}}}}"),
            "sessionId");
    }
    ~Browser() {
        Call("DELETE", "/session/" + session_, "");
        kill(driver_, SIGTERM);
        waitpid(driver_, nullptr, 0);
        std::filesystem::remove_all(profile_);
    }
    bool Open() const { return !session_.empty(); }
    void Go(const std::string& url) { Session("POST", "/url", R"({"url":")" + url + "\"}"); }
    void Click(const std::string& css) {
        Session("POST", "/element/" + Element(css) + "/click", "{}");
    }
    void Type(const std::string& css, const std::string& text) {
        Session("POST", "/element/" + Element(css) + "/value", R"({"text":")" + text + "\"}");
    }
    // The page's text, once it shows `wanted` (or after 10 s).
    std::string TextWith(const std::string& wanted) {
        std::string text;
        for (int i = 0; i < 100 && text.find(wanted) == std::string::npos; ++i, usleep(100000)) {
            text = JsonString(Session("POST", "/execute/sync",
                                      R"({"script":"return document.body.innerText","args":[]})"),
                              "value");
        }
        return text;
    }

  private:
    std::string Element(const std::string& css) {
        return JsonString(
            Session("POST", "/element", R"({"using":"css selector","value":")" + css + "\"}"),
            "element-6066-11e4-a52e-4f735466cecf");
    }
    std::string Session(const char* method, const std::string& path, const std::string& body) {
        return Call(method, "/session/" + session_ + path, body);
    }
    std::string Call(const char* method, const std::string& path, const std::string& body) const {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port_));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::string answer;
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            const std::string request =
                std::string(method) + " " + path +
                " HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                "Content-Type: application/json\r\nConnection: close\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body;
            send(fd, request.data(), request.size(), MSG_NOSIGNAL);
            timeval timeout{30, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
            char buffer[65536];
            // chromedriver keeps the connection: the answer ends with its Content-Length.
            size_t end = std::string::npos;
            for (ssize_t n; answer.size() < end && (n = recv(fd, buffer, sizeof(buffer), 0)) > 0;) {
                answer.append(buffer, static_cast<size_t>(n));
                const size_t head = answer.find("\r\n\r\n");
                const size_t length = answer.find("Content-Length:");
                if (head != std::string::npos && length != std::string::npos && length < head) {
                    end = head + 4 + std::stoul(answer.substr(length + 15));
                }
            }
        }
        close(fd);
        return answer;
    }

    int port_;
    std::filesystem::path profile_;
    pid_t driver_ = -1;
    std::string session_;
};

TEST(Panel, AUserReleasesTheirJobsWithThePin) {
    PrinterServer server({"--max-wrong-pins", "2"});
    ASSERT_TRUE(server.Start());
    server.Send(SecureJob("Ann Smith", "Q3 report", PinDigest("1234"), PostScript("Q3 report")));
    server.Send(SecureJob("Ann Smith", "Minutes", PinDigest("1234"), PostScript("Minutes")));
    server.Send(SecureJob("Bob", "Payroll", PinDigest("9999"), PostScript("Payroll")));
    Browser browser;
    ASSERT_TRUE(browser.Open());
    browser.Go("http://127.0.0.1:" + std::to_string(server.ippPort) + "/held");
    browser.Click("select[name=user] option[value='Ann Smith']");
    std::string page = browser.TextWith("Q3 report");
    EXPECT_NE(page.find("Minutes"), std::string::npos) << page;
    EXPECT_EQ(page.find("Payroll"), std::string::npos) << page;
    // Wrong PINs for one job count against it alone: at the limit it alone is deleted.
    for (const char* wanted : {"Wrong PIN. 1 try left.", "was deleted after 2 wrong PINs."}) {
        browser.Type("#job-1 input[name=pin]", "1111");
        browser.Click("#job-1 input[type=submit]");
        page = browser.TextWith(wanted);
        EXPECT_NE(page.find(wanted), std::string::npos) << page;
    }
    EXPECT_TRUE(server.Outputs().empty());
    browser.Type("#all input[name=pin]", "1234");
    browser.Click("#all input[type=submit]");
    page = browser.TextWith("Released");
    EXPECT_NE(page.find("Released 1 job of Ann Smith"), std::string::npos) << page;
    ASSERT_TRUE(server.WaitForOutputs(1));
    EXPECT_EQ(server.Outputs(), std::vector<std::string>{"2-Minutes.pdf"});
    EXPECT_EQ(server.Held().size(), 1u);
    server.Stop();  // the panel still says why a job is gone
    ASSERT_TRUE(server.Start());
    browser.Go("http://127.0.0.1:" + std::to_string(server.ippPort) + "/held?user=Ann%20Smith");
    page = browser.TextWith("was deleted:");
    EXPECT_NE(page.find("\"Q3 report\" (1) was deleted: 2 wrong PINs."), std::string::npos) << page;
}

}  // namespace
