// quillet: reports what is compiled into a file.
#include <windows.h>

#include <conio.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "extended_report.h"
#include "file_hash.h"
#include "file_properties.h"
#include "digest_report.h"
#include "multiple_runs.h"
#include "report_frame.h"
#include "report_guard.h"
#include "report_output.h"
#include "settings.h"
#include "signature_report.h"
#include "standalone_commands.h"
#include "text_color.h"
#include "text_helpers.h"
#include "usage_text.h"
#include "user_context.h"
#include "version_report.h"

namespace {

bool word_is(int index, const wchar_t* option)
{
    return index < stored_word_count && _wcsicmp(stored_words[index], option) == 0;
}

bool word_is_one_of(int index, const wchar_t* first, const wchar_t* second, const wchar_t* third = nullptr)
{
    return word_is(index, first) || word_is(index, second) || (third != nullptr && word_is(index, third));
}

// Any digest word followed by "-plain" or "-p", the file being the only other word.
bool asks_plain_digest()
{
    return stored_word_count == 4 && digest_word(stored_words[2]) != nullptr && word_is_one_of(3, L"-plain", L"-p");
}

bool asks_verify()
{
    return word_is_one_of(1, L"-verify", L"-v");
}

bool has_no_argument_words()
{
    return stored_word_count <= 1;
}

bool asks_user_context()
{
    return word_is_one_of(1, L"-u", L"-user");
}

bool asks_usage()
{
    return word_is_one_of(1, L"-h", L"-help", L"/?");
}

bool asks_about()
{
    return word_is_one_of(1, L"-i", L"-info");
}

bool asks_directory()
{
    return word_is_one_of(1, L"-d", L"-directory");
}

bool asks_multiple()
{
    return word_is_one_of(1, L"-m", L"-multiple");
}

bool asks_error_text()
{
    return word_is_one_of(1, L"-e", L"-error");
}

bool asks_run()
{
    return word_is_one_of(1, L"-r", L"-run");
}

bool always()
{
    return true;
}

// Known before the settings load, which may print: a CSV or JSON run's standard output holds
// the document alone from its first byte.
bool asks_document(const wchar_t* word)
{
    return (asks_directory() || asks_multiple()) && find_option(word) != -1;
}

// These commands answer with whatever system error their last call left.
DWORD run_plain_digest()
{
    show_digest(*digest_word(stored_words[2]), stored_words[1], 0);
    return GetLastError();
}

DWORD run_usage()
{
    print_usage();
    print_added_words();
    return GetLastError();
}

// The key is read from the console itself, so a redirected standard input cannot answer.
bool user_agrees_to_hash()
{
    set_text_color(4);
    ql_wprintf(L"The File you want to get a Hash for is larger\nthan \"%d\" Bytes. Do you want to proceed?\n",
               static_cast<int>(settings.HashingMaxSize));
    restore_text_color();
    set_text_color(7);
    ql_wprintf(L"('Y'es|'N'o):");
    restore_text_color();
    fflush(stdout);
    wint_t key = _getwch();
    if (key == WEOF)
        ql_wprintf(L" \n\n");
    else
        ql_wprintf(L" %lc\n\n", static_cast<wchar_t>(key));
    return key == L'y' || key == L'Y';
}

// The import hash reads the headers and the import table alone: no size question.
void gate_digest(const wchar_t* path, const wchar_t* word)
{
    const DigestKind* digest = digest_word(word);
    ULONGLONG size = probe_file_size(path);
    if (settings.HashingMaxSize > size || (digest != nullptr && digest->source == IMPORT_NAMES)) {
        if (digest != nullptr)
            show_digest(*digest, path, 1);
        return;
    }
    if (digest == nullptr)
        return;
    if (user_agrees_to_hash())
        show_digest(*digest, path, 1);
    else
        ql_wprintf(L"Skipping Hash Calcualtion...\n\n");
}

// Only this run closes the log itself, so the exit-time lines that follow reach the console
// and the debugger channel alone.
void close_log()
{
    if (log_stream == nullptr)
        return;
    fflush(log_stream);
    fclose(log_stream);
    log_stream = nullptr;
}

// The words after the path: the one digest word, and "-extended" before or after it. Any other
// count of words asks for no digest; "-extended" counts wherever it stands.
int single_file_digest_index(bool& extended)
{
    extended = false;
    for (int index = 2; index < stored_word_count; ++index)
        extended = extended || is_extended_word(stored_words[index]);
    if (stored_word_count == 3)
        return extended ? -1 : 2;
    if (stored_word_count == 4 && extended)
        return is_extended_word(stored_words[2]) ? 3 : 2;
    return -1;
}

DWORD run_single_file()
{
    const wchar_t* path = stored_words[1];
    bool extended = false;
    int digest_index = single_file_digest_index(extended);
    print_banner();
    // Each block that throws gets its notice, and the report goes on to the next.
    run_report_step(L"print_file_properties", [&]() { print_file_properties(path); });
    if (digest_index != -1 && settings.AskIfSizeExceeds == 1)
        gate_digest(path, stored_words[digest_index]);
    run_report_step(L"show_version_info", [&]() { show_version_info(path); });
    if (extended)
        run_report_step(L"show_extended_info", [&]() { show_extended_info(path); });
    run_report_step(L"print_signature_information", [&]() { print_signature_information(path); });
    close_log();
    return 0;
}

// Bytes of the buffer a redirected standard output gets from the runtime for a file or a pipe.
const size_t OUTPUT_BUFFER_BYTES = 4096;

// Output redirected to a character device that is no console (NUL) gets no buffer from the
// runtime, which then writes it a byte at a time: a report to NUL took three times as long as
// one to a file. It gets the buffer a file gets. The last error stays: commands return it.
void buffer_redirected_output()
{
    DWORD saved_error = GetLastError();
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (GetFileType(output) == FILE_TYPE_CHAR && GetConsoleMode(output, &mode) == 0)
        setvbuf(stdout, nullptr, _IOFBF, OUTPUT_BUFFER_BYTES);
    SetLastError(saved_error);
}

struct Command {
    bool (*chosen)();
    DWORD (*run)();
};

// Tried in this order; the first whose test holds runs.
const Command COMMANDS[] = {
    {asks_plain_digest, run_plain_digest},
    {asks_verify, command_verify},
    {has_no_argument_words, run_usage},
    {asks_user_context, command_user_context},
    {asks_usage, run_usage},
    {asks_about, command_about},
    {asks_directory, run_directory},
    {asks_multiple, run_multiple_files},
    {asks_error_text, command_error_text},
    {asks_run, command_run},
    {always, run_single_file},
};

DWORD dispatch()
{
    for (const Command& command : COMMANDS) {
        if (command.chosen())
            return command.run();
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    atexit(print_exit_times);
    buffer_redirected_output();
    store_command_line(argc, argv);
    json_mode = asks_document(L"-json");
    csv_mode = json_mode || asks_document(L"-csv");
    text_colors_enabled = !csv_mode;
    load_settings();
    if (settings.PrintProcessingTimeInformation == 1)
        format_current_time(start_time_text);
    load_user_context();
    return static_cast<int>(dispatch());
}
