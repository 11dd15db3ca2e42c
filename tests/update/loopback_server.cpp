#include "tests/update/loopback_server.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "update/http.h"

namespace {

int listenOnLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0)
        std::abort();
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

bool readable(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, ms) > 0;
}

// Reads one request: the head up to the blank line, then Content-Length body
// bytes and, for a request with a body, the two bytes the client adds after it.
std::string readRequest(int fd) {
    std::string data;
    char buffer[65536];
    size_t wanted = std::string::npos;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
    while (data.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        if (!readable(fd, 100)) continue;
        ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        data.append(buffer, static_cast<size_t>(got));
        size_t blank = data.find("\r\n\r\n");
        if (wanted == std::string::npos && blank != std::string::npos) {
            size_t at = data.find("Content-Length: ");
            size_t body = at < blank ? std::strtoul(data.c_str() + at + 16, nullptr, 10) + 2 : 0;
            wanted = blank + 4 + body;
        }
    }
    return data;
}

}  // namespace

LoopbackServer::LoopbackServer(Handler handler, int connections, bool readRequest)
    : handler_(std::move(handler)) {
    listener_ = listenOnLoopback(port_);
    thread_ = std::thread([this, connections, readRequest] { run(connections, readRequest); });
}

LoopbackServer::~LoopbackServer() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
}

std::string LoopbackServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

const std::vector<std::string>& LoopbackServer::requests() {
    if (thread_.joinable()) thread_.join();
    return requests_;
}

void LoopbackServer::run(int connections, bool readRequestFirst) {
    for (int i = 0; i < connections; ++i) {
        if (!readable(listener_, kTestBoundMs)) return;
        int fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        std::string request = readRequestFirst ? readRequest(fd) : std::string();
        requests_.push_back(request);
        handler_(fd, request);
        ::close(fd);
    }
}

bool LoopbackServer::sendText(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t sent = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        done += static_cast<size_t>(sent);
    }
    return true;
}

void LoopbackServer::waitForClose(int fd) {
    char buffer[4096];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!readable(fd, 100)) continue;
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

bool runUntilDone(CHttp& http) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
    while (!http.isDone() && std::chrono::steady_clock::now() < deadline) {
        http.poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return http.isDone();
}

void LoopbackServer::waitUntil(const std::atomic<bool>& flag) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestBoundMs);
    while (!flag && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

int unusedPort() {
    int port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

int openDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
    }
    return count - 1;  // the listing's own
}
