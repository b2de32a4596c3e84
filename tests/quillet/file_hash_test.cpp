#include <gtest/gtest.h>

#include <windows.h>

#include <winioctl.h>

#include <string>

#include "file_hash.h"
#include "reference_digest.h"
#include "report_runs.h"
#include "settings.h"
#include "test_files.h"

namespace {

// Bytes that differ from position to position, so that a digest over the wrong range or in
// the wrong order cannot match.
std::string sample_bytes(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 12345;
    for (char& c : bytes) {
        state = state * 1103515245 + 12345;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

DWORD error_of_empty_allocation()
{
    SetLastError(0);
    void* block = VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_EQ(nullptr, block);
    return GetLastError();
}

class FileHash : public ::testing::Test {
  protected:
    QuilletCopy copy;

    void SetUp() override
    {
        copy = make_quillet_copy(L"hash");
    }

    std::wstring sample_file(const std::wstring& name, const std::string& bytes)
    {
        std::wstring path = join_path(copy.folder, name);
        write_file(path, bytes);
        return path;
    }
};

} // namespace

TEST(ReferenceDigest, MatchesThePublishedTestVectors)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", reference_md5(""));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", reference_md5("abc"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              reference_md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"));
    EXPECT_EQ("a9993e364706816aba3e25717850c26c9cd0d89d", reference_sha1("abc"));
    EXPECT_EQ("84983e441c3bd26ebaae4aa1f95129e5e54670f1",
              reference_sha1("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
    EXPECT_EQ("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", reference_sha256(""));
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", reference_sha256("abc"));
    EXPECT_EQ("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
              reference_sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"));
}

TEST_F(FileHash, PlainDigestsEqualTheReferenceForSeveralSizes)
{
    for (size_t size : {size_t(1), size_t(55), size_t(56), size_t(63), size_t(64), size_t(65), size_t(128),
                        size_t(3 * 1024 * 1024 + 7)}) {
        std::string bytes = sample_bytes(size);
        std::wstring path = sample_file(L"sample" + std::to_wstring(size) + L".bin", bytes);
        RunResult md5 = run_quillet(copy, {path, L"-md5", L"-p"});
        EXPECT_EQ(reference_md5(bytes), md5.out) << "size " << size;
        RunResult sha1 = run_quillet(copy, {path, L"-SHA1", L"-plain"});
        EXPECT_EQ(reference_sha1(bytes), sha1.out) << "size " << size;
        RunResult sha256 = run_quillet(copy, {path, L"-Sha256", L"-p"});
        EXPECT_EQ(reference_sha256(bytes), sha256.out) << "size " << size;
        DeleteFileW(path.c_str());
    }
}

TEST_F(FileHash, SingleFileRunShowsProgressLinesAndTheLabelledDigest)
{
    std::string bytes = sample_bytes(1024);
    std::wstring path = sample_file(L"kilo.bin", bytes);
    RunResult md5 = run_quillet(copy, {path, L"-md5"});
    EXPECT_EQ(0u, md5.exit_code);
    std::string progress = "Allocating Memory (1024) Bytes...done!\r\nReading File Content...done!\r\n"
                           "Creating Hash Data...done!\r\n";
    EXPECT_EQ(0u, md5.out.find(plain_banner() + file_heading(path) + progress + "File MD5: " + reference_md5(bytes) +
                               "\r\n\r\nGetting File Version Info Size failed."))
        << md5.out;
    RunResult sha1 = run_quillet(copy, {path, L"-sha1"});
    EXPECT_NE(std::string::npos, sha1.out.find(progress + "File SHA1: " + reference_sha1(bytes) + "\r\n\r\n"))
        << sha1.out;
    RunResult sha256 = run_quillet(copy, {path, L"-sha256"});
    EXPECT_NE(std::string::npos,
              sha256.out.find(progress + "File SHA256: " + reference_sha256(bytes) + "\r\n\r\nGetting File"))
        << sha256.out;
}

TEST_F(FileHash, EmptyFileGivesTheAllocationNotice)
{
    std::wstring path = sample_file(L"empty.bin", "");
    std::string notice = failure_notice(error_of_empty_allocation(), "show_hash_info::VrtualAlloc");
    RunResult plain = run_quillet(copy, {path, L"-md5", L"-p"});
    EXPECT_EQ(notice, plain.out);
    RunResult single = run_quillet(copy, {path, L"-sha1"});
    EXPECT_NE(std::string::npos, single.out.find(file_heading(path) + "Allocating Memory (0) Bytes..." + notice))
        << single.out;
    EXPECT_EQ(std::string::npos, single.out.find("File SHA1"));
}

TEST_F(FileHash, MissingFileGivesOnlyTheOpenNotice)
{
    std::wstring path = join_path(copy.folder, L"missing.bin");
    RunResult run = run_quillet(copy, {path, L"-md5", L"-plain"});
    EXPECT_EQ(failure_notice(ERROR_FILE_NOT_FOUND, "show_hash_info::CreateFile"), run.out);
}

TEST_F(FileHash, FileOpenForWritingElsewhereCannotBeHashed)
{
    std::wstring path = sample_file(L"busy.bin", "busy");
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    RunResult run = run_quillet(copy, {path, L"-sha1", L"-p"});
    CloseHandle(writer);
    EXPECT_EQ(failure_notice(ERROR_SHARING_VIOLATION, "show_hash_info::CreateFile"), run.out);
}

TEST(ReferenceDigest, Md5WithZerosEqualsTheDigestOfTheWholeContent)
{
    EXPECT_EQ(reference_md5("abc"), reference_md5_with_zeros("ab", 0, "c"));
    const size_t zeros = (1 << 20) + 100;
    EXPECT_EQ(reference_md5("head" + std::string(zeros, '\0') + "tail"),
              reference_md5_with_zeros("head", zeros, "tail"));
}

// Pieces one byte short of, equal to and one byte over the piece size, and more pieces than
// there are buffers, so that every buffer is filled again.
TEST_F(FileHash, DigestsAreRightAtEveryPieceBoundary)
{
    const size_t piece = HASH_PIECE_BYTES;
    for (size_t size : {piece - 1, piece, piece + 1, 2 * piece, 7 * piece + 3}) {
        std::string bytes = sample_bytes(size);
        std::wstring path = sample_file(L"pieces.bin", bytes);
        EXPECT_EQ(reference_md5(bytes), run_quillet(copy, {path, L"-md5", L"-p"}).out) << "size " << size;
        EXPECT_EQ(reference_sha1(bytes), run_quillet(copy, {path, L"-sha1", L"-p"}).out) << "size " << size;
        DeleteFileW(path.c_str());
    }
}

// A file past 4 GiB gets the digest of all its bytes, never of its low 32 bits' worth, and the
// size gate sees its whole size. The file is sparse: only its head and tail hold data.
TEST_F(FileHash, FileOf4GiBAndMoreIsHashedWhole)
{
    const std::string head = "head of a sparse file", tail = "tail!";
    const ULONGLONG tail_at = 0x100000000ULL;
    std::wstring path = join_path(copy.folder, L"huge.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD returned = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    DWORD written = 0;
    WriteFile(file, head.data(), static_cast<DWORD>(head.size()), &written, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(tail_at);
    ASSERT_TRUE(SetFilePointerEx(file, at, nullptr, FILE_BEGIN));
    WriteFile(file, tail.data(), static_cast<DWORD>(tail.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(tail_at + tail.size(), probe_file_size(path.c_str()));

    std::string digest = reference_md5_with_zeros(head, tail_at - head.size(), tail);
    RunOptions slow;
    slow.timeout_ms = 300000;
    RunResult run = run_quillet(copy, {L"-m", path, L"-md5"}, slow);
    EXPECT_NE(std::string::npos, run.out.find("Allocating Memory (4294967301) Bytes...done!\r\nReading File "
                                              "Content...done!\r\nCreating Hash Data...done!\r\nFile MD5: " +
                                              digest + "\r\n"))
        << run.out;
    DeleteFileW(path.c_str());
}
