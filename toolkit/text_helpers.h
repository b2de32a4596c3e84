// Small text and path helpers.
#pragma once

#include <windows.h>

#include <stddef.h>

// A path or a line of text: 259 characters and the terminator.
const int TEXT_CHARS = 260;

// The program's full path, filled by get_program_path_stem (empty until then).
extern wchar_t own_path[TEXT_CHARS];

// The stored command line that find_option searches, word 0 included.
extern int stored_word_count;
extern wchar_t** stored_words;
void store_command_line(int count, wchar_t** words);

// Zeroes a TEXT_CHARS buffer.
void clear_text_buffer(wchar_t* buffer);

// The file time (UTC) as local "dd.mm.yyyy :: hh:mm", or "N/A"; cut to capacity.
void format_file_time(const FILETIME& time, wchar_t* out, size_t capacity);

// Index of the first stored word equal to option (ASCII letters folded), or -1.
int find_option(const wchar_t* option);

// path without the extension of its file name, cut to TEXT_CHARS.
wchar_t* path_stem(const wchar_t* path, wchar_t* out);

// The program's own path without extension; also records own_path.
wchar_t* get_program_path_stem(wchar_t* out);

// A file beside the program with its name: the path stem and extension (".ini", ".log") in out
// (TEXT_CHARS), cut to fit.
void get_program_file_path(const wchar_t* extension, wchar_t* out);

// The current time as local "dd.mm.yyyy :: hh:mm" (format_file_time), cut to capacity.
void format_time_now(wchar_t* out, size_t capacity);

// One entry of the program's own 0000/04B0 version string table into out (TEXT_CHARS),
// "N/A" when the program has no version information, untouched when the entry is missing.
void get_own_version_string(const wchar_t* name, wchar_t* out);

// Copies src into a buffer of capacity characters, cut and always terminated.
void copy_text(wchar_t* out, size_t capacity, const wchar_t* src);
