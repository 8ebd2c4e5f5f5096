// The real pinprint-printer, started for a test on free loopback ports in a folder of its own,
// and driven as its users drive it: the raw port, IPP through libcups, and its commands.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace printer_test {

struct CommandResult {
    int status = -1;     // the exit status
    std::string output;  // standard output
};

// Runs a program and waits; no shell.
CommandResult RunProgram(const std::vector<std::string>& args);
// Starts a program that dies with the test, its output (both streams) appended to `log`.
pid_t StartProgram(const std::vector<std::string>& args, const std::string& log);
int FreePort();

struct IppResult {
    int status = -1;  // ipp_status_t, -1 when no answer
    int jobId = 0;
    std::string state;    // job-state, e.g. "pending-held"
    std::string reasons;  // job-state-reasons, comma-separated
};

class PrinterServer {
  public:
    explicit PrinterServer(std::vector<std::string> options = {});
    ~PrinterServer();  // kills the server, removes its folder

    bool Start();
    void Stop();  // SIGTERM, and waits
    void Kill();  // SIGKILL, and waits

    std::string Send(const std::string& bytes) const;  // raw port: the printer's reply
    CommandResult Command(const std::vector<std::string>& args) const;  // held, release ...
    std::vector<std::string> Held() const;     // `held` rows after the header
    std::vector<std::string> Outputs() const;  // the output folder's PDFs, sorted
    bool WaitForOutputs(size_t count, int seconds = 30) const;
    std::string Log() const;

    // Print-Job (or Create-Job, Send-Document) by libcups; empty `password`: none.
    IppResult Print(const std::string& user, const std::string& job, const std::string& postscript,
                    const std::string& password = {}, const std::string& encryption = {},
                    bool createJob = false,
                    const std::vector<std::pair<std::string, std::string>>& keywords = {}) const;
    IppResult JobAttributes(int jobId) const;

    std::string folder, spool, output, uri;
    int ippPort = 0, rawPort = 0;

  private:
    void End(int signal);

    std::vector<std::string> options_;
    pid_t pid_ = -1;
};

}  // namespace printer_test
