#include "usage_text.h"

#include <string>

#include "report_frame.h"
#include "report_output.h"

namespace {

// One print each: with the debugger echo on, every text is a message of its own.
const wchar_t* const USAGE_TEXTS[] = {
    L"\nUsage: quillet.exe <full_path_to_file> [optional parameters]\n",
    L"\nOptional Parameters:\n\n",
    L"\t-m|-multiple [filename filename ...]\n",
    L"\tPrints Version Info for multiple Files.\n\n",
    L"\t-d|-directory [-html]<path_to_directory>\\<wildcard>]\n",
    L"\tPrints Version Info for a complete directory.\n",
    L"\tNeeds a wildcard specification like \"*.exe\".\n",
    L"\tHas optional \"-html\" Parameter for Outputting\n",
    L"\tthe complete Result as HTML Output.\n",
    L"\tSee samples for more information and have a look\n",
    L"\tat the \"quillet.ini\" for output formatting!.\n\n",
    L"\t-md5|-sha1\n",
    L"\tPrints Extra MD5/SHA1 Signatures for the Files.\n\n",
    L"\t-p|-plain\n",
    L"\tPrints the MD5/SHA1 Signatures for the Files only.\n",
    L"\tNotice: Does not work with -m Parameter!\n",
    L"\n",
    L"\nStandalone Parameters (Without File Path!):\n\n",
    L"\t-u|user\n",
    L"\tShows User Context Information.\n",
    L"\t-e|-error\n",
    L"\tTranslates Error Code to Message Detail.\n",
    L"\t-r|-run <path_to_executable>\n",
    L"\tExecute some File and return PID.\n",
    L"\t-i|-info\n",
    L"\tShow a Windows About Dialog with Information.\n",
    L"\n",
    L"\nExtra Info:\n\n",
    L"\tSee \"quillet.ini\" and \"quilletini.exe\" for additonal\n",
    L"\tSettings and Information on the \"quillet.exe\". There\n",
    L"\tare some interesting Settings you can make!\n",
    L"\n",
    L"\nUsage Examples:\n\n",
    L"\tquillet C:\\Windows\\System32\\kernel32.dll\n",
    L"\tquillet C:\\Windows\\System32\\kerberos.dll -md5\n",
    L"\tquillet C:\\Windows\\System32\\ntoskrln.dll -md5 -plain\n",
    L"\tquillet -r C:\\Windows\\explorer.exe\n",
    L"\tquillet -e 10061\n",
    L"\tquillet -u\n",
    L"\tquillet -d \"C:\\Windows\\system32\\*.dll\n",
    L"\tquillet -m user32.dll \"C:\\Windows\\system32\\drivers\\acpi.sys\" -sha1\n",
    L"\tquillet -m \"C:\\Windows\\system32\\user32.dll\" \"C:\\Windows\\explorer.exe\"\n",
    L"\n",
    L"\nTips:\n\n",
    L"\tUse Pipe and Redirection Opeartors to redirect Output\n",
    L"\tinto Files or Console/Application Streams. Examples:\n\n",
    L"\tquillet -d C:\\Windows\\*.exe > WindowsDirectoryExeInfo.txt\t\n",
    L"\tquillet -d C:\\Windows\\*.exe | more\n",
    L"\tquillet -d C:\\Windows\\*.exe -md5 -html > C:\\WindowsDirectoryExe.html\n",
    L"\tquillet -m app1.exe app2.exe lib1.dll | more\n",
    L"\tquillet -m app1.exe app2.exe lib1.dll > MyAppsBinaryinfo.txt\n",
    L"\n",
};

static_assert(sizeof(USAGE_TEXTS) / sizeof(USAGE_TEXTS[0]) == 52, "the usage text has 52 pieces");

// The words that came after the usage text above, which stays as it always was: one line
// each, the word with its alias and value, then what it does.
struct AddedWord {
    const wchar_t* words;
    const wchar_t* effect;
};

const AddedWord ADDED_WORDS[] = {
    {L"-sha256", L"Prints the SHA256 Signature, used like -md5 and -sha1."},
    {L"-imagesha1", L"Prints the SHA1 hash code signing computes over a PE image."},
    {L"-imagesha256", L"Prints the SHA256 hash code signing computes over a PE image."},
    {L"-imphash", L"Prints the import hash (MD5 of the imported names)."},
    {L"-v|-verify <file>", L"Tells whether a file is signed, by whom and when."},
    {L"-csv", L"With -d or -m: one CSV document instead of the report."},
    {L"-json", L"With -d or -m: JSON Lines on standard output; it takes no value."},
    {L"-s|-recurse", L"With -d: also every folder below the pattern's folder."},
    {L"-pe", L"With -d: only PE images count, whatever their names."},
    {L"-unsigned", L"With -d or -m: only files that are not signed."},
    {L"-cmp|-compare <csv>", L"With -d or -m: what changed since a saved CSV document."},
    {L"-x|-extended", L"Mitigations, build, manifest, entropy, overlay, every signature."},
};

const size_t WORDS_COLUMN = 22;

} // namespace

void print_usage()
{
    print_banner();
    for (const wchar_t* text : USAGE_TEXTS)
        ql_wprintf(L"%ls", text);
}

void print_added_words()
{
    ql_wprintf(L"%ls", L"\nMore Parameters:\n\n");
    for (const AddedWord& word : ADDED_WORDS) {
        std::wstring words = word.words;
        words.resize(words.size() < WORDS_COLUMN ? WORDS_COLUMN : words.size() + 1, L' ');
        ql_wprintf(L"\t%ls%ls\n", words.c_str(), word.effect);
    }
    ql_wprintf(L"%ls", L"\n");
}
