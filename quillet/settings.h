// The settings of quillet, read once at start from quillet.ini beside the program.
#pragma once

#include <windows.h>

#include <stdio.h>

#include "text_helpers.h"

// Fields bear the key names of the settings file. A flag is on only when it is exactly 1.
struct Settings {
    // [Hashing]
    UINT AskIfSizeExceeds;
    UINT HashingMaxSize;
    // Threads that compute digests of -d and -m runs (hash_ahead.h); 0: one per processor.
    UINT HashingThreads;
    // [OutputInformation]
    UINT OutputExtraImageInformation;
    UINT OutputWithOutputDebugString;
    UINT PrintExtraFileProperties;
    UINT PrintSelfHashSignatures;
    UINT WriteOutputToQuilletLog;
    UINT PrintExtraSystemInformation;
    UINT PrintProcessingTimeInformation;
    UINT PrintSignatureInformation;
    // [HTMLOutputSettings]
    wchar_t InnerHeadStyleTag[TEXT_CHARS];
    wchar_t InnerHeadScriptTag[TEXT_CHARS];
    wchar_t InnerBodyTag[TEXT_CHARS];
    wchar_t InputButtonTag[TEXT_CHARS];
    wchar_t InnerALinkTag[TEXT_CHARS];
    wchar_t InnerSelectTag[TEXT_CHARS];
    wchar_t FilePathTextAppearance[TEXT_CHARS];
};

extern Settings settings;

// The open log file, or null (never opened, failed, or closed by a single-file run).
extern FILE* log_stream;

void load_settings();

// The file's size, 4 GiB and more included; 0 when it cannot be opened or its size cannot be
// read, and for a size whose low 32 bits are all set below 4 GiB.
ULONGLONG probe_file_size(const wchar_t* path);
