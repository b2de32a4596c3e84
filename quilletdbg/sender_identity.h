// Who sent a message, found while the sender is most likely still there: a handle opened on
// its process ID at capture, and a cache of names that outlives the sender.
#pragma once

#include <windows.h>

#include "text_helpers.h"

// One sender as the cache knows it. While process is held, the system cannot give the ID to
// another process, so the entry needs no check; without it, the entry counts only for a
// process with that ID that was created at the same time.
struct SenderEntry {
    DWORD process_id;
    ULONGLONG created; // creation time as a FILETIME value
    HANDLE process;    // held handle, or null
    DWORD last_used;
    wchar_t name[TEXT_CHARS];
};

const int SENDER_ENTRIES = 256;
// Handles of senders held open at most; beyond that the ended ones are let go first.
const int HELD_SENDER_HANDLES = 64;

struct SenderCache {
    SenderEntry entries[SENDER_ENTRIES];
    int count;
    int held;
    DWORD clock;
};

// The capture thread's cache.
extern SenderCache sender_cache;

// Writes the bare executable name of the process that has process_id into name (TEXT_CHARS),
// or "N/A" when there is none. Falls back to the process snapshot when the process cannot be
// opened (another account's service, say).
void identify_sender(SenderCache& cache, DWORD process_id, wchar_t* name);

// Puts a name into the cache without a handle, as if an earlier lookup had let its handle go.
void remember_sender(SenderCache& cache, DWORD process_id, ULONGLONG created, const wchar_t* name);

// The creation time of the process behind the handle, 0 when it cannot be read.
ULONGLONG process_creation_time(HANDLE process);

// Closes every held handle and forgets every entry.
void forget_senders(SenderCache& cache);
