#include "printer/raw_port.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <vector>

#include "printer/digest.h"
#include "printer/jobs.h"
#include "printer/pjl.h"

namespace pinprint::printer {
namespace {

constexpr size_t kReadBytes = 256 * 1024;

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One connection's jobs, as the reader reports them.
class Connection : public JobReader::Handler {
  public:
    Connection(int fd, std::string peer, Jobs& jobs, JobStore& store, pappl_system_t* system,
               size_t maxBytes)
        : fd_(fd),
          peer_(std::move(peer)),
          jobs_(jobs),
          store_(store),
          system_(system),
          maxBytes_(maxBytes) {}
    ~Connection() override { Discard(); }

    bool OnEnvelope(const Envelope& envelope) override {
        decision_ = Decide(envelope);
        refusal_.clear();
        bytes_ = 0;
        if (decision_.verdict == Verdict::kRefuse) {
            refusal_ = decision_.reason;
            return false;
        }
        docFd_ = store_.CreateDocument(".ps", &docPath_);
        if (docFd_ < 0) {
            refusal_ = "the printer cannot store the job";
            return false;
        }
        return true;
    }

    bool OnData(const char* data, size_t size) override {
        bytes_ += size;
        if (bytes_ > maxBytes_) {
            refusal_ = "a job over " + std::to_string(maxBytes_ >> 20) + " MB";
        } else if (!WriteAll(docFd_, data, size)) {
            refusal_ = "the printer cannot store the job";
        } else {
            return true;
        }
        Discard();
        return false;
    }

    void OnJobEnd(int pages) override {
        if (!refusal_.empty()) {
            Refuse(refusal_);
            return;
        }
        const bool stored = fsync(docFd_) == 0 && close(docFd_) == 0;
        docFd_ = -1;
        const bool hold = decision_.verdict == Verdict::kHold;
        JobRecord record;
        record.secure = hold;
        record.state = hold ? JobState::kHeld : JobState::kQueued;
        record.userName = decision_.userName.empty() ? "guest" : decision_.userName;
        record.jobName = decision_.jobName.empty() ? "Untitled" : decision_.jobName;
        record.pages = pages;
        record.received = time(nullptr);
        record.document = docPath_;
        bool hashed = true;
        if (hold) {
            // A clear HOLDKEY is hashed here and kept no longer than that.
            record.digest = decision_.digest;
            if (decision_.clearKey) {
                hashed = Sha256(decision_.key.data(), decision_.key.size(), &record.digest);
            }
        }
        Wipe(decision_.key.data(), decision_.key.size());
        Wipe(decision_.digest.data(), decision_.digest.size());
        const int id = stored && hashed ? jobs_.Submit(record) : 0;
        Wipe(record.digest.data(), record.digest.size());
        if (id == 0) {
            Refuse("the printer cannot queue the job");
            return;
        }
        docPath_.clear();  // the job's now
        Reply((hold ? "held " : "printing ") + std::to_string(id));
        papplLog(system_, PAPPL_LOGLEVEL_INFO,
                 "Raw job %d from %s %s: user \"%s\", job \"%s\", %d page(s).", id, peer_.c_str(),
                 hold ? "held under its PIN" : "queued for printing", record.userName.c_str(),
                 record.jobName.c_str(), pages);
    }

    void OnError(const std::string& reason) override {
        Discard();
        Refuse(reason);
    }

    // The sender stopped sending: a job begun is not taken.
    void Abandon(const std::string& reason) {
        Discard();
        Refuse(reason);
    }

  private:
    void Discard() {
        if (docFd_ >= 0) {
            close(docFd_);
            docFd_ = -1;
        }
        if (!docPath_.empty()) {
            unlink(docPath_.c_str());
            docPath_.clear();
        }
    }

    void Refuse(const std::string& reason) {
        Reply("refused: " + reason);
        papplLog(system_, PAPPL_LOGLEVEL_INFO, "Raw job from %s refused: %s.", peer_.c_str(),
                 reason.c_str());
    }

    void Reply(const std::string& line) {
        const std::string text = line + "\n";
        send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
    }

    int fd_;
    std::string peer_;
    Jobs& jobs_;
    JobStore& store_;
    pappl_system_t* system_;
    const size_t maxBytes_;
    Decision decision_;
    std::string refusal_;
    size_t bytes_ = 0;
    int docFd_ = -1;
    std::string docPath_;
};

std::string PeerName(const sockaddr_storage& address, socklen_t length) {
    char host[NI_MAXHOST] = "?";
    char port[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof(host), port,
                sizeof(port), NI_NUMERICHOST | NI_NUMERICSERV);
    return std::string(host) + ":" + port;
}

// After a refusal the rest of what the sender sends is read and dropped (as much as a job may
// be), so that it hears the refusal instead of a reset connection.
void Drain(int fd, std::vector<char>& buffer, size_t limit) {
    for (size_t read = 0; read < limit;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
            return;
        }
        read += static_cast<size_t>(n);
    }
}

}  // namespace

bool RawPort::Start(std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    if (getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        *error = "cannot resolve " + options_.host;
        return false;
    }
    for (addrinfo* a = found; a != nullptr && listener_ < 0; a = a->ai_next) {
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
        if (fd >= 0 && bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 64) == 0) {
            listener_ = fd;
        } else {
            *error = "cannot listen on " + options_.host + ":" + port + ": " + strerror(errno);
            if (fd >= 0) {
                close(fd);
            }
        }
    }
    freeaddrinfo(found);
    if (listener_ < 0) {
        return false;
    }
    acceptor_ = std::thread(&RawPort::Accept, this);
    return true;
}

void RawPort::Stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    if (acceptor_.joinable()) {
        acceptor_.join();
    }
    if (listener_ >= 0) {
        close(listener_);
        listener_ = -1;
    }
    std::unique_lock<std::mutex> lock(mu_);
    for (int fd : connections_) {
        shutdown(fd, SHUT_RDWR);
    }
    idle_.wait_for(lock, std::chrono::seconds(5), [this] { return active_ == 0; });
}

void RawPort::Accept() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) {
            continue;
        }
        sockaddr_storage address{};
        socklen_t length = sizeof(address);
        const int fd =
            accept4(listener_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (active_ >= options_.maxConnections) {
                static const char kBusy[] = "refused: the printer is busy\n";
                send(fd, kBusy, sizeof(kBusy) - 1, MSG_NOSIGNAL);
                close(fd);
                continue;
            }
            ++active_;
            connections_.insert(fd);
        }
        std::thread(&RawPort::Serve, this, fd, PeerName(address, length)).detach();
    }
}

void RawPort::Serve(int fd, std::string peer) {
    timeval timeout{options_.timeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    {
        Connection connection(fd, peer, jobs_, store_, system_, options_.maxJobBytes);
        JobReader reader(connection);
        std::vector<char> buffer(kReadBytes);
        for (;;) {
            const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
            if (n > 0) {
                reader.Feed(buffer.data(), static_cast<size_t>(n));
                if (reader.Failed()) {
                    Drain(fd, buffer, options_.maxJobBytes);
                    break;
                }
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0 && !stopping_) {
                reader.Finish();
            } else if (reader.InJob()) {
                connection.Abandon(n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)
                                       ? "the sender sent nothing for " +
                                             std::to_string(options_.timeoutSeconds) + " s"
                                       : "the connection ended inside the job");
            }
            break;
        }
    }
    std::lock_guard<std::mutex> lock(mu_);
    shutdown(fd, SHUT_WR);
    close(fd);
    connections_.erase(fd);
    --active_;
    idle_.notify_all();
}

}  // namespace pinprint::printer
