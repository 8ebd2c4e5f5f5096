// `pinprint-printer server`: one PAPPL system with one printer at /ipp/print, the raw road
// beside it, the held-jobs panel, and the control socket in the spool folder.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace pinprint::printer {

struct ServerOptions {
    std::string spool;
    std::string output;
    int rawPort = 9100;
    int ippPort = 8631;
    int maxWrongPins = 5;
    double holdHours = 24;
    std::string listen = "localhost";  // "any" for every interface
    std::string logFile = "-";         // "-" is standard error
    pappl_loglevel_t logLevel = PAPPL_LOGLEVEL_INFO;
    int rawTimeoutSeconds = 30;
    int maxJobMegabytes = 256;
    int ghostscriptSeconds = 120;
};

// Runs until SIGTERM or SIGINT; the exit status.
int RunServer(const ServerOptions& options);

}  // namespace pinprint::printer
