// The exploit mitigations an image was built with: the optional header's DLL characteristics,
// the load configuration's guard flags and handler table, and the debug directory's extended
// characteristics.
#include <stddef.h>

#include <algorithm>

#include "extended_info.h"

namespace {

// Not yet in every toolchain's headers.
const WORD DLL_APPCONTAINER = 0x1000;
const WORD DLL_GUARD_CF = 0x4000;
const DWORD GUARD_CF_INSTRUMENTED = 0x100;
const DWORD DEBUG_TYPE_EX_DLLCHARACTERISTICS = 20;
const DWORD EX_DLLCHARACTERISTICS_CET_COMPAT = 0x01;

// Where the load configuration keeps the fields read here. The structure grew over the years;
// its first field says how much of it an image has.
struct LoadConfigLayout {
    DWORD se_handler_table;
    DWORD se_handler_count;
    DWORD guard_flags;
};
const LoadConfigLayout LOAD_CONFIG_32 = {0x40, 0x44, 0x58};
const LoadConfigLayout LOAD_CONFIG_64 = {0x60, 0x68, 0x90};

struct LoadConfig {
    bool present;
    DWORD size;
    ULONGLONG handler_table;
    ULONGLONG handler_count;
    DWORD guard_flags;
};

// A field the image's load configuration has: inside its stated size and inside the file.
PeStatus read_config_field(PeFile& pe, const LoadConfig& config, DWORD field, void* out, DWORD size)
{
    if (field + size > config.size)
        return PE_IMAGE;
    return read_pe_rva(pe, pe.directories[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].VirtualAddress + field, out, size);
}

PeStatus read_load_config(PeFile& pe, LoadConfig& config)
{
    config = LoadConfig();
    const IMAGE_DATA_DIRECTORY& directory = pe.directories[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    if (directory.VirtualAddress == 0 || directory.Size == 0)
        return PE_IMAGE;
    PeStatus status = read_pe_rva(pe, directory.VirtualAddress, &config.size, sizeof(config.size));
    if (status != PE_IMAGE)
        return status;
    config.present = true;
    const LoadConfigLayout& layout = pe.pe32_plus ? LOAD_CONFIG_64 : LOAD_CONFIG_32;
    DWORD pointer_size = pe.pe32_plus ? sizeof(ULONGLONG) : sizeof(DWORD);
    status = read_config_field(pe, config, layout.se_handler_table, &config.handler_table, pointer_size);
    if (status == PE_IMAGE)
        status = read_config_field(pe, config, layout.se_handler_count, &config.handler_count, pointer_size);
    if (status == PE_IMAGE)
        status = read_config_field(pe, config, layout.guard_flags, &config.guard_flags, sizeof(DWORD));
    return status;
}

const wchar_t* cfg_text(const PeFile& pe, const LoadConfig& config)
{
    if ((pe.dll_characteristics & DLL_GUARD_CF) == 0)
        return L"no";
    return (config.guard_flags & GUARD_CF_INSTRUMENTED) != 0 ? L"yes" : L"flag only";
}

// Only 32-bit images register their exception handlers in a table; 64-bit ones unwind from
// tables the platform always checks.
const wchar_t* safe_seh_text(const PeFile& pe, const LoadConfig& config)
{
    if (pe.pe32_plus)
        return L"not applicable";
    if (config.handler_table != 0 && config.handler_count != 0)
        return L"yes";
    if ((pe.dll_characteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH) != 0)
        return L"no SEH";
    return L"no";
}

// Shadow-stack compatibility is a bit of the extended characteristics in a debug entry.
PeStatus read_cet(PeFile& pe, bool& cet)
{
    cet = false;
    std::vector<IMAGE_DEBUG_DIRECTORY> entries;
    PeStatus status = read_debug_entries(pe, entries);
    for (const IMAGE_DEBUG_DIRECTORY& entry : entries) {
        DWORD flags = 0;
        if (status != PE_IMAGE || entry.Type != DEBUG_TYPE_EX_DLLCHARACTERISTICS || entry.SizeOfData < sizeof(flags))
            continue;
        if (!pe_read(pe, entry.PointerToRawData, &flags, sizeof(flags)))
            return pe.read_error != 0 ? PE_READ_FAILED : PE_DAMAGED;
        cet = (flags & EX_DLLCHARACTERISTICS_CET_COMPAT) != 0;
    }
    return status;
}

} // namespace

void read_mitigations(PeFile& pe, MitigationValues& values)
{
    WORD flags = pe.dll_characteristics;
    values.pe32_plus = pe.pe32_plus;
    values.aslr = (flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) != 0;
    values.high_entropy = (flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) != 0;
    values.dep = (flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) != 0;
    values.force_integrity = (flags & IMAGE_DLLCHARACTERISTICS_FORCE_INTEGRITY) != 0;
    values.app_container = (flags & DLL_APPCONTAINER) != 0;
    LoadConfig config;
    PeStatus status = read_load_config(pe, config);
    values.cfg = cfg_text(pe, config);
    values.safe_seh = safe_seh_text(pe, config);
    if (status == PE_IMAGE)
        status = read_cet(pe, values.cet);
    set_read(values.read, status, pe, L"show_extended_info::ReadFile");
}
