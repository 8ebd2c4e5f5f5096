// The printer's panel, a page of PAPPL's web interface: "Held jobs". Pick your user name, see
// your jobs, type the PIN, release. PAPPL's own jobs page, whose "Release Job" button would
// release a held job without its PIN, leads here instead.
#pragma once

#include <pappl/pappl.h>

namespace pinprint::printer {

class Jobs;

void AddHeldJobsPanel(pappl_system_t* system, pappl_printer_t* printer, Jobs* jobs);

}  // namespace pinprint::printer
