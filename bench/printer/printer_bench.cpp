// The printer's two speeds, each beside its floor measured in turns with it (medians of 15):
//   - job intake on the raw port (a 32 MB secure job, from the first byte sent to the "held"
//     answer, the job stored and recorded) against the same bytes through a bare loopback
//     socket to a new file, flushed to disk and answered: target at least 0.8x its throughput;
//   - release to PDF (the release asked, until the PDF is in the output folder) against
//     Ghostscript alone turning the same PostScript into a PDF: target at most 1.1x.
// Exits 3 when a target is missed.
#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "printer/control.h"
#include "support/envelope.h"
#include "support/printer_server.h"

using namespace printer_test;

namespace {

constexpr int kRepetitions = 15;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The medians of two measurements taken in turns, so that the machine's other work weighs on
// both alike.
std::pair<double, double> Medians(const std::function<double()>& a,
                                  const std::function<double()>& b) {
    std::vector<double> as, bs;
    for (int i = 0; i < kRepetitions; ++i) {
        as.push_back(a());
        bs.push_back(b());
    }
    std::sort(as.begin(), as.end());
    std::sort(bs.begin(), bs.end());
    return {as[as.size() / 2], bs[bs.size() / 2]};
}

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    return fd;
}

// Sends `bytes`, ends the sending side, and returns the seconds until the answer came.
double SendAndWait(int port, const std::string& bytes) {
    const double start = Now();
    const int fd = Connect(port);
    for (size_t done = 0; done < bytes.size();) {
        done += static_cast<size_t>(
            std::max<ssize_t>(0, send(fd, bytes.data() + done, bytes.size() - done, 0)));
    }
    shutdown(fd, SHUT_WR);
    char reply[256];
    while (recv(fd, reply, sizeof(reply), 0) > 0) {
    }
    close(fd);
    return Now() - start;
}

// The floor: a bare listener that copies one connection to a file, flushes it and answers.
class BareCopy {
  public:
    explicit BareCopy(const std::string& file) : file_(file) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        listen(listener_, 4);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            std::vector<char> buffer(256 * 1024);
            for (int fd; (fd = accept(listener_, nullptr, nullptr)) >= 0;) {
                // A new file, as the printer writes one for each job.
                const int out = open(file_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                for (ssize_t n; (n = recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
                    write(out, buffer.data(), static_cast<size_t>(n));
                }
                fsync(out);
                close(out);
                send(fd, "ok\n", 3, MSG_NOSIGNAL);
                close(fd);
            }
        });
    }
    ~BareCopy() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        thread_.join();
    }
    int port = 0;

  private:
    std::string file_;
    int listener_;
    std::thread thread_;
};

// The release of `user`'s jobs, asked as the release command asks it.
void Release(const PrinterServer& server, const std::string& user, const std::string& pin) {
    const std::string socket = server.spool + "/" + pinprint::printer::kControlSocket;
    http_t* http = httpConnect2(socket.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1,
                                5000, nullptr);
    ipp_t* request = ippNewRequest(pinprint::printer::kOpReleaseHeldJobs);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 "ipp://localhost/ipp/print");
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 user.c_str());
    ippAddOctetString(request, IPP_TAG_OPERATION, pinprint::printer::kAttrPin, pin.data(), 4);
    ippDelete(cupsDoRequest(http, request, "/ipp/print"));
    httpClose(http);
}

struct Row {
    std::string name;
    double value;
    std::string floorName;
    double floor;
    const char* unit;
    double target;
    bool higherIsBetter;
};

}  // namespace

int main() {
    // A wrong PIN deletes a job at once: the intake runs leave nothing held behind them.
    PrinterServer server({"--max-wrong-pins", "1"});
    if (!server.Start()) {
        fprintf(stderr, "printer_bench: the server did not start\n");
        return 1;
    }
    std::string text;
    while (text.size() < (32u << 20)) {
        text += "72 700 moveto (The quarterly report, its figures and its notes.) show\n";
    }
    std::string big =
        SecureJob("bench", "Intake", PinDigest("1234"), "%!PS\n" + text + "showpage\n");
    const double megabytes = big.size() / 1048576.0;
    const auto [intake, bare] = Medians(
        [&] {
            const double seconds = SendAndWait(server.rawPort, big);
            server.Command({"release", "--user", "bench", "--pin", "0000"});
            return megabytes / seconds;
        },
        [&, run = 0]() mutable {
            const std::string file = server.folder + "/bare-" + std::to_string(++run) + ".prn";
            BareCopy copy(file);
            const double seconds = SendAndWait(copy.port, big);
            unlink(file.c_str());  // as the wrong PIN deletes the printer's, after the timing
            return megabytes / seconds;
        });

    // Both sides of the second row start Ghostscript: this process without its 64 MB, so that
    // forking it costs what forking the server costs.
    std::string().swap(big);
    std::string().swap(text);
    const std::string document = PostScript("Release to PDF: a page of the quarterly report", 50);
    const std::string file = server.folder + "/document.ps";
    std::ofstream(file) << document;
    size_t printed = 0;
    const auto [release, ghostscript] = Medians(
        [&] {
            server.Send(SecureJob("reader", "Report", PinDigest("2468"), document));
            const double start = Now();
            Release(server, "reader", "2468");
            while (server.Outputs().size() == printed) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            ++printed;
            return Now() - start;
        },
        [&] {
            const double start = Now();
            RunProgram({"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                        "-sOutputFile=" + server.folder + "/alone.pdf", "-f", file});
            return Now() - start;
        });

    const Row rows[] = {
        {"raw-port intake of a 32 MB secure job, stored and recorded", intake,
         "the same bytes through a bare loopback socket to a new flushed file", bare, "MB/s", 0.8,
         true},
        {"release to PDF, 50 pages", release * 1000, "Ghostscript alone on the same PostScript",
         ghostscript * 1000, "ms", 1.1, false},
    };
    int missed = 0;
    printf(
        "| measurement | value | floor | floor value | ratio | target "
        "|\n|---|---:|---|---:|---:|---:|\n");
    for (const Row& r : rows) {
        const double ratio = r.value / r.floor;
        const bool ok = r.higherIsBetter ? ratio >= r.target : ratio <= r.target;
        missed += ok ? 0 : 1;
        printf("| %s | %.1f %s | %s | %.1f %s | %.2fx | %s %.1fx%s |\n", r.name.c_str(), r.value,
               r.unit, r.floorName.c_str(), r.floor, r.unit, ratio,
               r.higherIsBetter ? ">=" : "<=", r.target, ok ? "" : ", missed");
    }
    return missed == 0 ? 0 : 3;
}
