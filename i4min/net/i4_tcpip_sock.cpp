#include "i4min/net/i4_tcpip_sock.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "i4min/net/i4_error_queue.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/net/linux_socket_set.h"
#include "i4min/net/tcp_initer.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

int32_t map_transfer_result(ssize_t r) {
    if (r > 0) return static_cast<int32_t>(r);
    if (r == 0) return -1;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    return -1;
}

}  // namespace

i4_tcpip_sock::i4_tcpip_sock(int type)
    : fd(-1),
      is_cancelled(false),
      blocked(false),
      blocked_thread(),
      sock_type(type == I4_SOCK_STREAM ? 1 : 0),
      create_failed(false) {
    i4_install_alarm_handler();
    fd = socket(AF_INET, sock_type == 1 ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (fd < 0) {
        fd = -1;
        create_failed = true;
        return;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    int on = 1;
    setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof on);
}

i4_tcpip_sock::i4_tcpip_sock(int existing, int type)
    : fd(existing),
      is_cancelled(false),
      blocked(false),
      blocked_thread(),
      sock_type(type == I4_SOCK_STREAM ? 1 : 0),
      create_failed(existing < 0) {
    i4_install_alarm_handler();
}

i4_tcpip_sock::~i4_tcpip_sock() {
    if (fd >= 0) close(fd);
}

int i4_tcpip_sock::take_descriptor() {
    i4_lock g(&m);
    int d = fd;
    fd = -1;
    return d;
}

int i4_tcpip_sock::flags_from_events(short revents) {
    int f = 0;
    if (revents & POLLIN) f |= I4_READY_READ;
    if (revents & POLLOUT) f |= I4_READY_WRITE;
    if (revents & (POLLERR | POLLNVAL)) f |= I4_READY_ERROR;
    // A hang-up with data still to read is left to read(), which then reports the close.
    if ((revents & POLLHUP) && !(revents & POLLIN)) f |= I4_READY_ERROR;
    return f;
}

short i4_tcpip_sock::events_from_flags(int flags) {
    short e = 0;
    if (flags & I4_READY_READ) e |= POLLIN;
    if (flags & I4_READY_WRITE) e |= POLLOUT;
    if (flags & I4_READY_ERROR) e |= POLLERR;
    return e;
}

bool i4_tcpip_sock::enter_blocking_call() {
    i4_lock g(&m);
    if (is_cancelled || fd < 0) return false;
    blocked = true;
    blocked_thread = pthread_self();
    return true;
}

void i4_tcpip_sock::leave_blocking_call() {
    i4_lock g(&m);
    blocked = false;
}

int i4_tcpip_sock::poll_cancellable(short events, int32_t ms, short* revents) {
    if (!enter_blocking_call()) return -2;
    int64_t deadline = ms >= 0 ? i4_now_ms() + ms : 0;
    int result;
    for (;;) {
        int32_t left = -1;
        if (ms >= 0) {
            int64_t l = deadline - i4_now_ms();
            left = l > 0 ? static_cast<int32_t>(l) : 0;
        }
        pollfd p;
        p.fd = fd;
        p.events = events;
        p.revents = 0;
        int r = poll(&p, 1, left);
        if (is_cancelled) {
            result = -2;
            break;
        }
        if (r < 0 && errno == EINTR) continue;  // a stray signal: wait out the rest
        if (r < 0) {
            result = -1;
            break;
        }
        *revents = p.revents;
        result = r > 0 ? 1 : 0;
        break;
    }
    leave_blocking_call();
    return result;
}

int32_t i4_tcpip_sock::read(void* buf, int32_t n) {
    if (n <= 0) return 0;
    return map_transfer_result(recv(fd, buf, static_cast<size_t>(n), 0));
}

int32_t i4_tcpip_sock::write(const void* buf, int32_t n) {
    if (n <= 0) return 0;
    return map_transfer_result(send(fd, buf, static_cast<size_t>(n), MSG_NOSIGNAL));
}

int i4_tcpip_sock::accept(i4_socket** out) {
    if (!enter_blocking_call()) {
        i4_printf("accept canceled\n");
        return 0;
    }
    int nfd;
    for (;;) {
        nfd = ::accept(fd, nullptr, nullptr);
        if (nfd < 0 && errno == EINTR && !is_cancelled) continue;
        break;
    }
    leave_blocking_call();
    if (nfd < 0) return 0;
    if (is_cancelled) {
        close(nfd);
        return 0;
    }
    fcntl(nfd, F_SETFD, FD_CLOEXEC);
    *out = new i4_tcpip_sock(nfd, sock_type);
    return 1;
}

int32_t i4_tcpip_sock::read_from(void* buf, int32_t n, i4_address** sender) {
    sockaddr_in from;
    socklen_t len = sizeof from;
    memset(&from, 0, sizeof from);
    ssize_t r = recvfrom(fd, buf, n > 0 ? static_cast<size_t>(n) : 0, 0,
                         reinterpret_cast<sockaddr*>(&from), &len);
    if (r > 0 && sender) *sender = new i4_tcpip_address(from);
    return static_cast<int32_t>(r);
}

int32_t i4_tcpip_sock::write_to(const void* buf, int32_t n, const i4_address* to) {
    const i4_tcpip_address* a = dynamic_cast<const i4_tcpip_address*>(to);
    if (!a || n < 0) return -1;
    const sockaddr_in& sa = a->sockaddr();
    return static_cast<int32_t>(sendto(fd, buf, static_cast<size_t>(n), MSG_NOSIGNAL,
                                       reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int i4_tcpip_sock::wait(int flags, int32_t ms) {
    short revents = 0;
    int r = poll_cancellable(events_from_flags(flags), ms, &revents);
    if (r == -2) {
        i4_printf("select canceled\n");
        return 0;
    }
    if (r <= 0) return 0;
    return flags_from_events(revents);
}

void i4_tcpip_sock::add_to_set(i4_socket_set* set, int flags) {
    linux_socket_set* s = dynamic_cast<linux_socket_set*>(set);
    if (s) s->add(fd, events_from_flags(flags));
}

void i4_tcpip_sock::remove_from_set(i4_socket_set* set) {
    linux_socket_set* s = dynamic_cast<linux_socket_set*>(set);
    if (s) s->remove(fd);
}

int i4_tcpip_sock::check_set(i4_socket_set* set, int flags) {
    linux_socket_set* s = dynamic_cast<linux_socket_set*>(set);
    short revents = 0;
    if (!s || !s->returned(fd, &revents)) return 0;
    int ready = flags_from_events(revents);
    int r = (flags & ready) | (ready & I4_READY_ERROR);
    // Reading the queued ICMP error clears it, so the next pass does not report it again.
    if (sock_type == 0 && (r & I4_READY_ERROR)) i4_drain_error_queue(fd, nullptr);
    return r;
}

int i4_tcpip_sock::cancel() {
    i4_lock g(&m);
    if (fd < 0 || is_cancelled) return 0;
    is_cancelled = true;
    // Shutting down wakes poll, accept and a pending connect at once; the signal covers a call
    // that shutdown alone would not end. The descriptor stays open until the destructor.
    shutdown(fd, SHUT_RDWR);
    if (blocked) pthread_kill(blocked_thread, SIGALRM);
    return 1;
}

void i4_tcpip_sock::set_blocking(int on) {
    int nb = on ? 0 : 1;
    ioctl(fd, FIONBIO, &nb);
}

i4_address* i4_tcpip_sock::local_address() {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    memset(&sa, 0, sizeof sa);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) memset(&sa, 0, sizeof sa);
    return new i4_tcpip_address(sa);
}

i4_address* i4_tcpip_sock::remote_address() {
    sockaddr_in sa;
    socklen_t len = sizeof sa;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return nullptr;
    return new i4_tcpip_address(sa);
}

void i4_tcpip_sock::connect_start(const sockaddr_in& to) {
    set_blocking(0);
    ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

int i4_tcpip_sock::connect_within(const sockaddr_in& to, int32_t ms) {
    if (fd < 0 || is_cancelled) return 0;
    set_blocking(0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return 1;
    if (errno != EINPROGRESS && errno != EINTR) return 0;
    short revents = 0;
    if (poll_cancellable(POLLOUT, ms >= 1 ? ms : -1, &revents) != 1) return 0;
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) return 0;
    return (revents & POLLOUT) && !(flags_from_events(revents) & I4_READY_ERROR);
}
