#include "extended_report.h"

#include <stdio.h>

#include "image_hash.h"
#include "report_output.h"
#include "text_helpers.h"
#include "version_report.h"

const wchar_t* const EXTENDED_COLUMN_NAMES[EXTENDED_COLUMN_COUNT] = {
    L"Mitigations",   L"BuildTime",   L"PdbPath", L"PdbGuid", L"PdbAge",       L"ExecutionLevel", L"Entropy",
    L"OverlayOffset", L"OverlaySize", L"Managed", L"Exports", L"TlsCallbacks", L"Signatures"};

namespace {

// Not yet in every toolchain's headers.
const DWORD COMIMAGE_32BIT_PREFERRED = 0x20000;
const wchar_t NOT_STATED[] = L"not stated";

const ULONGLONG UNIX_EPOCH_TICKS = 116444736000000000ull;
const ULONGLONG TICKS_PER_SECOND = 10000000ull;

const wchar_t* yes_no(bool value)
{
    return value ? L"yes" : L"no";
}

std::wstring or_not_stated(const std::wstring& value)
{
    return value.empty() ? NOT_STATED : value;
}

void heading(const wchar_t* name)
{
    print_colored_line(7, L"[%ls]\n", name);
}

void value_line(const wchar_t* label, const std::wstring& value)
{
    print_colored_line(2, L"-- %ls --\n", (std::wstring(label) + L": " + value).c_str());
}

// Prints the notice of a value that could not be read; false then.
bool readable(const ValueRead& read)
{
    if (read.status == PE_IMAGE)
        return true;
    if (read.status == PE_DAMAGED)
        print_failure(ERROR_BAD_EXE_FORMAT, DAMAGED_IMAGE_TEXT);
    else
        print_failure(read.code, read.context);
    print_html_break();
    return false;
}

bool utc_time(DWORD unix_time, SYSTEMTIME& time)
{
    ULARGE_INTEGER ticks;
    ticks.QuadPart = UNIX_EPOCH_TICKS + unix_time * TICKS_PER_SECOND;
    FILETIME file_time = {ticks.LowPart, ticks.HighPart};
    return FileTimeToSystemTime(&file_time, &time) == TRUE;
}

std::wstring formatted(const wchar_t* format, const SYSTEMTIME& time)
{
    wchar_t text[40];
    _snwprintf(text, 40, format, time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
    text[39] = L'\0';
    return text;
}

std::wstring build_time_text(const BuildValues& build, const wchar_t* format)
{
    SYSTEMTIME time;
    if (build.reproducible)
        return L"reproducible build, not a time";
    if (build.time_stamp == 0 || !utc_time(build.time_stamp, time))
        return L"none";
    return formatted(format, time);
}

std::wstring two_decimals(double value)
{
    wchar_t text[16];
    _snwprintf(text, 16, L"%.2f", value);
    text[15] = L'\0';
    return text;
}

std::wstring managed_flags(DWORD flags, const wchar_t* separator, bool short_names)
{
    struct Flag {
        DWORD bit;
        const wchar_t* text;
        const wchar_t* token;
    };
    const Flag known[] = {{COMIMAGE_FLAGS_ILONLY, L"IL only", L"ILOnly"},
                          {COMIMAGE_FLAGS_32BITREQUIRED, L"32-bit required", L"32BitRequired"},
                          {COMIMAGE_32BIT_PREFERRED, L"32-bit preferred", L"32BitPreferred"}};
    std::wstring text;
    for (const Flag& flag : known) {
        if ((flags & flag.bit) == 0)
            continue;
        text += text.empty() ? L"" : separator;
        text += short_names ? flag.token : flag.text;
    }
    return text;
}

void print_mitigations(const MitigationValues& values)
{
    heading(L"Mitigations");
    if (!readable(values.read))
        return;
    value_line(L"ASLR", yes_no(values.aslr));
    value_line(L"High Entropy VA", values.pe32_plus ? yes_no(values.high_entropy) : L"not applicable");
    value_line(L"DEP", yes_no(values.dep));
    value_line(L"CFG", values.cfg);
    value_line(L"SafeSEH", values.safe_seh);
    value_line(L"Force Integrity", yes_no(values.force_integrity));
    value_line(L"AppContainer", yes_no(values.app_container));
    value_line(L"CET Shadow Stack", yes_no(values.cet));
}

void print_build(const BuildValues& values)
{
    heading(L"Build");
    if (!readable(values.read))
        return;
    value_line(L"Time Stamp", build_time_text(values, L"%04d-%02d-%02d %02d:%02d:%02d UTC"));
    if (!values.has_codeview) {
        value_line(L"PDB", L"none");
        return;
    }
    value_line(L"PDB Path", values.pdb_path);
    value_line(L"PDB GUID", values.pdb_guid.empty() ? L"none" : values.pdb_guid);
    value_line(L"PDB Age", std::to_wstring(values.pdb_age));
}

void print_manifest(const ManifestValues& values)
{
    heading(L"Manifest");
    if (!readable(values.read))
        return;
    if (!values.found) {
        value_line(L"Manifest", L"none");
        return;
    }
    value_line(L"Execution Level", or_not_stated(values.level));
    value_line(L"UI Access", or_not_stated(values.ui_access));
    value_line(L"Auto Elevate", or_not_stated(values.auto_elevate));
    value_line(L"Long Path Aware", yes_no(values.long_path_aware));
}

void print_entropy(const EntropyValues& values)
{
    heading(L"Entropy");
    if (!readable(values.read))
        return;
    value_line(L"File", two_decimals(values.file_bits));
    for (const SectionEntropy& section : values.sections)
        value_line((L"Section " + section.name).c_str(), !section.has_data  ? L"no data"
                                                         : section.computed ? two_decimals(section.bits)
                                                                            : L"not computed");
}

void print_overlay(const OverlayValues& values)
{
    heading(L"Overlay");
    if (!readable(values.read))
        return;
    if (values.size == 0) {
        value_line(L"Overlay", L"none");
        return;
    }
    value_line(L"Offset", std::to_wstring(values.offset));
    value_line(L"Size", std::to_wstring(values.size));
}

void print_managed(const ManagedValues& values)
{
    heading(L".NET");
    if (!readable(values.read))
        return;
    value_line(L"Managed", yes_no(values.managed));
    if (!values.managed)
        return;
    value_line(L"Runtime Version", or_not_stated(values.runtime_version));
    std::wstring flags = managed_flags(values.flags, L", ", false);
    value_line(L"Flags", flags.empty() ? L"none" : flags);
}

void print_exports(const ExportValues& values)
{
    heading(L"Exports");
    if (!readable(values.read))
        return;
    if (!values.present) {
        value_line(L"Exports", L"none");
        return;
    }
    value_line(L"DLL Name", values.dll_name);
    value_line(L"Functions", std::to_wstring(values.functions));
}

void print_tls(const TlsValues& values)
{
    heading(L"TLS Callbacks");
    if (readable(values.read))
        value_line(L"Count", std::to_wstring(values.callbacks));
}

void print_signature_entry(const SignatureEntry& entry, size_t number)
{
    print_colored_line(7, L"[%ls]\n",
                       (L"Signature " + std::to_wstring(number) + (entry.nested ? L", nested" : L"")).c_str());
    wchar_t signed_on[TEXT_CHARS] = {};
    if (entry.stamped)
        format_file_time(entry.signed_on, signed_on, TEXT_CHARS);
    value_line(L"Digest Algorithm", entry.digest_algorithm);
    value_line(L"Signer", or_not_stated(entry.signer));
    value_line(L"Issuer", or_not_stated(entry.issuer));
    value_line(L"Signed On", entry.stamped ? signed_on : L"none");
}

void print_signatures(const SignatureValues& values)
{
    heading(L"Signatures");
    value_line(L"Count", std::to_wstring(values.entries.size()));
    for (size_t index = 0; index < values.entries.size(); ++index)
        print_signature_entry(values.entries[index], index + 1);
    readable(values.read);
}

// A group's cells, or as many empty ones with its failure recorded.
void add_cells(std::vector<std::wstring>& cells, const ValueRead& read, FailureList& failures,
               std::initializer_list<std::wstring> values)
{
    if (read.status == PE_IMAGE) {
        cells.insert(cells.end(), values.begin(), values.end());
        return;
    }
    cells.resize(cells.size() + values.size());
    add_failure(failures, read.status == PE_DAMAGED ? DAMAGED_IMAGE_TEXT : read.context, read.code);
}

std::wstring mitigation_tokens(const MitigationValues& values)
{
    std::wstring tokens;
    const struct {
        bool present;
        const wchar_t* token;
    } all[] = {{values.aslr, L"ASLR"},
               {values.pe32_plus && values.high_entropy, L"HighEntropyVA"},
               {values.dep, L"DEP"},
               {wcscmp(values.cfg, L"yes") == 0, L"CFG"},
               {wcscmp(values.safe_seh, L"yes") == 0, L"SafeSEH"},
               {values.force_integrity, L"ForceIntegrity"},
               {values.app_container, L"AppContainer"},
               {values.cet, L"CET"}};
    for (const auto& mitigation : all) {
        if (mitigation.present)
            tokens += (tokens.empty() ? L"" : L" ") + std::wstring(mitigation.token);
    }
    return tokens.empty() ? L"none" : tokens;
}

std::wstring managed_cell(const ManagedValues& values)
{
    if (!values.managed)
        return L"no";
    std::wstring flags = managed_flags(values.flags, L" ", true);
    return values.runtime_version + (flags.empty() || values.runtime_version.empty() ? L"" : L" ") + flags;
}

std::wstring exports_cell(const ExportValues& values)
{
    return values.present ? values.dll_name + L" (" + std::to_wstring(values.functions) + L")" : L"none";
}

} // namespace

void print_extended_info(const ExtendedInfo& info)
{
    heading(L"Extended");
    if (info.state == EXTENDED_NOT_IMAGE) {
        print_colored_line(2, L"-- %ls --\n", NO_PE_IMAGE_TEXT);
        return;
    }
    if (!readable(info.read))
        return;
    print_mitigations(info.mitigations);
    print_build(info.build);
    print_manifest(info.manifest);
    print_entropy(info.entropy);
    print_overlay(info.overlay);
    print_managed(info.managed);
    print_exports(info.exports);
    print_tls(info.tls);
    print_signatures(info.signatures);
}

void show_extended_info(const wchar_t* path)
{
    ExtendedInfo info;
    read_extended_info(path, info);
    print_extended_info(info);
}

std::wstring build_time_cell(const BuildValues& build)
{
    return build_time_text(build, L"%04d-%02d-%02dT%02d:%02d:%02dZ");
}

std::vector<std::wstring> extended_cells(const ExtendedInfo& info, FailureList& failures)
{
    std::vector<std::wstring> cells;
    if (info.state != EXTENDED_IMAGE) {
        if (info.state == EXTENDED_FAILED)
            add_cells(cells, info.read, failures, {});
        cells.resize(EXTENDED_COLUMN_COUNT);
        return cells;
    }
    const BuildValues& build = info.build;
    const ManifestValues& manifest = info.manifest;
    const OverlayValues& overlay = info.overlay;
    add_cells(cells, info.mitigations.read, failures, {mitigation_tokens(info.mitigations)});
    add_cells(cells, build.read, failures,
              {build_time_cell(build), build.has_codeview ? build.pdb_path : L"none", build.pdb_guid,
               build.has_codeview ? std::to_wstring(build.pdb_age) : L""});
    add_cells(cells, manifest.read, failures, {manifest.found ? or_not_stated(manifest.level) : L"none"});
    add_cells(cells, info.entropy.read, failures, {two_decimals(info.entropy.file_bits)});
    add_cells(cells, overlay.read, failures,
              {overlay.size != 0 ? std::to_wstring(overlay.offset) : L"", std::to_wstring(overlay.size)});
    add_cells(cells, info.managed.read, failures, {managed_cell(info.managed)});
    add_cells(cells, info.exports.read, failures, {exports_cell(info.exports)});
    add_cells(cells, info.tls.read, failures, {std::to_wstring(info.tls.callbacks)});
    add_cells(cells, info.signatures.read, failures, {std::to_wstring(info.signatures.entries.size())});
    return cells;
}
