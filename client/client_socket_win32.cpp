#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll first appears in Vista.
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include "client/client_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace velta::client {

namespace {

std::atomic<bool> g_stop{false};

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        g_stop.store(true);
        return TRUE;
    default:
        return FALSE;
    }
}

SOCKET sock(const Socket& s) { return static_cast<SOCKET>(s.native()); }

// Winsock sizes single transfers in int; larger requests go in slices.
int clamp_len(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

bool set_timeout(SOCKET s, int option, int timeout_ms) {
    DWORD ms = static_cast<DWORD>(timeout_ms);
    return setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

}  // namespace

NativeSocket invalid_native_socket() { return static_cast<NativeSocket>(INVALID_SOCKET); }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = other.release();
    }
    return *this;
}

void Socket::reset() {
    if (valid()) {
        ::closesocket(static_cast<SOCKET>(handle_));
        handle_ = invalid_native_socket();
    }
}

NativeSocket Socket::release() {
    NativeSocket h = handle_;
    handle_ = invalid_native_socket();
    return h;
}

NetSession::NetSession() {
    WSADATA data;
    ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

NetSession::~NetSession() {
    if (ok_) WSACleanup();
}

void raise_descriptor_limit() {}

void install_stop_handler() { SetConsoleCtrlHandler(on_console_event, TRUE); }

bool stop_requested() { return g_stop.load(); }

std::string last_socket_error() {
    const int code = WSAGetLastError();
    if (code == WSAETIMEDOUT) return "timed out";
    return "winsock error " + std::to_string(code);
}

Socket listen_any(std::uint16_t port, std::string& err) {
    Socket s(static_cast<NativeSocket>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    if (!s.valid()) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    // Windows' SO_REUSEADDR would let a second server steal the port, so the
    // exclusive option is the safe counterpart here.
    BOOL on = TRUE;
    setsockopt(sock(s), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(sock(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        err = "bind: " + last_socket_error();
        return Socket();
    }
    if (::listen(sock(s), SOMAXCONN) != 0) {
        err = "listen: " + last_socket_error();
        return Socket();
    }
    return s;
}

Socket accept_client(const Socket& listener) {
    return Socket(static_cast<NativeSocket>(::accept(sock(listener), nullptr, nullptr)));
}

Socket connect_loopback(std::uint16_t port, int io_timeout_ms, std::string& err) {
    Socket s(static_cast<NativeSocket>(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)));
    if (!s.valid()) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    if (io_timeout_ms > 0 && (!set_timeout(sock(s), SO_RCVTIMEO, io_timeout_ms) ||
                              !set_timeout(sock(s), SO_SNDTIMEO, io_timeout_ms))) {
        err = "setsockopt timeout: " + last_socket_error();
        return Socket();
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(sock(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        err = "connect: " + last_socket_error();
        return Socket();
    }
    set_no_delay(s);
    return s;
}

namespace {

Socket start_connect(int family, const sockaddr* address, int size, std::string& err) {
    Socket s(static_cast<NativeSocket>(::socket(family, SOCK_STREAM, IPPROTO_TCP)));
    u_long non_blocking = 1;
    if (!s.valid() || ioctlsocket(sock(s), FIONBIO, &non_blocking) != 0) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    if (::connect(sock(s), address, size) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
        err = "connect: " + last_socket_error();
        return Socket();
    }
    return s;
}

}  // namespace

Socket start_connect_loopback(std::uint16_t port, std::string& err) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return start_connect(AF_INET, reinterpret_cast<const sockaddr*>(&addr), sizeof addr, err);
}

bool resolve_host(const std::string& host, std::uint16_t port, std::vector<HostAddress>& out, std::string& err) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        err = "getaddrinfo: error " + std::to_string(rc);
        return false;
    }
    std::unique_ptr<addrinfo, void(WSAAPI*)(addrinfo*)> list(found, ::freeaddrinfo);
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        char text[NI_MAXHOST] = {};
        if (::getnameinfo(a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) != 0)
            continue;
        const auto* bytes = reinterpret_cast<const unsigned char*>(a->ai_addr);
        out.push_back({std::vector<unsigned char>(bytes, bytes + a->ai_addrlen), a->ai_family, text});
    }
    if (out.empty()) err = "no usable address";
    return !out.empty();
}

Socket connect_address(const HostAddress& address, int timeout_ms, std::string& err) {
    Socket s = start_connect(address.family, reinterpret_cast<const sockaddr*>(address.sockaddr_bytes.data()),
                             static_cast<int>(address.sockaddr_bytes.size()), err);
    if (!s.valid() || !finish_connect(s, timeout_ms, timeout_ms, err)) return Socket();
    return s;
}

bool finish_connect(const Socket& s, int timeout_ms, int io_timeout_ms, std::string& err) {
    // Winsock reports a completed connect as writable, a failed one as an
    // exception.
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(sock(s), &writable);
    FD_SET(sock(s), &failed);
    timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready <= 0 || FD_ISSET(sock(s), &failed)) {
        err = ready == 0 ? "connect: timed out" : "connect: " + last_socket_error();
        return false;
    }
    u_long blocking = 0;
    if (ioctlsocket(sock(s), FIONBIO, &blocking) != 0 ||
        (io_timeout_ms > 0 &&
         (!set_timeout(sock(s), SO_RCVTIMEO, io_timeout_ms) || !set_timeout(sock(s), SO_SNDTIMEO, io_timeout_ms)))) {
        err = "socket options: " + last_socket_error();
        return false;
    }
    set_no_delay(s);
    return true;
}

