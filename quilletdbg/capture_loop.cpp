#include "capture_loop.h"

#include <stdio.h>
#include <string.h>

#include "channel_setup.h"
#include "display_queue.h"
#include "fault_guard.h"
#include "message_filter.h"
#include "message_sinks.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "process_name.h"
#include "sender_identity.h"
#include "text_encoding.h"
#include "text_color.h"
#include "text_helpers.h"
#include "time_stamp.h"
#include "waiting_indicator.h"

namespace {

// How long the loop waits for data-ready before it offers the buffer again.
const DWORD DATA_WAIT_MS = 1000;
// One UTF-16 unit of a name never takes more than three bytes of UTF-8.
const int NAME_BYTES = TEXT_CHARS * 3;
const int ID_BYTES = 16;
// The line end after the dots, the stamp, the name, the ID, two "::" and the text.
const int MESSAGE_BYTES = 1 + STAMP_BYTES + NAME_BYTES + ID_BYTES + 4 + CHANNEL_TEXT_BYTES;

// One message as read from the buffer.
struct Message {
    SYSTEMTIME arrival;
    int utc_offset;
    DWORD process_id;
    const char* text;
    int length;
    UINT code_page;
    wchar_t name[TEXT_CHARS]; // empty until looked up
};

// A shown message formatted once: the text that the log (and an output that is no console)
// receives, and where its pieces of different colours end.
struct MessageText {
    char bytes[MESSAGE_BYTES];
    int prefix_end;    // line end after the dots, date line and stamp, in the current colour
    int name_end;      // name and "::" (blue)
    int id_end;        // process ID (green)
    int separator_end; // "::" in the current colour; the text (white) follows
    int length;
};

// The main thread's alone; too large for its stack beside the rest.
Message message;
MessageText message_text;
wchar_t upper_text[CHANNEL_TEXT_BYTES + 1];
wchar_t wide_text[CHANNEL_TEXT_BYTES + 1];

// Colours take effect only on a console; elsewhere the calls would only fail, at the price of
// a round trip to the system each. Asked once per pass of the loop.
bool output_on_console = false;
// "-queue" on a console: the display thread paints what the loop queues.
bool console_queued = false;
// The last shown message ended its line: the next one begins a line and gets its stamp.
bool at_line_start = true;
StampDay stamp_day = {};

// Senders hold this mutex from before they take the buffer-ready signal until after they
// signal data-ready.
HANDLE sender_mutex = nullptr;
// A sender that has held the mutex this long without data waits for a signal that a dead
// sender took: less than the ten seconds a sender waits for the buffer before it gives up.
const DWORD HELD_SENDER_MS = 5000;

// A sender that died after taking the buffer-ready signal and before signalling data-ready
// took that signal with it, and every later sender would wait in vain, so after a second
// without data the buffer is offered again: at once while no sender is at work (a sender that
// died with the mutex has abandoned it, which hands it over as well), but only after
// HELD_SENDER_MS while one holds the mutex. That one may be a live sender that a loaded machine
// holds up between the two signals, and an extra offer then would let the next sender
// overwrite its message while the loop reads it.
void offer_buffer_again(DWORD quiet_ms)
{
    if (sender_mutex == nullptr)
        sender_mutex = CreateMutexW(nullptr, FALSE, L"DBWinMutex");
    DWORD taken = sender_mutex != nullptr ? WaitForSingleObject(sender_mutex, 0) : WAIT_FAILED;
    bool owned = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
    if (taken == WAIT_TIMEOUT && quiet_ms < HELD_SENDER_MS)
        return;
    // Data that came in the meantime is put back for the loop instead.
    if (owned && WaitForSingleObject(channel.data_ready, 0) == WAIT_OBJECT_0)
        SetEvent(channel.data_ready);
    else
        SetEvent(channel.buffer_ready);
    if (owned)
        ReleaseMutex(sender_mutex);
}

void wait_for_data()
{
    DWORD quiet_ms = 0;
    while (WaitForSingleObject(channel.data_ready, DATA_WAIT_MS) == WAIT_TIMEOUT) {
        quiet_ms += DATA_WAIT_MS;
        offer_buffer_again(quiet_ms);
    }
}

// A sender may fill the text area without a zero byte: the text ends with the buffer.
int text_length(const char* text)
{
    const void* zero = memchr(text, 0, CHANNEL_TEXT_BYTES);
    return zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - text)
                           : static_cast<int>(CHANNEL_TEXT_BYTES);
}

// The arrival time is that of the read, before the sender is looked up.
void read_message()
{
    if (time_stamps_on || message_sinks_on())
        take_arrival_time(message.arrival, message.utc_offset);
    memset(message.name, 0, sizeof(message.name));
    message.process_id = *reinterpret_cast<const volatile DWORD*>(channel.view);
    message.text = channel.view + CHANNEL_TEXT_OFFSET;
    message.length = text_length(message.text);
    message.code_page = message_code_page(message.text, static_cast<size_t>(message.length));
}

// Looks the sender up only when the decision needs its name.
bool message_wanted()
{
    const wchar_t* text = L"";
    if (filter_has_texts(message_filter)) {
        upper_case_message(message.text, message.length, message.code_page, upper_text);
        text = upper_text;
    }
    int verdict = filter_verdict(message_filter, message.process_id, text, nullptr);
    if (verdict != MESSAGE_NEEDS_NAME)
        return verdict == MESSAGE_SHOWN;
    if (message.name[0] == L'\0')
        lookup_process_name(message.process_id, message.name);
    wchar_t name[TEXT_CHARS];
    copy_text(name, TEXT_CHARS, message.name);
    upper_case(name, wcslen(name));
    return filter_verdict(message_filter, message.process_id, text, name) == MESSAGE_SHOWN;
}

