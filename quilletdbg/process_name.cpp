#include "process_name.h"

#include <tlhelp32.h>

#include "text_helpers.h"

namespace {

// Every call must succeed exactly for the walk to go on.
bool find_in_snapshot(HANDLE snapshot, DWORD process_id, wchar_t* name)
{
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more == TRUE; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == process_id) {
            copy_text(name, TEXT_CHARS, entry.szExeFile);
            return true;
        }
    }
    return false;
}

} // namespace

void lookup_process_name(DWORD process_id, wchar_t* name)
{
    // A new snapshot for every message: the process IDs are reused.
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        copy_text(name, TEXT_CHARS, L"N/A");
        return;
    }
    if (!find_in_snapshot(snapshot, process_id, name))
        copy_text(name, TEXT_CHARS, L"N/A");
    CloseHandle(snapshot);
}
