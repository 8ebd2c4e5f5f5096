// IPP's job-password on PAPPL 1.3.1, which has none.
//
// PAPPL reads every IPP request with libcups's ippRead and writes every response with its
// ippWrite, and calls the system's operation callback only for operations it does not handle
// itself, so a Print-Job's job-password never reaches the application. This program defines
// both functions, which the dynamic linker then binds in PAPPL's place, calls libcups's own, and
// looks at the request before PAPPL sees it and at the response before the client does:
//   - Print-Job, Create-Job, Validate-Job with job-password: the password is checked, hashed
//     when it came in clear, and removed from the request (PAPPL never stores or logs it);
//     job-hold-until=indefinite takes its place, so PAPPL creates the job held, and the job-
//     created event, on the same thread, gives the job its digest (Jobs::OnCreated). A password
//     the printer cannot take turns the request into a vendor operation that the operation
//     callback refuses with client-error-attributes-or-values-not-supported.
//   - Release-Job and Set-Job-Attributes on a secure held job, Hold-New-Jobs and
//     Release-Held-New-Jobs: refused (client-error-not-possible); a secure job is released
//     only with its PIN.
//   - Responses: a secure held job's job-state-reasons reads job-password-wait; and an IPP
//     job is recorded durably before its acknowledgement leaves (Jobs::OnAcknowledged).
#pragma once

#include <pappl/pappl.h>

namespace pinprint::printer {

class Jobs;

// True when the dynamic linker binds this program's ippRead, ippLength and ippWrite for every
// library: otherwise PAPPL would use libcups's own and never see a job-password.
bool IppHooksBound();
void EnableIppHooks(Jobs* jobs);
// From shutdown on, new jobs are refused with server-error-not-accepting-jobs.
void CloseIppIntake();

// The system's operation callback: the refusals above and the printer's own operations
// (control.h).
bool HandleOperation(pappl_client_t* client, void* jobs);

// job-password-supported, job-password-encryption-supported, job-password-repertoire-supported
void AddPasswordAttributes(ipp_t* printerAttributes);

}  // namespace pinprint::printer