int append(MessageText& out, int at, const char* bytes, int length)
{
    memcpy(out.bytes + at, bytes, static_cast<size_t>(length));
    return at + length;
}

void format_message(bool first, MessageText& out)
{
    int at = first ? append(out, 0, "\n", 1) : 0;
    if (time_stamps_on && at_line_start)
        at += format_stamp(message.arrival, stamp_day, out.bytes + at);
    out.prefix_end = at;
    // As the wide print routine writes a name into a file: UTF-8.
    at += WideCharToMultiByte(CP_UTF8, 0, message.name, static_cast<int>(wcslen(message.name)), out.bytes + at,
                              NAME_BYTES, nullptr, nullptr);
    out.name_end = append(out, at, "::", 2);
    out.id_end =
        out.name_end + _snprintf(out.bytes + out.name_end, ID_BYTES, "%d", static_cast<int>(message.process_id));
    out.separator_end = append(out, out.id_end, "::", 2);
    out.length = append(out, out.separator_end, message.text, message.length);
}

// With "-queue" the capture never waits for the console: the display has it.
void hold_capture_locks()
{
    if (console_queued)
        hold_output();
    else
        hold_console_and_output();
}

void release_capture_locks()
{
    release_console_and_output();
}

void print_fault_line(const wchar_t*, DWORD)
{
    qldbg_wprintf(L"quilletdbg::INTERNAL EXCEPTION");
}

// One piece on the console, in its colour (0: the current one); written before the colour
// changes again.
void show_piece(const char* bytes, int length, WORD colour)
{
    if (colour != 0)
        set_text_color(colour);
    write_output_bytes(bytes, static_cast<size_t>(length));
    fflush(stdout);
    if (colour != 0)
        restore_text_color();
}

void show_on_console(const MessageText& text)
{
    show_piece(text.bytes, text.prefix_end, 0);
    // The console takes the name as wide text, every character of it.
    wchar_t name[TEXT_CHARS + 2];
    _snwprintf(name, TEXT_CHARS + 2, L"%ls::", message.name);
    set_text_color(1);
    write_output_wide(name, wcslen(name));
    restore_text_color();
    show_piece(text.bytes + text.name_end, text.id_end - text.name_end, 2);
    show_piece(text.bytes + text.id_end, text.separator_end - text.id_end, 0);
    if (message.code_page != CP_UTF8) {
        show_piece(text.bytes + text.separator_end, text.length - text.separator_end, 7);
        return;
    }
    // Every character of a UTF-8 text, whatever the console's code page.
    int chars = MultiByteToWideChar(CP_UTF8, 0, message.text, message.length, wide_text, CHANNEL_TEXT_BYTES);
    set_text_color(7);
    write_output_wide(wide_text, static_cast<size_t>(chars > 0 ? chars : 0));
    restore_text_color();
}

void queue_for_display(const MessageText& text)
{
    ShownMessage shown = {text.bytes,
                          text.prefix_end,
                          text.name_end,
                          text.id_end,
                          text.separator_end,
                          text.length,
                          message.name,
                          static_cast<int>(wcslen(message.name)),
                          message.code_page == CP_UTF8};
    queue_message(shown);
}

void show_message()
{
    if (message.name[0] == L'\0')
        lookup_process_name(message.process_id, message.name);
    // Never under the output lock: the control handler must be able to take it meanwhile.
    if (console_queued)
        wait_for_queue_room();
    hold_capture_locks();
    // The dots end with the first message shown, not with the first one read.
    bool first = first_message_arrived == 0;
    first_message_arrived = 1;
    format_message(first, message_text);
    if (console_queued)
        queue_for_display(message_text);
    else if (output_on_console)
        show_on_console(message_text);
    else
        write_output_bytes(message_text.bytes, static_cast<size_t>(message_text.length));
    write_log_bytes(message_text.bytes, static_cast<size_t>(message_text.length));
    SinkMessage sink = {message.arrival, message.utc_offset, message.process_id, message.name,
                        message.text,    message.length,     message.code_page};
    pass_to_sinks(sink);
    at_line_start = message.length > 0 && message.text[message.length - 1] == '\n';
    // Whatever ends the monitor later, this message is in the output and the log already.
    flush_monitor_output();
    release_capture_locks();
}

void capture_pass(void*)
{
    start_waiting_indicator();
    DWORD mode = 0;
    output_on_console = GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
    console_queued = message_queue_on && output_on_console && start_display();
    for (;;) {
        SetEvent(channel.buffer_ready);
        wait_for_data();
        read_message();
        // Before the buffer goes back, while the sender most likely still runs.
        if (message_queue_on)
            identify_sender(sender_cache, message.process_id, message.name);
        // A dropped message leaves no trace: not printed, not logged, the line as it was.
        if (message_wanted())
            show_message();
    }
}

} // namespace

void capture_loop()
{
    SYSTEMTIME start;
    GetLocalTime(&start);
    set_stamp_day(stamp_day, start);
    for (;;) {
        run_guarded(capture_pass, nullptr);
        // The fault may have struck halfway through a message.
        if (!console_queued)
            restore_text_color();
        release_capture_locks();
        hold_capture_locks();
        raise_notice(print_fault_line, L"", 0);
        at_line_start = false;
        flush_monitor_output();
        release_capture_locks();
    }
}
