#include "client/client_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>
#include <memory>
#include <vector>

namespace velta::client {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void on_stop_signal(int) { g_stop = 1; }

int fd(const Socket& s) { return static_cast<int>(s.native()); }

NativeSocket to_native(int descriptor) {
    return descriptor < 0 ? invalid_native_socket() : static_cast<NativeSocket>(descriptor);
}

bool set_timeout(int descriptor, int option, int timeout_ms) {
    timeval tv{};
    tv.tv_sec = timeout_ms / 1000;
    tv.tv_usec = (timeout_ms % 1000) * 1000;
    return setsockopt(descriptor, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

}  // namespace

NativeSocket invalid_native_socket() { return static_cast<NativeSocket>(-1); }

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        reset();
        handle_ = other.release();
    }
    return *this;
}

void Socket::reset() {
    if (valid()) {
        ::close(static_cast<int>(handle_));
        handle_ = invalid_native_socket();
    }
}

NativeSocket Socket::release() {
    NativeSocket h = handle_;
    handle_ = invalid_native_socket();
    return h;
}

NetSession::NetSession() : ok_(true) {}
NetSession::~NetSession() = default;

void raise_descriptor_limit() {
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
}

void install_stop_handler() {
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a pending poll must return EINTR so the flag is seen.
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

bool stop_requested() { return g_stop != 0; }

std::string last_socket_error() {
    // A receive or send timeout surfaces as EAGAIN, whose text misleads.
    if (errno == EAGAIN || errno == EWOULDBLOCK) return "timed out";
    return std::strerror(errno);
}

Socket listen_any(std::uint16_t port, std::string& err) {
    Socket s(to_native(::socket(AF_INET, SOCK_STREAM, 0)));
    if (!s.valid()) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    int on = 1;
    setsockopt(fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (::bind(fd(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        err = "bind: " + last_socket_error();
        return Socket();
    }
    if (::listen(fd(s), SOMAXCONN) != 0) {
        err = "listen: " + last_socket_error();
        return Socket();
    }
    return s;
}

Socket accept_client(const Socket& listener) {
    return Socket(to_native(::accept(fd(listener), nullptr, nullptr)));
}

Socket connect_loopback(std::uint16_t port, int io_timeout_ms, std::string& err) {
    Socket s(to_native(::socket(AF_INET, SOCK_STREAM, 0)));
    if (!s.valid()) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    // Set before connecting: on Linux the send timeout also bounds connect().
    if (io_timeout_ms > 0 && (!set_timeout(fd(s), SO_RCVTIMEO, io_timeout_ms) ||
                              !set_timeout(fd(s), SO_SNDTIMEO, io_timeout_ms))) {
        err = "setsockopt timeout: " + last_socket_error();
        return Socket();
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    int rc;
    do {
        rc = ::connect(fd(s), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR && !stop_requested());
    if (rc != 0) {
        err = "connect: " + last_socket_error();
        return Socket();
    }
    set_no_delay(s);
    return s;
}

namespace {

Socket start_connect(int family, const sockaddr* address, socklen_t size, std::string& err) {
    Socket s(to_native(::socket(family, SOCK_STREAM | SOCK_NONBLOCK, 0)));
    if (!s.valid()) {
        err = "socket: " + last_socket_error();
        return Socket();
    }
    if (::connect(fd(s), address, size) != 0 && errno != EINPROGRESS) {
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
        err = rc == EAI_SYSTEM ? last_socket_error() : gai_strerror(rc);
        return false;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        char text[NI_MAXHOST] = {};
        if (::getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) continue;
        const auto* bytes = reinterpret_cast<const unsigned char*>(a->ai_addr);
        out.push_back({std::vector<unsigned char>(bytes, bytes + a->ai_addrlen), a->ai_family, text});
    }
    if (out.empty()) err = "no usable address";
    return !out.empty();
}

Socket connect_address(const HostAddress& address, int timeout_ms, std::string& err) {
    Socket s = start_connect(address.family, reinterpret_cast<const sockaddr*>(address.sockaddr_bytes.data()),
                             static_cast<socklen_t>(address.sockaddr_bytes.size()), err);
    if (!s.valid() || !finish_connect(s, timeout_ms, timeout_ms, err)) return Socket();
    return s;
}

bool finish_connect(const Socket& s, int timeout_ms, int io_timeout_ms, std::string& err) {
    pollfd entry{fd(s), POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&entry, 1, timeout_ms);
    } while (ready < 0 && errno == EINTR && !stop_requested());
    if (ready <= 0) {
        err = ready == 0 ? "connect: timed out" : "poll: " + last_socket_error();
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (getsockopt(fd(s), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
        err = "connect: " + std::string(std::strerror(error != 0 ? error : errno));
        return false;
    }
    int flags = fcntl(fd(s), F_GETFL);
    if (flags < 0 || fcntl(fd(s), F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (io_timeout_ms > 0 &&
         (!set_timeout(fd(s), SO_RCVTIMEO, io_timeout_ms) || !set_timeout(fd(s), SO_SNDTIMEO, io_timeout_ms)))) {
        err = "socket options: " + last_socket_error();
        return false;
    }
    set_no_delay(s);
    return true;
}

bool request_process_stop(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), SIGTERM) == 0; }

bool set_no_delay(const Socket& s) {
    int on = 1;
    return setsockopt(fd(s), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool reset_close(Socket& s) {
    linger abort_on_close{1, 0};
    const bool set = ::setsockopt(fd(s), SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close) == 0;
    s.reset();
    return set;
}

void shutdown_both(const Socket& s) { ::shutdown(fd(s), SHUT_RDWR); }

bool shutdown_send(const Socket& s) { return ::shutdown(fd(s), SHUT_WR) == 0; }

bool send_all(const Socket& s, const void* data, std::size_t size, bool more_follows) {
    const char* p = static_cast<const char*>(data);
    const int flags = MSG_NOSIGNAL | (more_follows ? MSG_MORE : 0);
    while (size > 0) {
        ssize_t n = ::send(fd(s), p, size, flags);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool send_pair(const Socket& s, const void* head, std::size_t head_size,
               const void* body, std::size_t body_size) {
    iovec iov[2];
    iov[0].iov_base = const_cast<void*>(head);
    iov[0].iov_len = head_size;
    iov[1].iov_base = const_cast<void*>(body);
    iov[1].iov_len = body_size;
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    // sendmsg rather than writev: writev cannot carry MSG_NOSIGNAL.
    while (msg.msg_iovlen > 0) {
        ssize_t n = ::sendmsg(fd(s), &msg, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        std::size_t done = static_cast<std::size_t>(n);
        while (msg.msg_iovlen > 0 && done >= msg.msg_iov[0].iov_len) {
            done -= msg.msg_iov[0].iov_len;
            ++msg.msg_iov;
            --msg.msg_iovlen;
        }
        if (msg.msg_iovlen > 0) {
            msg.msg_iov[0].iov_base = static_cast<char*>(msg.msg_iov[0].iov_base) + done;
            msg.msg_iov[0].iov_len -= done;
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
    for (;;) {
        ssize_t n = ::recv(fd(s), data, size, 0);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

int wait_readable(const Socket& s, int timeout_ms) {
    pollfd p{};
    p.fd = fd(s);
    p.events = POLLIN;
    int rc = ::poll(&p, 1, timeout_ms);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    return rc > 0 ? 1 : 0;
}

struct ReadinessSet::Impl {
    std::vector<pollfd> entries;
};

ReadinessSet::ReadinessSet() : impl_(std::make_unique<Impl>()) {}
ReadinessSet::~ReadinessSet() = default;

void ReadinessSet::add(const Socket& s) {
    pollfd p{};
    p.fd = fd(s);
    p.events = POLLIN;
    impl_->entries.push_back(p);
}

std::size_t ReadinessSet::size() const { return impl_->entries.size(); }

int ReadinessSet::wait(int timeout_ms) {
    int rc = ::poll(impl_->entries.data(), static_cast<nfds_t>(impl_->entries.size()), timeout_ms);
    if (rc < 0) return errno == EINTR ? 0 : -1;
    return rc;
}

bool ReadinessSet::ready(std::size_t index) const {
    return (impl_->entries[index].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

}  // namespace velta::client
