// The sockets to a syslog collector: every address its name resolves to, and connects, sends
// and waits that never last longer than NETWORK_WAIT_MS.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <vector>

#include "forward_options.h"

struct CollectorAddress {
    sockaddr_storage bytes;
    int length;
};

// No connect and no send waits longer: a collector that takes nothing in that time is taken
// for gone.
const DWORD NETWORK_WAIT_MS = 5000;

// Every address destination's name resolves to, in the resolver's order. Returns 0 or the
// system's error code.
DWORD resolve_collector(const SyslogDestination& destination, std::vector<CollectorAddress>& addresses);

// Whether the socket becomes readable (or writable) within wait_ms without an error.
bool wait_for_socket(SOCKET socket_handle, bool for_writing, DWORD wait_ms);

// A non-blocking stream socket connected within NETWORK_WAIT_MS, with keep-alive and a small
// send buffer; INVALID_SOCKET when the address does not take it.
SOCKET connect_bounded(const CollectorAddress& address);

// Whether the collector has closed (or reset) the connection.
bool closed_by_collector(SOCKET socket_handle);

// Sends all of bytes; false when the collector took nothing for NETWORK_WAIT_MS, or the
// connection broke.
bool send_all(SOCKET socket_handle, const std::string& bytes);

// A datagram socket connected to the address, so that a refusal (the port is closed there)
// comes back as an error of the socket; INVALID_SOCKET when none can be had.
SOCKET open_datagram_socket(const CollectorAddress& address);

// Whether a socket error says that the collector's port refused an earlier datagram.
bool refused(int error);

// Whether a refusal arrives within wait_ms.
bool refusal_pending(SOCKET socket_handle, DWORD wait_ms);
