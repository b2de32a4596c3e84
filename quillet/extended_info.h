// What an analyst checks of an image after its version and digests: exploit mitigations, build
// identity, the manifest's requested rights, entropy, appended data, .NET, exports, TLS
// callbacks and every signature. Read once from the file into one record, then rendered.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "pe_view.h"

// How one group of values came out. A group that could not be read shows the notice of its
// failure in its place; the other groups are shown all the same.
struct ValueRead {
    // PE_IMAGE: read. PE_DAMAGED: "Damaged PE image." (193). PE_READ_FAILED: the platform
    // refused a read or a call; context and code name it.
    PeStatus status;
    const wchar_t* context;
    DWORD code;
};

struct MitigationValues {
    ValueRead read;
    bool pe32_plus;
    bool aslr;
    bool high_entropy;
    bool dep;
    // "yes", "flag only" or "no".
    const wchar_t* cfg;
    // "yes", "no SEH", "no", or "not applicable" for a 64-bit image.
    const wchar_t* safe_seh;
    bool force_integrity;
    bool app_container;
    bool cet;
};

struct BuildValues {
    ValueRead read;
    DWORD time_stamp;
    // The debug directory says the time stamp is a hash of the build, not a time.
    bool reproducible;
    bool has_codeview;
    std::wstring pdb_path;
    // "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"; empty for the old NB10 record, which has none.
    std::wstring pdb_guid;
    DWORD pdb_age;
};

struct ManifestValues {
    ValueRead read;
    bool found;
    // As the manifest writes them; empty when it does not state them.
    std::wstring level;
    std::wstring ui_access;
    std::wstring auto_elevate;
    bool long_path_aware;
};

struct SectionEntropy {
    std::wstring name;
    bool has_data;
    // False for a section left unread when the sections' data, shared among them, came to
    // several times the file's size.
    bool computed;
    double bits;
};

struct EntropyValues {
    ValueRead read;
    double file_bits;
    std::vector<SectionEntropy> sections;
};

struct OverlayValues {
    ValueRead read;
    ULONGLONG offset;
    ULONGLONG size;
};

struct ManagedValues {
    ValueRead read;
    bool managed;
    std::wstring runtime_version;
    DWORD flags;
};

struct ExportValues {
    ValueRead read;
    bool present;
    std::wstring dll_name;
    DWORD functions;
};

struct TlsValues {
    ValueRead read;
    DWORD callbacks;
};

struct SignatureEntry {
    // A signature nested in the first one's unsigned attributes rather than an entry of the
    // certificate table.
    bool nested;
    std::wstring digest_algorithm;
    std::wstring signer;
    std::wstring issuer;
    bool stamped;
    FILETIME signed_on;
};

struct SignatureValues {
    ValueRead read;
    std::vector<SignatureEntry> entries;
};

enum ExtendedState {
    EXTENDED_IMAGE,
    EXTENDED_NOT_IMAGE,
    // The file could not be opened or its headers not read: read names why.
    EXTENDED_FAILED
};

struct ExtendedInfo {
    ExtendedState state;
    ValueRead read;
    MitigationValues mitigations;
    BuildValues build;
    ManifestValues manifest;
    EntropyValues entropy;
    OverlayValues overlay;
    ManagedValues managed;
    ExportValues exports;
    TlsValues tls;
    SignatureValues signatures;
};

// Whether a command-line word asks for these values ("-extended" or "-x", ASCII case ignored).
bool is_extended_word(const wchar_t* word);

// Reads every value of the file within a fixed bound of memory and time.
void read_extended_info(const wchar_t* path, ExtendedInfo& info);

// The readers of the groups, each on the open image with its headers read.
void read_mitigations(PeFile& pe, MitigationValues& values);
void read_build_identity(PeFile& pe, BuildValues& values);
void read_manifest(const wchar_t* path, ManifestValues& values);
void read_entropy(PeFile& pe, EntropyValues& values);
void read_overlay(const PeFile& pe, OverlayValues& values);
void read_managed(PeFile& pe, ManagedValues& values);
void read_exports(PeFile& pe, ExportValues& values);
void read_tls_callbacks(PeFile& pe, TlsValues& values);
void read_signature_list(PeFile& pe, SignatureValues& values);

// The debug directory's entries (none when it has none).
PeStatus read_debug_entries(PeFile& pe, std::vector<IMAGE_DEBUG_DIRECTORY>& entries);

// Marks a group as read, damaged or failed.
void set_read(ValueRead& read, PeStatus status, const PeFile& pe, const wchar_t* context);
