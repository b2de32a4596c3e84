// The least that a recursive directory run with MD5 and SHA-256 digests has to do, written
// plainly: the main thread walks the tree with FindFirstFileW and hands each file to a worker;
// a worker reads the file's version block (size, block, translation table and the twelve
// standard strings of each translation), then reads the file once in 1 MiB pieces into its one
// buffer and feeds each piece to a CryptoAPI MD5 and a SHA-256 hash. Each worker acquires its
// provider context and its buffer once. Prints only the totals (and, with -print, one line of
// digests per file, in the order the workers finish), so that what is timed is the platform.
//
//   bare_digests <folder>\<pattern> [threads] [-print]
//
// threads defaults to quillet's default HashingThreads: one per logical processor, at most 8.
#include <windows.h>

#include <wincrypt.h>

#include <process.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include <deque>
#include <string>
#include <vector>

namespace {

const DWORD PIECE_BYTES = 1 << 20;
const int MOST_AUTOMATIC_THREADS = 8;
// Paths waiting at most: the walk stays a little ahead of the workers, as quillet's does.
const size_t MOST_WAITING = 64;

const wchar_t* const STANDARD_NAMES[] = {L"Comments",     L"CompanyName",    L"FileDescription", L"FileVersion",
                                         L"InternalName", L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename",
                                         L"ProductName",  L"ProductVersion", L"PrivateBuild",    L"SpecialBuild"};

struct Translation {
    WORD language;
    WORD code_page;
};

struct Totals {
    unsigned files;
    unsigned unreadable;
    unsigned with_version;
    unsigned strings;
    ULONGLONG bytes;
    // XOR of every digest's first eight bytes: the same files give the same figure.
    ULONGLONG fingerprint;
};

struct Queue {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE ready;
    CONDITION_VARIABLE room;
    std::deque<std::wstring> paths;
    bool walked;
    bool print;
    Totals totals;
};

Queue queue;

void count_version(const wchar_t* path, std::vector<BYTE>& block, Totals& totals)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0)
        return;
    if (block.size() < size)
        block.resize(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data()))
        return;
    void* table = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &table, &length))
        return;
    ++totals.with_version;
    const Translation* translations = static_cast<const Translation*>(table);
    for (UINT index = 0; index < length / sizeof(Translation); ++index) {
        for (const wchar_t* name : STANDARD_NAMES) {
            wchar_t sub_block[128];
            swprintf(sub_block, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[index].language,
                     translations[index].code_page, name);
            void* value = nullptr;
            UINT value_length = 0;
            if (VerQueryValueW(block.data(), sub_block, &value, &value_length) && value_length > 0)
                ++totals.strings;
        }
    }
}

struct Digests {
    BYTE md5[16];
    BYTE sha256[32];
};

bool finish_hash(HCRYPTHASH hash, BYTE* digest, DWORD size)
{
    return CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) != 0;
}

bool hash_file(HCRYPTPROV provider, const wchar_t* path, BYTE* buffer, Digests& digests, ULONGLONG& bytes)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    HCRYPTHASH md5 = 0, sha256 = 0;
    bool hashed =
        CryptCreateHash(provider, CALG_MD5, 0, 0, &md5) && CryptCreateHash(provider, CALG_SHA_256, 0, 0, &sha256);
    DWORD read = 0;
    while (hashed && ReadFile(file, buffer, PIECE_BYTES, &read, nullptr) && read > 0) {
        bytes += read;
        hashed = CryptHashData(md5, buffer, read, 0) && CryptHashData(sha256, buffer, read, 0);
    }
    hashed = hashed && finish_hash(md5, digests.md5, sizeof(digests.md5)) &&
             finish_hash(sha256, digests.sha256, sizeof(digests.sha256));
    if (sha256 != 0)
        CryptDestroyHash(sha256);
    if (md5 != 0)
        CryptDestroyHash(md5);
    CloseHandle(file);
    return hashed;
}

void print_digests(const Digests& digests, const wchar_t* path)
{
    wchar_t line[400];
    int used = 0;
    for (BYTE byte : digests.md5)
        used += swprintf(line + used, 400 - used, L"%02x", byte);
    line[used++] = L' ';
    for (BYTE byte : digests.sha256)
        used += swprintf(line + used, 400 - used, L"%02x", byte);
    line[used] = L'\0';
    wprintf(L"%ls %ls\n", line, path);
}

