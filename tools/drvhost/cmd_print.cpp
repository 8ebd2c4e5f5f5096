// drvhost print: a job printed as the PostScript driver prints it. The job's devmode comes from
// the UI plug-in as the page leaves it (the PIN and names typed on the real page) or as the
// PrintTicket path leaves it; the rendering side (driver_render.h) then merges it through the
// rendering plug-in, starts the job, and writes a PostScript document of its own with the
// plug-in asked at every injection point. Wine has no PostScript driver to do this.
#include <cstdio>
#include <cwchar>
#include <fstream>

#include "devmode/private_devmode.h"
#include "driver_render.h"
#include "driver_ticket.h"
#include "host.h"
#include "oem_plugin.h"
#include "platform/unique_handle.h"
#include "render/job_envelope.h"

namespace drvhost {
namespace {

constexpr wchar_t kDefaultPrinter[] = L"PinPrint Demo";

std::string Utf8(const std::wstring& text) {
    std::string out(text.size() * 3, '\0');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   out.data(), static_cast<int>(out.size()), nullptr, nullptr));
    return out;
}

std::wstring Wide(const std::string& text) {
    std::wstring out(text.size(), L'\0');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                   out.data(), static_cast<int>(out.size())));
    return out;
}

std::string Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute);
    return text;
}

// The plug-in at the path given, else the one the printer's OEM INI names under `key`, else the
// one beside drvhost.
std::wstring PluginPath(const Args& args, const wchar_t* option, HANDLE printer, const wchar_t* key,
                        const wchar_t* fileName) {
    std::wstring path = OptionValue(args, option, L"");
    if (path.empty()) {
        path = OemPluginPath(printer, key);
    }
    return path.empty() ? ExeDirectory() + fileName : path;
}

// The devmode a ticket leaves: the UI plug-in's default record converted from the ticket file
// by its PrintTicket provider, merged into the printer's defaults.
bool DevmodeFromTicket(const std::wstring& uiPath, HANDLE printer, const std::wstring& file,
                       std::vector<BYTE>& devmode) {
    ComSession com;
    TicketDriver tickets;
    PluginHost host;
    Document ticket;
    std::vector<BYTE> record;
    DWORD privateSize = 0;
    std::wstring reason;
    if (!tickets.Open(uiPath, printer, reason) || ticket.d == nullptr ||
        !tickets.DefaultPrivateDevmode(record) || !LoadXmlFile(ticket.d, file, reason)) {
        fwprintf(stderr, L"drvhost: %ls: %ls\n", file.c_str(), reason.c_str());
        return false;
    }
    const HRESULT hr = tickets.TicketToDevmode(ticket.d, record);
    wprintf(L"The ticket %ls: ConvertPrintTicketToDevMode %ls\n", file.c_str(),
            ResultName(hr).c_str());
    return SUCCEEDED(hr) && host.Load(uiPath) && host.DefaultDevmode(devmode, privateSize) &&
           SUCCEEDED(host.MergeDevmode(devmode, privateSize, record.data()));
}

}  // namespace

