// Every job the printer acknowledged, from either road to the output tray: what PAPPL queues,
// what the store keeps across restarts, and the rules of a held job (released only by a PIN
// whose digest matches, wrong tries counted per job, deleted at the limit or after the hold
// time).
//
// Locking: `mu_` guards the table and the store and is never held across a PAPPL call, because
// PAPPL calls back into this class (job created, job ended, may it print) with its own locks
// held.
#pragma once

#include <pappl/pappl.h>

#include <atomic>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "printer/job_store.h"

namespace pinprint::printer {

struct JobRules {
    int maxWrongPins = 5;
    double holdHours = 24;
    std::string outputFolder;
    std::string queueFolder;  // PAPPL's spool folder
};

struct HeldJob {
    int id = 0;
    std::string userName;
    std::string jobName;
    int pages = 0;
    time_t received = 0;
    int triesLeft = 0;
};

struct ReleaseOutcome {
    enum class Status { kReleased, kWrongPin, kNoJobs, kBadPin };
    Status status = Status::kNoJobs;
    std::string userName;
    std::vector<HeldJob> released;
    std::vector<HeldJob> wrong;    // tries left after this one
    std::vector<HeldJob> deleted;  // at the wrong-PIN limit
    std::string Message() const;
};

class Jobs {
  public:
    Jobs(JobStore& store, JobRules rules) : store_(store), rules_(std::move(rules)) {}

    void Attach(pappl_system_t* system, pappl_printer_t* printer);

    // The raw road and the restart: hands the document to PAPPL, held under its digest when
    // it is a held secure job, and records it durably. The job's id, or 0 when the job could
    // not be queued and recorded (then nothing of it prints). `wantedId` keeps a restored
    // job's id.
    int Submit(JobRecord record, int wantedId = 0);

    // The IPP road. The next job this thread creates is secure under `digest`, or normal.
    static void ExpectIppJob(bool secure, const Digest& digest);
    static void ExpectNothing();
    // A job was created on this thread (PAPPL's job-created event).
    void OnCreated(pappl_job_t* job);
    // Just before an IPP response about job `id` is sent: once its document is complete, the
    // job is recorded durably, so what the client hears acknowledged survives a kill -9. False
    // when it could not be: the job is canceled and the response must say it failed.
    bool OnAcknowledged(int id);
    bool IsHeldSecure(int id);

    std::vector<HeldJob> Held();
    // The PIN is tried against the user's held job `jobId`, or against each of the user's held
    // jobs when it is 0: each it opens prints, each other counts a wrong try (deleted at the
    // limit).
    ReleaseOutcome Release(const std::string& userName, const std::string& pin, int jobId);
    // Jobs of this user deleted by a rule (wrong PINs, hold time), newest first.
    std::vector<std::string> Deletions(const std::string& userName);

    // On the job's processing thread: a secure job not released by its PIN never prints (it
    // stays held here, and its release prints it from the store).
    bool MayPrint(int id);
    // The print callback finished with the job, printed or aborted.
    void Printed(int id);
    // PAPPL 1.3.1 sometimes runs a job's print callback more than once, on several threads,
    // when jobs arrive on several connections at once: only the first run prints. True for the
    // first run; any other waits for it to end and takes its result.
    bool FirstRun(int id, bool* result);
    void RunEnded(int id, bool result);
    // PAPPL ended the job (canceled by its owner, or by this class).
    void OnEnded(int id);

    void ExpireHeld(time_t now);
    // At start-up, before the listeners: every recorded job back in PAPPL with its id.
    void Restore();
    // At shutdown: held and waiting jobs leave PAPPL's queue (so it need not wait for them) and
    // stay in the store.
    void StopForShutdown();

    // OUTPUT/<id>-<job name>.pdf
    std::string OutputPath(int id, const std::string& jobName) const;

  private:
    struct Entry {
        JobRecord record;
        bool recorded = false;
        bool detached = false;  // its PAPPL job ended without printing (the PIN gate)
        bool retired = false;   // taken up before its hold; made again under another id
    };

    HeldJob Describe(const Entry& entry) const;
    bool OutputExists(int id) const;
    int LargestOutputId() const;
    void Forget(std::map<int, Entry>::iterator it);                      // under mu_
    void NoteDeletion(const JobRecord& record, const std::string& why);  // under mu_
    void Cancel(const std::vector<int>& ids);
    void PrintReleased(const std::vector<int>& ids);

    JobStore& store_;
    const JobRules rules_;
    pappl_system_t* system_ = nullptr;
    pappl_printer_t* printer_ = nullptr;
    static constexpr int kHoldAttempts = 3;
    static constexpr size_t kRunsKept = 10000;
    std::atomic<unsigned> handed_{0};  // names of the files handed to PAPPL
    std::mutex holdWindow_;            // one pause for a hold at a time
    bool restoring_ = false;           // Restore keeps the printer paused throughout
    std::mutex mu_;
    std::map<int, Entry> entries_;
    std::map<int, int> runs_;  // job id: 0 running, 1 printed, -1 not
    std::condition_variable runEnded_;
    Notices deletions_;
    bool shuttingDown_ = false;
};

}  // namespace pinprint::printer
