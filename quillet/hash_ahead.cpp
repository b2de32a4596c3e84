#include "hash_ahead.h"

#include <process.h>

#include <deque>
#include <functional>
#include <memory>

#include "digest_pass.h"
#include "report_guard.h"
#include "settings.h"

namespace {

// Reports held back at most: the window of files whose digests may be computed ahead. Memory
// stays the workers' read buffers and this many outcomes, whatever the run's size.
const size_t FILES_AHEAD = 64;
const int MOST_THREADS = 64;
const int MOST_AUTOMATIC_THREADS = 8;

// The digests of one file, computed from one read of it.
struct AheadFile {
    std::wstring path;
    int count;
    ALG_ID algorithms[MOST_PASS_DIGESTS];
    DigestOutcome outcomes[MOST_PASS_DIGESTS];
    bool handed_out[MOST_PASS_DIGESTS];
    bool started;
    bool done;
    // The last access time before the reads, which may move it.
    bool has_access_time;
    FILETIME accessed;
};

// Whether a file is left out of the run at all, decided on a worker before any digest of it:
// the digests of a file left out are never computed.
struct AheadScreen {
    std::wstring path;
    bool started;
    bool done;
    bool left_out;
    bool sets_error;
    DWORD error;
    bool handed_out;
    // Queued once the file is kept; null without digests.
    AheadFile* file;
};

// A report waiting for its turn. The work of the run between two reports (the walk's
// listings) may set the last error, which the one-thread run's next report starts with: its
// effect is kept and repeated before the report.
struct HeldReport {
    std::wstring path;
    std::function<void()> report;
    std::unique_ptr<AheadFile> file;
    std::unique_ptr<AheadScreen> screen;
    bool sets_error;
    DWORD error;
};

struct HashPool {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE work_ready;
    CONDITION_VARIABLE work_done;
    std::deque<AheadFile*> waiting;
    std::deque<AheadScreen*> screens;
    bool (*screen)(const wchar_t* path);
    bool stopping;
    std::vector<HANDLE> threads;
    std::vector<ALG_ID> algorithms;
    std::deque<HeldReport> held;
    HeldReport* current;
    // The last error as the one-thread run has it between its reports.
    DWORD run_error;
};

HashPool pool;
bool pool_running = false;

// Called with the lock held, and returns with it held.
void run_screen(AheadScreen& screen)
{
    screen.started = true;
    LeaveCriticalSection(&pool.lock);
    SetLastError(ERROR_UNTOUCHED);
    bool left_out = pool.screen(screen.path.c_str());
    bool sets_error = false;
    DWORD error = 0;
    record_error(sets_error, error);
    EnterCriticalSection(&pool.lock);
    screen.left_out = left_out;
    screen.sets_error = sets_error;
    screen.error = error;
    screen.done = true;
    if (!left_out && screen.file != nullptr) {
        // A kept file's digests come before those of files that are still being screened.
        pool.waiting.push_front(screen.file);
        WakeAllConditionVariable(&pool.work_ready);
    }
    WakeAllConditionVariable(&pool.work_done);
}

// Each worker keeps its read buffer and provider contexts from one file to the next.
unsigned __stdcall hash_worker(void*)
{
    DigestScratch scratch = {};
    EnterCriticalSection(&pool.lock);
    for (;;) {
        while (pool.waiting.empty() && pool.screens.empty() && !pool.stopping)
            SleepConditionVariableCS(&pool.work_ready, &pool.lock, INFINITE);
        if (pool.stopping)
            break;
        if (!pool.screens.empty()) {
            AheadScreen* screen = pool.screens.front();
            pool.screens.pop_front();
            run_screen(*screen);
            continue;
        }
        AheadFile* file = pool.waiting.front();
        pool.waiting.pop_front();
        file->started = true;
        LeaveCriticalSection(&pool.lock);
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        bool has_access_time = GetFileAttributesExW(file->path.c_str(), GetFileExInfoStandard, &data) == 1;
        EnterCriticalSection(&pool.lock);
        file->has_access_time = has_access_time;
        file->accessed = data.ftLastAccessTime;
        LeaveCriticalSection(&pool.lock);
        // What the computing throws becomes each digest's notice, as on the reporting thread.
        try {
            compute_digest_outcomes(file->algorithms, file->outcomes, file->count, file->path.c_str(), scratch);
        } catch (...) {
            DWORD code = caught_exception_code();
            for (int index = 0; index < file->count; ++index) {
                file->outcomes[index] = DigestOutcome();
                record_step(file->outcomes[index], DIGEST_FAILED, L"show_hash_info", code);
            }
        }
        EnterCriticalSection(&pool.lock);
        file->done = true;
        WakeAllConditionVariable(&pool.work_done);
    }
    LeaveCriticalSection(&pool.lock);
    release_digest_scratch(scratch);
    return 0;
}

int processor_count()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return static_cast<int>(system.dwNumberOfProcessors);
}

