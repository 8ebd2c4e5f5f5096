// The raw road: the printer's own loopback listener (PAPPL's raw listener takes port 9099 + the
// printer's id on every interface and queues each job at once as "guest"). Each connection
// is read by a JobReader; a job that asks for a hold is held under its key, one that asks for
// none prints, anything else is refused, and the sender hears which, one line per job:
//   held 7 | printing 8 | refused: <reason>
#pragma once

#include <pappl/pappl.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace pinprint::printer {

class Jobs;
class JobStore;

struct RawPortOptions {
    std::string host = "127.0.0.1";
    int port = 9100;
    int timeoutSeconds = 30;  // a sender that sends nothing for this long is cut off
    size_t maxJobBytes = 256u << 20;
    int maxConnections = 32;
};

class RawPort {
  public:
    RawPort(Jobs& jobs, JobStore& store, pappl_system_t* system, RawPortOptions options)
        : jobs_(jobs), store_(store), system_(system), options_(std::move(options)) {}
    ~RawPort() { Stop(); }

    bool Start(std::string* error);
    // No new connections; waits (a while) for those being read.
    void Stop();

  private:
    void Accept();
    void Serve(int fd, std::string peer);

    Jobs& jobs_;
    JobStore& store_;
    pappl_system_t* system_;
    const RawPortOptions options_;
    int listener_ = -1;
    std::thread acceptor_;
    std::mutex mu_;
    std::condition_variable idle_;
    int active_ = 0;
    std::set<int> connections_;  // shut down at Stop, so their threads end before the server
    std::atomic<bool> stopping_{false};
};

}  // namespace pinprint::printer
