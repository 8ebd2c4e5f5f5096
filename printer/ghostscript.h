// The printer's interpreter: Ghostscript's pdfwrite turns a job's PostScript (or PDF) into the
// PDF the output tray keeps.
#pragma once

#include <string>

namespace pinprint::printer {

// Writes `output` whole or not at all (it appears by a rename once Ghostscript succeeded).
// On failure, *error says why in one line ("Ghostscript: Error: /undefined in foo", "...
// stopped after 120 s"). `program` is the interpreter to run, "gs" from the path by default.
bool RenderPdf(const std::string& input, const std::string& output, int timeoutSeconds,
               std::string* error, const std::string& program = "gs");

}  // namespace pinprint::printer
