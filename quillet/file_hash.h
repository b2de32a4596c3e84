// MD5, SHA-1 and SHA-256 digests of whole files through CryptoAPI.
#pragma once

#include <windows.h>

#include <wincrypt.h>

// Bytes read and hashed at a time: memory stays a few of these whatever the file's size.
const DWORD HASH_PIECE_BYTES = 1 << 20;

// progress 1: step lines, label and closing empty line; any other value: the digest alone.
void show_hash_info(ALG_ID algorithm, const wchar_t* path, int progress);
