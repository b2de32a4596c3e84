#include "settings.h"

#include <shlwapi.h>

#include <share.h>
#include <string.h>
#include <wchar.h>

#include "error_detail.h"
#include "report_output.h"
#include "text_color.h"

Settings settings = {};
FILE* log_stream = nullptr;

namespace {

const UINT DEFAULT_ASK_IF_SIZE_EXCEEDS = 1;
const UINT DEFAULT_HASHING_MAX_SIZE = 5000000;

void apply_defaults()
{
    settings.AskIfSizeExceeds = DEFAULT_ASK_IF_SIZE_EXCEEDS;
    settings.HashingMaxSize = DEFAULT_HASHING_MAX_SIZE;
    settings.HashingThreads = 0;
    settings.OutputExtraImageInformation = 0;
    settings.OutputWithOutputDebugString = 0;
    settings.PrintExtraFileProperties = 0;
    settings.PrintSelfHashSignatures = 0;
    settings.WriteOutputToQuilletLog = 0;
    settings.PrintExtraSystemInformation = 0;
    settings.PrintProcessingTimeInformation = 0;
    settings.PrintSignatureInformation = 0;
}

UINT read_number(const wchar_t* section, const wchar_t* key, UINT fallback, const wchar_t* path)
{
    return GetPrivateProfileIntW(section, key, static_cast<INT>(fallback), path);
}

void read_text(const wchar_t* key, wchar_t* out, const wchar_t* path)
{
    GetPrivateProfileStringW(L"HTMLOutputSettings", key, L"", out, TEXT_CHARS, path);
}

void read_numbers(const wchar_t* path)
{
    const wchar_t* output = L"OutputInformation";
    settings.AskIfSizeExceeds = read_number(L"Hashing", L"AskIfSizeExceeds", DEFAULT_ASK_IF_SIZE_EXCEEDS, path);
    settings.HashingMaxSize = read_number(L"Hashing", L"HashingMaxSize", DEFAULT_HASHING_MAX_SIZE, path);
    settings.HashingThreads = read_number(L"Hashing", L"HashingThreads", 0, path);
    settings.OutputExtraImageInformation = read_number(output, L"OutputExtraImageInformation", 0, path);
    settings.OutputWithOutputDebugString = read_number(output, L"OutputWithOutputDebugString", 0, path);
    settings.PrintExtraFileProperties = read_number(output, L"PrintExtraFileProperties", 0, path);
    settings.PrintSelfHashSignatures = read_number(output, L"PrintSelfHashSignatures", 0, path);
    settings.WriteOutputToQuilletLog = read_number(output, L"WriteOutputToQuilletLog", 0, path);
    settings.PrintExtraSystemInformation = read_number(output, L"PrintExtraSystemInformation", 0, path);
    settings.PrintProcessingTimeInformation = read_number(output, L"PrintProcessingTimeInformation", 0, path);
    settings.PrintSignatureInformation = read_number(output, L"PrintSignatureInformation", 0, path);
}

void read_texts(const wchar_t* path)
{
    read_text(L"InnerHeadStyleTag", settings.InnerHeadStyleTag, path);
    read_text(L"InnerHeadScriptTag", settings.InnerHeadScriptTag, path);
    read_text(L"InnerBodyTag", settings.InnerBodyTag, path);
    read_text(L"InputButtonTag", settings.InputButtonTag, path);
    read_text(L"InnerALinkTag", settings.InnerALinkTag, path);
    read_text(L"InnerSelectTag", settings.InnerSelectTag, path);
    read_text(L"FilePathTextAppearance", settings.FilePathTextAppearance, path);
}

void open_log()
{
    wchar_t time_text[100] = {};
    format_time_now(time_text, 100);

    wchar_t log_path[TEXT_CHARS];
    get_program_file_path(L".log", log_path);
    log_stream = _wfsopen(log_path, L"a+", _SH_DENYNO);
    if (log_stream != nullptr) {
        fwprintf(log_stream, L"-----------------%ls-----------------", time_text);
        return;
    }
    DWORD code = GetLastError();
    ql_wprintf(L"Could not open \"%ls\" for writing.\nReason: ", log_path);
    set_text_color(4);
    ql_wprintf(L"%d\n", static_cast<int>(code));
    restore_text_color();
    ql_wprintf(L"Error Detail: ");
    print_error_detail(code);
    ql_wprintf(L"\n");
}

} // namespace

void load_settings()
{
    wchar_t* texts[] = {settings.InnerHeadStyleTag,     settings.InnerHeadScriptTag, settings.InnerBodyTag,
                        settings.InputButtonTag,        settings.InnerALinkTag,      settings.InnerSelectTag,
                        settings.FilePathTextAppearance};
    for (wchar_t* text : texts)
        clear_text_buffer(text);

    wchar_t ini_path[TEXT_CHARS];
    get_program_file_path(L".ini", ini_path);
    if (!PathFileExistsW(ini_path)) {
        apply_defaults();
        return;
    }
    read_numbers(ini_path);
    read_texts(ini_path);
    if (settings.WriteOutputToQuilletLog == 1)
        open_log();
}

// A size of 4 GiB or more comes whole, so that such a file is asked about and never taken for
// its low 32 bits. Below that the invalid-size mark still probes as 0, even for the one file
// whose size it really is.
ULONGLONG probe_file_size(const wchar_t* path)
{
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    CloseHandle(file);
    if (high != 0)
        return (static_cast<ULONGLONG>(high) << 32) | low;
    return low == INVALID_FILE_SIZE ? 0 : low;
}