void add_totals(const Totals& mine)
{
    EnterCriticalSection(&queue.lock);
    queue.totals.files += mine.files;
    queue.totals.unreadable += mine.unreadable;
    queue.totals.with_version += mine.with_version;
    queue.totals.strings += mine.strings;
    queue.totals.bytes += mine.bytes;
    queue.totals.fingerprint ^= mine.fingerprint;
    LeaveCriticalSection(&queue.lock);
}

bool next_path(std::wstring& path)
{
    EnterCriticalSection(&queue.lock);
    while (queue.paths.empty() && !queue.walked)
        SleepConditionVariableCS(&queue.ready, &queue.lock, INFINITE);
    bool any = !queue.paths.empty();
    if (any) {
        path.swap(queue.paths.front());
        queue.paths.pop_front();
        WakeConditionVariable(&queue.room);
    }
    LeaveCriticalSection(&queue.lock);
    return any;
}

unsigned __stdcall worker(void*)
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return 1;
    BYTE* buffer = static_cast<BYTE*>(VirtualAlloc(nullptr, PIECE_BYTES, MEM_COMMIT, PAGE_READWRITE));
    std::vector<BYTE> block;
    Totals mine = {};
    std::wstring path;
    while (next_path(path)) {
        ++mine.files;
        count_version(path.c_str(), block, mine);
        Digests digests = {};
        if (!hash_file(provider, path.c_str(), buffer, digests, mine.bytes)) {
            ++mine.unreadable;
            continue;
        }
        ULONGLONG md5_head = 0, sha256_head = 0;
        memcpy(&md5_head, digests.md5, sizeof(md5_head));
        memcpy(&sha256_head, digests.sha256, sizeof(sha256_head));
        mine.fingerprint ^= md5_head ^ sha256_head;
        if (queue.print) {
            EnterCriticalSection(&queue.lock);
            print_digests(digests, path.c_str());
            LeaveCriticalSection(&queue.lock);
        }
    }
    add_totals(mine);
    VirtualFree(buffer, 0, MEM_RELEASE);
    CryptReleaseContext(provider, 0);
    return 0;
}

void hand_out(std::wstring path)
{
    EnterCriticalSection(&queue.lock);
    while (queue.paths.size() >= MOST_WAITING)
        SleepConditionVariableCS(&queue.room, &queue.lock, INFINITE);
    queue.paths.push_back(std::move(path));
    WakeConditionVariable(&queue.ready);
    LeaveCriticalSection(&queue.lock);
}

bool is_dot_entry(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// The pattern's matches in folder (files only), then every subfolder, depth first.
void walk(const std::wstring& folder, const wchar_t* pattern)
{
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + pattern).c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                hand_out(folder + entry.cFileName);
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
    listing = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        DWORD attributes = entry.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
            !is_dot_entry(entry.cFileName))
            walk(folder + entry.cFileName + L"\\", pattern);
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
}

int default_threads()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    int processors = static_cast<int>(system.dwNumberOfProcessors);
    return processors < MOST_AUTOMATIC_THREADS ? processors : MOST_AUTOMATIC_THREADS;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fwprintf(stderr, L"usage: bare_digests <folder>\\<pattern> [threads] [-print]\n");
        return 2;
    }
    int threads = default_threads();
    for (int index = 2; index < argc; ++index) {
        if (wcscmp(argv[index], L"-print") == 0)
            queue.print = true;
        else if (_wtoi(argv[index]) > 0)
            threads = _wtoi(argv[index]);
    }
    const wchar_t* last = wcsrchr(argv[1], L'\\');
    std::wstring folder = last == nullptr ? std::wstring() : std::wstring(argv[1], last + 1 - argv[1]);
    const wchar_t* pattern = last == nullptr ? argv[1] : last + 1;

    InitializeCriticalSection(&queue.lock);
    InitializeConditionVariable(&queue.ready);
    InitializeConditionVariable(&queue.room);
    std::vector<HANDLE> workers;
    for (int index = 0; index < threads; ++index)
        workers.push_back(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, worker, nullptr, 0, nullptr)));
    walk(folder, pattern);
    EnterCriticalSection(&queue.lock);
    queue.walked = true;
    WakeAllConditionVariable(&queue.ready);
    LeaveCriticalSection(&queue.lock);
    for (HANDLE thread : workers) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    const Totals& totals = queue.totals;
    wprintf(L"threads=%d files=%u unreadable=%u bytes=%I64u with_version=%u strings=%u fingerprint=%016I64x\n", threads,
            totals.files, totals.unreadable, totals.bytes, totals.with_version, totals.strings, totals.fingerprint);
    return 0;
}
