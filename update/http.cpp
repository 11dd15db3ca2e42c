// The HTTP client on POSIX sockets. Each poll looks at the socket with a zero
// wait and does only what is possible now; everything but the name lookup is
// non-blocking. Errors that the peer or the network causes are messages, not
// exceptions: the request ends with what arrived and the owner decides.
#include "update/http.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/clock.h"
#include "vfs/crc.h"

namespace {

constexpr size_t kReceiveSize = 65535;
// Full reads taken in one poll before yielding to the frame: on loopback the
// sender can keep the socket full for as long as we keep reading.
constexpr int kMaxReadsPerPoll = 16;
constexpr int kSocketBuffer = 2 << 20;
constexpr uint8_t kBlankLine[4] = {'\r', '\n', '\r', '\n'};

bool transient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

// ---------------------------------------------------------------- response

void CHttpResponse::reset(size_t bodyLimit) {
    header_.clear();
    body_.clear();
    bodyLimit_ = bodyLimit;
    headerComplete_ = false;
}

bool CHttpResponse::append(const uint8_t* data, size_t size) {
    if (headerComplete_) {
        body_.insert(body_.end(), data, data + size);
        return !overLimit();
    }
    // The blank line may straddle the previous read, so look back three bytes.
    size_t from = body_.size() >= 3 ? body_.size() - 3 : 0;
    body_.insert(body_.end(), data, data + size);
    auto start = body_.begin() + static_cast<std::ptrdiff_t>(from);
    auto found = std::search(start, body_.end(), kBlankLine, kBlankLine + 4);
    if (found != body_.end()) {
        header_.assign(body_.begin(), found + 2);
        body_.erase(body_.begin(), found + 4);
        headerComplete_ = true;
        reserveAnnounced();
        return !overLimit();
    }
    size_t limit =
        bodyLimit_ > SIZE_MAX - kHeaderAllowance ? SIZE_MAX : bodyLimit_ + kHeaderAllowance;
    return body_.size() <= limit;
}

void CHttpResponse::reserveAnnounced() {
    // Only a hint for the allocation: a wrong or hostile length changes nothing
    // but how much address space is set aside (never more than the limit), and
    // the bytes themselves still decide where the body ends.
    static const char kName[] = "\r\ncontent-length:";
    const size_t nameLength = sizeof kName - 1;
    for (size_t at = 0; at + nameLength <= header_.size(); ++at) {
        if (strncasecmp(header_.c_str() + at, kName, nameLength) != 0) continue;
        unsigned long long announced =
            std::strtoull(header_.c_str() + at + nameLength, nullptr, 10);
        size_t wanted = static_cast<size_t>(std::min<unsigned long long>(announced, bodyLimit_));
        try {
            if (wanted > body_.capacity()) body_.reserve(wanted);
        } catch (const std::bad_alloc&) {
            // Then the body grows as it arrives, like one of unknown length.
        }
        return;
    }
}

bool CHttpResponse::overLimit() const {
    return body_.size() > bodyLimit_;
}

// ---------------------------------------------------------------- requests

std::string urlEncode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
            c == '.' || c == '_') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

CHttp::CHttp(LogCallback log) : log_(std::move(log)) {}

CHttp::~CHttp() {
    closeSocket();
}

void CHttp::log(const char* format, ...) const {
    if (!log_) return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_(line);
}

void CHttp::closeSocket() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
}

void CHttp::request(const std::string& host, const std::string& path, const std::string& query,
                    const Params& params) {
    if (state_ != REQ_IDLE) {
        log("SCHttp: Starting another request before this one is finished!\n");
        closeSocket();
    }
    host_ = host;
    path_ = path;
    query_ = query;
    state_ = REQ_CONNECT;
    response_.reset(bodyLimit_);
    bodyCapped_ = false;
    bytesSent_ = 0;
    connected_ = false;

    std::string& text = requestText_;
    text = params.empty() ? "GET /" : "POST /";
    text += path;
    if (!query.empty()) text += "?" + query;
    text += " HTTP/1.0\r\n";
    text += "Host: " + host + "\r\n";
    text += "Connection: close\r\n";
    if (params.empty()) {
        text += "\r\n";
        return;
    }
    std::string body;
    for (const auto& [name, value] : params) {
        if (!body.empty()) body += '&';
        body += name + "=" + urlEncode(value);
    }
    text += "Content-Type: application/x-www-form-urlencoded\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    text += "\r\n";
    text += body;
    text += "\r\n";
}

void CHttp::postUpload(const std::string& host, const std::string& path, const std::string& query,
                       const std::string& data) {
    request(host, path, query, {{"upload", data}});
}

void CHttp::requestUrl(const std::string& url, const std::string& query, const std::string& data) {
    static const std::string kScheme = "http://";
    if (url.compare(0, kScheme.size(), kScheme) != 0) {
        log("SUnrecognized URL '%s'\n", url.c_str());
        return;
    }
    std::string rest = url.substr(kScheme.size());
    size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        postUpload(rest, "", query, data);
    } else {
        postUpload(rest.substr(0, slash), rest.substr(slash + 1), query, data);
    }
}

void CHttp::setReady() {
    if (state_ != REQ_DONE)
        log("SCHttp::setReady - state not REQ_DONE! %d\n", static_cast<int>(state_));
    closeSocket();
    response_.reset(bodyLimit_);
    host_.clear();
    path_.clear();
    query_.clear();
    requestText_.clear();
    bytesSent_ = 0;
    bodyCapped_ = false;
    state_ = REQ_IDLE;
}

// ---------------------------------------------------------------- the state machine

