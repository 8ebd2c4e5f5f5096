#include "printer/ipp_hooks.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "printer/control.h"
#include "printer/digest.h"
#include "printer/jobs.h"

namespace pinprint::printer {
namespace {

std::atomic<Jobs*> g_jobs{nullptr};
std::atomic<bool> g_closed{false};

// What the request this thread is handling left for its response and for the callback.
struct RequestState {
    ipp_op_t op = IPP_OP_CUPS_INVALID;
    ipp_status_t status = IPP_STATUS_OK;
    std::string message;
    std::string refusedAttribute;
    std::string pin;  // a release's PIN, out of the request before PAPPL logs it
};
thread_local RequestState tls;

// Octet strings are the attribute's own memory and are wiped; text values live in libcups's
// shared string pool, where other attributes may hold the same string, so they are only deleted.
void WipeAndDelete(ipp_t* ipp, const char* name) {
    while (ipp_attribute_t* attr = ippFindAttribute(ipp, name, IPP_TAG_ZERO)) {
        for (int i = 0; ippGetValueTag(attr) == IPP_TAG_STRING && i < ippGetCount(attr); ++i) {
            int length = 0;
            Wipe(const_cast<void*>(ippGetOctetString(attr, i, &length)), length);
        }
        ippDeleteAttribute(ipp, attr);
    }
}

void Reroute(ipp_t* ipp, ipp_op_t op, ipp_status_t status, std::string message,
             std::string attribute = {}) {
    ippSetOperation(ipp, op);
    tls.status = status;
    tls.message = std::move(message);
    tls.refusedAttribute = std::move(attribute);
}

int JobIdOf(ipp_t* ipp) {
    if (ipp_attribute_t* id = ippFindAttribute(ipp, "job-id", IPP_TAG_INTEGER)) {
        return ippGetInteger(id, 0);
    }
    if (ipp_attribute_t* uri = ippFindAttribute(ipp, "job-uri", IPP_TAG_URI)) {
        const char* text = ippGetString(uri, 0, nullptr);
        const char* slash = text ? strrchr(text, '/') : nullptr;
        return slash ? atoi(slash + 1) : 0;
    }
    return 0;
}

// Print-Job, Create-Job, Validate-Job.
void TakeJobPassword(ipp_t* ipp, ipp_op_t op) {
    ipp_attribute_t* password = ippFindAttribute(ipp, "job-password", IPP_TAG_ZERO);
    ipp_attribute_t* encryption = ippFindAttribute(ipp, "job-password-encryption", IPP_TAG_ZERO);
    ipp_attribute_t* hold = ippFindAttribute(ipp, "job-hold-until", IPP_TAG_ZERO);
    const bool creates = op != IPP_OP_VALIDATE_JOB;
    if (password == nullptr) {
        if (encryption != nullptr) {
            Reroute(ipp, kOpRefusedPassword, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES,
                    "job-password-encryption without job-password", "job-password-encryption");
            WipeAndDelete(ipp, "job-password-encryption");
        } else if (hold != nullptr && ippGetString(hold, 0, nullptr) != nullptr &&
                   strcmp(ippGetString(hold, 0, nullptr), "no-hold") != 0) {
            // A hold without a PIN is one anybody could release: this printer keeps none.
            Reroute(ipp, kOpRefusedPassword, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES,
                    "this printer holds a job only under a job-password", "job-hold-until");
        } else if (creates) {
            Jobs::ExpectIppJob(false, Digest{});
        }
        return;
    }
    std::string problem;
    std::string attribute = "job-password";
    std::string method = "none";
    if (encryption != nullptr) {
        const char* value = ippGetString(encryption, 0, nullptr);
        method = value && ippGetCount(encryption) == 1 ? value : "";
    }
    int length = 0;
    const void* bytes = ippGetValueTag(password) == IPP_TAG_STRING && ippGetCount(password) == 1
                            ? ippGetOctetString(password, 0, &length)
                            : nullptr;
    const char* text = static_cast<const char*>(bytes);
    Digest digest{};
    if (ippGetGroupTag(password) != IPP_TAG_OPERATION || bytes == nullptr) {
        problem = "job-password is not one octetString operation attribute";
    } else if (method == "none") {
        const bool digits =
            length == 4 && std::all_of(text, text + 4, [](char c) { return c >= '0' && c <= '9'; });
        if (!digits || !Sha256(text, 4, &digest)) {
            problem = "job-password is not four ASCII digits";
        }
    } else if (method == "sha2-256") {
        if (length == static_cast<int>(digest.size())) {
            memcpy(digest.data(), bytes, digest.size());
        } else {
            problem = "a sha2-256 job-password is 32 bytes";
        }
    } else {
        attribute = "job-password-encryption";
        problem = "job-password-encryption '" + method + "' is not supported";
    }
    WipeAndDelete(ipp, "job-password");
    WipeAndDelete(ipp, "job-password-encryption");
    if (!problem.empty()) {
        Reroute(ipp, kOpRefusedPassword, IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES, problem, attribute);
    } else if (creates) {
        while (ipp_attribute_t* old = ippFindAttribute(ipp, "job-hold-until", IPP_TAG_ZERO)) {
            ippDeleteAttribute(ipp, old);
        }
        ippAddString(ipp, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-hold-until", nullptr, "indefinite");
        Jobs::ExpectIppJob(true, digest);
    }
    Wipe(digest.data(), digest.size());
}

void OnRequest(Jobs* jobs, ipp_t* ipp) {
    tls = RequestState{};
    tls.op = ippGetOperation(ipp);
    Jobs::ExpectNothing();
    switch (tls.op) {
        case IPP_OP_PRINT_JOB:
        case IPP_OP_CREATE_JOB:
            if (g_closed) {
                WipeAndDelete(ipp, "job-password");
                Reroute(ipp, kOpNotPossible, IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS,
                        "The printer is shutting down.");
                break;
            }
            [[fallthrough]];
        case IPP_OP_VALIDATE_JOB:
            TakeJobPassword(ipp, tls.op);
            break;
        case IPP_OP_RELEASE_JOB:
        case IPP_OP_SET_JOB_ATTRIBUTES:
        case IPP_OP_RESTART_JOB:
            if (jobs->IsHeldSecure(JobIdOf(ipp))) {
                Reroute(ipp, kOpNotPossible, IPP_STATUS_ERROR_NOT_POSSIBLE,
                        "A secure job is released at the printer with its PIN.");
            }
            break;
        case IPP_OP_HOLD_NEW_JOBS:
        case IPP_OP_RELEASE_HELD_NEW_JOBS:
            Reroute(ipp, kOpNotPossible, IPP_STATUS_ERROR_NOT_POSSIBLE,
                    "This printer holds jobs only under their PIN.");
            break;
        default:
            if (tls.op == kOpReleaseHeldJobs) {
                if (ipp_attribute_t* pin = ippFindAttribute(ipp, kAttrPin, IPP_TAG_STRING)) {
                    int length = 0;
                    const char* bytes =
                        static_cast<const char*>(ippGetOctetString(pin, 0, &length));
                    tls.pin.assign(bytes ? bytes : "", bytes ? length : 0);
                }
                WipeAndDelete(ipp, kAttrPin);
            }
            break;
    }
}

// Copies the response's attributes back in order, with job-state-reasons job-password-wait
// after each attribute in `ends` (the last of a job group that had no reasons): libcups adds
// attributes only at the end.
void InsertPasswordWait(ipp_t* ipp, const std::vector<ipp_attribute_t*>& ends) {
    ipp_t* copy = ippNew();
    for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
        if (ippGetName(a) == nullptr) {
            ippAddSeparator(copy);
        } else {
            ippCopyAttribute(copy, a, 0);
        }
        if (std::find(ends.begin(), ends.end(), a) != ends.end()) {
            ippAddString(copy, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr,
                         "job-password-wait");
        }
    }
    while (ipp_attribute_t* a = ippFirstAttribute(ipp)) {
        ippDeleteAttribute(ipp, a);
    }
    for (ipp_attribute_t* a = ippFirstAttribute(copy); a; a = ippNextAttribute(copy)) {
        if (ippGetName(a) == nullptr) {
            ippAddSeparator(ipp);
        } else {
            ippCopyAttribute(ipp, a, 0);
        }
    }
    ippDelete(copy);
}

void OnResponse(Jobs* jobs, ipp_t* ipp) {
    struct Group {
        int jobId = 0;
        ipp_attribute_t* reasons = nullptr;
        ipp_attribute_t* message = nullptr;
        ipp_attribute_t* last = nullptr;
    };
    std::vector<Group> groups(1);
    ipp_tag_t tag = IPP_TAG_ZERO;
    for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
        const char* name = ippGetName(a);
        if (name == nullptr || ippGetGroupTag(a) != tag) {
            groups.emplace_back();
            tag = ippGetGroupTag(a);
        }
        if (name == nullptr || tag != IPP_TAG_JOB) {
            continue;
        }
        Group& g = groups.back();
        g.last = a;
        if (!strcmp(name, "job-id")) {
            g.jobId = ippGetInteger(a, 0);
        } else if (!strcmp(name, "job-state-reasons")) {
            g.reasons = a;
        } else if (!strcmp(name, "job-state-message")) {
            g.message = a;
        }
    }
    const bool success = ippGetStatusCode(ipp) < IPP_STATUS_REDIRECTION_OTHER_SITE;
    const bool delivers = tls.op == IPP_OP_PRINT_JOB || tls.op == IPP_OP_SEND_DOCUMENT ||
                          tls.op == IPP_OP_SEND_URI || tls.op == IPP_OP_CREATE_JOB;
    std::vector<ipp_attribute_t*> ends;
    for (Group& g : groups) {
        if (g.jobId == 0) {
            continue;
        }
        if (success && delivers && !jobs->OnAcknowledged(g.jobId)) {
            ippSetStatusCode(ipp, IPP_STATUS_ERROR_INTERNAL);
        }
        if (!jobs->IsHeldSecure(g.jobId)) {
            continue;
        }
        // PAPPL's reasons are a fixed set of bits, and it names none for a held job.
        if (g.message != nullptr) {
            ippSetString(ipp, &g.message, 0, "Held until its PIN is given at the printer.");
        }
        if (g.reasons == nullptr) {
            ends.push_back(g.last);
            continue;
        }
        ippSetString(ipp, &g.reasons, 0, "job-password-wait");
        if (ippGetCount(g.reasons) > 1) {
            ippDeleteValues(ipp, &g.reasons, 1, ippGetCount(g.reasons) - 1);
        }
    }
    if (!ends.empty()) {
        InsertPasswordWait(ipp, ends);
    }
}

template <class Function>
Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void AddHeldJob(ipp_t* response, const HeldJob& job) {
    ippAddSeparator(response);
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", job.id);
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-user-name", nullptr,
                 job.userName.c_str());
    ippAddString(response, IPP_TAG_JOB, IPP_TAG_NAME, "job-name", nullptr, job.jobName.c_str());
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-impressions", job.pages);
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "time-at-creation",
                  static_cast<int>(job.received));
    ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, kAttrTriesLeft, job.triesLeft);
}

