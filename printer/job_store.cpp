#include "printer/job_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "printer/digest.h"

namespace pinprint::printer {
namespace {

constexpr char kMagic[] = "pinprint-job 1";

const char* StateName(JobState state) {
    switch (state) {
        case JobState::kHeld:
            return "held";
        case JobState::kReleased:
            return "released";
        case JobState::kQueued:
            return "queued";
        case JobState::kReceiving:
            break;
    }
    return "receiving";
}

// Names may hold any byte a client sent: line ends and '%' are written as %XX.
std::string Escape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c == '%' || c == 0x7F) {
            char hex[4];
            snprintf(hex, sizeof(hex), "%%%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += static_cast<char>(strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Parse(const std::string& text, JobRecord* r) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) {
        return false;
    }
    bool hasDigest = false;
    std::string state;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (key == "id")
            r->id = atoi(value.c_str());
        else if (key == "secure")
            r->secure = value == "1";
        else if (key == "state")
            state = value;
        else if (key == "user")
            r->userName = Unescape(value);
        else if (key == "name")
            r->jobName = Unescape(value);
        else if (key == "pages")
            r->pages = atoi(value.c_str());
        else if (key == "received")
            r->received = static_cast<time_t>(atoll(value.c_str()));
        else if (key == "tries")
            r->wrongTries = atoi(value.c_str());
        else if (key == "digest")
            hasDigest = ParseHexDigest(value, &r->digest);
        else if (key == "document")
            r->document = Unescape(value);
    }
    if (state == "held")
        r->state = JobState::kHeld;
    else if (state == "released")
        r->state = JobState::kReleased;
    else if (state == "queued")
        r->state = JobState::kQueued;
    else
        return false;
    // A secure record without its digest could only be printed in the open or never: refuse it.
    return r->id > 0 && !r->document.empty() && (!r->secure || hasDigest);
}

}  // namespace

bool JobStore::Open(const std::string& folder, std::string* error) {
    folder_ = folder;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = "cannot create " + folder + ": " + strerror(errno);
        return false;
    }
    return true;
}

std::string JobStore::RecordPath(int id) const {
    return folder_ + "/" + std::to_string(id) + ".job";
}

void JobStore::SyncFolder() const {
    const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

bool JobStore::Save(const JobRecord& r) {
    std::ostringstream out;
    out << kMagic << "\nid " << r.id << "\nsecure " << (r.secure ? 1 : 0) << "\nstate "
        << StateName(r.state) << "\nuser " << Escape(r.userName) << "\nname " << Escape(r.jobName)
        << "\npages " << r.pages << "\nreceived " << static_cast<long long>(r.received)
        << "\ntries " << r.wrongTries << "\ndocument " << Escape(r.document) << "\n";
    if (r.secure) {
        out << "digest " << DigestToHex(r.digest) << "\n";
    }
    return Write(RecordPath(r.id), out.str());
}

bool JobStore::Write(const std::string& path, std::string text) const {
    const std::string temporary = path + ".tmp";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && WriteAll(fd, text) && fsync(fd) == 0;
    Wipe(text.data(), text.size());
    if (fd >= 0) {
        ok = close(fd) == 0 && ok;
    }
    ok = ok && rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    SyncFolder();
    return true;
}

bool JobStore::SaveNotices(const Notices& notices) {
    std::string text;
    for (const auto& [user, notice] : notices) {
        text += Escape(user) + "\t" + Escape(notice) + "\n";  // Escape writes tabs as %09
    }
    return Write(folder_ + "/deleted", text);
}

Notices JobStore::LoadNotices() const {
    Notices notices;
    std::ifstream file(folder_ + "/deleted");
    for (std::string line; std::getline(file, line);) {
        const size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            notices.emplace_back(Unescape(line.substr(0, tab)), Unescape(line.substr(tab + 1)));
        }
    }
    return notices;
}

void JobStore::Forget(int id, const std::string& document) {
    unlink(RecordPath(id).c_str());
    if (!document.empty()) {
        unlink(document.c_str());
    }
    SyncFolder();
}

std::vector<JobRecord> JobStore::Load() {
    std::vector<JobRecord> records;
    std::vector<std::string> documents;
    if (DIR* dir = opendir(folder_.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            const std::string path = folder_ + "/" + name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) {
                unlink(path.c_str());
            } else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".job") == 0) {
                std::ifstream file(path);
                std::stringstream text;
                text << file.rdbuf();
                JobRecord record;
                if (Parse(text.str(), &record)) {
                    records.push_back(record);
                } else {
                    unlink(path.c_str());
                }
            } else if (name.compare(0, 4, "doc-") == 0) {
                documents.push_back(path);
            }
        }
        closedir(dir);
    }
    // Newest first: of two records naming one document (a job handed on to a new id, stopped
    // before the old record went) the newer is kept.
    std::sort(records.begin(), records.end(),
              [](const JobRecord& a, const JobRecord& b) { return a.id > b.id; });
    std::set<std::string> named;
    for (auto it = records.begin(); it != records.end();) {
        if (named.insert(it->document).second) {
            ++it;
        } else {
            unlink(RecordPath(it->id).c_str());
            it = records.erase(it);
        }
    }
    for (const auto& d : documents) {
        if (named.count(d) == 0) {
            unlink(d.c_str());
        }
    }
    std::sort(records.begin(), records.end(),
              [](const JobRecord& a, const JobRecord& b) { return a.id < b.id; });
    return records;
}

int JobStore::CreateDocument(const std::string& extension, std::string* path) {
    std::string name = folder_ + "/doc-XXXXXX" + extension;
    const int fd = mkostemps(name.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (fd >= 0) {
        *path = name;
    }
    return fd;
}

bool JobStore::LinkDocument(const std::string& source, int id, std::string* path) {
    const size_t slash = source.rfind('/');
    const size_t dot = source.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    *path = folder_ + "/doc-ipp-" + std::to_string(id) + (hasExtension ? source.substr(dot) : "");
    unlink(path->c_str());
    return link(source.c_str(), path->c_str()) == 0;
}

}  // namespace pinprint::printer
