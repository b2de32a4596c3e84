// Names of the functions that some system libraries are commonly imported by ordinal alone.
#pragma once

#include <windows.h>

#include <string>

// The name that library (lower case, with its extension) exports under ordinal, or null when
// the library or the ordinal is not in the tables.
const char* imported_ordinal_name(const std::string& library, WORD ordinal);