void AddIds(ipp_t* response, const char* name, const std::vector<HeldJob>& jobs) {
    if (jobs.empty()) {
        return;
    }
    std::vector<int> ids;
    for (const auto& job : jobs) {
        ids.push_back(job.id);
    }
    ippAddIntegers(response, IPP_TAG_OPERATION, IPP_TAG_INTEGER, name, static_cast<int>(ids.size()),
                   ids.data());
}

}  // namespace

bool IppHooksBound() {
    return dlsym(RTLD_DEFAULT, "ippRead") == reinterpret_cast<void*>(&::ippRead) &&
           dlsym(RTLD_DEFAULT, "ippLength") == reinterpret_cast<void*>(&::ippLength) &&
           dlsym(RTLD_DEFAULT, "ippWrite") == reinterpret_cast<void*>(&::ippWrite);
}

void EnableIppHooks(Jobs* jobs) {
    g_jobs = jobs;
}

void CloseIppIntake() {
    g_closed = true;
}

bool HandleOperation(pappl_client_t* client, void* data) {
    Jobs* jobs = static_cast<Jobs*>(data);
    const ipp_op_t op = papplClientGetOperation(client);
    if (op == kOpRefusedPassword || op == kOpNotPossible) {
        papplClientRespondIPP(client, tls.status, "%s", tls.message.c_str());
        if (!tls.refusedAttribute.empty()) {
            ippAddOutOfBand(papplClientGetResponse(client), IPP_TAG_UNSUPPORTED_GROUP,
                            IPP_TAG_UNSUPPORTED_VALUE, tls.refusedAttribute.c_str());
        }
        return true;
    }
    if (op == kOpListHeldJobs || op == kOpReleaseHeldJobs) {
        // Only through the spool folder's socket, whose folder only the server's user opens:
        // on the network port they would list names and take PINs from anyone.
        http_addr_t* peer = httpGetAddress(papplClientGetHTTP(client));
        if (peer == nullptr || httpAddrFamily(peer) != AF_LOCAL) {
            Wipe(tls.pin.data(), tls.pin.size());
            tls.pin.clear();
            papplClientRespondIPP(client, IPP_STATUS_ERROR_FORBIDDEN,
                                  "Held jobs are listed and released through the spool folder's "
                                  "socket or the panel.");
            return true;
        }
    }
    if (op == kOpListHeldJobs) {
        ipp_t* response = papplClientRespondIPP(client, IPP_STATUS_OK, nullptr);
        for (const HeldJob& job : jobs->Held()) {
            AddHeldJob(response, job);
        }
        return true;
    }
    if (op != kOpReleaseHeldJobs) {
        return false;
    }
    ipp_t* request = papplClientGetRequest(client);
    ipp_attribute_t* user = ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME);
    ipp_attribute_t* job = ippFindAttribute(request, "job-id", IPP_TAG_INTEGER);
    const ReleaseOutcome outcome = jobs->Release(user ? ippGetString(user, 0, nullptr) : "",
                                                 tls.pin, job ? ippGetInteger(job, 0) : 0);
    Wipe(tls.pin.data(), tls.pin.size());
    tls.pin.clear();
    using Status = ReleaseOutcome::Status;
    const ipp_status_t status = outcome.status == Status::kReleased ? IPP_STATUS_OK
                                : outcome.status == Status::kWrongPin
                                    ? IPP_STATUS_ERROR_NOT_AUTHORIZED
                                : outcome.status == Status::kNoJobs ? IPP_STATUS_ERROR_NOT_FOUND
                                                                    : IPP_STATUS_ERROR_BAD_REQUEST;
    ipp_t* response = papplClientRespondIPP(client, status, "%s", outcome.Message().c_str());
    AddIds(response, kAttrReleased, outcome.released);
    AddIds(response, kAttrDeleted, outcome.deleted);
    return true;
}