// false: one thread hashes as it reports, as it always has.
bool start_pool(const std::vector<ALG_ID>& algorithms, bool (*screen)(const wchar_t*))
{
    int threads = resolve_hashing_threads(static_cast<int>(settings.HashingThreads), processor_count());
    if (threads < 2 || (algorithms.empty() && screen == nullptr) || algorithms.size() > MOST_PASS_DIGESTS)
        return false;
    InitializeCriticalSection(&pool.lock);
    InitializeConditionVariable(&pool.work_ready);
    InitializeConditionVariable(&pool.work_done);
    pool.stopping = false;
    pool.algorithms = algorithms;
    pool.screen = screen;
    pool.current = nullptr;
    pool.run_error = GetLastError();
    for (int index = 0; index < threads; ++index) {
        uintptr_t thread = _beginthreadex(nullptr, 0, hash_worker, nullptr, 0, nullptr);
        if (thread != 0)
            pool.threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    SetLastError(pool.run_error);
    if (pool.threads.empty()) {
        DeleteCriticalSection(&pool.lock);
        return false;
    }
    pool_running = true;
    return true;
}

void stop_pool()
{
    EnterCriticalSection(&pool.lock);
    pool.stopping = true;
    WakeAllConditionVariable(&pool.work_ready);
    LeaveCriticalSection(&pool.lock);
    for (HANDLE thread : pool.threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    pool.threads.clear();
    pool.waiting.clear();
    pool.screens.clear();
    DeleteCriticalSection(&pool.lock);
    pool_running = false;
    SetLastError(pool.run_error);
}

void wait_until_done(const AheadFile& file)
{
    while (!file.done)
        SleepConditionVariableCS(&pool.work_done, &pool.lock, INFINITE);
}

// A screen or digests that their report never asked for are dropped before a worker takes
// them, or waited for. A kept file's digests are queued when its screen is done.
void release_digests(HeldReport& report)
{
    EnterCriticalSection(&pool.lock);
    if (report.screen) {
        if (report.screen->started) {
            while (!report.screen->done)
                SleepConditionVariableCS(&pool.work_done, &pool.lock, INFINITE);
        }
        for (auto waiting = pool.screens.begin(); waiting != pool.screens.end(); ++waiting) {
            if (*waiting == report.screen.get()) {
                pool.screens.erase(waiting);
                break;
            }
        }
    }
    if (report.file && report.file->started) {
        wait_until_done(*report.file);
    } else if (report.file) {
        for (auto waiting = pool.waiting.begin(); waiting != pool.waiting.end(); ++waiting) {
            if (*waiting == report.file.get()) {
                pool.waiting.erase(waiting);
                break;
            }
        }
    }
    LeaveCriticalSection(&pool.lock);
    report.file.reset();
    report.screen.reset();
}

void make_oldest_report()
{
    HeldReport report = std::move(pool.held.front());
    pool.held.pop_front();
    if (report.sets_error)
        pool.run_error = report.error;
    pool.current = &report;
    SetLastError(pool.run_error);
    report.report();
    pool.run_error = GetLastError();
    pool.current = nullptr;
    release_digests(report);
}

// With a screen, the digests wait for it to keep the file.
void queue_digests(HeldReport& report)
{
    EnterCriticalSection(&pool.lock);
    if (pool.screen != nullptr) {
        report.screen.reset(new AheadScreen());
        report.screen->path = report.path;
        pool.screens.push_back(report.screen.get());
    }
    if (!pool.algorithms.empty()) {
        report.file.reset(new AheadFile());
        report.file->path = report.path;
        report.file->count = static_cast<int>(pool.algorithms.size());
        for (int index = 0; index < report.file->count; ++index)
            report.file->algorithms[index] = pool.algorithms[index];
        if (report.screen)
            report.screen->file = report.file.get();
        else
            pool.waiting.push_back(report.file.get());
    }
    WakeAllConditionVariable(&pool.work_ready);
    LeaveCriticalSection(&pool.lock);
}

// Called where the one-thread run reports, error being the last error found there: the work
// since the last call set it, or left it alone, which ERROR_UNTOUCHED tells apart.
void hold_report(DWORD error, const std::wstring& path, std::function<void()> report)
{
    HeldReport held;
    held.error = error;
    held.sets_error = error != ERROR_UNTOUCHED;
    held.path = path;
    held.report = std::move(report);
    if (!path.empty())
        queue_digests(held);
    pool.held.push_back(std::move(held));
    while (pool.held.size() > FILES_AHEAD)
        make_oldest_report();
    SetLastError(ERROR_UNTOUCHED);
}

// The reports still held, then the last error as the one-thread run ends.
void finish_reports()
{
    DWORD error = GetLastError();
    while (!pool.held.empty())
        make_oldest_report();
    if (error != ERROR_UNTOUCHED)
        pool.run_error = error;
    stop_pool();
}

void hold_entry(void* context, const std::wstring& path, bool fits, const std::wstring& relative)
{
    DWORD error = GetLastError();
    const WalkVisitor* visitor = static_cast<const WalkVisitor*>(context);
    // A path that does not fit is never opened, so nothing is hashed for it.
    hold_report(error, fits ? path : std::wstring(),
                [visitor, path, fits, relative]() { visitor->entry(visitor->context, path, fits, relative); });
}

void hold_unlistable(void* context, const std::wstring& folder, DWORD code)
{
    DWORD error = GetLastError();
    const WalkVisitor* visitor = static_cast<const WalkVisitor*>(context);
    hold_report(error, std::wstring(),
                [visitor, folder, code]() { visitor->unlistable(visitor->context, folder, code); });
}

void forward_left_out(void* context, const std::wstring& path, const std::wstring& relative)
{
    const WalkVisitor* visitor = static_cast<const WalkVisitor*>(context);
    visitor->left_out(visitor->context, path, relative);
}

} // namespace

int resolve_hashing_threads(int setting, int processors)
{
    if (setting == 0)
        setting = processors < MOST_AUTOMATIC_THREADS ? processors : MOST_AUTOMATIC_THREADS;
    if (setting < 1)
        return 1;
    return setting < MOST_THREADS ? setting : MOST_THREADS;
}

std::vector<ALG_ID> whole_file_algorithms(const std::vector<const DigestKind*>& digests)
{
    std::vector<ALG_ID> algorithms;
    for (const DigestKind* digest : digests) {
        if (digest->source == WHOLE_FILE)
            algorithms.push_back(digest->algorithm);
    }
    return algorithms;
}

WalkResult walk_pattern_ahead(const wchar_t* pattern, bool recurse, const WalkVisitor& visitor,
                              const std::vector<ALG_ID>& algorithms, bool (*screen)(const wchar_t* path))
{
    if (!start_pool(algorithms, screen))
        return walk_pattern(pattern, recurse, visitor);
    WalkVisitor holding = {hold_entry, hold_unlistable, const_cast<WalkVisitor*>(&visitor), visitor.matches,
                           visitor.left_out ? forward_left_out : nullptr};
    SetLastError(ERROR_UNTOUCHED);
    WalkResult result = walk_pattern(pattern, recurse, holding);
    finish_reports();
    return result;
}

void report_paths_ahead(const std::vector<std::wstring>& paths, const std::vector<ALG_ID>& algorithms,
                        void (*report)(void* context, const std::wstring& path), void* context,
                        bool (*screen)(const wchar_t* path))
{
    if (paths.empty() || !start_pool(algorithms, screen)) {
        for (const std::wstring& path : paths)
            report(context, path);
        return;
    }
    SetLastError(ERROR_UNTOUCHED);
    for (const std::wstring& path : paths)
        hold_report(ERROR_UNTOUCHED, path, [report, context, path]() { report(context, path); });
    finish_reports();
}

void keep_access_time_before_hashing(const wchar_t* path, FILETIME& accessed)
{
    if (!pool_running || pool.current == nullptr || pool.current->path != path || !pool.current->file)
        return;
    DWORD saved_error = GetLastError();
    EnterCriticalSection(&pool.lock);
    const AheadFile& file = *pool.current->file;
    bool any_handed_out = false;
    for (int index = 0; index < file.count; ++index)
        any_handed_out = any_handed_out || file.handed_out[index];
    // The reads come after the time was taken; without it, no read has begun and accessed is
    // still right.
    if (!any_handed_out && file.has_access_time)
        accessed = file.accessed;
    LeaveCriticalSection(&pool.lock);
    SetLastError(saved_error);
}

bool screened_ahead(const wchar_t* path, bool& left_out)
{
    if (!pool_running || pool.current == nullptr || pool.current->path != path || !pool.current->screen)
        return false;
    AheadScreen& screen = *pool.current->screen;
    if (screen.handed_out)
        return false;
    EnterCriticalSection(&pool.lock);
    while (!screen.done)
        SleepConditionVariableCS(&pool.work_done, &pool.lock, INFINITE);
    screen.handed_out = true;
    left_out = screen.left_out;
    LeaveCriticalSection(&pool.lock);
    // The check's effect on the last error, as if this thread had made it.
    if (screen.sets_error)
        SetLastError(screen.error);
    return true;
}

const DigestOutcome* digest_computed_ahead(ALG_ID algorithm, const wchar_t* path)
{
    if (!pool_running || pool.current == nullptr || pool.current->path != path || !pool.current->file)
        return nullptr;
    DWORD saved_error = GetLastError();
    const DigestOutcome* outcome = nullptr;
    EnterCriticalSection(&pool.lock);
    AheadFile& file = *pool.current->file;
    for (int index = 0; index < file.count; ++index) {
        if (file.algorithms[index] != algorithm || file.handed_out[index])
            continue;
        wait_until_done(file);
        file.handed_out[index] = true;
        outcome = &file.outcomes[index];
        break;
    }
    LeaveCriticalSection(&pool.lock);
    SetLastError(saved_error);
    return outcome;
}
