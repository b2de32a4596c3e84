#include "digest_kinds.h"

#include <wchar.h>

const DigestKind* digest_word(const wchar_t* word)
{
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (_wcsicmp(word, digest.word) == 0)
            return &digest;
    }
    return nullptr;
}

const wchar_t* digest_name(ALG_ID algorithm)
{
    for (const DigestKind& digest : DIGEST_KINDS) {
        if (digest.source == WHOLE_FILE && digest.algorithm == algorithm)
            return digest.name;
    }
    return L"";
}
