// What the rendering plug-in writes into a secure job: the PJL envelope around the driver's
// PostScript, with the names the printer lists the job by and the PIN's digest it holds the job
// under. Platform-neutral (no <windows.h>), so that it is fuzzed natively with the record's own
// operations.
#pragma once

#include <cstddef>
#include <cstdint>

#include "devmode/private_devmode.h"

namespace pinprint::render {

// A name as the printer receives it: UTF-8, at most 80 bytes, never a '"', a character below
// U+0020, U+007F or an unpaired surrogate; terminated.
inline constexpr size_t kPrinterNameBytes = 80;
struct PrinterName {
    char text[kPrinterNameBytes + 1];
    size_t length;
};

// `field` cleaned into a PrinterName: at most `maxChars` UTF-16 units are read, fewer when a NUL
// comes first; the refused characters are left out and the text is cut at the last whole
// character that fits.
PrinterName CleanPrinterName(const char16_t* field, size_t maxChars);

// The names a held job is listed by. User: `userName` when the names were typed (`customNames`
// 1), else the login name, else the computer name. Job: `jobName` when typed, else the computer
// name, else the login name. A name with nothing left after cleaning counts as empty and the
// next one is taken. False when no name is left for either.
struct JobNames {
    PrinterName user;
    PrinterName job;
};
bool ChooseJobNames(const PrivateDevmode& record, JobNames& names);

// True when `pinDigest` is exactly 64 lower-case hexadecimal characters.
bool HasHoldKeyDigest(const PrivateDevmode& record);

// What a job's record asks for: a normal job, a secure job, or a secure job that cannot be held
// (no digest to hold it under, or no name to list it by).
enum class JobKind { Normal, Secure, NoDigest, NoName };

// The bytes written at the stream's first and last injection points; both empty for a normal
// job. Large enough for every line of the envelope table at its longest.
inline constexpr size_t kEnvelopeBeginCapacity = 1024;
inline constexpr size_t kEnvelopeEndCapacity = 256;
struct JobEnvelope {
    size_t beginLength;
    size_t endLength;
    char begin[kEnvelopeBeginCapacity];
    char end[kEnvelopeEndCapacity];
};

// Reads exactly kPrivateDevmodeSize bytes at `record` (whatever they hold, never written),
// validates a copy as the record's own validation does, and fills `envelope` for a secure job.
// Anything but JobKind::Secure leaves the envelope empty.
JobKind PrepareJobEnvelope(const void* record, JobEnvelope& envelope);

}  // namespace pinprint::render
