#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "digest_steps.h"
#include "failure_notice.h"
#include "file_hash.h"
#include "hash_ahead.h"
#include "multiple_test_support.h"
#include "reference_digest.h"
#include "test_files.h"

namespace {

TEST(HashingThreads, SettingResolvesToTheThreadsOfTheRun)
{
    struct Case {
        int setting, processors, threads;
    } cases[] = {{0, 1, 1}, {0, 2, 2}, {0, 16, 8}, {1, 16, 1}, {3, 2, 3}, {64, 2, 64}, {65, 2, 64}, {-4, 8, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(c.threads, resolve_hashing_threads(c.setting, c.processors)) << c.setting << " " << c.processors;
}

// A digest computed on one thread and replayed on another gives what computing it on the spot
// gives: the digest, the failures in their order, and the last error left behind.
TEST(DigestOutcome, ReplayEqualsHashingOnTheSpot)
{
    std::wstring folder = make_temp_dir(L"replay");
    std::vector<std::wstring> paths = {join_path(folder, L"missing.bin"), join_path(folder, L"empty.bin"),
                                       join_path(folder, L"small.bin"), join_path(folder, L"pieces.bin"), folder};
    write_file(paths[1], "");
    write_file(paths[2], "abc");
    write_file(paths[3], std::string((3u << 20) + 1, 'p'));
    for (const std::wstring& path : paths) {
        for (ALG_ID algorithm : {CALG_MD5, CALG_SHA_256}) {
            FailureList spot = {}, replayed = {};
            wchar_t spot_text[260] = {}, replayed_text[260] = {};
            failure_collector = &spot;
            SetLastError(1234);
            bool spot_done = file_digest_text(algorithm, path.c_str(), spot_text);
            DWORD spot_error = GetLastError();
            DigestOutcome outcome;
            compute_digest_outcome(algorithm, path.c_str(), outcome);
            failure_collector = &replayed;
            SetLastError(1234);
            bool replay_done = replay_outcome(algorithm, outcome, false, replayed_text);
            DWORD replay_error = GetLastError();
            failure_collector = nullptr;
            EXPECT_EQ(spot_done, replay_done) << narrow(path);
            EXPECT_EQ(spot_error, replay_error) << narrow(path);
            EXPECT_EQ(narrow(spot_text), narrow(replayed_text));
            EXPECT_EQ(narrow(spot.joined), narrow(replayed.joined));
        }
    }
}

const char SETTINGS[] = "[OutputInformation]\r\nWriteOutputToQuilletLog=1\r\nPrintExtraFileProperties=1\r\n";

// A run; its log without the separator line, which holds the time of the run, goes into err.
RunResult run_logged(const std::wstring& exe, const std::vector<std::wstring>& args)
{
    RunResult run = run_quillet(exe, args);
    std::wstring log = exe.substr(0, exe.size() - 4) + L".log";
    std::string text = read_file(log);
    DeleteFileW(log.c_str());
    size_t time_end = text.find("-----------------", 17);
    run.err += "\nlog:\n" + (time_end == std::string::npos ? "" : text.substr(time_end + 17));
    return run;
}

// Where two outputs part, with a little of each, instead of two whole reports.
std::string first_difference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    if (at == expected.size() && at == actual.size())
        return "";
    size_t from = at < 80 ? 0 : at - 80;
    return "at " + std::to_string(at) + ": expected ..." + expected.substr(from, 160) + "\nbut got ..." +
           actual.substr(from, 160);
}

// Large files (several read pieces), small ones, an empty one, a folder's own entries, one file
// that another process holds open for writing, and more entries than the runs hash ahead.
class HashAhead : public ::testing::Test {
  protected:
    std::wstring folder;
    std::wstring big;
    std::string big_bytes;
    std::wstring locked;
    HANDLE writer = INVALID_HANDLE_VALUE;

    void SetUp() override
    {
        folder = make_temp_dir(L"ahead-tree");
        std::wstring sub = join_path(folder, L"sub");
        std::wstring many = join_path(sub, L"many");
        ASSERT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(many.c_str(), nullptr));
        for (unsigned index = 0; index < (5u << 20) + 123; ++index)
            big_bytes += static_cast<char>((index * 2654435761u) >> 24);
        big = join_path(folder, L"big.bin");
        put(big, big_bytes);
        put(join_path(sub, L"mid.bin"), big_bytes.substr(0, (2u << 20) + 7));
        put(join_path(folder, L"empty.bin"), "");
        put(join_path(folder, L"small.dll"), read_file(data_file(L"image_x86.dll")));
        put(join_path(sub, L"other.dll"), read_file(data_file(L"image_x64.dll")));
        for (int index = 0; index < 80; ++index)
            put(join_path(many, L"f" + std::to_wstring(index) + L".txt"), std::string(index * 37, 'q'));
        locked = join_path(sub, L"locked.bin");
        put(locked, "held open for writing");
        writer = CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    }

    // Reading a file moves an access time that is not later than its other times, so that the
    // runs could show different times: it is set a year ahead.
    static void put(const std::wstring& path, const std::string& bytes)
    {
        write_file(path, bytes);
        SYSTEMTIME now;
        GetSystemTime(&now);
        now.wYear += 1;
        now.wDay = 1;
        FILETIME later;
        SystemTimeToFileTime(&now, &later);
        HANDLE file =
            CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        SetFileTime(file, nullptr, &later, nullptr);
        CloseHandle(file);
    }

    void TearDown() override
    {
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    }
};

} // namespace

