// A server on 127.0.0.1 for HTTP client tests: it runs in a thread of the
// test, takes a fixed number of connections one after the other, records the
// bytes of each request and lets the test answer through a handler. Every
// wait is bounded, so a client that misbehaves fails a test instead of
// hanging it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

class CHttp;

// Bounds every wait of the server and of the tests' polling loops.
constexpr int kTestBoundMs = 10000;

class LoopbackServer {
public:
    // Called with the connected socket (blocking) and the request as received.
    using Handler = std::function<void(int fd, const std::string& request)>;

    // `readRequest` false: the handler gets the socket before anything is
    // read (and an empty request).
    LoopbackServer(Handler handler, int connections = 1, bool readRequest = true);
    // Waits for the thread (bounded: the listening socket is closed first).
    ~LoopbackServer();

    int port() const { return port_; }
    // "127.0.0.1:<port>".
    std::string host() const;
    // Waits for the thread to finish and returns every request received.
    const std::vector<std::string>& requests();

    // Handler pieces.
    static bool sendText(int fd, const std::string& text);
    // Blocks until the client closes its end (or the bound passes).
    static void waitForClose(int fd);
    // Blocks, reading nothing, until `flag` is set (or the bound passes).
    static void waitUntil(const std::atomic<bool>& flag);

private:
    void run(int connections, bool readRequest);

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::vector<std::string> requests_;
    std::thread thread_;
};

// Polls like the frame loop would (with a short pause instead of a frame)
// until the request is done or kTestBoundMs passes; false then.
bool runUntilDone(CHttp& http);

// A port on 127.0.0.1 on which nothing listens.
int unusedPort();

// The number of open file descriptors of this process.
int openDescriptors();
