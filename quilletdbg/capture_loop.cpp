#include "capture_loop.h"

#include <string.h>

#include "channel_setup.h"
#include "fault_guard.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "process_name.h"
#include "text_color.h"
#include "text_helpers.h"
#include "waiting_indicator.h"

namespace {

// How long the loop waits for data-ready before it offers the buffer again.
const DWORD DATA_WAIT_MS = 1000;

// A sender that died after taking the buffer-ready signal and before signalling data-ready
// took that signal with it, and every later sender would wait in vain. Offering the buffer
// again is a no-op while the signal is still there; the senders serialise among themselves.
void wait_for_data()
{
    while (WaitForSingleObject(channel.data_ready, DATA_WAIT_MS) == WAIT_TIMEOUT)
        SetEvent(channel.buffer_ready);
}

// A sender may fill the text area without a zero byte: the text ends with the buffer.
int text_length(const char* text)
{
    const void* zero = memchr(text, 0, CHANNEL_TEXT_BYTES);
    return zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - text)
                           : static_cast<int>(CHANNEL_TEXT_BYTES);
}

void print_message(DWORD process_id, const char* text, wchar_t* process_name)
{
    lookup_process_name(process_id, process_name);
    set_text_color(1);
    qldbg_wprintf(L"%ls::", process_name);
    restore_text_color();
    set_text_color(2);
    qldbg_printf("%d", static_cast<int>(process_id));
    restore_text_color();
    qldbg_printf("::");
    set_text_color(7);
    qldbg_printf("%.*s", text_length(text), text);
    restore_text_color();
}

void take_message(wchar_t* process_name)
{
    hold_output();
    if (first_message_arrived == 0) {
        first_message_arrived = 1;
        qldbg_wprintf(L"\n");
    }
    DWORD process_id = *reinterpret_cast<const volatile DWORD*>(channel.view);
    print_message(process_id, channel.view + CHANNEL_TEXT_OFFSET, process_name);
    // Whatever ends the monitor later, this message is in the output and the log already.
    flush_monitor_output();
    release_output();
}

void capture_pass(void*)
{
    start_waiting_indicator();
    wchar_t process_name[TEXT_CHARS];
    for (;;) {
        memset(process_name, 0, sizeof(process_name));
        SetEvent(channel.buffer_ready);
        wait_for_data();
        take_message(process_name);
    }
}

} // namespace

void capture_loop()
{
    for (;;) {
        run_guarded(capture_pass, nullptr);
        // The fault may have struck halfway through a message.
        restore_text_color();
        release_output();
        qldbg_wprintf(L"quilletdbg::INTERNAL EXCEPTION");
        flush_monitor_output();
    }
}
