// Syslog collectors inside the test: a UDP and a TCP receiver on 127.0.0.1.
#pragma once

#include <winsock2.h>

#include <string>

// Starts Winsock once for the test program.
void start_winsock();

// A socket bound to 127.0.0.1 (port 0: any free one), listening when it is a TCP one; its port
// in port. INVALID_SOCKET when that failed.
SOCKET open_receiver(bool tcp, unsigned short& port);

// The next datagram, or "<none>" after timeout_ms.
std::string receive_datagram(SOCKET socket_handle, DWORD timeout_ms = 20000);

// The next connection to a listening socket, or INVALID_SOCKET after timeout_ms.
SOCKET accept_connection(SOCKET listener, DWORD timeout_ms = 60000);

// The next octet-counted frame (RFC 6587) without its count, or "<none>" when the connection
// ends or nothing comes within timeout_ms.
std::string receive_frame(SOCKET connection, DWORD timeout_ms = 20000);
