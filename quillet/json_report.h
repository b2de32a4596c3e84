// JSON Lines of a directory or multiple-file run with "-json": one object per file, for
// scripts and log collectors.
#pragma once

#include <windows.h>

#include <string>

#include "file_record.h"
#include "json_text.h"

// Standard output in binary mode (no byte-order mark, "\n" line ends); the log's separator
// gets its line end and the lines follow it.
void begin_json_output();

// One object as its line on standard output, in the log (whole) and, as one message, on the
// debugger channel when the settings ask for those.
void write_json_object(const JsonValue& object);

// The object of a file: its path, properties, translations, digests, and, as the fields ask,
// its signature and image sections; then its failures.
JsonValue file_object(const RecordWants& fields, const FileRecord& record);

// A failure that has no file of its own (path empty: the run's failure, an object with its
// errors alone), or that ended the file's report before anything was read.
void write_json_failure(const RecordWants& fields, const std::wstring& path, const wchar_t* text, DWORD code);

// The file time as ISO 8601 UTC ("2008-12-24T08:05:03Z"); empty when it cannot be converted.
std::string iso_utc_time(const FILETIME& time);

// The failures as a list of {text, code}.
JsonValue failure_list(const FailureList& failures);
