#include "printer/jobs.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <tuple>
#include <unordered_set>

#include "printer/digest.h"

namespace pinprint::printer {
namespace {

// What the thread creating a job expects its job-created event to carry.
struct Expected {
    const JobRecord* record = nullptr;  // Submit
    bool ipp = false;
    bool secure = false;
    Digest digest{};
};
thread_local Expected tlsExpected;

constexpr size_t kMaxDeletionsShown = 50;

const char* FormatOf(const std::string& document) {
    const bool pdf = document.size() > 4 && document.compare(document.size() - 4, 4, ".pdf") == 0;
    return pdf ? "application/pdf" : "application/postscript";
}

// A document's DSC pages, counted the way the raw road counts them.
int CountPages(const std::string& path) {
    struct Counter : JobReader::Handler {
        int pages = 0;
        bool OnEnvelope(const Envelope&) override { return false; }
        bool OnData(const char*, size_t) override { return false; }
        void OnJobEnd(int p) override { pages = p; }
        void OnError(const std::string&) override {}
    } counter;
    JobReader reader(counter);
    if (FILE* file = fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), file)) > 0 && !reader.Failed()) {
            reader.Feed(buffer, n);
        }
        fclose(file);
        reader.Finish();
    }
    return counter.pages;
}

// papplJobCreateWithFile keeps the name strings it is given by pointer, for the job's whole
// life in its history: they are kept for the process's, once for each distinct name.
const char* Lasting(const std::string& name) {
    static std::mutex mu;
    static std::unordered_set<std::string> names;
    std::lock_guard<std::mutex> lock(mu);
    return names.insert(name).first->c_str();
}

std::string Quoted(const HeldJob& job) {
    return "\"" + job.jobName + "\" (" + std::to_string(job.id) + ")";
}

std::string List(const std::vector<HeldJob>& jobs) {
    std::string text;
    for (size_t i = 0; i < jobs.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == jobs.size() ? " and " : ", ") + Quoted(jobs[i]);
    }
    return text;
}

std::string Tries(int n) {
    return std::to_string(n) + (n == 1 ? " try left" : " tries left");
}

}  // namespace

std::string ReleaseOutcome::Message() const {
    switch (status) {
        case Status::kBadPin:
            return "A PIN is four digits.";
        case Status::kNoJobs:
            return "No held jobs for " + userName + ".";
        case Status::kReleased:
        case Status::kWrongPin:
            break;
    }
    const bool opened = status == Status::kReleased;
    std::string text = opened ? "Released " + std::to_string(released.size()) +
                                    (released.size() == 1 ? " job of " : " jobs of ") + userName +
                                    ": " + List(released) + "."
                              : "Wrong PIN.";
    // One count for all only when every job tried has it; else each job is named.
    bool sameTries = !opened && deleted.empty();
    for (const auto& job : wrong) {
        sameTries = sameTries && job.triesLeft == wrong.front().triesLeft;
    }
    if (!wrong.empty() && sameTries) {
        text += " " + Tries(wrong.front().triesLeft) + ".";
    } else {
        text += opened && !wrong.empty() ? " Wrong PIN for" : "";
        for (const auto& job : wrong) {
            text += " " + Quoted(job) + ": " + Tries(job.triesLeft) + ".";
        }
    }
    if (!deleted.empty()) {
        text += " " + List(deleted) + (deleted.size() == 1 ? " was" : " were") + " deleted after " +
                std::to_string(deleted.front().triesLeft) + " wrong PINs.";
    }
    return text;
}

void Jobs::Attach(pappl_system_t* system, pappl_printer_t* printer) {
    system_ = system;
    printer_ = printer;
}

void Jobs::ExpectIppJob(bool secure, const Digest& digest) {
    tlsExpected = Expected{nullptr, true, secure, digest};
}

void Jobs::ExpectNothing() {
    tlsExpected = Expected{};
}

