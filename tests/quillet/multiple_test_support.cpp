#include "multiple_test_support.h"

#include <sddl.h>
#include <winioctl.h>

#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <wctype.h>

#include "test_files.h"

std::string expected_notice(const std::string& context, DWORD code, const std::string& code_text)
{
    wchar_t user[257] = {};
    DWORD user_chars = 257;
    GetUserNameW(user, &user_chars);
    wchar_t domain[260] = {};
    DWORD domain_chars = 260;
    DWORD sid_size = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, user, nullptr, &sid_size, domain, &domain_chars, &use);
    std::vector<BYTE> sid(sid_size);
    domain_chars = 260;
    std::string sid_text = "(null)";
    if (LookupAccountNameW(nullptr, user, sid.data(), &sid_size, domain, &domain_chars, &use)) {
        wchar_t* text = nullptr;
        if (ConvertSidToStringSidW(sid.data(), &text)) {
            sid_text = narrow(text);
            LocalFree(text);
        }
    }
    return "\r\nError: " + context + " Reason: " + code_text + "\r\nUser Context: " + narrow(domain) + "\\" +
           narrow(user) + "\r\nUser SID: " + sid_text + "\r\nDetail: " + system_text(code) + "\r\n";
}

std::wstring data_file(const wchar_t* name)
{
    return join_path(windows_path(TEST_DATA_DIR), name);
}

std::wstring quillet_with_settings(const std::wstring& tag, const std::string& ini)
{
    std::wstring folder = make_temp_dir(tag);
    std::wstring exe = copy_program(windows_path(QUILLET_EXE), folder);
    if (!ini.empty())
        write_file(join_path(folder, L"quillet.ini"), ini);
    return exe;
}

RunResult run_quillet(const std::wstring& exe, const std::vector<std::wstring>& args, const std::wstring& working_dir)
{
    RunOptions options;
    options.working_dir = working_dir;
    return run_program(exe, args, options);
}

uint32_t read_u32(const std::string& bytes, size_t offset)
{
    return static_cast<uint32_t>(read_u16(bytes, offset)) | static_cast<uint32_t>(read_u16(bytes, offset + 2)) << 16;
}

uint16_t read_u16(const std::string& bytes, size_t offset)
{
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                                 static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

void write_u32(std::string& bytes, size_t offset, uint32_t value)
{
    for (int index = 0; index < 4; ++index)
        bytes[offset + index] = static_cast<char>((value >> (8 * index)) & 0xFF);
}

size_t nt_headers_offset(const std::string& image)
{
    return read_u32(image, 0x3C);
}

size_t optional_header_offset(const std::string& image)
{
    return nt_headers_offset(image) + offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
}

size_t data_directory(const std::string& image, int entry)
{
    bool plus = read_u16(image, optional_header_offset(image)) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    return optional_header_offset(image) +
           (plus ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                 : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)) +
           entry * sizeof(IMAGE_DATA_DIRECTORY);
}

size_t section_header(const std::string& image, int index)
{
    size_t file_header = nt_headers_offset(image) + offsetof(IMAGE_NT_HEADERS32, FileHeader);
    return optional_header_offset(image) +
           read_u16(image, file_header + offsetof(IMAGE_FILE_HEADER, SizeOfOptionalHeader)) +
           index * sizeof(IMAGE_SECTION_HEADER);
}

// The file offset of an image address, through the section table.
size_t file_offset(const std::string& image, uint32_t rva)
{
    for (int index = 0;; ++index) {
        size_t section = section_header(image, index);
        uint32_t start = read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, VirtualAddress));
        uint32_t size = read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, SizeOfRawData));
        if (rva >= start && rva - start < size)
            return read_u32(image, section + offsetof(IMAGE_SECTION_HEADER, PointerToRawData)) + rva - start;
    }
}

