// drvhost job FILE: what a printer finds in a job: the PJL lines around the PostScript (the hold
// key's digest shortened to its first 8 characters), the PostScript part's title and pages, and
// whether a printer that honours the envelope holds the job. --postscript OUT writes the
// PostScript part alone, as a printer hands it to its interpreter.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host.h"

namespace drvhost {
namespace {

constexpr char kUel[] = "\x1B%-12345X";

std::wstring Shown(const std::string& line) {
    std::string text = line;
    for (size_t at = text.find('\x1B'); at != std::string::npos; at = text.find('\x1B', at)) {
        text.replace(at, 1, "<ESC>");
    }
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                    wide.data(), static_cast<int>(wide.size())));
    return wide;
}

// Splits PJL text into its lines (CR LF or LF).
std::vector<std::string> PjlLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        from = end + 1;
    }
    return lines;
}

// The quoted value of `key` among `lines` ("@PJL SET USERNAME=\"...\""); empty when absent.
std::string Value(const std::vector<std::string>& lines, const std::string& key, bool* found) {
    for (const std::string& line : lines) {
        if (line.compare(0, key.size(), key) == 0) {
            *found = true;
            std::string value = line.substr(key.size());
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    *found = false;
    return std::string();
}

bool IsDigest(const std::string& text) {
    return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

int CommandJob(const Args& args) {
    if (args.empty() || args[0].rfind(L"--", 0) == 0) {
        fwprintf(stderr, L"drvhost job FILE [--postscript OUT]\n");
        return 2;
    }
    std::ifstream in(args[0].c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        fwprintf(stderr, L"drvhost: cannot read %ls\n", args[0].c_str());
        return 1;
    }
    // Names and the digest's ellipsis go out as UTF-8, whatever the console's code page.
    fflush(stdout);
    _setmode(_fileno(stdout), _O_U8TEXT);
    wprintf(L"Job %ls: %zu bytes\n", args[0].c_str(), bytes.size());

    // The envelope: PJL from the first UEL up to ENTER LANGUAGE, and from the next UEL on.
    std::vector<std::string> head;
    std::vector<std::string> tail;
    std::string postscript = bytes;
    if (bytes.compare(0, sizeof(kUel) - 1, kUel) == 0) {
        // At the start of a line: a job may be named "@PJL ENTER LANGUAGE=POSTSCRIPT".
        const std::string enter = "\n@PJL ENTER LANGUAGE=POSTSCRIPT";
        size_t start = bytes.find(enter);
        start = start == std::string::npos ? start : start + 1;
        start = start == std::string::npos ? bytes.size() : bytes.find('\n', start);
        start = start == std::string::npos ? bytes.size() : start + 1;
        size_t end = bytes.find(kUel, start);
        end = end == std::string::npos ? bytes.size() : end;
        head = PjlLines(bytes.substr(0, start));
        tail = PjlLines(bytes.substr(end));
        postscript = bytes.substr(start, end - start);
    }
    bool found = false;
    std::string digest = Value(head, "@PJL SET HOLDKEYDIGEST=", &found);
    if (!head.empty()) {
        wprintf(L"PJL before the PostScript (%zu lines) and after it (%zu):\n", head.size(),
                tail.size());
        for (const auto* lines : {&head, &tail}) {
            for (std::string line : *lines) {
                if (found && !digest.empty() && line.find(digest) != std::string::npos) {
                    line.replace(line.find(digest), digest.size(),
                                 digest.substr(0, 8) + "\xE2\x80\xA6");
                }
                wprintf(L"  %ls\n", Shown(line).c_str());
            }
        }
    } else {
        wprintf(L"No PJL: the job is the PostScript alone\n");
    }

    // The PostScript part: its title and pages, as DSC comments give them.
    int pageComments = 0;
    std::string title = "(none)";
    std::string pages = "(none)";
    for (const std::string& line : PjlLines(postscript)) {
        if (line.rfind("%%Page: ", 0) == 0) {
            ++pageComments;
        } else if (line.rfind("%%Title: ", 0) == 0) {
            title = line.substr(9);
        } else if (line.rfind("%%Pages: ", 0) == 0) {
            pages = line.substr(9);
        }
    }
    const bool adobe = postscript.rfind("%!PS-Adobe-3.0", 0) == 0;
    wprintf(L"PostScript: %zu bytes, %ls, title %ls, %%%%Pages: %ls, %d page(s)\n",
            postscript.size(), adobe ? L"DSC 3.0" : L"NOT starting with %!PS-Adobe-3.0",
            Shown(title).c_str(), Shown(pages).c_str(), pageComments);

    // What a printer that honours the envelope does with it.
    bool job = false;
    bool user = false;
    bool hold = false;
    bool privateHold = false;
    const std::string jobName = Value(head, "@PJL JOB NAME=", &job);
    const std::string userName = Value(head, "@PJL SET USERNAME=", &user);
    Value(head, "@PJL SET HOLD=ON", &hold);
    Value(head, "@PJL SET HOLDTYPE=PRIVATE", &privateHold);
    const bool closed =
        !tail.empty() && tail.back() == kUel && tail.front().find("@PJL EOJ") != std::string::npos;
    if (job && user && hold && privateHold && IsDigest(digest) && closed) {
        wprintf(
            L"Held: a printer that honours the envelope keeps it as user \"%ls\", job \"%ls\", "
            L"until a PIN whose SHA-256 is %ls\x2026 is entered\n",
            Shown(userName).c_str(), Shown(jobName).c_str(), Shown(digest.substr(0, 8)).c_str());
    } else if (hold || privateHold || found) {
        wprintf(L"Refused: a hold without its key, names or end; a printer must not print it\n");
    } else {
        wprintf(L"Not held: a printer prints it at once\n");
    }

    const std::wstring psOut = OptionValue(args, L"--postscript", L"");
    if (!psOut.empty()) {
        std::ofstream file(psOut.c_str(), std::ios::binary);
        file.write(postscript.data(), static_cast<std::streamsize>(postscript.size()));
        if (!file.flush()) {
            fwprintf(stderr, L"drvhost: cannot write %ls\n", psOut.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace drvhost
