// The brand's own PrintTicket namespace and the prefix declared for it, from the brand file
// (brand.h, which the build writes for each brand): compiled once for every brand's DLLs, so
// that the rest of the code is the same for all of them.
#include "brand.h"
#include "ticket/print_schema.h"

namespace pinprint::ticket {

extern const wchar_t kPinPrintUri[] = PINPRINT_BRAND_NAMESPACE;
extern const wchar_t kPinPrintPrefix[] = PINPRINT_BRAND_PREFIX;

}  // namespace pinprint::ticket