uint32_t pe_checksum(const std::string& image)
{
    // Signature (4) and file header (20) come first; the checksum is 64 bytes into the
    // optional header in both the 32-bit and the 64-bit form.
    size_t checksum_at = nt_headers_offset(image) + 4 + 20 + 64;
    uint32_t sum = 0;
    for (size_t at = 0; at < image.size(); at += 2) {
        if (at == checksum_at || at == checksum_at + 2)
            continue;
        uint32_t word = static_cast<unsigned char>(image[at]);
        if (at + 1 < image.size())
            word |= static_cast<uint32_t>(static_cast<unsigned char>(image[at + 1])) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(image.size());
}

size_t find_after(const std::string& haystack, const std::string& needle, size_t from)
{
    if (from == std::string::npos)
        return std::string::npos;
    return haystack.find(needle, from);
}

std::string signed_text(uint32_t value)
{
    return std::to_string(static_cast<int32_t>(value));
}

std::string expected_checksums(const std::string& image, const char* br)
{
    size_t optional = nt_headers_offset(image) + 4 + 20;
    return std::string("[Checksums]\r\n") + br + "-- Header Sum: " + signed_text(read_u32(image, optional + 64)) +
           " --\r\n" + br + "-- Computed Sum: " + signed_text(pe_checksum(image)) + " --\r\n" + br;
}

static std::string field_line(const char* label, uint32_t value, const char* br)
{
    return std::string("-- ") + label + ": " + signed_text(value) + " --\r\n" + br;
}

// The fourteen fields read straight from the file's bytes.
std::string expected_header_fields(const std::string& image, const char* br)
{
    size_t file = nt_headers_offset(image) + 4;
    size_t optional = file + 20;
    return std::string("[ImageExtraInfo]\r\n") + br +
           field_line("Image Characteristics", read_u16(image, file + 18), br) +
           field_line("Machine", read_u16(image, file), br) +
           field_line("Subsystem", read_u16(image, optional + 68), br) +
           field_line("Major Linker Version", static_cast<unsigned char>(image[optional + 2]), br) +
           field_line("Minor Linker Version", static_cast<unsigned char>(image[optional + 3]), br) +
           field_line("Major Image Version", read_u16(image, optional + 44), br) +
           field_line("Minor Image Version", read_u16(image, optional + 46), br) +
           field_line("Major Operating System Version", read_u16(image, optional + 40), br) +
           field_line("Minor Operating System Version", read_u16(image, optional + 42), br) +
           field_line("Major Subsystem Version", read_u16(image, optional + 48), br) +
           field_line("Minor Subsystem Version", read_u16(image, optional + 50), br) +
           field_line("Image Magic", read_u16(image, optional), br) +
           field_line("Image Checksum", read_u32(image, optional + 64), br) +
           field_line("Image Dll Characteristics", read_u16(image, optional + 70), br);
}

std::string digest_text(ALG_ID algorithm, const std::string& bytes)
{
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::string text;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return text;
    if (CryptCreateHash(provider, algorithm, 0, 0, &hash) &&
        CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0)) {
        BYTE value[64];
        DWORD size = sizeof(value);
        if (CryptGetHashParam(hash, HP_HASHVAL, value, &size, 0)) {
            for (DWORD index = 0; index < size; ++index) {
                char pair[3];
                snprintf(pair, sizeof(pair), "%02x", value[index]);
                text += pair;
            }
        }
    }
    if (hash != 0)
        CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return text;
}

namespace {

// Wine keeps drive letters as links that its mount manager makes; DefineDosDeviceW there only
// names an object that file access does not follow. Its own request defines a real drive.
const DWORD DEFINE_UNIX_DRIVE = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};

typedef char*(CDECL* UnixFileNameProc)(const WCHAR* path);

UnixFileNameProc unix_file_name()
{
    return reinterpret_cast<UnixFileNameProc>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
}

bool send_drive_request(wchar_t letter, const char* unix_path)
{
    std::vector<char> buffer(sizeof(UnixDriveRequest) + (unix_path ? strlen(unix_path) + 1 : 0), 0);
    UnixDriveRequest* request = reinterpret_cast<UnixDriveRequest*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = DRIVE_FIXED;
    request->letter = static_cast<WCHAR>(towlower(letter));
    if (unix_path != nullptr) {
        request->mount_point_offset = sizeof(UnixDriveRequest);
        strcpy(buffer.data() + sizeof(UnixDriveRequest), unix_path);
    }
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    BOOL done =
        DeviceIoControl(manager, DEFINE_UNIX_DRIVE, buffer.data(), request->size, nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return done != FALSE;
}

// Under Wine a letter that the mount manager has defined stays among the logical drives, without
// a root, after its removal, for as long as the wineserver runs: a build tree's persistent server
// would run out of letters after nine runs unless such a letter counts as free.
bool letter_free(wchar_t letter, DWORD used, bool under_wine)
{
    if ((used & (1u << (letter - L'A'))) == 0)
        return true;
    wchar_t root[] = {letter, L':', L'\\', L'\0'};
    return under_wine && GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR;
}

} // namespace

wchar_t map_test_drive(const std::wstring& folder)
{
    DWORD used = GetLogicalDrives();
    UnixFileNameProc to_unix = unix_file_name();
    wchar_t letter = 0;
    for (wchar_t candidate = L'Q'; candidate <= L'Y' && letter == 0; ++candidate) {
        if (letter_free(candidate, used, to_unix != nullptr))
            letter = candidate;
    }
    if (letter == 0)
        return 0;
    wchar_t device[] = {letter, L':', L'\0'};
    if (to_unix == nullptr)
        return DefineDosDeviceW(0, device, folder.c_str()) ? letter : 0;
    char* unix_path = to_unix(folder.c_str());
    bool mapped = unix_path != nullptr && send_drive_request(letter, unix_path);
    HeapFree(GetProcessHeap(), 0, unix_path);
    return mapped ? letter : 0;
}

void unmap_test_drive(wchar_t letter)
{
    wchar_t device[] = {letter, L':', L'\0'};
    if (unix_file_name() == nullptr)
        DefineDosDeviceW(DDD_REMOVE_DEFINITION, device, nullptr);
    else
        send_drive_request(letter, nullptr);
}

std::string wait_for_file(const std::wstring& path, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::string bytes = read_file(path);
        if (!bytes.empty() || GetTickCount() - start > timeout_ms)
            return bytes;
        Sleep(50);
    }
}

std::string damaged_image(uint32_t e_lfanew)
{
    std::string bytes(4096, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    write_u32(bytes, 0x3C, e_lfanew);
    if (e_lfanew + 4 <= bytes.size()) {
        bytes[e_lfanew] = 'P';
        bytes[e_lfanew + 1] = 'E';
    }
    return bytes;
}
