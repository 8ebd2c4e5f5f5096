#include "support/sheet_harness.h"

#include "tools/drvhost/driver_sheet.h"

namespace pinprint::test {

DriverHeap::DriverHeap(SIZE_T maximum) : heap_(HeapCreate(0, 0, maximum)) {}

DriverHeap::~DriverHeap() {
    if (heap_ != nullptr) {
        HeapDestroy(heap_);
    }
}

int DriverHeap::BusyBlocks() const {
    return drvhost::HeapBlocksInUse(heap_);
}

bool DriverHeap::Exhaust() {
    for (SIZE_T size = 4096; size >= 8;) {
        if (HeapAlloc(heap_, 0, size) == nullptr) {
            size /= 2;
        }
    }
    return HeapAlloc(heap_, HEAP_ZERO_MEMORY, sizeof(SheetContext)) == nullptr;
}

SheetCall::SheetCall(HANDLE printer, HANDLE heap, DWORD flags) {
    param.cbSize = sizeof(param);
    param.hPrinter = printer;
    param.pPrinterName = const_cast<PWSTR>(L"PinPrint Test");
    param.hOEMHeap = heap;
    param.dwFlags = flags;
    info.cbSize = sizeof(info);
    info.Version = PROPSHEETUI_INFO_VERSION;
    info.lParamInit = reinterpret_cast<LPARAM>(&param);
}

// A copy points at its own parameters.
SheetCall::SheetCall(const SheetCall& other) : param(other.param), info(other.info) {
    info.lParamInit = reinterpret_cast<LPARAM>(&param);
}

HRESULT SheetCall::Run(HRESULT (*entry)(PPROPSHEETUI_INFO, LPARAM), WORD reason, LPARAM lParam) {
    info.Reason = reason;
    return entry(&info, lParam);
}

}  // namespace pinprint::test
