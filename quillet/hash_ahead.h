// Digests of the files that a run reports next, computed on worker threads while the run
// reports the current one. The run still reports in its own order on its own thread, and
// show_hash_info and file_digest_text print what a worker computed exactly as they print while
// hashing themselves: the output, the notices and the last error stay those of one thread.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

#include "directory_walk.h"
#include "file_hash.h"

// HashingThreads as a run uses it: 0 the processors (at most 8); other values within 1..64.
int resolve_hashing_threads(int setting, int processors);

// The digests that workers compute ahead: those of the whole file (the others read only a part
// of it and are computed by the report itself).
std::vector<ALG_ID> whole_file_algorithms(const std::vector<const DigestKind*>& digests);

// walk_pattern, each entry's report held back until the digests (algorithms, in the order the
// reports ask for them) of the entries listed after it are under way. screen (may be null)
// tells whether a file is left out of the run; a worker asks it before any digest of the file,
// and computes none for a file left out. With one thread, or neither digests nor a screen,
// walk_pattern itself.
WalkResult walk_pattern_ahead(const wchar_t* pattern, bool recurse, const WalkVisitor& visitor,
                              const std::vector<ALG_ID>& algorithms, bool (*screen)(const wchar_t* path) = nullptr);

// report(context, path) for each path in order, likewise.
void report_paths_ahead(const std::vector<std::wstring>& paths, const std::vector<ALG_ID>& algorithms,
                        void (*report)(void* context, const std::wstring& path), void* context,
                        bool (*screen)(const wchar_t* path) = nullptr);

// While path is the file being reported: whether the screen left it out, as a worker found
// (it waits for the worker), with the last error as if this thread had asked; false when no
// worker screened it, and then the caller asks itself.
bool screened_ahead(const wchar_t* path, bool& left_out);

// The outcome of the algorithm computed ahead for path while path is the file being reported,
// once (it waits for the worker); null otherwise, and then the caller computes it itself.
const DigestOutcome* digest_computed_ahead(ALG_ID algorithm, const wchar_t* path);

// Reading a file can move its last access time. While the file being reported is path and none
// of its digests has been handed out yet (a "-d" report shows the properties first), accessed
// becomes the time that the file had before the workers read it, as one thread would show it.
void keep_access_time_before_hashing(const wchar_t* path, FILETIME& accessed);
