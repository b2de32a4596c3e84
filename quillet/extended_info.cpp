#include "extended_info.h"

#include <wchar.h>

namespace {

// Each group starts from a clean slate: a read that failed for one does not count for the next.
PeFile& fresh(PeFile& pe)
{
    pe.read_error = 0;
    return pe;
}

// In the order the report shows them.
void read_image_groups(PeFile& pe, ExtendedInfo& info)
{
    read_mitigations(fresh(pe), info.mitigations);
    read_build_identity(fresh(pe), info.build);
    read_entropy(fresh(pe), info.entropy);
    read_managed(fresh(pe), info.managed);
    read_exports(fresh(pe), info.exports);
    read_tls_callbacks(fresh(pe), info.tls);
    // The overlay ends where the certificate table begins: both need a table inside the file.
    PeStatus certificates = check_certificate_table(fresh(pe));
    if (certificates == PE_IMAGE) {
        read_overlay(fresh(pe), info.overlay);
        read_signature_list(fresh(pe), info.signatures);
    } else {
        set_read(info.overlay.read, certificates, pe, L"show_extended_info::ReadFile");
        set_read(info.signatures.read, certificates, pe, L"show_extended_info::ReadFile");
    }
}

} // namespace

bool is_extended_word(const wchar_t* word)
{
    return _wcsicmp(word, L"-extended") == 0 || _wcsicmp(word, L"-x") == 0;
}

void set_read(ValueRead& read, PeStatus status, const PeFile& pe, const wchar_t* context)
{
    read.status = status;
    read.context = status == PE_READ_FAILED ? context : nullptr;
    read.code = status == PE_READ_FAILED ? pe.read_error : status == PE_DAMAGED ? ERROR_BAD_EXE_FORMAT : 0;
}

void read_extended_info(const wchar_t* path, ExtendedInfo& info)
{
    info = ExtendedInfo();
    PeFile pe;
    DWORD error = 0;
    if (!open_pe_file(pe, path, error)) {
        info.state = EXTENDED_FAILED;
        info.read = ValueRead{PE_READ_FAILED, L"show_extended_info::CreateFile", error};
        return;
    }
    PeStatus status = read_pe_headers(pe);
    if (status == PE_IMAGE)
        status = read_pe_sections(pe);
    if (status == PE_NOT_IMAGE) {
        info.state = EXTENDED_NOT_IMAGE;
    } else if (status != PE_IMAGE) {
        info.state = EXTENDED_FAILED;
        set_read(info.read, status, pe, L"show_extended_info::ReadFile");
    } else {
        info.state = EXTENDED_IMAGE;
        read_image_groups(pe, info);
    }
    close_pe_file(pe);
    if (info.state == EXTENDED_IMAGE)
        read_manifest(path, info.manifest);
}
