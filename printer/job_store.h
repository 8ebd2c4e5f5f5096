// The printer's memory of every job it acknowledged and has not finished: one record file and
// one document per job in a folder of the spool. Records are written whole and durably
// (written beside, flushed, renamed, the folder flushed), so a restart or a kill -9 finds
// each job as its last acknowledged step left it.
#pragma once

#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "printer/pjl.h"

namespace pinprint::printer {

// Notices of jobs deleted by a rule: user name, text; newest first.
using Notices = std::deque<std::pair<std::string, std::string>>;

enum class JobState {
    kReceiving,  // created, its document not yet complete (IPP Create-Job); never recorded
    kHeld,       // a secure job waiting for its PIN
    kReleased,   // a secure job whose PIN was given, printing
    kQueued,     // a normal job, printing
};

struct JobRecord {
    int id = 0;
    bool secure = false;
    JobState state = JobState::kQueued;
    std::string userName;
    std::string jobName;
    int pages = 0;
    time_t received = 0;
    int wrongTries = 0;
    Digest digest{};
    std::string document;  // a path
};

class JobStore {
  public:
    // Creates the folder (mode 0700) when missing.
    bool Open(const std::string& folder, std::string* error);
    const std::string& folder() const { return folder_; }

    bool Save(const JobRecord& record);
    // The record and its document.
    void Forget(int id, const std::string& document);
    // Every record, by id. Half-written records and documents no record names are removed:
    // they belong to jobs that were never acknowledged. Of two records naming one document,
    // the older is removed.
    std::vector<JobRecord> Load();
    // Kept across restarts, so that the panel still says why a job is gone.
    bool SaveNotices(const Notices& notices);
    Notices LoadNotices() const;
    // A new document file, open for writing; its path in *path. -1 on failure.
    int CreateDocument(const std::string& extension, std::string* path);
    // A second name for a document that lives elsewhere (the IPP spool), in this folder.
    bool LinkDocument(const std::string& source, int id, std::string* path);

  private:
    std::string RecordPath(int id) const;
    // Written beside, flushed, renamed, the folder flushed; the text wiped.
    bool Write(const std::string& path, std::string text) const;
    void SyncFolder() const;

    std::string folder_;
};

}  // namespace pinprint::printer
