// The fuzz benchmark's Windows side (bench/fuzz_images.sh).
//   fuzz_images make LIST OUT SEED PER_IMAGE: every image named in the file LIST (one Windows
//     path a line) gives PER_IMAGE hostile files in the folder OUT; prints the count.
//   fuzz_images time FOLDER CLEAN: the CSV row work of a "-d -csv -imphash -imagesha256
//     -imagesha1" run with the signature column, timed file by file in this process for every
//     file of FOLDER; prints the slowest file, and the clean file of CLEAN whose size is
//     nearest to it with its time.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>
#include <vector>

#include "csv_report.h"
#include "failure_notice.h"
#include "file_record.h"
#include "hostile_corpus.h"
#include "test_files.h"

namespace {

std::vector<std::wstring> lines_of(const std::wstring& path)
{
    std::string text = read_file(path);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(widen(line));
        start = end + 1;
    }
    return lines;
}

int make(const std::wstring& list, const std::wstring& out, uint32_t seed, size_t per_image)
{
    size_t written = 0, images = 0;
    for (const std::wstring& source : lines_of(list)) {
        wchar_t tag[16];
        swprintf(tag, 16, L"s%03u", static_cast<unsigned>(images));
        std::vector<HostileFile> corpus = make_import_corpus(read_file(source), tag, seed + images, per_image);
        if (corpus.empty())
            continue;
        ++images;
        if (!write_hostile_corpus(corpus, out))
            return 1;
        written += corpus.size();
    }
    wprintf(L"%u files from %u images\n", static_cast<unsigned>(written), static_cast<unsigned>(images));
    return 0;
}

struct Timed {
    std::wstring path;
    ULONGLONG size;
    double ms;
};

// Milliseconds of reading one file's record: everything its CSV rows are made from.
double time_rows(const CsvColumns& columns, const std::wstring& path)
{
    RecordWants wants = {columns.digests, columns.signature, false, false, columns.extended};
    FileRecord record;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    read_file_record(wants, path, record);
    QueryPerformanceCounter(&end);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::vector<Timed> time_folder(const CsvColumns& columns, const std::wstring& folder)
{
    std::vector<Timed> timed;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(join_path(folder, L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return timed;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            continue;
        std::wstring path = join_path(folder, found.cFileName);
        ULONGLONG size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        timed.push_back(Timed{path, size, time_rows(columns, path)});
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return timed;
}

int time_corpus(const std::wstring& folder, const std::wstring& clean)
{
    CsvColumns columns;
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (digest.source != WHOLE_FILE)
            columns.digests.push_back(&digest);
    }
    columns.signature = true;
    // The first file pays for loading the platform's signature and version libraries: the clean
    // ones go first, twice, and the second round counts.
    time_folder(columns, clean);
    std::vector<Timed> clean_files = time_folder(columns, clean);
    std::vector<Timed> hostile = time_folder(columns, folder);
    if (hostile.empty() || clean_files.empty())
        return 1;
    const Timed* slowest = &hostile[0];
    double total = 0;
    for (const Timed& file : hostile) {
        total += file.ms;
        if (file.ms > slowest->ms)
            slowest = &file;
    }
    const Timed* nearest = &clean_files[0];
    for (const Timed& file : clean_files) {
        ULONGLONG gap = file.size > slowest->size ? file.size - slowest->size : slowest->size - file.size;
        ULONGLONG best = nearest->size > slowest->size ? nearest->size - slowest->size : slowest->size - nearest->size;
        if (gap < best)
            nearest = &file;
    }
    wprintf(L"files timed: %u, mean %.2f ms\n", static_cast<unsigned>(hostile.size()), total / hostile.size());
    wprintf(L"slowest: %ls (%I64u bytes) %.1f ms\n", slowest->path.c_str(), slowest->size, slowest->ms);
    wprintf(L"clean of nearest size: %ls (%I64u bytes) %.1f ms\n", nearest->path.c_str(), nearest->size, nearest->ms);
    wprintf(L"slower than clean by: %.1f ms\n", slowest->ms - nearest->ms);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 6 && wcscmp(argv[1], L"make") == 0)
        return make(argv[2], argv[3], static_cast<uint32_t>(wcstoul(argv[4], nullptr, 10)),
                    static_cast<size_t>(wcstoul(argv[5], nullptr, 10)));
    if (argc == 4 && wcscmp(argv[1], L"time") == 0)
        return time_corpus(argv[2], argv[3]);
    fwprintf(stderr, L"usage: fuzz_images make LIST OUT SEED PER_IMAGE | time FOLDER CLEAN\n");
    return 87;
}
