#include "collector_socket.h"

#include "syslog_forward.h"

#include <string.h>

#include <deque>
#include <vector>

#include "message_sinks.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "text_color.h"
#include "work_queue.h"

namespace {

// A collector that is away is tried again after 1 s, then after twice the last delay, up to 30 s.
const DWORD FIRST_RETRY_MS = 1000;
const DWORD LAST_RETRY_MS = 30000;
// How long the first datagram to an address waits for a refusal (the port is closed there),
// when another address could take it instead.
const DWORD REFUSAL_WAIT_MS = 500;
// Lost messages are reported when delivery resumes, or this long after the first loss: with
// every wait of the forwarder bounded, the line comes within 30 s.
const DWORD REPORT_WAIT_MS = 24000;
struct Collector {
    SyslogDestination destination;
    std::vector<CollectorAddress> addresses; // in the order the name resolved to them
    size_t address_index;                    // the UDP socket's
    SOCKET socket;
    HANDLE thread;
    // Its lock guards what the capture side hands over and the loss count; pending counts the
    // queued messages and the one on its way.
    WorkQueue work;
    std::deque<std::shared_ptr<const ForwardMessage>> queue;
    size_t queued_bytes;
    unsigned long lost; // not reported yet
    DWORD first_loss_tick;
    bool finished; // the control handler has counted; nothing more is reported
    // The forwarder's own.
    std::string frame; // the message on its way; a TCP one stays until it is out whole
    bool in_flight;
    bool fresh_address; // nothing sent to the UDP socket's address yet
    DWORD retry_ms;
    DWORD next_attempt_tick;
    bool retry_pending;
};

std::vector<Collector*> collectors;

size_t message_bytes(const ForwardMessage& message)
{
    return sizeof(message) + message.text.size() + message.name.size() * sizeof(wchar_t);
}

// Under the lock.
void count_losses(Collector& collector, unsigned long count)
{
    if (count == 0)
        return;
    if (collector.lost == 0)
        collector.first_loss_tick = GetTickCount();
    collector.lost += count;
}

void note_losses(Collector& collector, unsigned long count)
{
    work_queue_lock(collector.work);
    count_losses(collector, count);
    work_queue_unlock(collector.work);
}

// One line on the console and in the log, on a line of its own.
void report_losses(Collector& collector, unsigned long count)
{
    hold_console_and_output();
    if (output_line_open) {
        qldbg_wprintf(L"\n");
        output_line_open = false;
    }
    set_text_color(4);
    qldbg_wprintf(L"%lu messages were not forwarded to %ls", count, collector.destination.text.c_str());
    restore_text_color();
    qldbg_wprintf(L"\n");
    flush_monitor_output();
    release_console_and_output();
}

void report_if_due(Collector& collector, bool delivered)
{
    work_queue_lock(collector.work);
    unsigned long count = collector.lost;
    bool due = count > 0 && !collector.finished && !work_queue_closed(collector.work) &&
               (delivered || GetTickCount() - collector.first_loss_tick >= REPORT_WAIT_MS);
    if (due)
        collector.lost = 0;
    work_queue_unlock(collector.work);
    if (due)
        report_losses(collector, count);
}

DWORD report_wait(Collector& collector)
{
    work_queue_lock(collector.work);
    DWORD wait = INFINITE;
    if (collector.lost > 0) {
        DWORD waited = GetTickCount() - collector.first_loss_tick;
        wait = waited < REPORT_WAIT_MS ? REPORT_WAIT_MS - waited : 0;
    }
    work_queue_unlock(collector.work);
    return wait;
}

// The next message as its frame, or false when the queue is empty. Formatting happens here,
// off the capture side.
bool take_next(Collector& collector)
{
    std::shared_ptr<const ForwardMessage> next;
    work_queue_lock(collector.work);
    if (!collector.queue.empty()) {
        next = collector.queue.front();
        collector.queue.pop_front();
        collector.queued_bytes -= message_bytes(*next);
    }
    work_queue_unlock(collector.work);
    if (next) {
        collector.frame = format_syslog_message(*next);
        collector.in_flight = true;
    }
    return static_cast<bool>(next);
}

// The message on its way got out, or is given up (lost: counted).
void frame_done(Collector& collector, bool lost)
{
    collector.frame.clear();
    collector.in_flight = false;
    work_queue_lock(collector.work);
    count_losses(collector, lost ? 1 : 0);
    work_queue_done(collector.work, 1);
    work_queue_unlock(collector.work);
}

// Waits until the tick count reaches tick, the queue is closed or a report falls due.
void wait_until(Collector& collector, DWORD tick)
{
    for (;;) {
        LONG remaining = static_cast<LONG>(tick - GetTickCount());
        if (remaining <= 0 || work_queue_closed(collector.work))
            return;
        DWORD report = report_wait(collector);
        DWORD wait = static_cast<DWORD>(remaining) < report ? static_cast<DWORD>(remaining) : report;
        WaitForSingleObject(collector.work.wake, wait);
        report_if_due(collector, false);
    }
}

void schedule_retry(Collector& collector)
{
    collector.next_attempt_tick = GetTickCount() + collector.retry_ms;
    collector.retry_ms = collector.retry_ms * 2 < LAST_RETRY_MS ? collector.retry_ms * 2 : LAST_RETRY_MS;
    collector.retry_pending = true;
}

// The delay only starts again from 1 s once a message has got through: a collector that takes
// connections and drops them at once is tried less and less often.
void drop_connection(Collector& collector)
{
    closesocket(collector.socket);
    collector.socket = INVALID_SOCKET;
    schedule_retry(collector);
}

// Every address in the order the name resolved to them, until one takes the connection.
bool connect_collector(Collector& collector)
{
    if (collector.retry_pending)
        wait_until(collector, collector.next_attempt_tick);
    for (const CollectorAddress& address : collector.addresses) {
        SOCKET socket_handle = connect_bounded(address);
        if (socket_handle != INVALID_SOCKET) {
            collector.socket = socket_handle;
            collector.retry_pending = false;
            return true;
        }
        report_if_due(collector, false);
    }
    schedule_retry(collector);
    return false;
}

// A frame that did not get out whole goes again, whole, on the next connection: the collector
// discards the broken piece with the old connection, so nothing arrives twice. False when the
// forwarder is to stop: closed, and the collector cannot be reached now.
bool send_stream(Collector& collector)
{
    if (collector.socket != INVALID_SOCKET && closed_by_collector(collector.socket))
        drop_connection(collector);
    if (collector.socket == INVALID_SOCKET && !connect_collector(collector)) {
        report_if_due(collector, false);
        return !work_queue_closed(collector.work);
    }
    if (!send_all(collector.socket, octet_counted(collector.frame))) {
        drop_connection(collector);
        return !work_queue_closed(collector.work);
    }
    frame_done(collector, false);
    collector.retry_ms = FIRST_RETRY_MS;
    report_if_due(collector, true);
    return true;
}

// The UDP socket connected to the next address, so that a refusal (the port is closed
// there) comes back as an error of the socket.
void use_address(Collector& collector, size_t index)
{
    if (collector.socket != INVALID_SOCKET)
        closesocket(collector.socket);
    collector.address_index = index;
    collector.fresh_address = true;
    collector.socket = open_datagram_socket(collector.addresses[index]);
}

void move_on(Collector& collector)
{
    use_address(collector, (collector.address_index + 1) % collector.addresses.size());
}

// A datagram, cut at UDP_DATAGRAM_BYTES; a refusal moves the socket to the next address and
// the datagram goes there.
void send_datagram(Collector& collector)
{
    size_t length = utf8_cut(collector.frame, UDP_DATAGRAM_BYTES);
    bool others = collector.addresses.size() > 1;
    // Every address once, and one more send where a refusal of an earlier datagram moved it.
    for (size_t tries = 0; tries <= collector.addresses.size(); ++tries) {
        int sent = send(collector.socket, collector.frame.data(), static_cast<int>(length), 0);
        if (sent == SOCKET_ERROR && refused(WSAGetLastError())) {
            note_losses(collector, 1); // the earlier one that was refused
            move_on(collector);
            continue;
        }
        bool fresh = collector.fresh_address;
        collector.fresh_address = false;
        if (sent != SOCKET_ERROR && fresh && others && refusal_pending(collector.socket, REFUSAL_WAIT_MS)) {
            move_on(collector);
            continue;
        }
        frame_done(collector, sent == SOCKET_ERROR);
        report_if_due(collector, sent != SOCKET_ERROR);
        return;
    }
    frame_done(collector, true);
    report_if_due(collector, false);
}

DWORD WINAPI forwarder(void* parameter)
{
    Collector& collector = *static_cast<Collector*>(parameter);
    for (;;) {
        if (!collector.in_flight && !take_next(collector)) {
            if (work_queue_closed(collector.work))
                return 0;
            work_queue_wait(collector.work, report_wait(collector));
            report_if_due(collector, false);
            continue;
        }
        if (!collector.destination.tcp)
            send_datagram(collector);
        else if (!send_stream(collector))
            return 0;
    }
}

// What the collector did not get: lost, still queued, or on its way.
unsigned long not_forwarded(Collector& collector)
{
    work_queue_lock(collector.work);
    collector.finished = true;
    unsigned long count = collector.lost + static_cast<unsigned long>(collector.work.pending);
    work_queue_unlock(collector.work);
    return count;
}

} // namespace

