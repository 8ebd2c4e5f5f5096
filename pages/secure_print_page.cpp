#include "pages/page_procs.h"
#include "pages/sheet_context.h"

namespace pinprint {

INT_PTR CALLBACK SecurePrintPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(page, DWLP_USER,
                          reinterpret_cast<LONG_PTR>(ContextFromInitDialog(lParam)));
        return TRUE;
    }
    return FALSE;
}

}  // namespace pinprint
