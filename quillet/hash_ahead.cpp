#include "hash_ahead.h"

#include <process.h>

#include <deque>
#include <functional>
#include <memory>

#include "report_guard.h"
#include "settings.h"

namespace {

// Reports held back at most: the window of files whose digests may be computed ahead. Memory
// stays the workers' read buffers and this many outcomes, whatever the run's size.
const size_t FILES_AHEAD = 64;
const int MOST_THREADS = 64;
const int MOST_AUTOMATIC_THREADS = 8;

struct AheadDigest {
    ALG_ID algorithm;
    std::wstring path;
    DigestOutcome outcome;
    bool started;
    bool done;
    bool handed_out;
    // The last access time before this digest's reads, which may move it.
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
    // Queued once the file is kept.
    std::vector<AheadDigest*> digests;
};

// A report waiting for its turn. The work of the run between two reports (the walk's
// listings) may set the last error, which the one-thread run's next report starts with: its
// effect is kept and repeated before the report.
struct HeldReport {
    std::wstring path;
    std::function<void()> report;
    std::vector<std::unique_ptr<AheadDigest>> digests;
    std::unique_ptr<AheadScreen> screen;
    bool sets_error;
    DWORD error;
};

struct HashPool {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE work_ready;
    CONDITION_VARIABLE work_done;
    std::deque<AheadDigest*> waiting;
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
    if (!left_out) {
        // A kept file's digests come before those of files that are still being screened.
        pool.waiting.insert(pool.waiting.begin(), screen.digests.begin(), screen.digests.end());
        WakeAllConditionVariable(&pool.work_ready);
    }
    WakeAllConditionVariable(&pool.work_done);
}

unsigned __stdcall hash_worker(void*)
{
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
        AheadDigest* digest = pool.waiting.front();
        pool.waiting.pop_front();
        digest->started = true;
        LeaveCriticalSection(&pool.lock);
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        bool has_access_time = GetFileAttributesExW(digest->path.c_str(), GetFileExInfoStandard, &data) == 1;
        EnterCriticalSection(&pool.lock);
        digest->has_access_time = has_access_time;
        digest->accessed = data.ftLastAccessTime;
        LeaveCriticalSection(&pool.lock);
        // What the computing throws becomes the digest's notice, as on the reporting thread.
        try {
            compute_digest_outcome(digest->algorithm, digest->path.c_str(), digest->outcome);
        } catch (...) {
            record_step(digest->outcome, DIGEST_FAILED, L"show_hash_info", caught_exception_code());
        }
        EnterCriticalSection(&pool.lock);
        digest->done = true;
        WakeAllConditionVariable(&pool.work_done);
    }
    LeaveCriticalSection(&pool.lock);
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
    if (threads < 2 || (algorithms.empty() && screen == nullptr))
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

void wait_until_done(const AheadDigest& digest)
{
    while (!digest.done)
        SleepConditionVariableCS(&pool.work_done, &pool.lock, INFINITE);
}

// A screen or a digest that its report never asked for is dropped before a worker takes it,
// or waited for. A kept file's digests are queued when its screen is done.
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
    for (std::unique_ptr<AheadDigest>& digest : report.digests) {
        if (digest->started) {
            wait_until_done(*digest);
            continue;
        }
        for (auto waiting = pool.waiting.begin(); waiting != pool.waiting.end(); ++waiting) {
            if (*waiting == digest.get()) {
                pool.waiting.erase(waiting);
                break;
            }
        }
    }
    LeaveCriticalSection(&pool.lock);
    report.digests.clear();
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
    for (ALG_ID algorithm : pool.algorithms) {
        std::unique_ptr<AheadDigest> digest(new AheadDigest());
        digest->algorithm = algorithm;
        digest->path = report.path;
        if (report.screen)
            report.screen->digests.push_back(digest.get());
        else
            pool.waiting.push_back(digest.get());
        report.digests.push_back(std::move(digest));
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

namespace {

bool is_earlier(const FILETIME& time, const FILETIME& other)
{
    return CompareFileTime(&time, &other) < 0;
}

} // namespace

void keep_access_time_before_hashing(const wchar_t* path, FILETIME& accessed)
{
    if (!pool_running || pool.current == nullptr || pool.current->path != path)
        return;
    DWORD saved_error = GetLastError();
    EnterCriticalSection(&pool.lock);
    bool any_handed_out = false;
    const FILETIME* earliest = nullptr;
    for (std::unique_ptr<AheadDigest>& digest : pool.current->digests) {
        any_handed_out = any_handed_out || digest->handed_out;
        if (digest->has_access_time && (earliest == nullptr || is_earlier(digest->accessed, *earliest)))
            earliest = &digest->accessed;
    }
    // The reads of a digest come after its time was taken, so the earliest time is the one
    // before any of them; without any, no read has begun and accessed is still right.
    if (!any_handed_out && earliest != nullptr)
        accessed = *earliest;
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
    if (!pool_running || pool.current == nullptr || pool.current->path != path)
        return nullptr;
    DWORD saved_error = GetLastError();
    const DigestOutcome* outcome = nullptr;
    EnterCriticalSection(&pool.lock);
    for (std::unique_ptr<AheadDigest>& digest : pool.current->digests) {
        if (digest->algorithm != algorithm || digest->handed_out)
            continue;
        wait_until_done(*digest);
        digest->handed_out = true;
        outcome = &digest->outcome;
        break;
    }
    LeaveCriticalSection(&pool.lock);
    SetLastError(saved_error);
    return outcome;
}
