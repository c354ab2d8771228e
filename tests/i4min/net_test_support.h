// Loopback helpers for the socket and proxy tests: raw listeners, an echo server, a scripted
// peer and child processes. Every wait is bounded.
#pragma once
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/threads/linux/i4_time.h"
#include "support/Waiting.h"

namespace nettest {

inline const uint8_t* loopback_octets() {
    static const uint8_t o[4] = {127, 0, 0, 1};
    return o;
}

inline i4_tcpip_address* loopback(int port) {
    return new i4_tcpip_address(loopback_octets(), port);
}

inline sockaddr_in loopback_sa(int port) {
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    return sa;
}

// A loopback TCP listener on a port the OS picks.
inline int listen_loopback(int backlog, int* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa = loopback_sa(0);
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, backlog) != 0) {
        close(fd);
        return -1;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    *port = ntohs(sa.sin_port);
    return fd;
}

// A port that was free a moment ago, for servers that must be told their port.
inline int free_port() {
    int port = 0;
    int fd = listen_loopback(1, &port);
    close(fd);
    return port;
}

inline bool wait_readable(int fd, int ms) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, ms) > 0;
}

inline bool port_answers(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = loopback_sa(port);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    close(fd);
    return ok;
}

inline bool wait_port_open(int port) {
    return waitUntil([port] { return port_answers(port); });
}

inline int64_t now_ms() {
    return i4_now_ms();
}

// A loopback listener whose accept queue is full: further connects get no answer at all.
class SilentListener {
public:
    SilentListener() : fd(listen_loopback(0, &port_)) {
        for (int i = 0; i < 16; i++) {
            int c = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in sa = loopback_sa(port_);
            ::connect(c, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
            fillers.push_back(c);
            pollfd p = {c, POLLOUT, 0};
            if (poll(&p, 1, 200) == 0) {
                full = true;
                break;
            }
        }
    }
    ~SilentListener() {
        for (int c : fillers) close(c);
        close(fd);
    }
    int port() const { return port_; }
    bool is_full() const { return full; }

private:
    int port_ = 0;
    int fd;
    bool full = false;
    std::vector<int> fillers;
};

// Echoes every byte on every connection until destroyed.
class EchoServer {
public:
    EchoServer() : fd(listen_loopback(16, &port_)), stop(false), t([this] { run(); }) {}
    ~EchoServer() {
        stop = true;
        t.join();
        close(fd);
    }
    int port() const { return port_; }

private:
    int port_ = 0;
    int fd;
    std::atomic<bool> stop;
    std::thread t;

    void run() {
        std::vector<pollfd> fds;
        fds.push_back({fd, POLLIN, 0});
        while (!stop) {
            if (poll(fds.data(), fds.size(), 50) <= 0) continue;
            for (size_t i = 0; i < fds.size(); i++) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                if (i == 0) {
                    int c = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c >= 0) fds.push_back({c, POLLIN, 0});
                    continue;
                }
                char buf[4096];
                ssize_t r = recv(fds[i].fd, buf, sizeof buf, 0);
                if (r <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                } else {
                    send(fds[i].fd, buf, static_cast<size_t>(r), MSG_NOSIGNAL);
                }
            }
            std::vector<pollfd> live;
            for (pollfd& p : fds)
                if (p.fd >= 0) live.push_back({p.fd, POLLIN, 0});
            fds.swap(live);
        }
        for (size_t i = 1; i < fds.size(); i++) close(fds[i].fd);
    }
};

// Accepts one connection and plays a script against it, recording what the client sent.
class ScriptedPeer {
public:
    struct Step {
        enum Kind { EXPECT, EXPECT_HEADER, SEND, PAUSE, CLOSE } kind;
        std::string bytes;  // SEND: what to send
        int count;          // EXPECT: bytes to take; PAUSE: milliseconds
    };
    static Step expect(int n) { return {Step::EXPECT, "", n}; }
    static Step expect_header() { return {Step::EXPECT_HEADER, "", 0}; }
    static Step send(const std::string& b) { return {Step::SEND, b, 0}; }
    static Step pause(int ms) { return {Step::PAUSE, "", ms}; }
    static Step close_now() { return {Step::CLOSE, "", 0}; }

