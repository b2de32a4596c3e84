#include "stdout_capture.h"

#include <io.h>
#include <stdio.h>

#include "test_files.h"

namespace {

int saved_stdout = -1;
std::wstring capture_path;

} // namespace

void stdout_capture_begin()
{
    static std::wstring folder = make_temp_dir(L"capture");
    capture_path = join_path(folder, L"stdout.txt");
    fflush(stdout);
    FILE* file = _wfopen(capture_path.c_str(), L"w");
    saved_stdout = _dup(1);
    _dup2(_fileno(file), 1);
    fclose(file);
}

std::string stdout_capture_end()
{
    fflush(stdout);
    _dup2(saved_stdout, 1);
    _close(saved_stdout);
    saved_stdout = -1;
    return read_file(capture_path);
}
