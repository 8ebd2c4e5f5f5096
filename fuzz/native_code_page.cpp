// Native builds have no GetACP(): the fuzz targets run as on a Western European system.
#include "devmode/private_devmode.h"

namespace pinprint {

uint32_t AnsiCodePage() {
    return 1252;
}

}  // namespace pinprint
