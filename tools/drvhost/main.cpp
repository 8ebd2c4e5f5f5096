// drvhost: the driver host. It plays the part of the PostScript driver's configuration module
// around the plug-in, so that the plug-in can be installed, initialized and shown for real.
#include <cstdio>
#include <cstring>

#include "host.h"
#include "look.h"

namespace {

struct Command {
    const wchar_t* name;
    int (*run)(const drvhost::Args&);
    const wchar_t* help;
};

const Command kCommands[] = {
    {L"devmode", drvhost::CommandDevmode,
     L"load the plug-in as the driver does and show its private devmode [--json] [--dll PATH]"},
    {L"install", drvhost::CommandInstall,
     L"install the sample package and a printer, initialize it [--printer NAME] "
     L"[--package DIR]"},
    {L"prefs", drvhost::CommandPrefs,
     L"open Printing Preferences through compstui [--printer NAME] [--flags N]\n"
     L"           [--screenshot FILE.png] [--close-after MS] [--dll PATH]\n"
     L"           [--secure-pin NNNN [--user-name TEXT] [--job-name TEXT]]\n"
     L"                                tick secure printing and type the PIN (and names) first\n"
     L"           [--theme light] [--contrast high] [--dpi N]\n"
     L"                                in the Light style, high contrast, at N DPI"},
    {L"props", drvhost::CommandProps,
     L"open Printer Properties through compstui, with the same options as prefs"},
    {L"ticket", drvhost::CommandTicket,
     L"the PrintTicket provider as the driver drives it [--printer NAME] [--dll PATH]:\n"
     L"           the capabilities and the ticket for the current devmode;\n"
     L"           [--pin NNNN] [--user-name TEXT] [--job-name TEXT]\n"
     L"                                a program's secure job converted into the devmode;\n"
     L"           [--in FILE.xml [--validate]]  a ticket file converted (validated first)"},
    {L"print", drvhost::CommandPrint,
     L"print a job as the driver does, through both plug-ins, into a file: --out FILE\n"
     L"           [--printer NAME] [--pages N] [--title TEXT] [--dll PATH] [--render-dll PATH]\n"
     L"           [--secure-pin NNNN [--user-name TEXT] [--job-name TEXT]]\n"
     L"                                the PIN and names typed on the page first;\n"
     L"           [--ticket FILE.xml]  or the devmode a PrintTicket leaves"},
    {L"job", drvhost::CommandJob,
     L"decode a job file: its PJL, its PostScript, whether it is held: FILE [--postscript OUT]"},
};

void Usage() {
    fwprintf(stderr, L"usage: drvhost COMMAND [options]\n");
    for (const auto& c : kCommands) {
        fwprintf(stderr, L"  %-8ls %ls\n", c.name, c.help);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        Usage();
        return 2;
    }
    drvhost::Args args(argv + 2, argv + argc);
    // Wine reads the look when a program starts: drvhost starts itself again in it.
    drvhost::Look look;
    if (!drvhost::TakeLook(args, look)) {
        return 2;
    }
    if (look.any()) {
        return drvhost::RunSelfInLook(look, argv[1], args);
    }
    for (const auto& c : kCommands) {
        if (wcscmp(argv[1], c.name) == 0) {
            return c.run(args);
        }
    }
    Usage();
    return 2;
}