void Jobs::OnCreated(pappl_job_t* job) {
    Expected expected = tlsExpected;
    tlsExpected = Expected{};
    Entry entry;
    if (expected.record != nullptr) {
        entry.record = *expected.record;
    } else if (expected.ipp) {
        entry.record.secure = expected.secure;
        entry.record.digest = expected.digest;
        entry.record.state = JobState::kReceiving;
        entry.record.userName = papplJobGetUsername(job) ? papplJobGetUsername(job) : "";
        entry.record.jobName = CleanName(papplJobGetName(job) ? papplJobGetName(job) : "");
        entry.record.received = time(nullptr);
        Wipe(expected.digest.data(), expected.digest.size());
    } else {
        return;  // not a job of either road
    }
    entry.record.id = papplJobGetID(job);
    std::lock_guard<std::mutex> lock(mu_);
    entries_[entry.record.id] = entry;
}

int Jobs::Submit(JobRecord record, int wantedId) {
    const bool hold = record.secure && record.state == JobState::kHeld;
    const std::string name = record.document.substr(record.document.rfind('/') + 1);
    pappl_job_t* job = nullptr;
    // PAPPL takes no hold at a job's creation: a held job is created while the printer is paused,
    // so that no thread can start it, and is then held. Should the hold still fail, the PIN gate
    // refuses the job (MayPrint) and it is made again.
    for (int attempt = 0; attempt < kHoldAttempts && job == nullptr; ++attempt) {
        // PAPPL deletes a job's file when it cancels or finishes the job: it gets a name of its
        // own in its spool folder, and the store keeps the document until the job is done with.
        const std::string handed =
            rules_.queueFolder + "/" + std::to_string(++handed_) + "-" + name;
        if (link(record.document.c_str(), handed.c_str()) != 0) {
            return 0;
        }
        std::unique_lock<std::mutex> window(holdWindow_, std::defer_lock);
        if (hold && !restoring_) {
            window.lock();
            papplPrinterPause(printer_);
        }
        if (wantedId > 0) {
            papplPrinterSetNextJobID(printer_, wantedId);
        }
        tlsExpected = Expected{&record};
        job = papplJobCreateWithFile(printer_, Lasting(record.userName), FormatOf(record.document),
                                     Lasting(record.jobName), 0, nullptr, handed.c_str());
        tlsExpected = Expected{};
        const bool held = !hold || (job != nullptr && papplJobHold(job, nullptr, "indefinite", 0));
        if (hold && !restoring_) {
            papplPrinterResume(printer_);
        }
        if (job == nullptr) {
            unlink(handed.c_str());
            return 0;
        }
        if (!held) {
            std::lock_guard<std::mutex> lock(mu_);
            entries_[papplJobGetID(job)].retired = true;
            job = nullptr;
            wantedId = 0;
        }
    }
    if (job == nullptr) {
        return 0;
    }
    const int id = papplJobGetID(job);
    bool saved = true;
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = entries_.find(id);
        if (it != entries_.end()) {  // else it printed already
            saved = store_.Save(it->second.record);
            it->second.recorded = saved;
            if (!saved) {
                entries_.erase(it);
            }
        }
        if (wantedId > 0 && id != wantedId) {
            store_.Forget(wantedId, "");
        }
    }
    if (!saved) {
        papplLog(system_, PAPPL_LOGLEVEL_ERROR, "Job %d could not be recorded; canceled.", id);
        papplJobCancel(job);
        return 0;
    }
    return id;
}

bool Jobs::OnAcknowledged(int id) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = entries_.find(id);
        if (it == entries_.end() || it->second.record.state != JobState::kReceiving) {
            return true;
        }
    }
    pappl_job_t* job = papplPrinterFindJob(printer_, id);
    const char* file = job ? papplJobGetFilename(job) : nullptr;
    if (file == nullptr) {
        return true;  // Create-Job: the document comes later
    }
    std::string document;
    const bool linked = store_.LinkDocument(file, id, &document);
    const int pages = linked ? CountPages(document) : 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = entries_.find(id);
        if (it == entries_.end() || it->second.record.state != JobState::kReceiving) {
            if (linked) {
                unlink(document.c_str());
            }
            return true;
        }
        JobRecord& record = it->second.record;
        record.document = document;
        record.pages = pages;
        record.state = record.secure ? JobState::kHeld : JobState::kQueued;
        it->second.recorded = linked && store_.Save(record);
        if (it->second.recorded) {
            return true;
        }
    }
    // A job a restart could lose is not acknowledged: the client hears the failure.
    papplLog(system_, PAPPL_LOGLEVEL_ERROR, "Job %d could not be recorded; canceled.", id);
    papplJobCancel(job);
    return false;
}

