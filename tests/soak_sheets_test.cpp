// Leak soak: sheets opened, painted and closed through compstui's CommonPropertySheetUIW
// exactly as the driver opens them, and DevMode requests, with the process's resources counted
// before and after.
//
// How things are counted under Wine 8:
// - GDI objects: GetGuiResources is a stub there (always 0), so the test probes the process's
//   GDI handle table instead: it creates brushes until GDI refuses one, and the objects in use
//   are the table's capacity minus what it could still create. Every GDI object of the
//   process counts, whoever made it (the plug-in, comctl32, compstui, user32).
// - Kernel handles: Wine 8's GetProcessHandleCount succeeds with a count of 0, so the test
//   counts the handle values the process has open (GetHandleInformation on every value up to a
//   bound), and uses GetProcessHandleCount only where it gives a real answer.
// The first test shows that both counters see a leak of a few objects.
// - The driver's heap: HeapWalk over the heap handed to the plug-in as hOEMHeap.
// - The resource module: GetModuleHandleW on its path while the sheet is shown and after each
//   DESTROY (this program never loads it itself).
// A few sheets are opened before the first count, so that what comctl32 and compstui create
// once per process (classes, caches, fonts) is not mistaken for growth.
//
// How long: `make test` opens a bounded number of sheets, `make soak` (PINPRINT_SOAK=full) the
// full 2,000 of each kind; the 100,000 DevMode requests take under a second and run in both.
// The counters are exact (SoakCounters.SeeAFewObjectsLeftOpen) and no count may grow at all, so
// the bounded run still catches a leak of one object per sheet: 150 sheets x 1 leaked object =
// 150 objects against a tolerance of 0.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "config/driver_options.h"
#include "devmode/private_devmode.h"
#include "pages/sheet_context.h"
#include "support/compstui_sheet.h"
#include "support/test_handles.h"

namespace pinprint {
namespace {

using drvhost::DriverHeap;
using drvhost::SheetKind;
using test::SheetSeen;

bool FullSoak() {
    const char* value = getenv("PINPRINT_SOAK");
    return value != nullptr && strcmp(value, "full") == 0;
}

const int kSheetCycles = FullSoak() ? 2000 : 150;
constexpr int kWarmUpCycles = 10;
constexpr int kDevModeRequests = 100000;

// GDI objects the process holds: the handle table's room, probed by filling it. Wine 8's table
// holds 65480 objects per process.
int GdiObjectsInUse() {
    const HandleHog all(0);
    return 65480 - static_cast<int>(all.held());
}

// Open kernel handle values (multiples of 4) below a bound well above what the test uses.
int OpenHandleValues() {
    int open = 0;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        DWORD flags = 0;
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return open;
}

// GetProcessHandleCount's answer, or -1 when it has none: Wine 8 answers success with a count
// of 0, which no process with a console and a printer open can have.
int ProcessHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0
               ? static_cast<int>(count)
               : -1;
}

struct Counts {
    int gdi;
    int handleValues;
    int processHandles;
    int driverHeapBlocks;

    static Counts Take(const DriverHeap* heap) {
        return {GdiObjectsInUse(), OpenHandleValues(), ProcessHandleCount(),
                heap != nullptr ? heap->BusyBlocks() : 0};
    }
};

void Print(const char* what, int cycles, const Counts& before, const Counts& after) {
    printf(
        "[soak] %s, %d cycles: GDI objects %d -> %d; open handle values %d -> %d; "
        "GetProcessHandleCount %d -> %d (-1: no answer); driver heap blocks %d -> %d\n",
        what, cycles, before.gdi, after.gdi, before.handleValues, after.handleValues,
        before.processHandles, after.processHandles, before.driverHeapBlocks,
        after.driverHeapBlocks);
    fflush(stdout);
}

class Soak : public test::CompstuiSheetTest {
  protected:
    Soak() : CompstuiSheetTest(L"Soak") {}

    // One open/initialize/paint/close cycle through compstui, closed with OK as soon as it is
    // seen; false when it went wrong.
    bool Cycle(SheetKind kind, SheetSeen& seen) {
        seen = Open(kind, {}, 0, USER_TIMER_MINIMUM);
        return seen.opened && seen.sheetResult == CPSUI_OK && seen.entryAdded &&
               seen.initResult == S_OK && seen.sheet != nullptr && !IsWindow(seen.sheet);
    }