void AddPasswordAttributes(ipp_t* attrs) {
    ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "job-password-supported", 4);
    ipp_attribute_t* encryptions =
        ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-password-encryption-supported",
                     nullptr, "none");
    ippSetString(attrs, &encryptions, 1, "sha2-256");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "job-password-repertoire-supported",
                 nullptr, "iana_us-ascii_digits");
}

}  // namespace pinprint::printer

// The libcups functions PAPPL reads requests and writes responses with. Outside a running
// server (the commands, which are IPP clients too) they only pass through.
extern "C" ipp_state_t ippRead(http_t* http, ipp_t* ipp) {
    using namespace pinprint::printer;
    static const auto real = Next<ipp_state_t (*)(http_t*, ipp_t*)>("ippRead");
    const ipp_state_t state = real(http, ipp);
    if (Jobs* jobs = g_jobs.load(); jobs != nullptr && state == IPP_STATE_DATA) {
        OnRequest(jobs, ipp);
    }
    return state;
}

// PAPPL measures a response (for its Content-Length) before it writes it: what changes the
// response's size happens at the first of the two, and the second finds nothing left to do.
extern "C" size_t ippLength(ipp_t* ipp) {
    using namespace pinprint::printer;
    static const auto real = Next<size_t (*)(ipp_t*)>("ippLength");
    if (Jobs* jobs = g_jobs.load(); jobs != nullptr && ippGetState(ipp) == IPP_STATE_IDLE) {
        OnResponse(jobs, ipp);
    }
    return real(ipp);
}

extern "C" ipp_state_t ippWrite(http_t* http, ipp_t* ipp) {
    using namespace pinprint::printer;
    static const auto real = Next<ipp_state_t (*)(http_t*, ipp_t*)>("ippWrite");
    if (Jobs* jobs = g_jobs.load(); jobs != nullptr && ippGetState(ipp) == IPP_STATE_IDLE) {
        OnResponse(jobs, ipp);
    }
    return real(http, ipp);
}
