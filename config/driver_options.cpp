#include "config/driver_options.h"

#include <winspool.h>

namespace pinprint {

DriverOptions ReadDriverOptions(HANDLE printer) {
    DWORD value = 0;
    DWORD needed = 0;
    const DWORD status = GetPrinterDataW(printer, const_cast<LPWSTR>(kDriverOptionsValue), nullptr,
                                         reinterpret_cast<LPBYTE>(&value), sizeof(value), &needed);
    return status == ERROR_SUCCESS ? value : 0;
}

}  // namespace pinprint