    // Runs the soak for one sheet and checks every cycle and the counts around them.
    void Run(SheetKind kind, const char* what) {
        for (int i = 0; i < kWarmUpCycles; ++i) {
            SheetSeen seen;
            ASSERT_TRUE(Cycle(kind, seen)) << "warm-up cycle " << i;
        }
        const Counts before = Counts::Take(&heap_);
        int failed = 0, withoutContext = 0, moduleMissing = 0, moduleKept = 0, heapWrong = 0,
            heapKept = 0;
        const DWORD start = GetTickCount();
        for (int i = 0; i < kSheetCycles; ++i) {
            SheetSeen seen;
            failed += Cycle(kind, seen) ? 0 : 1;
            withoutContext += seen.pageContext != nullptr ? 0 : 1;
            moduleMissing += seen.resourceModuleLoaded ? 0 : 1;
            heapWrong += seen.heapBlocks == 1 ? 0 : 1;  // the one SheetContext
            // DESTROY has run: the module it loaded and the context are gone.
            moduleKept += ResourceModuleLoaded() ? 1 : 0;
            heapKept += heap_.BusyBlocks() != 0 ? 1 : 0;
        }
        const DWORD elapsed = GetTickCount() - start;
        const Counts after = Counts::Take(&heap_);
        Print(what, kSheetCycles, before, after);
        printf("[soak] %s: %.1f ms per cycle\n", what, static_cast<double>(elapsed) / kSheetCycles);
        EXPECT_EQ(failed, 0) << "cycles that did not open, show and close with OK";
        EXPECT_EQ(withoutContext, 0) << "cycles whose page had no SheetContext";
        EXPECT_EQ(moduleMissing, 0) << "cycles that showed the page without the resource module";
        EXPECT_EQ(heapWrong, 0) << "cycles with other than one block in the driver's heap";
        EXPECT_EQ(moduleKept, 0) << "DESTROYs that left the resource module loaded";
        EXPECT_EQ(heapKept, 0) << "DESTROYs that left blocks in the driver's heap";
        EXPECT_LE(after.gdi, before.gdi) << "GDI objects grew";
        EXPECT_LE(after.handleValues, before.handleValues) << "kernel handles grew";
        if (before.processHandles >= 0 && after.processHandles >= 0) {
            EXPECT_LE(after.processHandles, before.processHandles);
        }
        EXPECT_EQ(after.driverHeapBlocks, 0);
    }
};

TEST_F(Soak, DocumentSheetWithTheSecurePrintPage) {
    ASSERT_TRUE(printer_->SetOptions(DRVOPT_SECURE_PAGE));
    Run(SheetKind::Document, "document sheet (secure-print page)");
}

TEST_F(Soak, DeviceSheetWithTheAboutPage) {
    ASSERT_TRUE(printer_->SetOptions(DRVOPT_ABOUT_PAGE));
    Run(SheetKind::Device, "device sheet (About page)");
}

// The counters themselves: a few objects left open show up exactly.
TEST(SoakCounters, SeeAFewObjectsLeftOpen) {
    const Counts before = Counts::Take(nullptr);
    HBRUSH brushes[3] = {CreateSolidBrush(RGB(1, 1, 1)), CreateSolidBrush(RGB(2, 2, 2)),
                         CreateSolidBrush(RGB(3, 3, 3))};
    HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    const Counts after = Counts::Take(nullptr);
    EXPECT_EQ(after.gdi - before.gdi, 3);
    EXPECT_EQ(after.handleValues - before.handleValues, 2);
    for (HBRUSH brush : brushes) {
        DeleteObject(brush);
    }
    for (HANDLE event : events) {
        CloseHandle(event);
    }
    const Counts again = Counts::Take(nullptr);
    EXPECT_EQ(again.gdi, before.gdi);
    EXPECT_EQ(again.handleValues, before.handleValues);
}

// DevMode as the driver asks for it: default, then convert and merge of a record the person
// changed, over and over; none of it may keep anything.
TEST_F(Soak, DevModeRequests) {
    struct Blocks {
        DEVMODEW pub;
        PrivateDevmode in;
        PrivateDevmode out;
    };
    auto blocks = std::make_unique<Blocks>();
    OEMDMPARAM param = {};
    param.cbSize = sizeof(param);
    param.hPrinter = printer_->handle();
    param.hModule = loaded_.module();
    param.pPublicDMIn = &blocks->pub;
    param.pPublicDMOut = &blocks->pub;
    param.pOEMDMIn = &blocks->in;
    param.pOEMDMOut = &blocks->out;
    param.cbBufSize = sizeof(blocks->out);
    ASSERT_EQ(plugin_->DevMode(OEMDM_DEFAULT, &param), S_OK);
    blocks->in = blocks->out;
    blocks->in.secureEnabled = 1;

    const Counts before = Counts::Take(&heap_);
    constexpr DWORD kModes[] = {OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE};
    int failed = 0;
    for (int i = 0; i < kDevModeRequests; ++i) {
        failed += plugin_->DevMode(kModes[i % 3], &param) == S_OK ? 0 : 1;
    }
    const Counts after = Counts::Take(&heap_);
    Print("DevMode requests", kDevModeRequests, before, after);
    EXPECT_EQ(failed, 0);
    EXPECT_LE(after.gdi, before.gdi);
    EXPECT_LE(after.handleValues, before.handleValues);
    if (before.processHandles >= 0 && after.processHandles >= 0) {
        EXPECT_LE(after.processHandles, before.processHandles);
    }
    EXPECT_EQ(after.driverHeapBlocks, 0);
}

}  // namespace
}  // namespace pinprint