bool Jobs::IsHeldSecure(int id) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(id);
    return it != entries_.end() && it->second.record.secure &&
           it->second.record.state != JobState::kReleased;
}

HeldJob Jobs::Describe(const Entry& entry) const {
    const JobRecord& r = entry.record;
    return HeldJob{r.id,    r.userName, r.jobName,
                   r.pages, r.received, std::max(0, rules_.maxWrongPins - r.wrongTries)};
}

std::vector<HeldJob> Jobs::Held() {
    std::vector<HeldJob> held;
    {
        std::lock_guard<std::mutex> lock(mu_);
        for (const auto& [id, entry] : entries_) {
            if (entry.record.secure && entry.record.state == JobState::kHeld && !entry.retired) {
                held.push_back(Describe(entry));
            }
        }
    }
    std::sort(held.begin(), held.end(), [](const HeldJob& a, const HeldJob& b) {
        return std::tie(a.userName, a.jobName, a.id) < std::tie(b.userName, b.jobName, b.id);
    });
    return held;
}

void Jobs::Forget(std::map<int, Entry>::iterator it) {
    if (it->second.recorded) {
        store_.Forget(it->first, it->second.record.document);
    } else if (!it->second.record.document.empty()) {
        unlink(it->second.record.document.c_str());
    }
    entries_.erase(it);
}

void Jobs::NoteDeletion(const JobRecord& r, const std::string& why) {
    deletions_.emplace_front(r.userName, "\"" + r.jobName + "\" (" + std::to_string(r.id) +
                                             ") was deleted: " + why + ".");
    if (deletions_.size() > kMaxDeletionsShown) {
        deletions_.pop_back();
    }
    store_.SaveNotices(deletions_);
    papplLog(system_, PAPPL_LOGLEVEL_INFO, "Held job %d of %s deleted: %s.", r.id,
             r.userName.c_str(), why.c_str());
}

std::vector<std::string> Jobs::Deletions(const std::string& userName) {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> texts;
    for (const auto& [user, text] : deletions_) {
        if (user == userName) {
            texts.push_back(text);
        }
    }
    return texts;
}

