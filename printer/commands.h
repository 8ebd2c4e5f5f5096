// The commands that talk to a running server: `held` and `release` through the control socket
// of its spool folder, `send` to its raw port.
#pragma once

#include <string>

namespace pinprint::printer {

int ListHeldJobs(const std::string& spool);
int ReleaseHeldJobs(const std::string& spool, const std::string& userName, const std::string& pin,
                    int jobId);
int SendToRawPort(const std::string& file, const std::string& host, int port);

}  // namespace pinprint::printer
