#include "collector_sockets.h"

#include <ws2tcpip.h>

#include <vector>

namespace {

// A socket inherited by the monitor or a sender would outlive its closing here, and its port
// could not be taken again.
void keep_to_the_test(SOCKET socket_handle)
{
    SetHandleInformation(reinterpret_cast<HANDLE>(socket_handle), HANDLE_FLAG_INHERIT, 0);
}

bool readable(SOCKET socket_handle, DWORD timeout_ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket_handle, &set);
    timeval wait = {static_cast<long>(timeout_ms / 1000), static_cast<long>(timeout_ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &wait) == 1;
}

bool receive_exactly(SOCKET connection, char* out, size_t length, DWORD timeout_ms)
{
    for (size_t done = 0; done < length;) {
        if (!readable(connection, timeout_ms))
            return false;
        int got = recv(connection, out + done, static_cast<int>(length - done), 0);
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

} // namespace

void start_winsock()
{
    static WSADATA data;
    static int started = WSAStartup(MAKEWORD(2, 2), &data);
    (void)started;
}

SOCKET open_receiver(bool tcp, unsigned short& port)
{
    start_winsock();
    SOCKET socket_handle = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, tcp ? IPPROTO_TCP : IPPROTO_UDP);
    keep_to_the_test(socket_handle);
    BOOL reuse = TRUE;
    // The port of a closed collector must be open again at once for the reconnect test.
    setsockopt(socket_handle, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (bind(socket_handle, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        (tcp && listen(socket_handle, 4) != 0) ||
        getsockname(socket_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(socket_handle);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return socket_handle;
}

std::string receive_datagram(SOCKET socket_handle, DWORD timeout_ms)
{
    if (!readable(socket_handle, timeout_ms))
        return "<none>";
    std::vector<char> buffer(65536);
    int got = recv(socket_handle, buffer.data(), static_cast<int>(buffer.size()), 0);
    return got >= 0 ? std::string(buffer.data(), static_cast<size_t>(got)) : "<none>";
}

SOCKET accept_connection(SOCKET listener, DWORD timeout_ms)
{
    if (!readable(listener, timeout_ms))
        return INVALID_SOCKET;
    SOCKET connection = accept(listener, nullptr, nullptr);
    keep_to_the_test(connection);
    return connection;
}

std::string receive_frame(SOCKET connection, DWORD timeout_ms)
{
    std::string count;
    char c = 0;
    while (receive_exactly(connection, &c, 1, timeout_ms) && c != ' ')
        count += c;
    if (c != ' ' || count.empty() || count.size() > 9 || count.find_first_not_of("0123456789") != std::string::npos)
        return "<none>";
    std::string frame(static_cast<size_t>(std::stoul(count)), '\0');
    if (!frame.empty() && !receive_exactly(connection, &frame[0], frame.size(), timeout_ms))
        return "<none>";
    return frame;
}
