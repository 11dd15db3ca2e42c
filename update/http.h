// CHttp: a minimal HTTP/1.0 client that never blocks the frame loop. The
// owner starts one request and then calls poll() once per frame; each poll
// does at most one non-blocking piece of work (connect, send what the socket
// takes, read what has arrived). The status line and headers are split off
// and kept, never interpreted: every failure simply ends the request with
// whatever body arrived, and the owner judges the body by its size and
// checksum. Only the host name lookup blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A response as it arrives. The header is split off as soon as the first blank
// line (CR LF CR LF) is complete, so a large body is never moved afterwards;
// until then every byte counts as body, which is also what a response without
// a blank line ends as. The client keeps one per request; it stands alone so
// that bytes can be fed to it without a socket.
class CHttpResponse {
public:
    // Forgets everything; the body may grow to `bodyLimit` bytes.
    void reset(size_t bodyLimit);
    // Appends received bytes (all of them are kept). Returns false once the
    // body is over the limit; before the blank line is seen, up to
    // kHeaderAllowance bytes more are tolerated, since they may be header.
    bool append(const uint8_t* data, size_t size);
    // True once the blank line has been seen; header() is then the text up to
    // and including the CR LF that ends the last header line.
    bool headerComplete() const { return headerComplete_; }
    const std::string& header() const { return header_; }
    const std::vector<uint8_t>& body() const { return body_; }
    // True when the body is over the limit, counting every byte as body
    // while no blank line has been seen (as a response that ends then is).
    bool overLimit() const;

    static constexpr size_t kHeaderAllowance = 64 * 1024;

private:
    // Sets room aside for the body a Content-Length announces, so that a large
    // download is not copied to a bigger buffer (a long pause) while it grows.
    void reserveAnnounced();

    std::string header_;
    std::vector<uint8_t> body_;
    size_t bodyLimit_ = 0;
    bool headerComplete_ = false;
};

class CHttp {
public:
    enum State {
        REQ_IDLE = 0,
        REQ_CONNECT = 1,
        REQ_SEND = 2,
        REQ_RECEIVE = 3,
        REQ_CLOSE = 4,
        REQ_DONE = 5,
    };
    using LogCallback = std::function<void(const char* line)>;
    using Params = std::vector<std::pair<std::string, std::string>>;

    // Lines passed to `log` start with a level letter ("S", "W", "I") and are
    // at most 255 characters long. An empty callback drops them.
    explicit CHttp(LogCallback log);
    // Closes the socket of an unfinished request.
    ~CHttp();
    CHttp(const CHttp&) = delete;
    CHttp& operator=(const CHttp&) = delete;

    // The time without progress (nothing sent or received) after which a
    // request ends, in milliseconds; 0 or less never ends one. A slow download
    // that keeps arriving therefore never times out, a stalled one does.
    void setTimeout(int milliseconds) { timeoutMs_ = milliseconds; }
    // The port for hosts without ":port"; 80 at construction.
    void setPort(int port) { port_ = port; }
    // The most a body may grow to; a larger one ends the request (the body
    // received so far is kept, and bodyCapped() tells). Takes effect with the
    // next request; 16 MiB at construction.
    void setBodyLimit(size_t bytes) { bodyLimit_ = bytes; }

    bool isBusy() const { return state_ != REQ_IDLE; }
    bool isDone() const { return state_ == REQ_DONE; }
    State state() const { return state_; }

    // Prepares a request; a non-empty `params` makes it a POST of those
    // url-encoded pairs. `host` may carry ":port". A request started before
    // setReady() is logged and replaces the one in hand.
    void request(const std::string& host, const std::string& path, const std::string& query,
                 const Params& params);
    // request() with the single parameter ("upload", data).
    void postUpload(const std::string& host, const std::string& path, const std::string& query,
                    const std::string& data);
    // Splits an "http://host/path" URL and posts `data`; any other URL is
    // logged and nothing changes. "http://host" alone has the empty path.
    void requestUrl(const std::string& url, const std::string& query, const std::string& data);
    // One step of the state machine. Every failure ends in REQ_DONE with the
    // socket closed and whatever body arrived.
    void poll();
    // Back to REQ_IDLE for the next request (logged when the current one is
    // not done; its socket is closed).
    void setReady();

    size_t responseSize() const { return response_.body().size(); }
    std::string responseText() const {
        return std::string(response_.body().begin(), response_.body().end());
    }
    const std::vector<uint8_t>& response() const { return response_.body(); }
    uint32_t responseChecksum() const;
    const std::string& header() const { return response_.header(); }
    bool bodyCapped() const { return bodyCapped_; }
    // Writes the body to `path`, replacing it; false (with a warning) on failure.
    bool saveResponse(const std::string& path) const;

    // The bytes a request would send (tests and the content server's log).
    const std::string& requestText() const { return requestText_; }

private:
    void log(const char* format, ...) const __attribute__((format(printf, 2, 3)));
    void closeSocket();
    void pollConnect();
    void pollSend();
    void pollReceive();
    // Readiness of the socket for `events` without waiting: 1 ready, 0 not
    // yet, -1 error or hang-up without the event.
    int ready(short events) const;
    // True (after logging "S<message> at <ms> ms") when nothing has moved for
    // the time-out.
    bool timedOut(const char* where);

    LogCallback log_;
    State state_ = REQ_IDLE;
    CHttpResponse response_;
    std::vector<uint8_t> chunk_;  // one receive
    std::string host_, path_, query_;
    std::string requestText_;
    size_t bytesSent_ = 0;
    int socket_ = -1;
    bool connected_ = false;  // the connect has completed
    uint32_t startTime_ = 0;
    uint32_t lastProgress_ = 0;
    int timeoutMs_ = 60000;
    int port_ = 80;
    size_t bodyLimit_ = 16u << 20;
    bool bodyCapped_ = false;
};

// Form encoding: 0-9, A-Z, a-z, '.' and '_' as they are, space as '+', every
// other byte as "%XX" (upper-case hex).
std::string urlEncode(const std::string& text);
