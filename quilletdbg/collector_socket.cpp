#include "collector_socket.h"

#include <mstcpip.h>
#include <string.h>

namespace {

// Keep-alive probes on an idle connection, so that a collector that vanished is noticed.
const ULONG KEEPALIVE_IDLE_MS = 60000;
const ULONG KEEPALIVE_PROBE_MS = 5000;
// What a connection holds that its collector has not taken yet: a connection that breaks
// loses what it held without a word, so it holds little.
const int SEND_BUFFER_BYTES = 64 * 1024;

} // namespace

DWORD resolve_collector(const SyslogDestination& destination, std::vector<CollectorAddress>& addresses)
{
    ADDRINFOW hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = destination.tcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_protocol = destination.tcp ? IPPROTO_TCP : IPPROTO_UDP;
    ADDRINFOW* found = nullptr;
    int error = GetAddrInfoW(destination.host.c_str(), destination.port.c_str(), &hints, &found);
    if (error != 0)
        return static_cast<DWORD>(error);
    for (ADDRINFOW* each = found; each != nullptr; each = each->ai_next) {
        CollectorAddress address = {};
        size_t length = each->ai_addrlen < sizeof(address.bytes) ? each->ai_addrlen : sizeof(address.bytes);
        memcpy(&address.bytes, each->ai_addr, length);
        address.length = static_cast<int>(length);
        addresses.push_back(address);
    }
    FreeAddrInfoW(found);
    return addresses.empty() ? static_cast<DWORD>(WSAHOST_NOT_FOUND) : ERROR_SUCCESS;
}

bool wait_for_socket(SOCKET socket_handle, bool for_writing, DWORD wait_ms)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket_handle, &ready);
    FD_SET(socket_handle, &failed);
    timeval wait = {static_cast<long>(wait_ms / 1000), static_cast<long>(wait_ms % 1000) * 1000};
    int count = select(0, for_writing ? nullptr : &ready, for_writing ? &ready : nullptr, &failed, &wait);
    return count > 0 && FD_ISSET(socket_handle, &ready) && !FD_ISSET(socket_handle, &failed);
}

namespace {

void tune_connection(SOCKET socket_handle)
{
    int buffer = SEND_BUFFER_BYTES;
    setsockopt(socket_handle, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&buffer), sizeof(buffer));
    BOOL on = TRUE;
    setsockopt(socket_handle, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof(on));
    tcp_keepalive values = {1, KEEPALIVE_IDLE_MS, KEEPALIVE_PROBE_MS};
    DWORD returned = 0;
    WSAIoctl(socket_handle, SIO_KEEPALIVE_VALS, &values, sizeof(values), nullptr, 0, &returned, nullptr, nullptr);
}

} // namespace

SOCKET connect_bounded(const CollectorAddress& address)
{
    SOCKET socket_handle = socket(address.bytes.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (socket_handle == INVALID_SOCKET)
        return INVALID_SOCKET;
    u_long non_blocking = 1;
    ioctlsocket(socket_handle, FIONBIO, &non_blocking);
    const sockaddr* name = reinterpret_cast<const sockaddr*>(&address.bytes);
    bool connected = connect(socket_handle, name, address.length) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK && wait_for_socket(socket_handle, true, NETWORK_WAIT_MS)) {
        int error = 0;
        int size = sizeof(error);
        connected =
            getsockopt(socket_handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) == 0 && error == 0;
    }
    if (connected) {
        tune_connection(socket_handle);
        return socket_handle;
    }
    closesocket(socket_handle);
    return INVALID_SOCKET;
}

// A collector never talks back: a socket with something to read has been closed (or reset)
// by the other side, and a message sent into it would be lost without a word.
bool closed_by_collector(SOCKET socket_handle)
{
    if (!wait_for_socket(socket_handle, false, 0))
        return false;
    char ignored[512];
    return recv(socket_handle, ignored, sizeof(ignored), 0) <= 0;
}

bool send_all(SOCKET socket_handle, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        int sent = send(socket_handle, bytes.data() + done, static_cast<int>(bytes.size() - done), 0);
        if (sent != SOCKET_ERROR) {
            done += static_cast<size_t>(sent);
            continue;
        }
        if (WSAGetLastError() != WSAEWOULDBLOCK || !wait_for_socket(socket_handle, true, NETWORK_WAIT_MS))
            return false;
    }
    return true;
}

SOCKET open_datagram_socket(const CollectorAddress& address)
{
    SOCKET socket_handle = socket(address.bytes.ss_family, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_handle != INVALID_SOCKET &&
        connect(socket_handle, reinterpret_cast<const sockaddr*>(&address.bytes), address.length) != 0) {
        closesocket(socket_handle);
        return INVALID_SOCKET;
    }
    return socket_handle;
}

bool refused(int error)
{
    return error == WSAECONNRESET || error == WSAECONNREFUSED;
}

// A refusal shows as the error of a later send or receive: an earlier datagram reached no one.
bool refusal_pending(SOCKET socket_handle, DWORD wait_ms)
{
    if (!wait_for_socket(socket_handle, false, wait_ms))
        return false;
    char ignored[16];
    return recv(socket_handle, ignored, sizeof(ignored), 0) == SOCKET_ERROR && refused(WSAGetLastError());
}
