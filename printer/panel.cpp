#include "printer/panel.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "printer/digest.h"
#include "printer/jobs.h"

namespace pinprint::printer {
namespace {

constexpr char kPath[] = "/held";

struct Panel {
    pappl_printer_t* printer;
    Jobs* jobs;
};

std::string Option(int count, cups_option_t* form, const char* name) {
    const char* value = cupsGetOption(name, count, form);
    return value ? value : "";
}

void ShowUserPicker(pappl_client_t* client, const std::vector<HeldJob>& held,
                    const std::string& user) {
    std::vector<std::string> users;
    for (const auto& job : held) {
        if (users.empty() || users.back() != job.userName) {
            users.push_back(job.userName);
        }
    }
    papplClientHTMLPrintf(client,
                          "<form method=\"GET\" action=\"%s\"><p><label>User name "
                          "<select name=\"user\" onchange=\"this.form.submit()\">"
                          "<option value=\"\">Choose your user name</option>",
                          kPath);
    for (const auto& name : users) {
        papplClientHTMLPrintf(client, "<option value=\"%s\"%s>%s</option>", name.c_str(),
                              name == user ? " selected" : "", name.c_str());
    }
    papplClientHTMLPuts(client,
                        "</select></label> <input type=\"submit\" value=\"Show my jobs\"></p>"
                        "</form>\n");
}

// job-id 0: every job of the user that the PIN opens.
void PinForm(pappl_client_t* client, const std::string& user, int jobId, const char* button) {
    papplClientHTMLStartForm(client, kPath, false);
    papplClientHTMLPrintf(
        client,
        "<input type=\"hidden\" name=\"user\" value=\"%s\"><input type=\"hidden\" "
        "name=\"job-id\" value=\"%d\"><input type=\"password\" name=\"pin\" "
        "inputmode=\"numeric\" pattern=\"[0-9]{4}\" maxlength=\"4\" size=\"6\" "
        "autocomplete=\"off\" required> <input type=\"submit\" value=\"%s\"></form>",
        user.c_str(), jobId, button);
}

void ShowJobs(pappl_client_t* client, const std::vector<HeldJob>& held, const std::string& user,
              Jobs* jobs) {
    std::vector<HeldJob> mine;
    std::copy_if(held.begin(), held.end(), std::back_inserter(mine),
                 [&](const HeldJob& job) { return job.userName == user; });
    if (mine.empty()) {
        papplClientHTMLPrintf(client, "<p>No held jobs for %s.</p>\n", user.c_str());
    } else {
        papplClientHTMLPuts(client,
                            "<table class=\"list\" id=\"held-jobs\"><thead><tr><th>Job</th>"
                            "<th>Name</th><th>Pages</th><th>Received</th><th>Tries left</th>"
                            "<th>PIN</th></tr></thead><tbody>\n");
        for (const auto& job : mine) {
            char received[64];
            strftime(received, sizeof(received), "%Y-%m-%d %H:%M", localtime(&job.received));
            papplClientHTMLPrintf(client,
                                  "<tr id=\"job-%d\"><td>%d</td><td>%s</td><td>%d</td><td>%s</td>"
                                  "<td>%d</td><td>",
                                  job.id, job.id, job.jobName.c_str(), job.pages, received,
                                  job.triesLeft);
            // A wrong PIN here counts against this job alone.
            PinForm(client, user, job.id, "Release");
            papplClientHTMLPuts(client, "</td></tr>\n");
        }
        papplClientHTMLPuts(client,
                            "</tbody></table>\n<div id=\"all\"><p>Or every job one PIN opens "
                            "(a wrong PIN here counts against each of your jobs):</p>");
        PinForm(client, user, 0, "Release all");
        papplClientHTMLPuts(client, "</div>\n");
    }
    for (const auto& text : jobs->Deletions(user)) {
        papplClientHTMLPrintf(client, "<p class=\"deleted\">%s</p>\n", text.c_str());
    }
}

bool ServePanel(pappl_client_t* client, void* data) {
    const Panel* panel = static_cast<const Panel*>(data);
    cups_option_t* form = nullptr;
    const int count = papplClientGetForm(client, &form);
    const std::string user = Option(count, form, "user");
    std::string message;
    if (papplClientGetMethod(client) == HTTP_STATE_POST) {
        if (!papplClientIsValidForm(client, count, form)) {
            message = "This page has expired: choose your user name again.";
        } else {
            const std::string job = Option(count, form, "job-id");
            // The form's values live in libcups's shared string pool: not wiped there, only
            // in this copy.
            std::string pin = Option(count, form, "pin");
            message = panel->jobs->Release(user, pin, atoi(job.c_str())).Message();
            Wipe(pin.data(), pin.size());
        }
    }
    cupsFreeOptions(count, form);
    // The printer header sends the HTTP response itself.
    papplClientHTMLPrinterHeader(client, panel->printer, "Held jobs", 0, nullptr, nullptr);
    papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\">\n");
    if (!message.empty()) {
        papplClientHTMLPrintf(client, "<div class=\"banner\" id=\"message\">%s</div>\n",
                              message.c_str());
    }
    const std::vector<HeldJob> held = panel->jobs->Held();
    ShowUserPicker(client, held, user);
    if (!user.empty()) {
        ShowJobs(client, held, user, panel->jobs);
    }
    papplClientHTMLPuts(client, "</div></div>\n");
    papplClientHTMLPrinterFooter(client);
    return true;
}

bool RedirectToPanel(pappl_client_t* client, void*) {
    return papplClientRespondRedirect(client, HTTP_STATUS_SEE_OTHER, kPath);
}

}  // namespace

void AddHeldJobsPanel(pappl_system_t* system, pappl_printer_t* printer, Jobs* jobs) {
    static Panel panel;
    panel = Panel{printer, jobs};
    papplSystemAddResourceCallback(system, kPath, "text/html", ServePanel, &panel);
    papplSystemRemoveResource(system, "/jobs");
    papplSystemAddResourceCallback(system, "/jobs", "text/html", RedirectToPanel, nullptr);
    papplPrinterAddLink(printer, "Held jobs", kPath,
                        PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_JOB);
}

}  // namespace pinprint::printer
