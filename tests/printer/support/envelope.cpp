#include "support/envelope.h"

#include "printer/digest.h"

namespace printer_test {

std::string PinDigest(const std::string& pin, bool bytes) {
    pinprint::printer::Digest digest{};
    pinprint::printer::Sha256(pin.data(), pin.size(), &digest);
    return bytes ? std::string(digest.begin(), digest.end())
                 : pinprint::printer::DigestToHex(digest);
}

std::string PostScript(const std::string& title, int pages) {
    std::string ps = "%!PS-Adobe-3.0\n%%Title: " + title + "\n%%Pages: " + std::to_string(pages) +
                     "\n%%EndComments\n";
    for (int p = 1; p <= pages; ++p) {
        ps += "%%Page: " + std::to_string(p) + " " + std::to_string(p) +
              "\n/Helvetica findfont 24 scalefont setfont 72 700 moveto (" + title +
              ") show showpage\n";
    }
    return ps + "%%EOF\n";
}

std::string JobWithLines(const std::vector<std::string>& lines, const std::string& postscript,
                         const std::string& eojName) {
    const std::string uel = "\x1b%-12345X";
    std::string job = uel + "@PJL\r\n";
    for (const auto& line : lines) {
        job += line + "\r\n";
    }
    return job + "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n" + postscript + uel + "@PJL EOJ NAME=\"" +
           eojName + "\"\r\n" + uel;
}

std::string SecureJob(const std::string& user, const std::string& job, const std::string& digest,
                      const std::string& postscript) {
    return JobWithLines(
        {"@PJL JOB NAME=\"" + job + "\"", "@PJL SET USERNAME=\"" + user + "\"",
         "@PJL SET JOBNAME=\"" + job + "\"", "@PJL SET HOLD=ON", "@PJL SET HOLDTYPE=PRIVATE",
         "@PJL SET HOLDKEYDIGEST=\"" + digest + "\"", "@PJL SET QTY=1"},
        postscript, job);
}

}  // namespace printer_test
