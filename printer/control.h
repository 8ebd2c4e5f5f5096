// The printer's own IPP operations, which the `held` and `release` commands send over the
// spool folder's socket, and the attributes they carry. Vendor operation codes: PAPPL hands
// every operation it does not know to the system's operation callback.
#pragma once

#include <cups/ipp.h>

namespace pinprint::printer {

inline constexpr ipp_op_t kOpListHeldJobs = static_cast<ipp_op_t>(0x4170);
inline constexpr ipp_op_t kOpReleaseHeldJobs = static_cast<ipp_op_t>(0x4171);
// Requests the printer turns away before PAPPL handles them (ipp_hooks.cpp).
inline constexpr ipp_op_t kOpRefusedPassword = static_cast<ipp_op_t>(0x4172);
inline constexpr ipp_op_t kOpNotPossible = static_cast<ipp_op_t>(0x4173);

inline constexpr char kAttrPin[] = "pinprint-pin";                    // octetString, release
inline constexpr char kAttrTriesLeft[] = "pinprint-tries-left";       // integer, per job
inline constexpr char kAttrReleased[] = "pinprint-released-job-ids";  // 1setOf integer
inline constexpr char kAttrDeleted[] = "pinprint-deleted-job-ids";    // 1setOf integer

// The socket in the spool folder through which the commands reach the server that owns it.
inline const char* kControlSocket = "printer.sock";

}  // namespace pinprint::printer