ReleaseOutcome Jobs::Release(const std::string& userName, const std::string& pin, int jobId) {
    ReleaseOutcome outcome;
    outcome.userName = userName;
    const bool wellFormed =
        pin.size() == 4 && pin.find_first_not_of("0123456789") == std::string::npos;
    Digest digest{};
    if (!wellFormed || !Sha256(pin.data(), pin.size(), &digest)) {
        outcome.status = ReleaseOutcome::Status::kBadPin;
        return outcome;
    }
    std::vector<int> release, cancel;
    {
        std::lock_guard<std::mutex> lock(mu_);
        std::vector<std::map<int, Entry>::iterator> candidates;
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            const JobRecord& r = it->second.record;
            if (r.secure && r.state == JobState::kHeld && !it->second.retired &&
                r.userName == userName && (jobId == 0 || r.id == jobId)) {
                candidates.push_back(it);
            }
        }
        for (auto it : candidates) {
            if (DigestsEqual(it->second.record.digest, digest)) {
                it->second.record.state = JobState::kReleased;
                store_.Save(it->second.record);
                outcome.released.push_back(Describe(it->second));
                release.push_back(it->first);
            }
        }
        // The PIN was tried against every candidate: each it does not open counts a wrong try,
        // even when it opens others (else a job of one's own, sent under another's name, would
        // test PINs against theirs for free). Naming the job tries it alone.
        for (auto it = candidates.begin(); it != candidates.end(); ++it) {
            JobRecord& r = (*it)->second.record;
            if (r.state == JobState::kReleased) {
                continue;
            }
            ++r.wrongTries;
            if (r.wrongTries < rules_.maxWrongPins) {
                store_.Save(r);
                outcome.wrong.push_back(Describe((*it)->second));
                continue;
            }
            HeldJob gone = Describe((*it)->second);
            gone.triesLeft = r.wrongTries;  // the message says after how many
            outcome.deleted.push_back(gone);
            NoteDeletion(r, std::to_string(r.wrongTries) + " wrong PINs");
            cancel.push_back(r.id);
            Forget(*it);
        }
        outcome.status = candidates.empty() ? ReleaseOutcome::Status::kNoJobs
                         : !release.empty() ? ReleaseOutcome::Status::kReleased
                                            : ReleaseOutcome::Status::kWrongPin;
    }
    Wipe(digest.data(), digest.size());
    PrintReleased(release);
    Cancel(cancel);
    for (const auto& job : outcome.released) {
        papplLog(system_, PAPPL_LOGLEVEL_INFO, "Held job %d of %s released with its PIN.", job.id,
                 job.userName.c_str());
    }
    if (!outcome.wrong.empty() || !outcome.deleted.empty()) {
        papplLog(system_, PAPPL_LOGLEVEL_INFO, "Wrong PIN for %d held job(s) of %s.",
                 static_cast<int>(outcome.wrong.size() + outcome.deleted.size()), userName.c_str());
    }
    return outcome;
}

void Jobs::PrintReleased(const std::vector<int>& ids) {
    for (int id : ids) {
        bool detached = false;
        {
            std::lock_guard<std::mutex> lock(mu_);
            auto it = entries_.find(id);
            if (it == entries_.end()) {
                continue;  // printed already
            }
            detached = it->second.detached;
        }
        pappl_job_t* job = papplPrinterFindJob(printer_, id);
        if (job != nullptr && !detached) {
            if (papplJobGetState(job) == IPP_JSTATE_HELD) {
                papplJobRelease(job, nullptr);
            }
            continue;
        }
        // The PIN gate refused its PAPPL job, or it is gone: the document prints from the
        // store, as a new job. The old record goes only once the new one is saved, so a kill
        // in between leaves one of them (the store keeps the newer of two for one document).
        JobRecord record;
        {
            std::lock_guard<std::mutex> lock(mu_);
            auto it = entries_.find(id);
            if (it == entries_.end()) {
                continue;
            }
            record = it->second.record;
            entries_.erase(it);
        }
        if (Submit(record) == 0) {
            papplLog(system_, PAPPL_LOGLEVEL_ERROR,
                     "Released job %d could not be queued; it prints at the next start.", id);
            continue;
        }
        store_.Forget(id, "");
    }
}

void Jobs::Cancel(const std::vector<int>& ids) {
    for (int id : ids) {
        if (pappl_job_t* job = papplPrinterFindJob(printer_, id)) {
            papplJobCancel(job);
        }
    }
}

bool Jobs::MayPrint(int id) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(id);
    if (it == entries_.end() || !it->second.record.secure ||
        it->second.record.state == JobState::kReleased) {
        return true;
    }
    it->second.detached = true;
    return false;
}

void Jobs::Printed(int id) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(id);
    if (it != entries_.end()) {
        Forget(it);
    }
}

bool Jobs::FirstRun(int id, bool* result) {
    std::unique_lock<std::mutex> lock(mu_);
    auto [it, first] = runs_.emplace(id, 0);
    if (first) {
        // Runs of jobs long finished are forgotten: ids only grow.
        while (runs_.size() > kRunsKept && runs_.begin()->second != 0) {
            runs_.erase(runs_.begin());
        }
        return true;
    }
    runEnded_.wait(lock, [&] { return runs_[id] != 0; });
    *result = runs_[id] > 0;
    return false;
}

void Jobs::RunEnded(int id, bool result) {
    std::lock_guard<std::mutex> lock(mu_);
    runs_[id] = result ? 1 : -1;
    runEnded_.notify_all();
}

