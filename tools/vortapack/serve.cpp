// vortapack serve: a small HTTP/1.0 content server for the visualiser's
// updater. It answers one connection at a time, which is plenty for tests and
// for a handful of visualisers, and keeps the code as plain as the client's:
// non-blocking sockets and poll() with a bound on every wait, so a client that
// stops talking can hold the server for at most kIdleMs.
//
// The update list is built afresh for each request from the directory's
// listing, so archives dropped into the folder are offered at once; checksums
// are remembered per file until its size or modification time changes.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/xmlEscape.h"
#include "tools/vortapack/vortapack.h"
#include "vfs/crc.h"
#include "vfs/osFile.h"

#ifndef VORTAPACK_CONTENT_VERSION
#error "VORTAPACK_CONTENT_VERSION must name the program version the archives are for"
#endif

namespace {

constexpr int kIdleMs = 10000;          // longest wait for a client's next byte
constexpr int kLingerMs = 2000;         // draining what a client sends after the answer
constexpr size_t kMaxHead = 64 * 1024;  // request line and headers
constexpr size_t kChunk = 64 * 1024;    // file and socket I/O
constexpr const char* kSuffix = ".vortapack";

volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a signal must wake poll()
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Request lines go to the log; control bytes there would garble a terminal.
std::string printable(const std::string& text) {
    std::string out = text.substr(0, 200);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

// Waits for `events` on `fd` for up to `ms`; false on time-out, error or a
// stop signal.
bool waitFor(int fd, short events, int ms) {
    for (;;) {
        if (stopRequested) return false;
        pollfd entry{fd, events, 0};
        int result = ::poll(&entry, 1, ms);
        if (result < 0 && errno == EINTR) continue;
        return result > 0 && (entry.revents & (events | POLLHUP | POLLERR));
    }
}

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        if (!waitFor(fd, POLLOUT, kIdleMs)) return false;
        ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

// One received piece: >0 bytes, 0 peer closed, -1 error, time-out or stop.
ssize_t receive(int fd, char* buffer, size_t size) {
    for (;;) {
        if (!waitFor(fd, POLLIN, kIdleMs)) return -1;
        ssize_t got = ::recv(fd, buffer, size, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        return got;
    }
}

struct Request {
    std::string line;  // the request line as sent
    std::string method;
    std::string path;  // without the leading '/' and the query
    std::string host;  // the Host header, or empty
    unsigned long long contentLength = 0;
    size_t bodyRead = 0;  // body bytes that arrived with the head
};

std::string headerValue(const std::string& head, const std::string& name) {
    size_t at = head.find("\r\n");
    while (at != std::string::npos && at + 2 < head.size()) {
        size_t start = at + 2, end = head.find("\r\n", start);
        if (end == std::string::npos) end = head.size();
        std::string line = head.substr(start, end - start);
        size_t colon = line.find(':');
        if (colon == name.size() && strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
            size_t value = line.find_first_not_of(" \t", colon + 1);
            return value == std::string::npos ? "" : line.substr(value);
        }
        at = end;
    }
    return "";
}

// Reads up to the blank line. The target is taken between the first and the
// last space of the request line, so names with spaces survive without
// escaping (the visualiser sends names as they are).
bool readRequest(int fd, Request& request) {
    std::string head;
    char buffer[4096];
    size_t blank;
    while ((blank = head.find("\r\n\r\n")) == std::string::npos) {
        ssize_t got = head.size() > kMaxHead ? -1 : receive(fd, buffer, sizeof buffer);
        if (got <= 0) {
            request.line = head.substr(0, head.find("\r\n"));
            return false;
        }
        head.append(buffer, static_cast<size_t>(got));
    }
    request.bodyRead = head.size() - (blank + 4);
    head.resize(blank + 2);
    request.line = head.substr(0, head.find("\r\n"));
    size_t first = request.line.find(' '), last = request.line.rfind(' ');
    if (first == std::string::npos || last <= first) return false;
    request.method = request.line.substr(0, first);
    std::string target = request.line.substr(first + 1, last - first - 1);
    target = target.substr(0, target.find('?'));
    request.path = target.empty() || target[0] != '/' ? target : target.substr(1);
    request.host = headerValue(head, "Host");
    request.contentLength = std::strtoull(headerValue(head, "Content-Length").c_str(), nullptr, 10);
    return true;
}

// The rest of a body is not needed, but it must be read: closing a socket
// with unread bytes resets the connection and can destroy the answer.
bool skipBody(int fd, const Request& request) {
    unsigned long long left =
        request.contentLength > request.bodyRead ? request.contentLength - request.bodyRead : 0;
    char buffer[kChunk];
    while (left > 0) {
        ssize_t got = receive(fd, buffer, left < sizeof buffer ? left : sizeof buffer);
        if (got <= 0) return false;
        left -= static_cast<unsigned long long>(got);
    }
    return true;
}

// Closes after the client has seen everything: stop writing, then swallow
// whatever it still sends (the client's final CR LF) until it closes.
void lingeringClose(int fd) {
    ::shutdown(fd, SHUT_WR);
    char buffer[4096];
    while (waitFor(fd, POLLIN, kLingerMs) && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

struct Answer {
    int status = 404;
    unsigned long long bytes = 0;  // body bytes sent
};

const char* reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 405:
            return "Method Not Allowed";
        default:
            return "Not Found";
    }
}

bool sendHead(int fd, int status, const char* type, unsigned long long length) {
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + reason(status) + "\r\n";
    head += std::string("Content-Type: ") + type + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    if (status == 405) head += "Allow: GET, POST\r\n";
    head += "Connection: close\r\n\r\n";
    return sendAll(fd, head.data(), head.size());
}

Answer sendText(int fd, int status, const char* type, const std::string& body) {
    Answer answer{status, 0};
    if (sendHead(fd, status, type, body.size()) && sendAll(fd, body.data(), body.size()))
        answer.bytes = body.size();
    return answer;
}

class Server {
public:
    explicit Server(std::string directory) : directory_(std::move(directory)) {}

    Answer answer(int fd, const Request& request, const std::string& localAddress) {
        if (request.method != "GET" && request.method != "POST")
            return sendText(fd, 405, "text/plain", "method not allowed\n");
        if (request.path == "update/update.php" || request.path == "updatebeta/update.php") {
            std::string host = request.host.empty() ? localAddress : request.host;
            return sendText(fd, 200, "text/xml", updateList(host));
        }
        static const std::string kFiles = "files/";
        if (request.path.compare(0, kFiles.size(), kFiles) == 0) {
            std::string name = request.path.substr(kFiles.size());
            if (offered(name)) return sendFile(fd, name);
        }
        return sendText(fd, 404, "text/plain", "not found\n");
    }

private:
    struct Sum {
        off_t size;
        long long modified;
        uint32_t crc;
    };

    // Only archives directly in the directory are served; a name that could
    // step outside it is refused before the file system sees it.
    bool offered(const std::string& name) const {
        if (name.empty() || name.find('/') != std::string::npos ||
            name.find('\\') != std::string::npos || name.find("..") != std::string::npos ||
            name[0] == '.' || !endsWith(name, kSuffix))
            return false;
        struct stat status;
        return stat((directory_ + name).c_str(), &status) == 0 && S_ISREG(status.st_mode);
    }

    bool checksum(const std::string& name, off_t& size, uint32_t& sum) {
        struct stat status;
        std::string path = directory_ + name;
        if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
        long long modified = status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
        auto cached = sums_.find(name);
        if (cached != sums_.end() && cached->second.size == status.st_size &&
            cached->second.modified == modified) {
            size = cached->second.size;
            sum = cached->second.crc;
            return true;
        }
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        if (!file) return false;
        // The checksum of a file read in pieces is the checksum of each piece
        // seeded with the one before.
        sum = 0;
        off_t total = 0;
        char buffer[kChunk];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
            sum = crc(buffer, static_cast<int>(got), sum);
            total += static_cast<off_t>(got);
        }
        if (std::ferror(file.get())) return false;
        size = total;
        sums_[name] = Sum{total, modified, sum};
        return true;
    }

    std::string updateList(const std::string& host) {
        std::string xml = "<xml><Packages>";
        for (const std::string& name : osListDir(directory_)) {
            off_t size;
            uint32_t sum;
            if (!offered(name) || !checksum(name, size, sum)) continue;
            char crcText[16];
            std::snprintf(crcText, sizeof crcText, "0x%08X", sum);
            xml += "<Package><Url>" + xmlEscape("http://" + host + "/files/" + name) + "</Url>";
            xml += "<File>" + xmlEscape(name) + "</File>";
            xml += std::string("<Version>") + VORTAPACK_CONTENT_VERSION + "</Version>";
            xml += "<Size>" + std::to_string(static_cast<long long>(size)) + "</Size>";
            xml += std::string("<CRC>") + crcText + "</CRC></Package>";
        }
        return xml + "</Packages></xml>";
    }

    Answer sendFile(int fd, const std::string& name) {
        std::string path = directory_ + name;
        std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
        struct stat status;
        if (!file || fstat(fileno(file.get()), &status) != 0)
            return sendText(fd, 404, "text/plain", "not found\n");
        Answer answer{200, 0};
        unsigned long long length = static_cast<unsigned long long>(status.st_size);
        if (!sendHead(fd, 200, "application/octet-stream", length)) return answer;
        char buffer[kChunk];
        size_t got;
        while (answer.bytes < length &&
               (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
            if (!sendAll(fd, buffer, got)) break;
            answer.bytes += got;
        }
        return answer;
    }

    std::string directory_;
    std::map<std::string, Sum> sums_;
};

int openListener(const ServeOptions& options, std::string& shownAddress) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    std::string port = std::to_string(options.port);
    if (getaddrinfo(options.bind.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
        std::fprintf(stderr, "vortapack: cannot use the address '%s'\n", options.bind.c_str());
        return -1;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int yes = 1;
    if (fd >= 0) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (fd < 0 || ::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        std::fprintf(stderr, "vortapack: cannot listen on %s:%d: %s\n", options.bind.c_str(),
                     options.port, std::strerror(errno));
        freeaddrinfo(found);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    freeaddrinfo(found);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &bound.sin_addr, text, sizeof text);
    shownAddress = std::string(text) + ":" + std::to_string(ntohs(bound.sin_port));
    return fd;
}

std::string addressOf(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

// Serves one connection; true when a request was answered.
bool serveConnection(Server& server, int fd, const std::string& peer) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    Request request;
    Answer answer;
    bool complete = readRequest(fd, request);
    if (!complete && request.line.empty()) {
        ::close(fd);  // nothing usable arrived: not a request
        return false;
    }
    if (complete && skipBody(fd, request)) {
        answer = server.answer(fd, request, addressOf(local));
    } else {
        answer = sendText(fd, 400, "text/plain", "bad request\n");
    }
    std::printf("%s \"%s\" %d %llu\n", peer.c_str(), printable(request.line).c_str(), answer.status,
                answer.bytes);
    std::fflush(stdout);
    lingeringClose(fd);
    return true;
}

}  // namespace

int packServe(const std::string& directory, const ServeOptions& options) {
    struct stat status;
    if (stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        std::fprintf(stderr, "vortapack: '%s' is not a directory\n", directory.c_str());
        return kExitFailure;
    }
    std::string root = directory;
    if (root.back() != '/') root += '/';
    installSignals();
    std::string shown;
    int listener = openListener(options, shown);
    if (listener < 0) return kExitFailure;
    std::printf("vortapack: serving %s on http://%s/\n", root.c_str(), shown.c_str());
    std::fflush(stdout);

    Server server(root);
    long answered = 0;
    while (!stopRequested && (options.requests <= 0 || answered < options.requests)) {
        pollfd entry{listener, POLLIN, 0};
        // The time-out only covers a signal that lands between the check and
        // the wait; otherwise the signal itself ends the wait.
        if (::poll(&entry, 1, 250) <= 0) continue;
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (serveConnection(server, fd, addressOf(peer))) ++answered;
    }
    ::close(listener);
    return kExitOk;
}
