#include "ini_banner.h"

#include "ini_output.h"
#include "text_color.h"

void print_ini_banner()
{
    set_text_color(7);
    ini_wprintf(L"%ls", L"quilletini - settings file editor and file printer\n");
    ini_wprintf(L"%ls", L"Copyright (C) 2026 The quillet developers\n");
    ini_wprintf(L"%ls", L"Contact: quillet@example.org - https://quillet.example.org\n");
    restore_text_color();
}
