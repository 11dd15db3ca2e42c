// Downloading a 64 MB archive over loopback through the frame-stepped HTTP
// client, against a plain blocking socket read of the same bytes from the
// same server in the same run.
//
// The client is measured twice: polled as fast as the loop can go, and polled
// 60 times a second as the frame loop does at a 60 Hz swap interval. Each poll
// is timed on its own; the longest one is the worst stall a download adds to a
// frame. The server thread answers every request with the same header and
// bytes, so only the reading side differs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "update/http.h"
#include "vfs/crc.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kSize = 64u << 20;
constexpr int kRounds = 5;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

class Server {
public:
    explicit Server(const std::vector<uint8_t>& data) : data_(data) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        socklen_t length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~Server() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    int port() const { return port_; }

private:
    void run() {
        while (!stop_) {
            pollfd entry{listener_, POLLIN, 0};
            if (::poll(&entry, 1, 50) <= 0) continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            answer(fd);
            ::close(fd);
        }
    }

    // Reads the request (head and any body with the client's extra CR LF),
    // sends the file, and lets the client close first so nothing is reset.
    void answer(int fd) {
        std::string request;
        char buffer[4096];
        size_t blank;
        while ((blank = request.find("\r\n\r\n")) == std::string::npos) {
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, static_cast<size_t>(got));
        }
        size_t at = request.find("Content-Length: ");
        size_t wanted =
            blank + 4 + (at < blank ? std::strtoul(&request[at + 16], nullptr, 10) + 2 : 0);
        while (request.size() < wanted) {
            ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            request.append(buffer, static_cast<size_t>(got));
        }
        std::string head = "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(data_.size()) +
                           "\r\nConnection: close\r\n\r\n";
        if (!sendAll(fd, head.data(), head.size())) return;
        if (!sendAll(fd, reinterpret_cast<const char*>(data_.data()), data_.size())) return;
        ::shutdown(fd, SHUT_WR);
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
    }

    const std::vector<uint8_t>& data_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The peer: one blocking socket, 64 KB reads into a buffer of the right size.
double plainRead(int port, size_t& received) {
    auto start = Clock::now();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    std::string request = "GET /big.vortapack HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    sendAll(fd, request.data(), request.size());
    std::vector<uint8_t> bytes;
    bytes.reserve(kSize + 4096);  // as the client does from the announced length
    uint8_t buffer[65536];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    ::close(fd);
    received = bytes.size();
    return seconds(Clock::now() - start);
}

struct ClientRun {
    double seconds;
    double longestPollMs;
    int polls;
    bool intact;
};

// `pollsPerSecond` 0: as fast as possible.
ClientRun clientRead(int port, int pollsPerSecond, uint32_t expectedCrc) {
    CHttp http([](const char*) {});
    http.setBodyLimit(size_t(1) << 30);
    auto start = Clock::now();
    http.requestUrl("http://127.0.0.1:" + std::to_string(port) + "/big.vortapack", "", "");
    ClientRun run{0, 0, 0, false};
    auto next = start;
    const auto frame = pollsPerSecond > 0 ? std::chrono::nanoseconds(1000000000 / pollsPerSecond)
                                          : std::chrono::nanoseconds(0);
    while (!http.isDone()) {
        auto before = Clock::now();
        http.poll();
        auto after = Clock::now();
        run.longestPollMs = std::max(run.longestPollMs, seconds(after - before) * 1000);
        ++run.polls;
        if (pollsPerSecond > 0) {
            next += frame;
            std::this_thread::sleep_until(next);
        }
    }
    run.seconds = seconds(Clock::now() - start);
    run.intact = http.responseSize() == kSize && http.responseChecksum() == expectedCrc;
    return run;
}

}  // namespace

int main() {
    std::vector<uint8_t> data(kSize);
    uint32_t state = 12345;
    for (uint8_t& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 23);
    }
    uint32_t expectedCrc = crc(data.data(), static_cast<int>(data.size()), 0);
    Server server(data);

    double bestPlain = 1e9, bestFast = 1e9, fastLongest = 0;
    int fastPolls = 0;
    for (int round = 0; round < kRounds; ++round) {
        size_t received = 0;
        double plain = plainRead(server.port(), received);
        // The plain read includes the response header in what it counts.
        if (received < kSize) {
            std::fprintf(stderr, "plain read got %zu bytes\n", received);
            return 1;
        }
        bestPlain = std::min(bestPlain, plain);
        ClientRun fast = clientRead(server.port(), 0, expectedCrc);
        if (!fast.intact) {
            std::fprintf(stderr, "client download damaged\n");
            return 1;
        }
        if (fast.seconds < bestFast) {
            bestFast = fast.seconds;
            fastPolls = fast.polls;
        }
        fastLongest = std::max(fastLongest, fast.longestPollMs);
    }
    ClientRun framed = clientRead(server.port(), 60, expectedCrc);
    if (!framed.intact) {
        std::fprintf(stderr, "client download at 60 polls/s damaged\n");
        return 1;
    }

    const double mb = kSize / 1048576.0;
    std::printf("64 MB over loopback (best of %d for the first two)\n", kRounds);
    std::printf("  plain blocking read      %8.1f MB/s\n", mb / bestPlain);
    std::printf("  client, unthrottled      %8.1f MB/s  ratio %.2f  (%d polls)\n", mb / bestFast,
                bestPlain / bestFast, fastPolls);
    std::printf("  client, 60 polls/s       %8.1f MB/s  ratio %.2f  (%d polls, %.2f s)\n",
                mb / framed.seconds, bestPlain / framed.seconds, framed.polls, framed.seconds);
    std::printf("  longest poll: unthrottled %.2f ms, at 60 polls/s %.2f ms\n", fastLongest,
                framed.longestPollMs);
    return 0;
}
