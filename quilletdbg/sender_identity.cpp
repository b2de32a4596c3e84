#include "sender_identity.h"

#include "process_name.h"

SenderCache sender_cache = {};

namespace {

const DWORD OPEN_ACCESS = PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE;

SenderEntry* find_entry(SenderCache& cache, DWORD process_id)
{
    for (int i = 0; i < cache.count; ++i) {
        if (cache.entries[i].process_id == process_id)
            return &cache.entries[i];
    }
    return nullptr;
}

void let_go(SenderCache& cache, SenderEntry& entry)
{
    if (entry.process == nullptr)
        return;
    CloseHandle(entry.process);
    entry.process = nullptr;
    --cache.held;
}

SenderEntry* least_recently_used(SenderCache& cache, bool holding_only)
{
    SenderEntry* oldest = nullptr;
    for (int i = 0; i < cache.count; ++i) {
        SenderEntry& entry = cache.entries[i];
        if (holding_only && entry.process == nullptr)
            continue;
        if (oldest == nullptr || cache.clock - entry.last_used > cache.clock - oldest->last_used)
            oldest = &entry;
    }
    return oldest;
}

// Makes room for one more held handle: the handles of senders that have ended go first (their
// names stay, checked by creation time), else the one used longest ago.
void make_room_for_handle(SenderCache& cache)
{
    if (cache.held < HELD_SENDER_HANDLES)
        return;
    for (int i = 0; i < cache.count; ++i) {
        SenderEntry& entry = cache.entries[i];
        if (entry.process != nullptr && WaitForSingleObject(entry.process, 0) == WAIT_OBJECT_0)
            let_go(cache, entry);
    }
    if (cache.held >= HELD_SENDER_HANDLES)
        let_go(cache, *least_recently_used(cache, true));
}

// The entry for process_id: its old one, a free one, or the one used longest ago.
SenderEntry& entry_for(SenderCache& cache, DWORD process_id)
{
    SenderEntry* entry = find_entry(cache, process_id);
    if (entry == nullptr) {
        if (cache.count < SENDER_ENTRIES) {
            entry = &cache.entries[cache.count++];
            entry->process = nullptr;
        } else {
            entry = least_recently_used(cache, false);
            let_go(cache, *entry);
        }
    }
    entry->process_id = process_id;
    entry->last_used = ++cache.clock;
    return *entry;
}

// The last part of the image's path: the bare name, as the process snapshot gives it.
bool read_image_name(HANDLE process, wchar_t* name)
{
    wchar_t path[MAX_PATH * 2];
    DWORD length = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process, 0, path, &length) || length == 0)
        return false;
    const wchar_t* bare = path;
    for (DWORD i = 0; i < length; ++i) {
        if (path[i] == L'\\' || path[i] == L'/')
            bare = path + i + 1;
    }
    copy_text(name, TEXT_CHARS, bare);
    return name[0] != L'\0';
}

void hold_in_entry(SenderCache& cache, SenderEntry& entry, HANDLE process, ULONGLONG created)
{
    let_go(cache, entry);
    make_room_for_handle(cache);
    entry.process = process;
    entry.created = created;
    ++cache.held;
}

} // namespace

ULONGLONG process_creation_time(HANDLE process)
{
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(process, &created, &ended, &kernel, &user))
        return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

void identify_sender(SenderCache& cache, DWORD process_id, wchar_t* name)
{
    SenderEntry* known = find_entry(cache, process_id);
    if (known != nullptr && known->process != nullptr) {
        known->last_used = ++cache.clock;
        copy_text(name, TEXT_CHARS, known->name);
        return;
    }
    HANDLE process = OpenProcess(OPEN_ACCESS, FALSE, process_id);
    if (process == nullptr) {
        lookup_process_name(process_id, name);
        return;
    }
    ULONGLONG created = process_creation_time(process);
    bool same_process = known != nullptr && created != 0 && known->created == created;
    if (!same_process && !read_image_name(process, name)) {
        CloseHandle(process);
        lookup_process_name(process_id, name);
        return;
    }
    SenderEntry& entry = entry_for(cache, process_id);
    if (same_process)
        copy_text(name, TEXT_CHARS, entry.name);
    else
        copy_text(entry.name, TEXT_CHARS, name);
    hold_in_entry(cache, entry, process, created);
}

void remember_sender(SenderCache& cache, DWORD process_id, ULONGLONG created, const wchar_t* name)
{
    SenderEntry& entry = entry_for(cache, process_id);
    let_go(cache, entry);
    entry.created = created;
    copy_text(entry.name, TEXT_CHARS, name);
}

void forget_senders(SenderCache& cache)
{
    for (int i = 0; i < cache.count; ++i)
        let_go(cache, cache.entries[i]);
    cache.count = 0;
}
