// "-syslog DEST": every shown message to syslog collectors, RFC 5424 over UDP or over TCP with
// octet counting (RFC 6587), each collector served by a forwarder thread of its own.
#pragma once

#include <windows.h>

#include <memory>

#include "forward_options.h"
#include "syslog_format.h"

// A datagram carries at most this much of a message (see the README).
const size_t UDP_DATAGRAM_BYTES = 8192;
// What a collector's queue holds while it is away; beyond it the oldest messages are dropped.
const size_t QUEUE_MESSAGES = 10000;
const size_t QUEUE_BYTES = 8 * 1024 * 1024;

// Resolves every destination of the options. Returns 0, or the system's error code and the
// failing destination in failed.
DWORD resolve_syslog_destinations(const ForwardOptions& options, const SyslogDestination*& failed);

// Whether any collector is set up.
bool forwarding_on();

// Opens the sockets and starts one forwarder thread per collector.
void start_forwarders();

// Queues the message for every collector and wakes the forwarders that sleep: the capture side
// never waits for a collector. When a queue is full its oldest message is dropped and counted.
void queue_for_forwarding(const std::shared_ptr<const ForwardMessage>& message);

// No more messages come: the forwarders finish what they hold (and stop trying a collector
// that cannot be reached).
void close_forwarders();

// For the end: closes, waits for the forwarders until the tick count deadline, then prints
// "N messages were not forwarded to DEST" for each collector, also when N is 0.
void finish_forwarders(DWORD deadline);

// The TCP frame of RFC 6587 octet counting: the message's length, a space and the message.
std::string octet_counted(const std::string& message);
