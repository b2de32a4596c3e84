// MD5, SHA-1 and SHA-256 digests of whole files through CryptoAPI.
#pragma once

#include <windows.h>

#include <wincrypt.h>

// progress 1: step lines, label and closing empty line; any other value: the digest alone.
void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress);