TEST_F(HashAhead, EveryThreadCountPrintsAndLogsWhatOneThreadDoes)
{
    std::wstring one = quillet_with_settings(L"ahead-one", std::string(SETTINGS) + "[Hashing]\r\nHashingThreads=1\r\n");
    std::wstring automatic = quillet_with_settings(L"ahead-auto", SETTINGS);
    std::wstring four =
        quillet_with_settings(L"ahead-four", std::string(SETTINGS) + "[Hashing]\r\nHashingThreads=4\r\n");
    std::wstring tree = join_path(folder, L"*");
    std::wstring sub = join_path(folder, L"sub");
    std::vector<std::vector<std::wstring>> commands = {
        {L"-d", tree, L"-s", L"-md5", L"-sha1", L"-sha256"},
        {L"-d", tree, L"-s", L"-sha256", L"-html"},
        {L"-d", tree, L"-s", L"-csv", L"-md5", L"-sha256"},
        {L"-m", big, join_path(folder, L"empty.bin"), join_path(folder, L"missing.bin"), join_path(sub, L"other.dll"),
         locked, L"-sha1"},
        {L"-m", L"-csv", join_path(folder, L"small.dll"), locked, big, L"-sha256"},
        // The signature check that leaves files out runs on the workers, before their digests.
        {L"-d", tree, L"-s", L"-unsigned", L"-md5"},
        {L"-m", big, join_path(sub, L"other.dll"), locked, L"-unsigned", L"-sha1"},
    };
    for (const std::vector<std::wstring>& command : commands) {
        RunResult expected = run_logged(one, command);
        ASSERT_FALSE(expected.out.empty());
        ASSERT_GT(expected.err.size(), expected.err.find("\nlog:\n") + 100) << "no log";
        for (const std::wstring& exe : {automatic, four}) {
            RunResult run = run_logged(exe, command);
            std::string words = narrow(command[0] + L" " + command.back());
            EXPECT_EQ("", first_difference(expected.out, run.out)) << words;
            EXPECT_EQ("", first_difference(expected.err, run.err)) << words;
            EXPECT_EQ(expected.exit_code, run.exit_code);
        }
    }
}

// The comparison above only means something when the runs do hash and do meet the failures.
TEST_F(HashAhead, ThreadedRunHashesAndReportsTheFailuresInPlace)
{
    std::wstring four = quillet_with_settings(L"ahead-four", "[Hashing]\r\nHashingThreads=4\r\n");
    RunResult run = run_quillet(four, {L"-d", join_path(folder, L"*"), L"-s", L"-sha256"});
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), run.exit_code);
    size_t heading = run.out.find("\r\nFile Version Info for:\r\n\"" + narrow(big) + "\"\r\n");
    std::string digest = "Allocating Memory (" + std::to_string(big_bytes.size()) +
                         ") Bytes...done!\r\nReading File Content...done!\r\nCreating Hash Data...done!\r\n" +
                         "File SHA256: " + reference_sha256(big_bytes) + "\r\n\r\n";
    EXPECT_NE(std::string::npos, find_after(run.out, digest, heading)) << run.out;
    std::string empty_heading = "\r\nFile Version Info for:\r\n\"" + narrow(join_path(folder, L"empty.bin")) + "\"\r\n";
    EXPECT_NE(std::string::npos,
              find_after(run.out, "Allocating Memory (0) Bytes...\r\nError: show_hash_info::VrtualAlloc Reason: ",
                         run.out.find(empty_heading)));
    std::string locked_heading = "\r\nFile Version Info for:\r\n\"" + narrow(locked) + "\"\r\n";
    EXPECT_NE(std::string::npos, find_after(run.out, "\r\nError: show_hash_info::CreateFile Reason: 32\r\n",
                                            run.out.find(locked_heading)));
    // Every file with content: big, mid, the two DLLs and 79 of the 80 small ones (the first is empty).
    EXPECT_EQ(83u, count_of(run.out, "File SHA256: "));
}

// Reading a file moves an old access time; a "-d" report shows the time from before its digest
// was read, as one thread does, even when a worker has read the file already.
TEST(HashAheadTimes, PropertiesShowTheAccessTimeBeforeTheDigestsRead)
{
    std::wstring folder = make_temp_dir(L"ahead-atime");
    std::vector<std::wstring> paths;
    for (int index = 0; index < 4; ++index) {
        paths.push_back(join_path(folder, L"a" + std::to_wstring(index) + L".bin"));
        write_file(paths.back(), std::string(100000, static_cast<char>('a' + index)));
    }
    SYSTEMTIME old_day = {2001, 1, 1, 1, 12, 0, 0, 0};
    FILETIME old_time;
    SystemTimeToFileTime(&old_day, &old_time);
    for (const std::wstring& path : paths) {
        HANDLE file =
            CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(SetFileTime(file, nullptr, &old_time, nullptr));
        CloseHandle(file);
    }
    std::wstring exe = quillet_with_settings(
        L"ahead-atime", "[Hashing]\r\nHashingThreads=4\r\n[OutputInformation]\r\nPrintExtraFileProperties=1\r\n");
    RunResult run = run_quillet(exe, {L"-d", join_path(folder, L"*.bin"), L"-md5", L"-sha1", L"-sha256"});
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(paths[0].c_str(), GetFileExInfoStandard, &data));
    if (CompareFileTime(&data.ftLastAccessTime, &old_time) == 0)
        GTEST_SKIP() << "reading a file does not move its access time here";
    EXPECT_EQ(4u, count_of(run.out, "File last Access: " + local_time_text(old_time) + "\r\n")) << run.out;
}
