#include "transfer/web/HttpSocketConnectThread.h"

#include <chrono>
#include <memory>
#include <string.h>
#include <unordered_set>

#include "i4min/net/i4_tcpip_address.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/threads/linux/i4_lock.h"

namespace {

// Every connect thread alive, for stopAll. Never destroyed: a source may outlive static
// destruction's turn for this file.
std::mutex& liveLock() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}
std::unordered_set<HttpSocketConnectThread*>& live() {
    static auto* threads = new std::unordered_set<HttpSocketConnectThread*>;
    return *threads;
}

}  // namespace

HttpSocketConnectThread::HttpSocketConnectThread(const char* h, int p)
    : host(h ? h : ""), port(p), attempts(0), connecting(nullptr), ready(nullptr), failed(false) {
    setOwnerJoins();
    i4_lock hold(&liveLock());
    live().insert(this);
}

HttpSocketConnectThread::~HttpSocketConnectThread() {
    {
        i4_lock hold(&liveLock());
        live().erase(this);
    }
    cancel();
    delete ready;
}

void HttpSocketConnectThread::stopAll() {
    i4_lock hold(&liveLock());
    for (HttpSocketConnectThread* t : live()) t->requestStop();
}

bool HttpSocketConnectThread::stopping() {
    return getState() != RUNNING;
}

void HttpSocketConnectThread::wake() {
    i4_lock hold(&lock);
    if (connecting) connecting->cancel();
    woken.notify_all();
}

void HttpSocketConnectThread::pause(int ms) {
    std::unique_lock<std::mutex> hold(lock);
    woken.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stopping(); });
}

void HttpSocketConnectThread::run() {
    if (stopping()) return;
    if (attempts >= ATTEMPTS) {
        {
            i4_lock hold(&lock);
            failed = true;
        }
        requestStop();
        return;
    }
    if (attempts > 0) {
        pause(FIRST_PAUSE_MS << (attempts - 1));
        if (stopping()) return;
    }
    ++attempts;
    attempt();
}

void HttpSocketConnectThread::attempt() {
    // getaddrinfo underneath: safe on any thread.
    std::unique_ptr<i4_tcpip_address> address(i4_resolve_direct(host.c_str()));
    if (!address || port < 1 || port > 65535) return;
    sockaddr_in to = address->sockaddr();
    to.sin_port = htons((uint16_t)port);
    auto* socket = new i4_tcpip_sock(I4_SOCK_STREAM);
    {
        i4_lock hold(&lock);
        if (stopping() || socket->creation_failed()) {
            delete socket;
            return;
        }
        connecting = socket;
    }
    int connected = socket->connect_within(to, CONNECT_LIMIT_MS);
    {
        i4_lock hold(&lock);
        connecting = nullptr;
        if (!connected || stopping()) {
            delete socket;
            return;
        }
        ready = socket;
    }
    // Not under the lock: a stop request wakes us, and waking takes it.
    requestStop();
}

i4_socket* HttpSocketConnectThread::takeSocket() {
    i4_lock hold(&lock);
    i4_socket* s = ready;
    ready = nullptr;
    return s;
}

bool HttpSocketConnectThread::hasFailed() {
    i4_lock hold(&lock);
    return failed;
}

void HttpSocketConnectThread::cancel() {
    stop();
}