DWORD resolve_syslog_destinations(const ForwardOptions& options, const SyslogDestination*& failed)
{
    WSADATA data;
    if (!options.destinations.empty() && WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return static_cast<DWORD>(WSAGetLastError());
    for (const SyslogDestination& destination : options.destinations) {
        Collector* collector = new Collector();
        collector->destination = destination;
        collector->socket = INVALID_SOCKET;
        collector->retry_ms = FIRST_RETRY_MS;
        // Ready before the forwarders start: Ctrl+C may come at any time.
        work_queue_init(collector->work);
        DWORD error = resolve_collector(collector->destination, collector->addresses);
        if (error != ERROR_SUCCESS) {
            failed = &destination;
            delete collector;
            return error;
        }
        collectors.push_back(collector);
    }
    return ERROR_SUCCESS;
}

bool forwarding_on()
{
    return !collectors.empty();
}

void start_forwarders()
{
    for (Collector* collector : collectors) {
        if (!collector->destination.tcp)
            use_address(*collector, 0);
        collector->thread = CreateThread(nullptr, 0, forwarder, collector, 0, nullptr);
    }
}

void queue_for_forwarding(const std::shared_ptr<const ForwardMessage>& message)
{
    size_t bytes = message_bytes(*message);
    for (Collector* collector : collectors) {
        work_queue_lock(collector->work);
        while (!collector->queue.empty() &&
               (collector->queue.size() >= QUEUE_MESSAGES || collector->queued_bytes + bytes > QUEUE_BYTES)) {
            collector->queued_bytes -= message_bytes(*collector->queue.front());
            collector->queue.pop_front();
            count_losses(*collector, 1);
            work_queue_done(collector->work, 1);
        }
        collector->queue.push_back(message);
        collector->queued_bytes += bytes;
        bool wake = work_queue_added(collector->work, 1);
        work_queue_unlock(collector->work);
        if (wake)
            work_queue_wake(collector->work);
    }
}

void close_forwarders()
{
    for (Collector* collector : collectors)
        work_queue_close(collector->work);
}

void finish_forwarders(DWORD deadline)
{
    close_forwarders();
    for (Collector* collector : collectors) {
        // Done when everything went out or the forwarder gave up.
        HANDLE ends[] = {collector->work.idle, collector->thread};
        LONG left = static_cast<LONG>(deadline - GetTickCount());
        WaitForMultipleObjects(collector->thread != nullptr ? 2 : 1, ends, FALSE,
                               left > 0 ? static_cast<DWORD>(left) : 0);
    }
    for (Collector* collector : collectors)
        qldbg_wprintf(L"\n%lu messages were not forwarded to %ls", not_forwarded(*collector),
                      collector->destination.text.c_str());
}

std::string octet_counted(const std::string& message)
{
    return std::to_string(message.size()) + " " + message;
}
