#include "message_sinks.h"

#include <memory>

#include "error_detail.h"
#include "forward_options.h"
#include "json_log.h"
#include "monitor_banner.h"
#include "monitor_log.h"
#include "monitor_output.h"
#include "syslog_forward.h"
#include "text_color.h"

bool output_line_open = false;

namespace {

void print_unresolved(const SyslogDestination& destination, DWORD code)
{
    qldbg_wprintf(L"\n");
    set_text_color(4);
    qldbg_wprintf(L"The collector \"%ls\" cannot be found: ", destination.text.c_str());
    restore_text_color();
    // In red, with the system's own line end.
    print_error_detail(code);
}

void print_size_without_file()
{
    qldbg_wprintf(L"\n");
    set_text_color(4);
    qldbg_wprintf(L"The option \"-logsize\" has no effect without \"-log\" or \"-json\".");
    restore_text_color();
    qldbg_wprintf(L"\n");
}

} // namespace

bool message_sinks_on()
{
    return json_log_open() || forwarding_on();
}

int check_forward_words(const wchar_t* bad_word)
{
    if (bad_word != nullptr) {
        print_monitor_banner(1);
        print_bad_forward_value(bad_word);
        return ERROR_INVALID_PARAMETER;
    }
    const SyslogDestination* failed = nullptr;
    DWORD code = resolve_syslog_destinations(forward_options, failed);
    if (code == ERROR_SUCCESS)
        return 0;
    print_monitor_banner(1);
    if (failed != nullptr)
        print_unresolved(*failed, code);
    else
        print_error_detail(code);
    return static_cast<int>(code);
}

void open_message_sinks()
{
    if (!forward_options.json_path.empty() || !forward_options.destinations.empty())
        computer_host_name(); // looked up once, before any thread asks
    if (!forward_options.json_path.empty())
        open_json_log(forward_options.json_path);
    if (forward_options.log_size_given && forward_options.json_path.empty() && monitor_log_path[0] == L'\0')
        print_size_without_file();
}

void start_message_sinks()
{
    start_forwarders();
}

void pass_to_sinks(const SinkMessage& shown)
{
    if (shown.length > 0)
        output_line_open = shown.text[shown.length - 1] != '\n';
    if (!message_sinks_on())
        return;
    auto message = std::make_shared<ForwardMessage>();
    message->arrival = shown.arrival;
    message->utc_offset = shown.utc_offset;
    message->process_id = shown.process_id;
    message->name = shown.name;
    message->text.assign(shown.text, static_cast<size_t>(shown.length));
    message->code_page = shown.code_page;
    write_json_message(*message);
    if (forwarding_on())
        queue_for_forwarding(message);
}

void finish_message_sinks(DWORD deadline)
{
    finish_forwarders(deadline);
    print_json_losses();
}