// The load generator stops servers only natively.
bool request_process_stop(long) { return false; }

bool set_no_delay(const Socket& s) {
    BOOL on = TRUE;
    return setsockopt(sock(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

void shutdown_both(const Socket& s) { ::shutdown(sock(s), SD_BOTH); }

bool shutdown_send(const Socket& s) { return ::shutdown(sock(s), SD_SEND) == 0; }

bool reset_close(Socket& s) {
    linger abort_on_close{1, 0};
    const bool set = setsockopt(sock(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_on_close),
                                sizeof abort_on_close) == 0;
    s.reset();
    return set;
}

// Winsock has no "more follows" flag for send.
bool send_all(const Socket& s, const void* data, std::size_t size, bool /*more_follows*/) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        int n = ::send(sock(s), p, clamp_len(size), 0);
        if (n == SOCKET_ERROR) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool send_pair(const Socket& s, const void* head, std::size_t head_size,
               const void* body, std::size_t body_size) {
    WSABUF bufs[2];
    bufs[0].buf = static_cast<CHAR*>(const_cast<void*>(head));
    bufs[0].len = static_cast<ULONG>(head_size);
    bufs[1].buf = static_cast<CHAR*>(const_cast<void*>(body));
    bufs[1].len = static_cast<ULONG>(body_size);
    WSABUF* next = bufs;
    DWORD count = 2;
    while (count > 0) {
        DWORD sent = 0;
        if (WSASend(sock(s), next, count, &sent, 0, nullptr, nullptr) == SOCKET_ERROR) return false;
        while (count > 0 && sent >= next->len) {
            sent -= next->len;
            ++next;
            --count;
        }
        if (count > 0) {
            next->buf += sent;
            next->len -= sent;
        }
    }
    return true;
}

bool recv_all(const Socket& s, void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        long n = recv_some(s, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long recv_some(const Socket& s, void* data, std::size_t size) {
    int n = ::recv(sock(s), static_cast<char*>(data), clamp_len(size), 0);
    return n == SOCKET_ERROR ? -1 : static_cast<long>(n);
}

int wait_readable(const Socket& s, int timeout_ms) {
    WSAPOLLFD p{};
    p.fd = sock(s);
    p.events = POLLRDNORM;
    int rc = WSAPoll(&p, 1, timeout_ms);
    if (rc == SOCKET_ERROR) return -1;
    return rc > 0 ? 1 : 0;
}

struct ReadinessSet::Impl {
    std::vector<WSAPOLLFD> entries;
};

ReadinessSet::ReadinessSet() : impl_(std::make_unique<Impl>()) {}
ReadinessSet::~ReadinessSet() = default;

void ReadinessSet::add(const Socket& s) {
    WSAPOLLFD p{};
    p.fd = sock(s);
    p.events = POLLRDNORM;
    impl_->entries.push_back(p);
}

std::size_t ReadinessSet::size() const { return impl_->entries.size(); }

int ReadinessSet::wait(int timeout_ms) {
    int rc = WSAPoll(impl_->entries.data(), static_cast<ULONG>(impl_->entries.size()), timeout_ms);
    return rc == SOCKET_ERROR ? -1 : rc;
}

bool ReadinessSet::ready(std::size_t index) const {
    return (impl_->entries[index].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
}

}  // namespace velta::client
