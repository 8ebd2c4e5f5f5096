#include "printer/server.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

#include "printer/control.h"
#include "printer/ghostscript.h"
#include "printer/ipp_hooks.h"
#include "printer/job_store.h"
#include "printer/jobs.h"
#include "printer/panel.h"
#include "printer/raw_port.h"

namespace pinprint::printer {
namespace {

constexpr char kDriver[] = "pinprint-postscript";
constexpr char kDeviceUri[] = "pinprint-tray://output";

struct Server {
    ServerOptions options;
    JobStore store;
    std::unique_ptr<Jobs> jobs;
    std::unique_ptr<RawPort> raw;
    pappl_system_t* system = nullptr;
    pappl_printer_t* printer = nullptr;
};
Server* g_server = nullptr;

// The output tray is a folder, written by the print callback itself: the device only has to
// open, so PAPPL can run the job.
bool TrayOpen(pappl_device_t*, const char*, const char*) {
    return true;
}
void TrayClose(pappl_device_t*) {}
ssize_t TrayRead(pappl_device_t*, void*, size_t) {
    return 0;
}
ssize_t TrayWrite(pappl_device_t*, const void*, size_t bytes) {
    return static_cast<ssize_t>(bytes);
}
pappl_preason_t TrayStatus(pappl_device_t*) {
    return PAPPL_PREASON_NONE;
}
bool TrayList(pappl_device_cb_t, void*, pappl_deverror_cb_t, void*) {
    return false;
}

bool PrintOnce(pappl_job_t* job) {
    Server& s = *g_server;
    const int id = papplJobGetID(job);
    if (!s.jobs->MayPrint(id)) {
        papplJobSetMessage(job, "A secure job prints only with its PIN; it stays held.");
        papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Reached the printer without its PIN: not printed.");
        return false;
    }
    const char* file = papplJobGetFilename(job);
    const char* name = papplJobGetName(job);
    const std::string output = s.jobs->OutputPath(id, name ? name : "");
    std::string error = "the job has no document";
    const bool printed =
        file != nullptr && RenderPdf(file, output, s.options.ghostscriptSeconds, &error);
    s.jobs->Printed(id);
    if (!printed) {
        papplJobSetMessage(job, "%s", error.c_str());
        papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
        papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Aborted: %s.", error.c_str());
        return false;
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printed to %s.", output.c_str());
    return true;
}

bool Print(pappl_job_t* job) {
    bool result = false;
    if (!g_server->jobs->FirstRun(papplJobGetID(job), &result)) {
        return result;  // PAPPL ran the job again: the first run printed it or did not
    }
    result = PrintOnce(job);
    g_server->jobs->RunEnded(papplJobGetID(job), result);
    return result;
}

bool PrintFile(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    return Print(job);
}
bool PrintPdf(pappl_job_t* job, pappl_device_t*, void*) {
    return Print(job);
}
// Raster comes only from clients that ignore document-format-supported: refused, not printed.
bool NoRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    papplJobSetMessage(job, "This printer reads PostScript and PDF only.");
    return false;
}
bool NoRasterPage(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned) {
    return false;
}
bool NoRasterLine(pappl_job_t*, pappl_pr_options_t*, pappl_device_t*, unsigned,
                  const unsigned char*) {
    return false;
}

bool Driver(pappl_system_t*, const char*, const char*, const char*, pappl_pr_driver_data_t* d,
            ipp_t** attributes, void*) {
    d->printfile_cb = PrintFile;
    d->rstartjob_cb = NoRasterJob;
    d->rendjob_cb = NoRasterJob;
    d->rstartpage_cb = NoRasterPage;
    d->rendpage_cb = NoRasterPage;
    d->rwriteline_cb = NoRasterLine;
    d->format = "application/postscript";
    strncpy(d->make_and_model, "PinPrint Reference Printer", sizeof(d->make_and_model) - 1);
    d->ppm = 20;
    d->kind = PAPPL_KIND_DOCUMENT;
    d->color_supported =
        PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
    d->color_default = PAPPL_COLOR_MODE_AUTO;
    d->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
    d->num_resolution = 1;
    d->x_resolution[0] = d->y_resolution[0] = d->x_default = d->y_default = 600;
    d->sides_supported = d->sides_default = PAPPL_SIDES_ONE_SIDED;
    d->num_media = 2;
    d->media[0] = "iso_a4_210x297mm";
    d->media[1] = "na_letter_8.5x11in";
    d->num_source = 1;
    d->source[0] = "main";
    d->num_type = 1;
    d->type[0] = "stationery";
    pappl_media_col_t& media = d->media_default;
    strncpy(media.size_name, "iso_a4_210x297mm", sizeof(media.size_name) - 1);
    media.size_width = 21000;
    media.size_length = 29700;
    strncpy(media.source, "main", sizeof(media.source) - 1);
    strncpy(media.type, "stationery", sizeof(media.type) - 1);  // PAPPL refuses an empty type
    d->media_ready[0] = media;
    *attributes = ippNew();
    AddPasswordAttributes(*attributes);
    return true;
}

void OnEvent(pappl_system_t*, pappl_printer_t*, pappl_job_t* job, pappl_event_t event, void*) {
    if (job == nullptr) {
        return;
    }
    if (event & PAPPL_EVENT_JOB_CREATED) {
        g_server->jobs->OnCreated(job);
    }
    if ((event & (PAPPL_EVENT_JOB_COMPLETED | PAPPL_EVENT_JOB_STATE_CHANGED)) &&
        papplJobGetState(job) >= IPP_JSTATE_CANCELED) {
        g_server->jobs->OnEnded(papplJobGetID(job));
    }
}

bool ExpireTimer(pappl_system_t*, void*) {
    g_server->jobs->ExpireHeld(time(nullptr));
    return true;
}

bool MakeFolder(const std::string& path, mode_t mode) {
    return mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

// SIGTERM or SIGINT: the raw port closes, held and waiting jobs leave PAPPL's queue (they stay
// recorded), and PAPPL stops once the job printing now is done.
void WaitForStop(sigset_t signals) {
    int signal = 0;
    sigwait(&signals, &signal);
    Server& s = *g_server;
    papplLog(s.system, PAPPL_LOGLEVEL_INFO, "Stopping on signal %d.", signal);
    CloseIppIntake();
    s.raw->Stop();
    s.jobs->StopForShutdown();
    papplSystemShutdown(s.system);
}

int Fail(const std::string& message) {
    fprintf(stderr, "pinprint-printer: %s\n", message.c_str());
    return 1;
}

}  // namespace

int RunServer(const ServerOptions& o) {
    static Server server;
    server.options = o;
    g_server = &server;
    Server& s = server;
    std::string error;
    if (!IppHooksBound()) {
        return Fail(
            "libcups's ippRead, ippLength or ippWrite is bound in place of this "
            "program's: a job-password would be ignored, so the server does not start");
    }
    if (!MakeFolder(o.spool, 0700) || !MakeFolder(o.output, 0755) ||
        !MakeFolder(o.spool + "/queue", 0700)) {
        return Fail("cannot create " + o.spool + " or " + o.output + ": " + strerror(errno));
    }
    // The spool keeps the digests and the control socket: private even when it existed.
    if (chmod(o.spool.c_str(), 0700) != 0) {
        return Fail("cannot make " + o.spool + " private: " + strerror(errno));
    }
    const int lock = open((o.spool + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
        return Fail("another server owns " + o.spool);
    }
    const std::string socketPath = o.spool + "/" + kControlSocket;
    if (socketPath.size() >= 100) {
        return Fail("the spool folder's path is too long for its socket: " + socketPath);
    }
    unlink(socketPath.c_str());  // left by a server that was killed
    // PAPPL's spool holds nothing from before: its state is not kept (the store is the memory).
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(o.spool + "/queue", ignored)) {
        std::filesystem::remove(entry.path(), ignored);
    }
    if (!s.store.Open(o.spool + "/jobs", &error)) {
        return Fail(error);
    }

    // Signals go to one thread only, before PAPPL starts any.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    papplDeviceAddScheme("pinprint-tray", PAPPL_DEVTYPE_CUSTOM_LOCAL, TrayList, TrayOpen, TrayClose,
                         TrayRead, TrayWrite, TrayStatus, nullptr);
    s.system = papplSystemCreate(PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_NO_TLS,
                                 "PinPrint Reference Printer", o.ippPort, nullptr,
                                 (o.spool + "/queue").c_str(), o.logFile.c_str(), o.logLevel,
                                 nullptr, false);
    if (s.system == nullptr) {
        return Fail("PAPPL could not create the system");
    }
    const bool anywhere = o.listen == "any";
    if (!anywhere) {
        papplSystemSetHostName(s.system, o.listen.c_str());
    }
    if (!papplSystemAddListeners(s.system, anywhere ? nullptr : o.listen.c_str()) ||
        !papplSystemAddListeners(s.system, socketPath.c_str())) {
        return Fail("cannot listen for IPP on port " + std::to_string(o.ippPort));
    }
    papplSystemSetFooterHTML(s.system, "PinPrint reference printer");  // PAPPL's pages need one
    static pappl_pr_driver_t drivers[] = {
        {kDriver, "PinPrint Reference Printer", nullptr, nullptr}};
    papplSystemSetPrinterDrivers(s.system, 1, drivers, nullptr, nullptr, Driver, nullptr);
    papplSystemAddMIMEFilter(s.system, "application/pdf", "application/postscript", PrintPdf,
                             nullptr);
    papplSystemSetEventCallback(s.system, OnEvent, nullptr);