void CHttp::poll() {
    switch (state_) {
        case REQ_IDLE:
        case REQ_DONE:
            return;
        case REQ_CONNECT:
            pollConnect();
            return;
        case REQ_SEND:
            pollSend();
            return;
        case REQ_RECEIVE:
            pollReceive();
            return;
        case REQ_CLOSE:
            // The header was split off as the bytes came in; only the verdict
            // on a response that never had a blank line is left.
            if (response_.overLimit()) bodyCapped_ = true;
            closeSocket();
            state_ = REQ_DONE;
            return;
    }
    log("SCHttp: Unknown state %d!\n", static_cast<int>(state_));
}

void CHttp::pollConnect() {
    startTime_ = lastProgress_ = osTickCount();
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (socket_ < 0) {
        log("SHttp: unable to create socket\n");
        state_ = REQ_DONE;
        return;
    }
    // The socket is drained once per frame, so its buffer must hold what
    // arrives in a frame; the kernel's own sizing follows the reader's pace
    // and stays small. (The system may clamp this.)
    int bufferSize = kSocketBuffer;
    setsockopt(socket_, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    std::string name = host_;
    int port = port_;
    size_t colon = host_.find(':');
    if (colon != std::string::npos) {
        name = host_.substr(0, colon);
        port = std::atoi(host_.c_str() + colon + 1);
    }
    log("IHttp: Looking up host '%s'\n", host_.c_str());
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) {
        log("WHttp: Unable to locate host %s\n", name.c_str());
        closeSocket();
        state_ = REQ_DONE;
        return;
    }
    sockaddr_in address;
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(static_cast<uint16_t>(port));

    int flags = fcntl(socket_, F_GETFL, 0);
    fcntl(socket_, F_SETFL, flags | O_NONBLOCK);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&address.sin_addr);
    log("IHost %d.%d.%d.%d:%d\n", bytes[0], bytes[1], bytes[2], bytes[3], port);
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno != EINPROGRESS && errno != EAGAIN && errno != EINTR) {
        log("WHttp: connect failed\n");
        closeSocket();
        state_ = REQ_DONE;
        return;
    }
    state_ = REQ_SEND;
}

int CHttp::ready(short events) const {
    pollfd entry{socket_, events, 0};
    int result = ::poll(&entry, 1, 0);
    if (result < 0) return transient(errno) ? 0 : -1;
    if (result == 0) return 0;
    // A peer that closed may still have bytes for us: a hang-up only counts
    // as an error when reading (or writing) is impossible too.
    if (entry.revents & events) return (entry.revents & POLLERR) ? -1 : 1;
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    return 0;
}

bool CHttp::timedOut(const char* where) {
    if (timeoutMs_ <= 0) return false;
    uint32_t now = osTickCount();
    if (now - lastProgress_ <= static_cast<uint32_t>(timeoutMs_)) return false;
    log("SConnection Timed out in %s at %d ms\n", where, static_cast<int>(now - startTime_));
    state_ = REQ_CLOSE;
    return true;
}

void CHttp::pollSend() {
    int readiness = ready(POLLOUT);
    if (readiness < 0) {
        // Before the first byte leaves, an error is the connect failing
        // (refused, unreachable); afterwards the connection broke.
        log(connected_ ? "SNETWORK ERROR - REQ_SEND\n" : "WHttp: connect failed\n");
        state_ = REQ_CLOSE;
        return;
    }
    if (readiness == 0) {
        timedOut("SEND");
        return;
    }
    connected_ = true;
    ssize_t sent = ::send(socket_, requestText_.data() + bytesSent_,
                          requestText_.size() - bytesSent_, MSG_NOSIGNAL);
    if (sent < 0 && transient(errno)) {
        timedOut("SEND");
        return;
    }
    if (sent <= 0) {
        log("SNETWORK ERROR - REQ_SEND\n");
        state_ = REQ_CLOSE;
        return;
    }
    lastProgress_ = osTickCount();
    bytesSent_ += static_cast<size_t>(sent);
    if (bytesSent_ >= requestText_.size()) state_ = REQ_RECEIVE;
}

void CHttp::pollReceive() {
    int readiness = ready(POLLIN);
    if (readiness < 0) {
        state_ = REQ_CLOSE;
        return;
    }
    if (readiness == 0) {
        timedOut("RECEIVE");
        return;
    }
    chunk_.resize(kReceiveSize);
    for (int reads = 0; reads < kMaxReadsPerPoll; ++reads) {
        ssize_t received = ::recv(socket_, chunk_.data(), kReceiveSize, 0);
        // Nothing more yet after a full read: the next poll continues.
        if (received < 0 && transient(errno)) return;
        if (received <= 0) {
            state_ = REQ_CLOSE;
            return;
        }
        lastProgress_ = osTickCount();
        if (!response_.append(chunk_.data(), static_cast<size_t>(received))) {
            bodyCapped_ = true;
            state_ = REQ_CLOSE;
            return;
        }
        if (static_cast<size_t>(received) < kReceiveSize) return;
    }
}

// ---------------------------------------------------------------- results

uint32_t CHttp::responseChecksum() const {
    // crc() takes an int length; a body may be longer, and the checksum
    // continues across pieces when each piece is seeded with the last result.
    const std::vector<uint8_t>& body = response_.body();
    uint32_t sum = 0;
    constexpr size_t kPiece = 1u << 30;
    for (size_t at = 0; at < body.size(); at += kPiece) {
        size_t size = std::min(kPiece, body.size() - at);
        sum = crc(body.data() + at, static_cast<int>(size), sum);
    }
    return sum;
}

bool CHttp::saveResponse(const std::string& path) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        log("WCannot write to file '%s'\n", path.c_str());
        return false;
    }
    const std::vector<uint8_t>& body = response_.body();
    bool ok = std::fwrite(body.data(), 1, body.size(), file) == body.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) log("WCannot write to file '%s'\n", path.c_str());
    return ok;
}
