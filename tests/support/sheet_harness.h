// Driving the plug-in's sheet entries as compstui does: the driver's heap and parameter record,
// and one PROPSHEETUI_INFO that carries the sheet's state from INIT to DESTROY.
#pragma once

#include <windows.h>
#include <compstui.h>

#include "pages/sheet_context.h"
#include "platform/oemui.h"

namespace pinprint::test {

// A heap of the driver's own (HeapCreate); `maximum` 0 lets it grow.
class DriverHeap {
  public:
    explicit DriverHeap(SIZE_T maximum = 0);
    ~DriverHeap();
    DriverHeap(const DriverHeap&) = delete;
    DriverHeap& operator=(const DriverHeap&) = delete;

    HANDLE get() const { return heap_; }
    // Blocks allocated and not yet freed.
    int BusyBlocks() const;
    // Fills a bounded heap until not even a small block fits; true when it refuses one.
    bool Exhaust();

  private:
    HANDLE heap_;
};

// The driver's OEMUIPSPARAM and the sheet's PROPSHEETUI_INFO for one sheet (Version 0x100,
// lParamInit pointing at the parameters). Callers set hComPropSheet and pfnComPropSheet.
struct SheetCall {
    SheetCall(HANDLE printer, HANDLE heap, DWORD flags = 0);
    SheetCall(const SheetCall& other);
    SheetCall& operator=(const SheetCall&) = delete;

    HRESULT Run(HRESULT (*entry)(PPROPSHEETUI_INFO, LPARAM), WORD reason, LPARAM lParam = 0);
    SheetContext* context() const { return reinterpret_cast<SheetContext*>(info.UserData); }

    OEMUIPSPARAM param = {};
    PROPSHEETUI_INFO info = {};
};

}  // namespace pinprint::test