void Jobs::OnEnded(int id) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = entries_.find(id);
    if (it != entries_.end() && it->second.retired) {
        entries_.erase(it);  // made again under another id; the document is the successor's
        return;
    }
    if (it == entries_.end() || it->second.detached || shuttingDown_) {
        return;
    }
    papplLog(system_, PAPPL_LOGLEVEL_INFO, "Job %d ended before it printed; deleted.", id);
    Forget(it);
}

void Jobs::ExpireHeld(time_t now) {
    std::vector<int> cancel;
    {
        std::lock_guard<std::mutex> lock(mu_);
        const double limit = rules_.holdHours * 3600.0;
        for (auto it = entries_.begin(); it != entries_.end();) {
            auto next = std::next(it);
            const JobRecord& r = it->second.record;
            if (r.secure && r.state == JobState::kHeld && !it->second.retired &&
                difftime(now, r.received) >= limit) {
                char why[64];
                snprintf(why, sizeof(why), "not released within %g hours", rules_.holdHours);
                NoteDeletion(r, why);
                cancel.push_back(r.id);
                Forget(it);
            }
            it = next;
        }
    }
    Cancel(cancel);
}

std::string Jobs::OutputPath(int id, const std::string& jobName) const {
    std::string name = CleanName(jobName);
    for (char& c : name) {
        c = c == '/' ? '_' : c;
    }
    if (name.empty() || name[0] == '.') {
        name.insert(0, name.empty() ? "Untitled" : "_");
    }
    return rules_.outputFolder + "/" + std::to_string(id) + "-" + name + ".pdf";
}

bool Jobs::OutputExists(int id) const {
    const std::string prefix = std::to_string(id) + "-";
    bool found = false;
    if (DIR* dir = opendir(rules_.outputFolder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            found = found || (name.compare(0, prefix.size(), prefix) == 0 && name.size() > 4 &&
                              name.compare(name.size() - 4, 4, ".pdf") == 0);
        }
        closedir(dir);
    }
    return found;
}

int Jobs::LargestOutputId() const {
    int largest = 0;
    if (DIR* dir = opendir(rules_.outputFolder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            largest = std::max(largest, atoi(entry->d_name));
        }
        closedir(dir);
    }
    return largest;
}

void Jobs::Restore() {
    // Paused, the printer starts no job before the held ones are held: each keeps its id.
    papplPrinterPause(printer_);
    restoring_ = true;
    deletions_ = store_.LoadNotices();
    int largest = LargestOutputId();
    for (JobRecord& record : store_.Load()) {
        largest = std::max(largest, record.id);
        const bool printing = record.state != JobState::kHeld;
        if (printing && OutputExists(record.id)) {
            store_.Forget(record.id, record.document);  // it printed before the stop
            continue;
        }
        if (Submit(record, record.id) != 0) {
            continue;
        }
        const bool gone = access(record.document.c_str(), F_OK) != 0;
        papplLog(system_, PAPPL_LOGLEVEL_ERROR, "Recorded job %d could not be queued again%s.",
                 record.id, gone ? ": its document is gone" : "");
        if (gone) {
            store_.Forget(record.id, "");  // printed under a new id as the server stopped
        }
    }
    // Ids are never given twice, so an output file is never overwritten by another job.
    papplPrinterSetNextJobID(printer_, largest + 1);
    restoring_ = false;
    papplPrinterResume(printer_);
}

void Jobs::StopForShutdown() {
    std::vector<int> ids;
    {
        std::lock_guard<std::mutex> lock(mu_);
        shuttingDown_ = true;
        for (const auto& [id, entry] : entries_) {
            ids.push_back(id);
        }
    }
    for (int id : ids) {
        pappl_job_t* job = papplPrinterFindJob(printer_, id);
        const ipp_jstate_t state = job ? papplJobGetState(job) : IPP_JSTATE_COMPLETED;
        if (state == IPP_JSTATE_HELD || state == IPP_JSTATE_PENDING) {
            papplJobCancel(job);
        }
    }
}

}  // namespace pinprint::printer
