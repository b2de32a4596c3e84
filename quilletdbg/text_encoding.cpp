#include "text_encoding.h"

bool utf8_detection_on = true;

namespace {

// The bytes a sequence that starts with lead takes, and the range its second byte must lie
// in (which rules out overlong forms, surrogates and values past U+10FFFF); 0 for a byte
// that starts none.
int sequence_length(unsigned char lead, unsigned char& low, unsigned char& high)
{
    low = 0x80;
    high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF) {
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
        return 4;
    }
    return 0;
}

} // namespace

bool is_utf8_text(const char* bytes, size_t length)
{
    const unsigned char* text = reinterpret_cast<const unsigned char*>(bytes);
    bool multi_byte = false;
    for (size_t i = 0; i < length;) {
        if (text[i] < 0x80) {
            ++i;
            continue;
        }
        unsigned char low = 0, high = 0;
        int count = sequence_length(text[i], low, high);
        if (count == 0 || length - i < static_cast<size_t>(count) || text[i + 1] < low || text[i + 1] > high)
            return false;
        for (int k = 2; k < count; ++k) {
            if ((text[i + k] & 0xC0) != 0x80)
                return false;
        }
        multi_byte = true;
        i += static_cast<size_t>(count);
    }
    return multi_byte;
}

UINT message_code_page(const char* bytes, size_t length)
{
    return utf8_detection_on && is_utf8_text(bytes, length) ? CP_UTF8 : CP_ACP;
}