    s.printer =
        papplPrinterCreate(s.system, 0, "PinPrint", kDriver,
                           "MFG:PinPrint;MDL:Reference Printer;CMD:POSTSCRIPT,PDF;", kDeviceUri);
    pappl_pr_driver_data_t data;
    if (s.printer == nullptr || !papplPrinterGetDriverData(s.printer, &data) ||
        data.printfile_cb != PrintFile) {
        return Fail("PAPPL did not take the printer's driver");
    }
    // Held jobs count as active ones; PAPPL's default of 1 would turn every job after one
    // held job away.
    papplPrinterSetMaxActiveJobs(s.printer, 100000);

    JobRules rules;
    rules.maxWrongPins = o.maxWrongPins;
    rules.holdHours = o.holdHours;
    rules.outputFolder = o.output;
    rules.queueFolder = o.spool + "/queue";
    s.jobs = std::make_unique<Jobs>(s.store, rules);
    s.jobs->Attach(s.system, s.printer);
    papplSystemSetOperationCallback(s.system, HandleOperation, s.jobs.get());
    EnableIppHooks(s.jobs.get());
    AddHeldJobsPanel(s.system, s.printer, s.jobs.get());
    s.jobs->Restore();

    RawPortOptions raw;
    raw.host = anywhere ? "0.0.0.0" : o.listen == "localhost" ? "127.0.0.1" : o.listen;
    raw.port = o.rawPort;
    raw.timeoutSeconds = o.rawTimeoutSeconds;
    raw.maxJobBytes = static_cast<size_t>(o.maxJobMegabytes) << 20;
    s.raw = std::make_unique<RawPort>(*s.jobs, s.store, s.system, raw);
    if (!s.raw->Start(&error)) {
        return Fail(error);
    }
    papplSystemAddTimerCallback(s.system, time(nullptr) + 1, 1, ExpireTimer, nullptr);
    std::thread(WaitForStop, signals).detach();

    const char* host = anywhere ? "localhost" : o.listen.c_str();
    printf(
        "pinprint-printer: ipp://%s:%d/ipp/print, raw port %s:%d, held jobs at "
        "http://%s:%d/held\n",
        host, o.ippPort, raw.host.c_str(), o.rawPort, host, o.ippPort);
    fflush(stdout);
    papplSystemRun(s.system);
    papplSystemDelete(s.system);
    unlink(socketPath.c_str());
    return 0;
}

}  // namespace pinprint::printer
