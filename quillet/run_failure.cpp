#include "run_failure.h"

#include "error_detail.h"
#include "report_output.h"
#include "text_color.h"

const wchar_t NO_FILE_NAMES[] = L"No File Names given.";
const wchar_t NO_DIRECTORY_NAME[] = L"No Directory Name given.";
const wchar_t NOT_A_PATTERN[] = L"The given Directory Path is invalid or Wildcard Missing.";
const wchar_t NOTHING_FOUND[] = L"No files found for the Directory/Pattern/Wildcard.";
const wchar_t UNLISTABLE_FOLDER[] = L"Could not list Folder.";

void print_run_failure(DWORD code, const wchar_t* detail)
{
    ql_wprintf(L"\nCould not get Information for Files. Reason: ");
    print_error_detail(code);
    ql_wprintf(L"Detail: ");
    set_text_color(4);
    ql_wprintf(L"%ls\n", detail);
    restore_text_color();
}
