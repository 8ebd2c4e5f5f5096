#include "printer/commands.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <vector>

#include <cups/cups.h>

#include "printer/control.h"

namespace pinprint::printer {
namespace {

constexpr char kPrinterUri[] = "ipp://localhost/ipp/print";

// The answer of the server that owns `spool`, or null (said why on standard error).
ipp_t* Ask(const std::string& spool, ipp_t* request) {
    // A socket's name is a path from the root.
    char* absolute = realpath(spool.c_str(), nullptr);
    const std::string path =
        std::string(absolute ? absolute : spool.c_str()) + "/" + kControlSocket;
    free(absolute);
    http_t* http =
        httpConnect2(path.c_str(), 0, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (http == nullptr) {
        ippDelete(request);
        fprintf(stderr, "pinprint-printer: no server owns %s (%s)\n", spool.c_str(), path.c_str());
        return nullptr;
    }
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kPrinterUri);
    ipp_t* response = cupsDoRequest(http, request, "/ipp/print");
    httpClose(http);
    if (response == nullptr) {
        fprintf(stderr, "pinprint-printer: %s\n", cupsLastErrorString());
    }
    return response;
}

struct Row {
    std::string id, user, name, pages, received, tries;
};

}  // namespace

int ListHeldJobs(const std::string& spool) {
    ipp_t* response = Ask(spool, ippNewRequest(kOpListHeldJobs));
    if (response == nullptr) {
        return 2;
    }
    if (ippGetStatusCode(response) >= IPP_STATUS_REDIRECTION_OTHER_SITE) {
        fprintf(stderr, "pinprint-printer: %s\n", cupsLastErrorString());
        ippDelete(response);
        return 2;
    }
    std::vector<Row> rows = {{"ID", "USER", "JOB NAME", "PAGES", "RECEIVED", "TRIES LEFT"}};
    for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char* name = ippGetName(a);
        if (name == nullptr || ippGetGroupTag(a) != IPP_TAG_JOB) {
            continue;
        }
        if (!strcmp(name, "job-id")) {
            rows.emplace_back();
            rows.back().id = std::to_string(ippGetInteger(a, 0));
        } else if (!strcmp(name, "job-originating-user-name")) {
            rows.back().user = ippGetString(a, 0, nullptr);
        } else if (!strcmp(name, "job-name")) {
            rows.back().name = ippGetString(a, 0, nullptr);
        } else if (!strcmp(name, "job-impressions")) {
            rows.back().pages = std::to_string(ippGetInteger(a, 0));
        } else if (!strcmp(name, "time-at-creation")) {
            const time_t t = ippGetInteger(a, 0);
            char text[32];
            strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", localtime(&t));
            rows.back().received = text;
        } else if (!strcmp(name, kAttrTriesLeft)) {
            rows.back().tries = std::to_string(ippGetInteger(a, 0));
        }
    }
    ippDelete(response);
    if (rows.size() == 1) {
        printf("No held jobs.\n");
        return 0;
    }
    size_t width[5] = {};
    for (const Row& r : rows) {
        const std::string* cells[5] = {&r.id, &r.user, &r.name, &r.pages, &r.received};
        for (int i = 0; i < 5; ++i) {
            width[i] = std::max(width[i], cells[i]->size());
        }
    }
    for (const Row& r : rows) {
        printf("%-*s  %-*s  %-*s  %-*s  %-*s  %s\n", int(width[0]), r.id.c_str(), int(width[1]),
               r.user.c_str(), int(width[2]), r.name.c_str(), int(width[3]), r.pages.c_str(),
               int(width[4]), r.received.c_str(), r.tries.c_str());
    }
    return 0;
}

int ReleaseHeldJobs(const std::string& spool, const std::string& userName, const std::string& pin,
                    int jobId) {
    ipp_t* request = ippNewRequest(kOpReleaseHeldJobs);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 userName.c_str());
    ippAddOctetString(request, IPP_TAG_OPERATION, kAttrPin, pin.data(),
                      static_cast<int>(pin.size()));
    if (jobId > 0) {
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    }
    ipp_t* response = Ask(spool, request);
    if (response == nullptr) {
        return 2;
    }
    const bool released = ippGetStatusCode(response) == IPP_STATUS_OK;
    ipp_attribute_t* message = ippFindAttribute(response, "status-message", IPP_TAG_TEXT);
    printf("%s\n", message ? ippGetString(message, 0, nullptr)
                           : ippErrorString(ippGetStatusCode(response)));
    ippDelete(response);
    return released ? 0 : 1;
}

int SendToRawPort(const std::string& file, const std::string& host, int port) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "pinprint-printer: cannot read %s\n", file.c_str());
        return 2;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int fd = -1;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) == 0) {
        for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
            fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
                close(fd);
                fd = -1;
            }
        }
        freeaddrinfo(found);
    }
    if (fd < 0) {
        fprintf(stderr, "pinprint-printer: no raw port at %s:%d\n", host.c_str(), port);
        return 2;
    }
    std::vector<char> buffer(256 * 1024);
    bool sent = true;
    while (sent && in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        for (std::streamsize done = 0, n = in.gcount(); sent && done < n;) {
            const ssize_t w =
                send(fd, buffer.data() + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
            sent = w > 0;
            done += w > 0 ? w : 0;
        }
    }
    shutdown(fd, SHUT_WR);
    std::string reply;
    for (ssize_t n; (n = recv(fd, buffer.data(), buffer.size(), 0)) > 0;) {
        reply.append(buffer.data(), static_cast<size_t>(n));
    }
    close(fd);
    fputs(reply.empty() ? "no answer from the printer\n" : reply.c_str(), stdout);
    return !reply.empty() && reply.find("refused") == std::string::npos ? 0 : 1;
}

}  // namespace pinprint::printer
