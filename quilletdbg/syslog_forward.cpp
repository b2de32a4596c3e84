#include <winsock2.h>
#include <ws2tcpip.h>
#include <mswsock.h>

#include "syslog_forward.h"

#include <string.h>

#include <deque>
#include <vector>

#include "message_sinks.h"
#include "monitor_output.h"
#include "output_lock.h"
#include "text_color.h"

namespace {

// A collector that is away is tried again after 1 s, then after twice the last delay, up to 30 s.
const DWORD FIRST_RETRY_MS = 1000;
const DWORD LAST_RETRY_MS = 30000;
// Lost messages are reported when delivery resumes, or after this long without it.
const DWORD REPORT_WAIT_MS = 30000;

struct Collector {
    SyslogDestination destination;
    sockaddr_storage address;
    int address_length;
    SOCKET socket;
    HANDLE wake;
    volatile LONG sleeping; // set by the forwarder before it waits for wake
    CRITICAL_SECTION lock;
    // Under the lock: what the capture side hands over.
    std::deque<std::shared_ptr<const ForwardMessage>> queue;
    size_t queued_bytes;
    unsigned long overflowed;
    // The forwarder's own.
    std::string frame;    // the message on its way; a TCP one stays until it is out whole
    unsigned long failed; // lost and not reported yet
    DWORD first_loss_tick;
    DWORD retry_ms;
    DWORD next_attempt_tick;
    bool retry_pending;
    UtcOffset offset;
};

std::vector<Collector*> collectors;

size_t message_bytes(const ForwardMessage& message)
{
    return sizeof(message) + message.text.size() + message.name.size() * sizeof(wchar_t);
}

void note_losses(Collector& collector, unsigned long count)
{
    if (count == 0)
        return;
    if (collector.failed == 0)
        collector.first_loss_tick = GetTickCount();
    collector.failed += count;
}

void gather_overflow(Collector& collector)
{
    EnterCriticalSection(&collector.lock);
    unsigned long overflowed = collector.overflowed;
    collector.overflowed = 0;
    LeaveCriticalSection(&collector.lock);
    note_losses(collector, overflowed);
}

// One line on the console and in the log, on a line of its own.
void report_losses(Collector& collector)
{
    hold_output();
    if (output_line_open) {
        qldbg_wprintf(L"\n");
        output_line_open = false;
    }
    set_text_color(4);
    qldbg_wprintf(L"%lu messages were not forwarded to %ls", collector.failed, collector.destination.text.c_str());
    restore_text_color();
    qldbg_wprintf(L"\n");
    flush_monitor_output();
    release_output();
    collector.failed = 0;
}

void report_if_due(Collector& collector, bool delivered)
{
    gather_overflow(collector);
    if (collector.failed > 0 && (delivered || GetTickCount() - collector.first_loss_tick >= REPORT_WAIT_MS))
        report_losses(collector);
}

// The next message as its frame, or false (and the forwarder marked as sleeping) when the
// queue is empty. Formatting happens here, off the capture side.
bool take_next(Collector& collector)
{
    std::shared_ptr<const ForwardMessage> next;
    EnterCriticalSection(&collector.lock);
    if (collector.queue.empty()) {
        InterlockedExchange(&collector.sleeping, 1);
    } else {
        next = collector.queue.front();
        collector.queue.pop_front();
        collector.queued_bytes -= message_bytes(*next);
    }
    LeaveCriticalSection(&collector.lock);
    if (next)
        collector.frame = format_syslog_message(*next, collector.offset);
    return static_cast<bool>(next);
}

void send_datagram(Collector& collector)
{
    size_t length = utf8_cut(collector.frame, UDP_DATAGRAM_BYTES);
    int sent = sendto(collector.socket, collector.frame.data(), static_cast<int>(length), 0,
                      reinterpret_cast<const sockaddr*>(&collector.address), collector.address_length);
    collector.frame.clear();
    if (sent == SOCKET_ERROR)
        note_losses(collector, 1);
    report_if_due(collector, sent != SOCKET_ERROR);
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

bool connect_collector(Collector& collector)
{
    if (collector.retry_pending) {
        LONG remaining = static_cast<LONG>(collector.next_attempt_tick - GetTickCount());
        if (remaining > 0)
            Sleep(static_cast<DWORD>(remaining));
    }
    SOCKET socket_handle = socket(collector.address.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (socket_handle != INVALID_SOCKET &&
        connect(socket_handle, reinterpret_cast<const sockaddr*>(&collector.address), collector.address_length) == 0) {
        collector.socket = socket_handle;
        collector.retry_pending = false;
        return true;
    }
    if (socket_handle != INVALID_SOCKET)
        closesocket(socket_handle);
    schedule_retry(collector);
    return false;
}

// A collector never talks back: a socket with something to read has been closed (or reset)
// by the other side, and a message sent into it would be lost without a word.
bool closed_by_collector(SOCKET socket_handle)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_handle, &readable);
    timeval no_wait = {0, 0};
    if (select(0, &readable, nullptr, nullptr, &no_wait) != 1)
        return false;
    char ignored[512];
    return recv(socket_handle, ignored, sizeof(ignored), 0) <= 0;
}

bool send_all(SOCKET socket_handle, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        int sent = send(socket_handle, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (sent == SOCKET_ERROR)
            return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

// A frame that did not get out whole goes again, whole, on the next connection: the collector
// discards the broken piece with the old connection, so nothing arrives twice.
void send_stream(Collector& collector)
{
    if (collector.socket != INVALID_SOCKET && closed_by_collector(collector.socket))
        drop_connection(collector);
    if (collector.socket == INVALID_SOCKET && !connect_collector(collector)) {
        report_if_due(collector, false);
        return;
    }
    if (!send_all(collector.socket, octet_counted(collector.frame))) {
        drop_connection(collector);
        return;
    }
    collector.frame.clear();
    collector.retry_ms = FIRST_RETRY_MS;
    report_if_due(collector, true);
}

DWORD wait_time(const Collector& collector)
{
    if (collector.failed == 0)
        return INFINITE;
    DWORD waited = GetTickCount() - collector.first_loss_tick;
    return waited < REPORT_WAIT_MS ? REPORT_WAIT_MS - waited : 0;
}

DWORD WINAPI forwarder(void* parameter)
{
    Collector& collector = *static_cast<Collector*>(parameter);
    for (;;) {
        if (collector.frame.empty() && !take_next(collector)) {
            WaitForSingleObject(collector.wake, wait_time(collector));
            report_if_due(collector, false);
            continue;
        }
        if (collector.destination.tcp)
            send_stream(collector);
        else
            send_datagram(collector);
    }
}

DWORD resolve(Collector& collector)
{
    ADDRINFOW hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = collector.destination.tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_protocol = collector.destination.tcp ? IPPROTO_TCP : IPPROTO_UDP;
    ADDRINFOW* found = nullptr;
    int error = GetAddrInfoW(collector.destination.host.c_str(), collector.destination.port.c_str(), &hints, &found);
    if (error != 0)
        return static_cast<DWORD>(error);
    size_t length = found->ai_addrlen < sizeof(collector.address) ? found->ai_addrlen : sizeof(collector.address);
    memcpy(&collector.address, found->ai_addr, length);
    collector.address_length = static_cast<int>(length);
    FreeAddrInfoW(found);
    return ERROR_SUCCESS;
}

// A datagram's port unreachable must not turn into an error of the next send.
void ignore_port_unreachable(SOCKET socket_handle)
{
    BOOL report = FALSE;
    DWORD returned = 0;
    WSAIoctl(socket_handle, SIO_UDP_CONNRESET, &report, sizeof(report), nullptr, 0, &returned, nullptr, nullptr);
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
        DWORD error = resolve(*collector);
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
        InitializeCriticalSection(&collector->lock);
        collector->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!collector->destination.tcp) {
            collector->socket = socket(collector->address.ss_family, SOCK_DGRAM, IPPROTO_UDP);
            ignore_port_unreachable(collector->socket);
        }
        HANDLE thread = CreateThread(nullptr, 0, forwarder, collector, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
    }
}

void queue_for_forwarding(const std::shared_ptr<const ForwardMessage>& message)
{
    size_t bytes = message_bytes(*message);
    for (Collector* collector : collectors) {
        EnterCriticalSection(&collector->lock);
        while (!collector->queue.empty() &&
               (collector->queue.size() >= QUEUE_MESSAGES || collector->queued_bytes + bytes > QUEUE_BYTES)) {
            collector->queued_bytes -= message_bytes(*collector->queue.front());
            collector->queue.pop_front();
            ++collector->overflowed;
        }
        collector->queue.push_back(message);
        collector->queued_bytes += bytes;
        LeaveCriticalSection(&collector->lock);
        if (InterlockedExchange(&collector->sleeping, 0) != 0)
            SetEvent(collector->wake);
    }
}

std::string octet_counted(const std::string& message)
{
    return std::to_string(message.size()) + " " + message;
}
