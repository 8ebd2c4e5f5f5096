// The rendering plug-in's cost in a job, side by side in one run with what a job costs without
// it: a 50-page secure job as drvhost print writes it (the document, every injection point, the
// job file written), against the same job from a driver with no rendering plug-in; and Command
// at PSINJECT_BEGINSTREAM against the driver's helper writing the same bytes itself.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench.h"
#include "devmode/private_devmode.h"
#include "driver_render.h"
#include "render/render_object.h"
#include "rules/pin_digest.h"
#include "support/test_support.h"

namespace {

using pinprint::PrivateDevmode;

// What drvhost print does with a job's bytes once they are written.
void Save(const std::string& stream, const std::wstring& path) {
    std::ofstream file(path.c_str(), std::ios::binary);
    file.write(stream.data(), static_cast<std::streamsize>(stream.size()));
}

}  // namespace

int main() {
    drvhost::RenderDriver driver;
    std::wstring reason;
    std::vector<BYTE> devmode;
    if (!driver.Load(pinprint::test::BinPath(L"pinprintps.dll"), reason) ||
        !drvhost::DefaultDevmode(driver.plugin(), devmode)) {
        fprintf(stderr, "cannot load pinprintps.dll: %ls\n", reason.c_str());
        return 1;
    }
    auto& record = *reinterpret_cast<PrivateDevmode*>(devmode.data() + sizeof(DEVMODEW));
    record.secureEnabled = 1;
    record.customNames = 1;
    pinprint::ComputePinDigest(L"1234", record.pinDigest);
    pinprint::CopyToField(record.userName, pinprint::kNameChars, L"Ann Smith");
    pinprint::CopyToField(record.jobName, pinprint::kNameChars, L"Q3 report");

    const drvhost::PrintDocument document = {
        "Q3 report", "2026-01-01 09:00", {"User name: Ann Smith", "Job name: Q3 report"}, 50};
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"pinprint-render-bench.prn";
    size_t withBytes = 0;
    size_t withoutBytes = 0;
    const auto withPlugin = [&] {
        drvhost::DriverJob job;
        drvhost::PrintJob(driver.plugin(), job, devmode, document);
        Save(job.stream, path);
        withBytes = job.stream.size();
    };
    const auto withoutPlugin = [&] {
        drvhost::DriverJob job;
        drvhost::WritePostScriptJob(nullptr, job, document);
        Save(job.stream, path);
        withoutBytes = job.stream.size();
    };
    const auto [jobNs, bareJobNs] = bench::SideBySide(withPlugin, withoutPlugin, 20, 201);

    drvhost::DriverJob job;
    drvhost::StartJob(driver.plugin(), job, devmode);
    DWORD result = 0;
    driver.plugin()->Command(&job.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
    std::string envelope = job.stream;
    // The job's stream is put back before its head each time: Command fails a second head.
    auto* pdev = static_cast<pinprint::render::RenderPdev*>(job.devobj.pdevOEM);
    const auto command = [&] {
        job.stream.clear();
        pdev->stream = pinprint::render::RenderPdev::Stream::BeforeHead;
        driver.plugin()->Command(&job.devobj, PSINJECT_BEGINSTREAM, nullptr, 0, &result);
    };
    const auto bareWrite = [&] {
        job.stream.clear();
        static_cast<IPrintCorePS2&>(driver.helper())
            .DrvWriteSpoolBuf(&job.devobj, envelope.data(), static_cast<DWORD>(envelope.size()),
                              &result);
    };
    const auto [commandNs, writeNs] = bench::SideBySide(command, bareWrite, 20000, 41);
    command();
    if (result != ERROR_SUCCESS || job.stream != envelope) {
        fprintf(stderr, "render_bench: Command wrote no envelope (%lu)\n", result);
        return 1;
    }
    drvhost::EndJob(driver.plugin(), job);
    DeleteFileW(path.c_str());

    char jobName[96];
    snprintf(jobName, sizeof(jobName), "50-page secure job, %zu bytes, with pinprintps.dll",
             withBytes);
    char bareName[96];
    snprintf(bareName, sizeof(bareName), "the same job without a rendering plug-in, %zu bytes",
             withoutBytes);
    char commandName[96];
    snprintf(commandName, sizeof(commandName), "Command at PSINJECT_BEGINSTREAM (%zu bytes)",
             envelope.size());
    const int missed = bench::Report(
        "The rendering plug-in in a job (medians of 201 and 41 batches, taken in turn with the "
        "floor)",
        {{jobName, jobNs, bareName, bareJobNs, 1.02},
         {commandName, commandNs, "the helper's DrvWriteSpoolBuf of the same bytes", writeNs,
          1.5}});
    return missed == 0 ? 0 : 3;
}
