// pinprint-printer: the reference printer that honours a secure job.
//   pinprint-printer server --spool DIR --output DIR [--raw-port N] [--ipp-port N]
//                           [--max-wrong-pins K] [--hold-hours H] [--listen HOST|any]
//                           [--log-file FILE] [--log-level LEVEL] [--raw-timeout S]
//                           [--max-job-mb M] [--gs-timeout S]
//   pinprint-printer held [--spool DIR]
//   pinprint-printer release [--spool DIR] --user NAME --pin NNNN [--job ID]
//   pinprint-printer send FILE [--host HOST] [--raw-port N]
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "printer/commands.h"
#include "printer/server.h"

using namespace pinprint::printer;

namespace {

constexpr char kDefaultSpool[] = "/var/spool/pinprint-printer";

int Usage() {
    fputs(
        "usage: pinprint-printer server --spool DIR --output DIR [--raw-port N] [--ipp-port N]\n"
        "                               [--max-wrong-pins K] [--hold-hours H] [--listen HOST|any]\n"
        "                               [--log-file FILE] [--log-level error|warn|info|debug]\n"
        "                               [--raw-timeout S] [--max-job-mb M] [--gs-timeout S]\n"
        "       pinprint-printer held [--spool DIR]\n"
        "       pinprint-printer release [--spool DIR] --user NAME --pin NNNN [--job ID]\n"
        "       pinprint-printer send FILE [--host HOST] [--raw-port N]\n",
        stderr);
    return 2;
}

// --name value pairs, and the words that are not options. False for a malformed line.
bool ParseOptions(int argc, char** argv, const std::vector<std::string>& known,
                  std::map<std::string, std::string>* options, std::vector<std::string>* words) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.compare(0, 2, "--") != 0) {
            words->push_back(arg);
            continue;
        }
        const std::string name = arg.substr(2);
        if (std::find(known.begin(), known.end(), name) == known.end() || i + 1 >= argc) {
            fprintf(stderr, "pinprint-printer: unknown option or missing value: %s\n", arg.c_str());
            return false;
        }
        (*options)[name] = argv[++i];
    }
    return true;
}

// The value of --name, when given, from `low` to `high`, and whole when `whole`.
bool Number(const std::map<std::string, std::string>& options, const char* name, double low,
            double high, double* value, bool whole = true) {
    auto it = options.find(name);
    if (it == options.end()) {
        return true;
    }
    char* end = nullptr;
    const double v = strtod(it->second.c_str(), &end);
    if (end == it->second.c_str() || *end != '\0' || !(v >= low && v <= high) ||
        (whole && v != std::floor(v))) {
        fprintf(stderr, "pinprint-printer: --%s %s: expected %s from %.10g to %.10g\n", name,
                it->second.c_str(), whole ? "a whole number" : "a number", low, high);
        return false;
    }
    *value = v;
    return true;
}

std::string Get(const std::map<std::string, std::string>& options, const char* name,
                const std::string& fallback) {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    const std::string command = argv[1];
    std::map<std::string, std::string> o;
    std::vector<std::string> words;
    if (command == "server") {
        if (!ParseOptions(
                argc, argv,
                {"spool", "output", "raw-port", "ipp-port", "max-wrong-pins", "hold-hours",
                 "listen", "log-file", "log-level", "raw-timeout", "max-job-mb", "gs-timeout"},
                &o, &words) ||
            !words.empty() || !o.count("spool") || !o.count("output")) {
            return Usage();
        }
        ServerOptions s;
        s.spool = o["spool"];
        s.output = o["output"];
        double raw = s.rawPort, ipp = s.ippPort, wrong = s.maxWrongPins, hours = s.holdHours;
        double rawTimeout = s.rawTimeoutSeconds, maxMb = s.maxJobMegabytes,
               gs = s.ghostscriptSeconds;
        if (!Number(o, "raw-port", 1, 65535, &raw) || !Number(o, "ipp-port", 1, 65535, &ipp) ||
            !Number(o, "max-wrong-pins", 1, 1000, &wrong) ||
            !Number(o, "hold-hours", 0.0001, 24 * 365, &hours, false) ||
            !Number(o, "raw-timeout", 1, 3600, &rawTimeout) ||
            !Number(o, "max-job-mb", 1, 4096, &maxMb) || !Number(o, "gs-timeout", 1, 3600, &gs)) {
            return 2;
        }
        s.rawPort = int(raw);
        s.ippPort = int(ipp);
        s.maxWrongPins = int(wrong);
        s.holdHours = hours;
        s.rawTimeoutSeconds = int(rawTimeout);
        s.maxJobMegabytes = int(maxMb);
        s.ghostscriptSeconds = int(gs);
        s.listen = Get(o, "listen", s.listen);
        s.logFile = Get(o, "log-file", s.logFile);
        const std::string level = Get(o, "log-level", "info");
        static const std::map<std::string, pappl_loglevel_t> kLevels = {
            {"error", PAPPL_LOGLEVEL_ERROR},
            {"warn", PAPPL_LOGLEVEL_WARN},
            {"info", PAPPL_LOGLEVEL_INFO},
            {"debug", PAPPL_LOGLEVEL_DEBUG}};
        if (!kLevels.count(level)) {
            return Usage();
        }
        s.logLevel = kLevels.at(level);
        return RunServer(s);
    }
    if (command == "held") {
        if (!ParseOptions(argc, argv, {"spool"}, &o, &words) || !words.empty()) {
            return Usage();
        }
        return ListHeldJobs(Get(o, "spool", kDefaultSpool));
    }
    if (command == "release") {
        if (!ParseOptions(argc, argv, {"spool", "user", "pin", "job"}, &o, &words) ||
            !words.empty() || !o.count("user") || !o.count("pin")) {
            return Usage();
        }
        double job = 0;  // 0: every job the PIN opens
        if (!Number(o, "job", 1, INT_MAX, &job)) {
            return 2;
        }
        return ReleaseHeldJobs(Get(o, "spool", kDefaultSpool), o["user"], o["pin"], int(job));
    }
    if (command == "send") {
        if (!ParseOptions(argc, argv, {"host", "raw-port"}, &o, &words) || words.size() != 1) {
            return Usage();
        }
        double port = 9100;
        if (!Number(o, "raw-port", 1, 65535, &port)) {
            return 2;
        }
        return SendToRawPort(words[0], Get(o, "host", "127.0.0.1"), int(port));
    }
    return Usage();
}
