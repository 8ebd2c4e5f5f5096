#include "support/printer_server.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace printer_test {
namespace {

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A child that dies with the test (a test that is killed leaves nothing running), its output
// on `out` (and standard error on `err`, when given), standard input empty.
pid_t Launch(const std::vector<std::string>& args, int out, int err) {
    std::vector<char*> argv;
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(out, 1);
        if (err >= 0) {
            dup2(err, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// The job's id, state, reasons and messages in a response; consumes it.
IppResult FromResponse(ipp_t* response) {
    IppResult result;
    if (response == nullptr) {
        return result;
    }
    const auto text = [&](const char* name, ipp_tag_t tag) {
        char value[1024] = "";
        if (ipp_attribute_t* a = ippFindAttribute(response, name, tag)) {
            ippAttributeString(a, value, sizeof(value));
        }
        return std::string(value);
    };
    result.status = ippGetStatusCode(response);
    result.jobId = atoi(text("job-id", IPP_TAG_INTEGER).c_str());
    result.state = text("job-state", IPP_TAG_ENUM);
    result.reasons = text("job-state-reasons", IPP_TAG_KEYWORD) + " / " +
                     text("job-state-message", IPP_TAG_TEXT) + " (" +
                     text("status-message", IPP_TAG_TEXT) + ")";
    ippDelete(response);
    return result;
}

}  // namespace

CommandResult RunProgram(const std::vector<std::string>& args) {
    int fds[2];
    CommandResult result;
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return result;
    }
    const pid_t pid = Launch(args, fds[1], -1);
    close(fds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof(buffer))) > 0;) {
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    return result;
}

pid_t StartProgram(const std::vector<std::string>& args, const std::string& log) {
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const pid_t pid = Launch(args, out, out);
    close(out);
    return pid;
}

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

PrinterServer::PrinterServer(std::vector<std::string> options) : options_(std::move(options)) {
    char name[] = "/tmp/pinprint-printer-XXXXXX";
    folder = mkdtemp(name);
    spool = folder + "/spool";
    output = folder + "/output";
    ippPort = FreePort();
    rawPort = FreePort();
    uri = "ipp://127.0.0.1:" + std::to_string(ippPort) + "/ipp/print";
}

PrinterServer::~PrinterServer() {
    Kill();
    std::filesystem::remove_all(folder);
}

bool PrinterServer::Start() {
    std::vector<std::string> args = {PINPRINT_PRINTER, "server",
                                     "--spool",        spool,
                                     "--output",       output,
                                     "--ipp-port",     std::to_string(ippPort),
                                     "--raw-port",     std::to_string(rawPort)};
    args.insert(args.end(), options_.begin(), options_.end());
    pid_ = StartProgram(args, folder + "/server.log");
    for (int i = 0; i < 100 && pid_ > 0; ++i) {
        if (access((spool + "/printer.sock").c_str(), F_OK) == 0 && Command({"held"}).status == 0) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

void PrinterServer::Stop() {
    End(SIGTERM);
}
void PrinterServer::Kill() {
    End(SIGKILL);
}

void PrinterServer::End(int signal) {
    if (pid_ > 0) {
        kill(pid_, signal);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
}

std::string PrinterServer::Send(const std::string& bytes) const {
    std::string file = folder + "/job-XXXXXX";
    close(mkstemp(file.data()));  // senders on several threads
    std::ofstream(file, std::ios::binary) << bytes;
    CommandResult r =
        RunProgram({PINPRINT_PRINTER, "send", file, "--raw-port", std::to_string(rawPort)});
    unlink(file.c_str());
    return r.output.erase(r.output.find_last_not_of('\n') + 1);
}

CommandResult PrinterServer::Command(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {PINPRINT_PRINTER};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--spool", spool});
    return RunProgram(all);
}

std::vector<std::string> PrinterServer::Held() const {
    std::istringstream in(Command({"held"}).output);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, 2, "ID") != 0 && line != "No held jobs.") {
            rows.push_back(line);
        }
    }
    return rows;
}

std::vector<std::string> PrinterServer::Outputs() const {
    std::vector<std::string> names;
    std::error_code none;
    for (const auto& entry : std::filesystem::directory_iterator(output, none)) {
        if (entry.path().extension() == ".pdf" && entry.path().filename().string()[0] != '.') {
            names.push_back(entry.path().filename());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool PrinterServer::WaitForOutputs(size_t count, int seconds) const {
    for (int i = 0; i < seconds * 20; ++i) {
        if (Outputs().size() >= count) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

std::string PrinterServer::Log() const {
    std::ifstream in(folder + "/server.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

IppResult PrinterServer::Print(
    const std::string& user, const std::string& job, const std::string& postscript,
    const std::string& password, const std::string& encryption, bool createJob,
    const std::vector<std::pair<std::string, std::string>>& keywords) const {
    http_t* http = httpConnect2("127.0.0.1", ippPort, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                10000, nullptr);
    if (http == nullptr) {
        return {};
    }
    ipp_t* request = ippNewRequest(createJob ? IPP_OP_CREATE_JOB : IPP_OP_PRINT_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 user.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, job.c_str());
    const auto format = [](ipp_t* r) {
        ippAddString(r, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                     "application/postscript");
    };
    if (!createJob) {
        format(request);
    }
    if (!password.empty()) {
        ippAddOctetString(request, IPP_TAG_OPERATION, "job-password", password.data(),
                          static_cast<int>(password.size()));
    }
    if (!encryption.empty()) {
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "job-password-encryption",
                     nullptr, encryption.c_str());
    }
    for (const auto& [name, value] : keywords) {
        ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
    }
    std::string document = folder + "/ipp-XXXXXX";
    close(mkstemp(document.data()));
    std::ofstream(document, std::ios::binary) << postscript;
    const auto send = [&](ipp_t* r) {
        return cupsDoFileRequest(http, r, "/ipp/print", document.c_str());
    };
    ipp_t* response = createJob ? cupsDoRequest(http, request, "/ipp/print") : send(request);
    if (createJob && response && ippGetStatusCode(response) < IPP_STATUS_REDIRECTION_OTHER_SITE) {
        const int id = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
        ippDelete(response);
        ipp_t* next = ippNewRequest(IPP_OP_SEND_DOCUMENT);
        ippAddString(next, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
        ippAddInteger(next, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
        ippAddString(next, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                     user.c_str());
        ippAddBoolean(next, IPP_TAG_OPERATION, "last-document", 1);
        format(next);
        response = send(next);
    }
    IppResult result = FromResponse(response);
    httpClose(http);
    unlink(document.c_str());
    return result;
}

IppResult PrinterServer::JobAttributes(int jobId) const {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    http_t* http = httpConnect2("127.0.0.1", ippPort, nullptr, AF_INET, HTTP_ENCRYPTION_NEVER, 1,
                                10000, nullptr);
    if (http == nullptr) {
        ippDelete(request);
    }
    IppResult result = FromResponse(http ? cupsDoRequest(http, request, "/ipp/print") : nullptr);
    httpClose(http);
    return result;
}

}  // namespace printer_test
