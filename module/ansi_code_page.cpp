#include <windows.h>

#include "devmode/private_devmode.h"

namespace pinprint {

uint32_t AnsiCodePage() {
    return GetACP();
}

}  // namespace pinprint
