// Jobs as the rendering plug-in writes them, and variants of them, for the printer's tests and
// benchmark: the one place that spells the envelope's bytes.
#pragma once

#include <string>
#include <vector>

namespace printer_test {

// SHA-256 of the PIN's ASCII digits, as the pages store it: 64 lower-case hexadecimal
// characters; or its 32 bytes, as IPP's sha2-256 job-password carries them.
std::string PinDigest(const std::string& pin, bool bytes = false);

// A DSC-conforming PostScript document of `pages` pages, each showing `title`.
std::string PostScript(const std::string& title, int pages = 1);

// UEL + "@PJL" and each line (CR LF after each), ENTER LANGUAGE=POSTSCRIPT, the PostScript,
// then the plug-in's ending: UEL + "@PJL EOJ NAME=..." CR LF, UEL.
std::string JobWithLines(const std::vector<std::string>& lines, const std::string& postscript,
                         const std::string& eojName = "JOB");

// The rendering plug-in's envelope for a secure job, byte for byte.
std::string SecureJob(const std::string& user, const std::string& job, const std::string& digest,
                      const std::string& postscript);

}  // namespace printer_test
