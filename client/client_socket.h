// The client side's one place where it touches the operating system's
// sockets: veltaping, the load generator, the baseline server and the tests'
// clients are plain C++17 on top of these few calls, so they build unchanged
// for POSIX and Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velta::client {

// Wide enough for both a POSIX descriptor and a Win32 SOCKET (UINT_PTR).
using NativeSocket = std::uintptr_t;

NativeSocket invalid_native_socket();

// Owns one socket; closing happens exactly once, in the destructor.
class Socket {
public:
    Socket() = default;
    explicit Socket(NativeSocket handle) : handle_(handle) {}
    ~Socket() { reset(); }

    Socket(Socket&& other) noexcept : handle_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return handle_ != invalid_native_socket(); }
    NativeSocket native() const { return handle_; }
    void reset();

private:
    NativeSocket release();

    NativeSocket handle_ = invalid_native_socket();
};

// Winsock must be started before any socket call; elsewhere this is inert.
class NetSession {
public:
    NetSession();
    ~NetSession();
    NetSession(const NetSession&) = delete;
    NetSession& operator=(const NetSession&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Both programs hold 1000+ sockets at once, beyond many default soft limits.
void raise_descriptor_limit();

// SIGINT/SIGTERM, or the console control events on Windows, set a flag that
// stop_requested() reports; nothing else happens in the handler.
void install_stop_handler();
bool stop_requested();

std::string last_socket_error();

// Listens on 0.0.0.0:port. On failure returns an invalid socket and sets err.
Socket listen_any(std::uint16_t port, std::string& err);
// Returns an invalid socket when nothing could be accepted.
Socket accept_client(const Socket& listener);
// Connects to 127.0.0.1:port; io_timeout_ms (0 = none) bounds every later
// blocking send and receive so a stuck peer turns into an error.
Socket connect_loopback(std::uint16_t port, int io_timeout_ms, std::string& err);

// Starts a connect to 127.0.0.1:port without waiting for it, so that a
// whole burst can be under way before the server answers any of it. On
// failure returns an invalid socket and sets err.
Socket start_connect_loopback(std::uint16_t port, std::string& err);
// Waits up to timeout_ms for a started connect to complete. On success the
// socket blocks again, as connect_loopback leaves it (io_timeout_ms on every
// send and receive, Nagle off).
bool finish_connect(const Socket& s, int timeout_ms, int io_timeout_ms, std::string& err);

// One address a host name stands for, as the system's connect takes it.
struct HostAddress {
    std::vector<unsigned char> sockaddr_bytes;
    int family = 0;
    // Numeric, without brackets: "192.0.2.7", "fe80::1".
    std::string text;
};

// The addresses of host (a name, or an IPv4 or IPv6 address) in the order
// the system's resolver gives them. False when the name cannot be resolved,
// with the resolver's reason in err.
bool resolve_host(const std::string& host, std::uint16_t port, std::vector<HostAddress>& out, std::string& err);
// Connects within timeout_ms. The socket blocks afterwards, every send and
// receive bounded by timeout_ms as well, Nagle off.
Socket connect_address(const HostAddress& address, int timeout_ms, std::string& err);

// Asks the process to stop as its operator would (SIGTERM); false where
// that cannot be done (Windows).
bool request_process_stop(long pid);

bool set_no_delay(const Socket& s);
// Wakes any thread blocked on s; the owner still closes it.
void shutdown_both(const Socket& s);
// Ends this side's sending (the peer reads end of stream); receiving goes on.
bool shutdown_send(const Socket& s);
// Closes with a reset (RST) instead of an orderly close; false when the
// socket could not be told to (it is closed either way).
bool reset_close(Socket& s);

bool send_all(const Socket& s, const void* data, std::size_t size, bool more_follows = false);
// Sends head then body as one gathered write, continuing after partial writes.
bool send_pair(const Socket& s, const void* head, std::size_t head_size,
               const void* body, std::size_t body_size);
// False on end of stream, error or timeout.
bool recv_all(const Socket& s, void* data, std::size_t size);
// Bytes received (> 0), 0 at end of stream, negative on error or timeout.
long recv_some(const Socket& s, void* data, std::size_t size);

// 1 when readable (or closed/errored, which a receive will then report),
// 0 on timeout or interruption, -1 on failure.
int wait_readable(const Socket& s, int timeout_ms);

// Waits on many sockets at once for readability.
class ReadinessSet {
public:
    ReadinessSet();
    ~ReadinessSet();
    ReadinessSet(const ReadinessSet&) = delete;
    ReadinessSet& operator=(const ReadinessSet&) = delete;

    // The set refers to s by handle; s must outlive the set.
    void add(const Socket& s);
    std::size_t size() const;
    // Number of ready entries, 0 on timeout or interruption, -1 on failure.
    int wait(int timeout_ms);
    bool ready(std::size_t index) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velta::client
