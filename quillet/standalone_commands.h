// The commands that take no file: "-u", "-e", "-r", "-i". Each returns the exit code.
#pragma once

#include <windows.h>

DWORD command_user_context();
DWORD command_error_text();
DWORD command_run();
DWORD command_about();
