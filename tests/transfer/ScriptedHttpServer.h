// A web server on loopback for the HTTP source tests. Its own thread serves one
// connection at a time; each request gets the answer the script gives for its
// number and range. Request lines and the count of connections are kept.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

class ScriptedHttpServer {
public:
    struct Answer {
        // Written one after another with a short pause between, so they arrive in separate reads.
        std::vector<std::string> pieces;
        bool closeAfter = false;
        // Keeps the connection open and silent after the pieces.
        bool stallAfter = false;
    };
    // index counts requests from 0; first and last are the Range asked (-1 without one).
    using Script = std::function<Answer(int index, long long first, long long last)>;

    explicit ScriptedHttpServer(Script s) : script(std::move(s)) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, (sockaddr*)&a, sizeof a);
        listen(listener, 8);
        socklen_t n = sizeof a;
        getsockname(listener, (sockaddr*)&a, &n);
        port = ntohs(a.sin_port);
        worker = std::thread([this] { serve(); });
    }
    ~ScriptedHttpServer() {
        stopping = true;
        worker.join();
        close(listener);
    }

    int port = 0;
    std::vector<std::string> requestLines() {
        std::lock_guard<std::mutex> hold(lock);
        return lines;
    }
    int connectionCount() { return connections.load(); }

private:
    bool waitReadable(int fd) {
        while (!stopping) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 20) > 0) return true;
        }
        return false;
    }
    void serve() {
        while (waitReadable(listener)) {
            int c = accept(listener, nullptr, nullptr);
            if (c < 0) continue;
            ++connections;
            serveConnection(c);
            close(c);
        }
    }
    void serveConnection(int c) {
        std::string in;
        while (true) {
            size_t end;
            while ((end = in.find("\r\n\r\n")) == std::string::npos) {
                if (!waitReadable(c)) return;
                char buf[4096];
                ssize_t n = read(c, buf, sizeof buf);
                if (n <= 0) return;
                in.append(buf, (size_t)n);
            }
            std::string request = in.substr(0, end);
            in.erase(0, end + 4);
            long long first = -1, last = -1;
            size_t r = request.find("Range: bytes=");
            if (r != std::string::npos)
                sscanf(request.c_str() + r, "Range: bytes=%lld-%lld", &first, &last);
            int index;
            {
                std::lock_guard<std::mutex> hold(lock);
                index = (int)lines.size();
                lines.push_back(request.substr(0, request.find("\r\n")));
            }
            Answer a = script(index, first, last);
            for (size_t i = 0; i < a.pieces.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(30));
                const std::string& p = a.pieces[i];
                if (send(c, p.data(), p.size(), MSG_NOSIGNAL) != (ssize_t)p.size()) return;
            }
            if (a.closeAfter) return;
            if (a.stallAfter) {
                // Silent until the client gives up on us.
                char buf[256];
                while (waitReadable(c))
                    if (read(c, buf, sizeof buf) <= 0) return;
                return;
            }
        }
    }

    Script script;
    int listener;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::mutex lock;
    std::vector<std::string> lines;
};