    explicit ScriptedPeer(std::vector<Step> s)
        : script(std::move(s)), fd(listen_loopback(4, &port_)), t([this] { run(); }) {}
    ~ScriptedPeer() {
        done = true;
        t.join();
        close(fd);
    }
    int port() const { return port_; }
    // What the client sent, once the script has run (or given up).
    std::string received() {
        waitUntil([this] { return finished.load(); });
        std::lock_guard<std::mutex> g(m);
        return got;
    }

private:
    std::vector<Step> script;
    int port_ = 0;
    int fd;
    std::atomic<bool> done{false};
    std::atomic<bool> finished{false};
    std::mutex m;
    std::string got;
    std::thread t;

    bool take(int c, int n) {
        for (int i = 0; i < n; i++) {
            if (!wait_readable(c, 3000)) return false;
            char b;
            if (recv(c, &b, 1, 0) != 1) return false;
            std::lock_guard<std::mutex> g(m);
            got += b;
        }
        return true;
    }

    bool take_header(int c) {
        for (int i = 0; i < 8192; i++) {
            if (!take(c, 1)) return false;
            std::lock_guard<std::mutex> g(m);
            if (got.size() >= 4 && got.compare(got.size() - 4, 4, "\r\n\r\n") == 0) return true;
        }
        return false;
    }

    void run() {
        int c = -1;
        if (wait_readable(fd, 3000)) c = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        bool ok = c >= 0;
        for (size_t i = 0; ok && i < script.size(); i++) {
            const Step& s = script[i];
            switch (s.kind) {
            case Step::EXPECT:
                ok = take(c, s.count);
                break;
            case Step::EXPECT_HEADER:
                ok = take_header(c);
                break;
            case Step::SEND:
                ok = ::send(c, s.bytes.data(), s.bytes.size(), MSG_NOSIGNAL) ==
                     static_cast<ssize_t>(s.bytes.size());
                break;
            case Step::PAUSE:
                usleep(static_cast<useconds_t>(s.count) * 1000);
                break;
            case Step::CLOSE:
                close(c);
                c = -1;
                ok = false;
                break;
            }
        }
        finished = true;
        // Keep the connection open until the test is over, so a close is never mistaken for data.
        while (!done) usleep(5000);
        if (c >= 0) close(c);
    }
};

// A child process, ended with SIGTERM (then SIGKILL) when destroyed.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { stop(); }
    bool start(const std::vector<std::string>& argv, const std::string& log) {
        pid = fork();
        if (pid < 0) return false;
        if (pid == 0) {
            int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                dup2(out, 1);
                dup2(out, 2);
            }
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        return true;
    }
    void stop() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        for (int i = 0; i < 100; i++) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                pid = -1;
                return;
            }
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        pid = -1;
    }

private:
    pid_t pid = -1;
};

inline std::string make_temp_dir() {
    char tmpl[] = "/tmp/tornavel-net-XXXXXX";
    const char* d = mkdtemp(tmpl);
    return d ? d : "";
}

inline void remove_tree(const std::string& dir) {
    if (dir.empty()) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) {
    }
}

inline bool file_exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

inline std::string find_program(const char* name) {
    const char* dirs[] = {"/usr/sbin/", "/usr/bin/",        "/sbin/",
                          "/bin/",      "/usr/local/sbin/", "/usr/local/bin/"};
    for (const char* d : dirs) {
        std::string p = std::string(d) + name;
        if (access(p.c_str(), X_OK) == 0) return p;
    }
    return "";
}

}  // namespace nettest

// Collects what is written to it, for checking printed addresses.
class test_text_file : public i4_file {
public:
    std::string text;
    int32_t read(void*, int32_t) override { return 0; }
    int32_t write(const void* b, int32_t n) override {
        text.append(static_cast<const char*>(b), static_cast<size_t>(n));
        return n;
    }
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return static_cast<int64_t>(text.size()); }
    int64_t tell() override { return static_cast<int64_t>(text.size()); }
};