int CommandPrint(const Args& args) {
    const std::wstring printerName = OptionValue(args, L"--printer", kDefaultPrinter);
    const std::wstring out = OptionValue(args, L"--out", L"");
    const std::wstring pin = OptionValue(args, L"--secure-pin", L"");
    const std::wstring ticketFile = OptionValue(args, L"--ticket", L"");
    const int pages = _wtoi(OptionValue(args, L"--pages", L"1").c_str());
    // Names are typed on the page beside the PIN; a ticket carries its own.
    const bool namesGiven = HasFlag(args, L"--user-name") || HasFlag(args, L"--job-name");
    if (out.empty() || pages < 1 || pages > 10000 || (!pin.empty() && !ticketFile.empty()) ||
        (namesGiven && pin.empty())) {
        fwprintf(stderr,
                 L"drvhost print: --out FILE is needed, --pages takes 1 to 10000, a job comes "
                 L"from the page (--secure-pin, with --user-name and --job-name) or a ticket, "
                 L"not both\n");
        return 2;
    }
    DeleteFileW(out.c_str());  // the file only ever holds a job written whole
    pinprint::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName.c_str()), printer.put(), nullptr)) {
        fwprintf(stderr, L"drvhost: printer \"%ls\" cannot be opened (error %lu)\n",
                 printerName.c_str(), GetLastError());
        return 1;
    }
    const std::wstring uiPath =
        PluginPath(args, L"--dll", printer.get(), L"OEMConfigFile1", L"pinprintui.dll");

    // The job's devmode, as the page or a ticket leaves it.
    std::vector<BYTE> devmode;
    if (!pin.empty()) {
        Args sheet = {L"--printer",     printerName, L"--dll",        uiPath,
                      L"--close-after", L"300",      L"--secure-pin", pin};
        for (const wchar_t* option : {L"--user-name", L"--job-name"}) {
            if (HasFlag(args, option)) {
                sheet.insert(sheet.end(), {option, OptionValue(args, option, L"")});
            }
        }
        if (EditPreferences(sheet, devmode) != 0) {
            fwprintf(stderr, L"drvhost: Printing Preferences did not end with OK: no job\n");
            return 1;
        }
    } else if (!ticketFile.empty()) {
        if (!DevmodeFromTicket(uiPath, printer.get(), ticketFile, devmode)) {
            fwprintf(stderr, L"drvhost: the ticket gives no devmode: no job\n");
            return 1;
        }
    } else {
        PluginHost host;
        DWORD privateSize = 0;
        if (!host.Load(uiPath) || !host.DefaultDevmode(devmode, privateSize)) {
            return 1;
        }
    }

    // The rendering side: the plug-in loaded, the job's record merged through it.
    const std::wstring renderPath =
        PluginPath(args, L"--render-dll", printer.get(), L"OEMDriverFile1", L"pinprintps.dll");
    RenderDriver render;
    std::wstring reason;
    if (!render.Load(renderPath, reason)) {
        fwprintf(stderr, L"drvhost: %ls\n", reason.c_str());
        return 1;
    }
    const RenderLoad& load = render.load();
    wprintf(
        L"Rendering plug-in %ls: IPrintOemPS2 %ls, IPrintOemPS taken; "
        L"PublishDriverInterface(IPrintCorePS2) %ls; GetInfo 0x%08lX, version 0x%lX\n",
        renderPath.c_str(), SUCCEEDED(load.newestInterface) ? L"answered" : L"refused",
        ResultName(load.coreOffered).c_str(), load.signature, load.version);
    std::vector<BYTE> jobDevmode;
    if (!DefaultDevmode(render.plugin(), jobDevmode) ||
        FAILED(MergeDevmode(render.plugin(), jobDevmode, devmode.data() + sizeof(DEVMODEW)))) {
        fwprintf(stderr, L"drvhost: the rendering plug-in's DevMode failed: no job\n");
        return 1;
    }
    const auto& record =
        *reinterpret_cast<const pinprint::PrivateDevmode*>(jobDevmode.data() + sizeof(DEVMODEW));
    const bool same = memcmp(&record, devmode.data() + sizeof(DEVMODEW), sizeof(record)) == 0;
    wprintf(
        L"The job's devmode, merged by pinprintps.dll (OEMDM_MERGE): secure printing %ls, "
        L"dmCopies %d; %ls\n",
        record.secureEnabled ? L"on" : L"off",
        reinterpret_cast<const DEVMODEW*>(jobDevmode.data())->dmCopies,
        same ? L"the same 652 bytes as pinprintui.dll's" : L"NOT the bytes pinprintui.dll gave");

    // The job.
    pinprint::render::JobNames names = {};
    pinprint::render::ChooseJobNames(record, names);
    PrintDocument document;
    document.title = Utf8(OptionValue(args, L"--title", L"PinPrint test page"));
    document.date = Today();
    document.pages = pages;
    const bool secure = record.secureEnabled == 1;
    document.lines = {secure ? "Secure printing: on, held until the PIN is entered at the printer"
                             : "Secure printing: off"};
    if (secure) {
        document.lines.push_back(std::string("User name: ") + names.user.text);
        document.lines.push_back(std::string("Job name: ") + names.job.text);
    }
    document.lines.push_back("Printed: " + document.date);
    DriverJob job;
    std::vector<Injection> injections;
    const JobResult result = PrintJob(render.plugin(), job, jobDevmode, document, &injections,
                                      printer.get(), render.module());
    if (FAILED(result.started)) {
        wprintf(
            L"EnablePDEV: 0x%08lX, last error %lu: the job cannot be held; it is not "
            L"started and nothing is written\n",
            result.started, result.error);
        return 1;
    }
    std::wstring wrote;
    for (const Injection& injection : injections) {
        if (injection.bytes != 0 || FAILED(injection.hr)) {
            wrote += (wrote.empty() ? L"" : L", ") + Wide(InjectionName(injection.index)) + L" " +
                     std::to_wstring(injection.bytes) + L" bytes" +
                     (FAILED(injection.hr) ? L" and FAILED" : L"");
        }
    }
    wprintf(
        L"EnablePDEV S_OK; Command at %zu injection points in stream order: %ls%ls; "
        L"DisablePDEV %ls\n",
        injections.size(), wrote.empty() ? L"none wrote" : wrote.c_str(),
        wrote.empty() ? L"" : L" written, the others added nothing",
        ResultName(result.ended).c_str());
    if (!result.written) {
        wprintf(L"The rendering plug-in failed the job: it is aborted and nothing is written\n");
        return 1;
    }
    std::ofstream file(out.c_str(), std::ios::binary);
    file.write(job.stream.data(), static_cast<std::streamsize>(job.stream.size()));
    if (!file.flush()) {
        fwprintf(stderr, L"drvhost: cannot write %ls\n", out.c_str());
        return 1;
    }
    wprintf(L"Job written to %ls: %zu bytes, %d page(s)%ls\n", out.c_str(), job.stream.size(),
            pages,
            secure ? (L", held for user \"" + Wide(names.user.text) + L"\", job \"" +
                      Wide(names.job.text) + L"\"")
                         .c_str()
                   : L"");
    return 0;
}

}  // namespace drvhost
