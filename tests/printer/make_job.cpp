// make_job FILE USER JOB PIN: a secure job in the plug-in's envelope, for printer-road.sh.
#include <cstdio>
#include <fstream>

#include "support/envelope.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: make_job FILE USER JOB PIN\n");
        return 2;
    }
    using namespace printer_test;
    std::ofstream(argv[1], std::ios::binary)
        << SecureJob(argv[2], argv[3], PinDigest(argv[4]), PostScript(argv[3]));
    return 0;
}
