// Started by "quillet -r": writes its own process identifier into the file named by its first
// word, so that a test can compare it with quillet's exit code.
#include <windows.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 1;
    FILE* file = _wfopen(argv[1], L"w");
    if (file == nullptr)
        return 2;
    fprintf(file, "%lu", GetCurrentProcessId());
    fclose(file);
    return 0;
}
