#include "run_selection.h"

#include "hash_ahead.h"
#include "pe_view.h"
#include "signature_report.h"

namespace {

bool is_pe_entry(const std::wstring& path, bool fits, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    bool image = false;
    DWORD error = 0;
    return !fits || !probe_pe_image(path.c_str(), image, error) || image;
}

} // namespace

EntryFilter entry_filter(const RunRequest& request)
{
    return request.pe_only ? is_pe_entry : nullptr;
}

FileScreen file_screen(const RunRequest& request)
{
    return request.unsigned_only ? left_out_as_signed : nullptr;
}

bool leaves_out(const RunRequest& request, const std::wstring& path, bool fits)
{
    if (!request.unsigned_only || !fits)
        return false;
    bool left_out = false;
    if (screened_ahead(path.c_str(), left_out))
        return left_out;
    return left_out_as_signed(path.c_str());
}
