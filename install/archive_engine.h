// The in-process archive engine (libarchive behind a console-style entry).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Error callback (context, code) and progress callback (context, low, high).
typedef void (*ArchiveErrorFunc)(void* context, int code);
typedef void (*ArchiveProgressFunc)(void* context, int low, int high);

// argv: module path, "x", archive path, "-o<folder>" and optionally
// "-p<password>". Extracts with full paths into the folder, keeping the
// permission bits. Returns 0 on success, 2 after errors or any other fatal
// error, 8 out of memory, 255 for a rejected command line; the same codes,
// plus 261 per failed item and 262 at the end of a run with errors, go to
// the error callback. Progress is completed * 100 / total uncompressed bytes,
// reported when it changes and is not 0.
//
// Entries with an absolute path, a ".." component, or a link that leads
// outside the output folder are refused (261): nothing is written outside it.
//
// An archive packed in several solid blocks is decoded by several threads, a
// block at a time each (see decode_plan.h); every callback still comes on the
// calling thread.
int ArchiveEngineMain(int argc, const char* const* argv, void* context, ArchiveErrorFunc onError,
                      ArchiveProgressFunc onProgress);

struct ArchiveEngineOptions {
    // Threads that decode solid blocks side by side; 0: one per core, at most
    // kMaxArchiveDecoders. 1 decodes the archive in one pass.
    unsigned decoders = 0;
};
constexpr unsigned kMaxArchiveDecoders = 4;

int ArchiveEngineMain(int argc, const char* const* argv, void* context, ArchiveErrorFunc onError,
                      ArchiveProgressFunc onProgress, const ArchiveEngineOptions& options);

// One entry as a check read it.
struct ArchiveEntryCheck {
    std::string name;     // as stored (UTF-8)
    bool ok = false;      // every byte decoded and the name would be written
    std::string error;    // the engine's reason otherwise
    bool unsafe = false;  // refused for its name or link target, not its data
};

// Reads the archive bytes the way an extraction does (same reader, names
// converted the same way, the same refusals of unsafe names and links) and
// decodes every entry's data, writing nothing. `entries` in archive order, as
// far as the archive could be read; `archiveError` when it could not be opened
// or ended early. True when every entry would extract.
bool ArchiveEngineCheck(const void* data, size_t size, std::vector<ArchiveEntryCheck>& entries,
                        std::string& archiveError);
