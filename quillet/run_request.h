// The words of a directory ("-d") or multiple-file ("-m") run, read once: what to list, what to
// compute for each file, which files to leave out and how to show them. The runs, the
// comparison with a baseline and every output form read this record, never the words.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "file_hash.h"

enum RunKind { DIRECTORY_RUN, MULTIPLE_RUN };

struct RunRequest {
    RunKind kind;
    // Directory run: word 2, whatever it looks like; has_pattern false without it.
    bool has_pattern;
    std::wstring pattern;
    // Multiple-file run: the paths, up to the first digest word, less the run words.
    std::vector<std::wstring> paths;
    // Multiple-file run: some word besides the run words (else "No File Names given.").
    bool has_other_word;
    // The digests asked for, in the order of DIGEST_KINDS: every digest word of a directory
    // run, the one its last other word names in a multiple-file run.
    std::vector<const DigestKind*> digests;
    // A multiple-file report hashes before it shows the file's properties.
    bool digests_first;
    // "-s" / "-recurse": the directory run descends.
    bool recurse;
    // "-pe": a directory run's matches are PE images only.
    bool pe_only;
    // "-unsigned": only files whose signature is not trusted.
    bool unsigned_only;
    // "-extended" / "-x": the extended values of each file.
    bool extended;
    // "-csv" (decided once for the program) and "-html" (a directory run without -csv).
    bool csv;
    bool html;
    // "-json" (decided once for the program, like "-csv", which it wins over): csv is set too.
    bool json;
    // "-compare" / "-cmp": its index (-1 without) and its value, which is never another word.
    int compare;
    bool has_baseline;
    std::wstring baseline;
};

// Reads the stored words of a run of kind into request.
void read_run_request(RunKind kind, RunRequest& request);
