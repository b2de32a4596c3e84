// Painting captured messages on the console in bulk, so that a console that has fallen
// behind a burst catches up with few console calls.
#pragma once

#include <windows.h>

// One shown message as the capture loop formatted it: the bytes the log received, where its
// pieces of different colours end, and the sender's name as wide text (the console shows every
// character of it).
struct ShownMessage {
    const char* bytes;
    int prefix_end;    // line end after the dots, date line and stamp: the current colour
    int name_end;      // name and "::" (blue), shown from name instead
    int id_end;        // process ID (green)
    int separator_end; // "::" in the current colour; the text (white) follows up to length
    int length;
    const wchar_t* name;
    int name_length;
    bool utf8_text; // the text is UTF-8; the rest is in the console's code page
};

// Paints count messages in order on the console behind standard output, each piece in the
// colour it has when printed one by one, and leaves the console's colour as it found it. Text
// of the same colour goes out in one write, the colour changes only between pieces.
void paint_messages(const ShownMessage* messages, int count);
