#include "printer/ghostscript.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <vector>

extern char** environ;

namespace pinprint::printer {
namespace {

constexpr size_t kMaxMessageBytes = 16 * 1024;

double Seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Ghostscript reads '%' in an output file name as a page-number format.
std::string EscapePercent(const std::string& path) {
    std::string out;
    for (char c : path) {
        out += c;
        if (c == '%') {
            out += '%';
        }
    }
    return out;
}

// The line that says what went wrong: the first "Error:" line, else the last line.
std::string Reason(const std::string& text) {
    std::istringstream in(text);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find("Error:") != std::string::npos) {
            return line;
        }
        if (line.find_first_not_of(" \t\r") != std::string::npos) {
            last = line;
        }
    }
    return last.empty() ? "no output" : last;
}

}  // namespace

bool RenderPdf(const std::string& input, const std::string& output, int timeoutSeconds,
               std::string* error, const std::string& program) {
    const size_t slash = output.rfind('/');
    const std::string partial =
        output.substr(0, slash + 1) + "." + output.substr(slash + 1) + ".part";
    const std::string outputArg = "-sOutputFile=" + EscapePercent(partial);
    std::vector<std::string> args = {program,   "-q",        "-dSAFER",
                                     "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                                     outputArg, "-f",        input};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = "Ghostscript: cannot start (no pipe)";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        *error = "Ghostscript: cannot start " + program;
        return false;
    }

    std::string text;
    bool timedOut = false;
    const double deadline = Seconds() + timeoutSeconds;
    for (;;) {
        const double left = deadline - Seconds();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t n = read(pipeFds[0], buffer, sizeof(buffer));
        if (n <= 0) {
            break;
        }
        if (text.size() < kMaxMessageBytes) {
            text.append(buffer, static_cast<size_t>(n));
        }
    }
    close(pipeFds[0]);
    if (timedOut) {
        kill(pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const bool ok = !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    access(partial.c_str(), R_OK) == 0 &&
                    rename(partial.c_str(), output.c_str()) == 0;
    if (!ok) {
        unlink(partial.c_str());
        *error = timedOut ? "Ghostscript stopped after " + std::to_string(timeoutSeconds) + " s"
                          : "Ghostscript: " + Reason(text);
    }
    return ok;
}

}  // namespace pinprint::printer
