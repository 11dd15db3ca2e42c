// The HTTP client against a server on 127.0.0.1 in the test's own thread:
// the bytes it sends, how it splits what comes back, and how every failure
// (refused, stalled, endless) ends with the socket closed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/update/loopback_server.h"
#include "update/http.h"
#include "vfs/crc.h"

namespace {

std::string body(const CHttp& http) {
    return http.responseText();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class HttpTest : public ::testing::Test {
protected:
    LogCapture log;
    CHttp http{logLevelFromPrefix};
};

TEST(UrlEncode, KeepsOnlyAlphanumericsDotAndUnderscore) {
    EXPECT_EQ(urlEncode("Az09._"), "Az09._");
    EXPECT_EQ(urlEncode("-~ "), "%2D%7E+");
    EXPECT_EQ(urlEncode("a/b=c&d?"), "a%2Fb%3Dc%26d%3F");
    EXPECT_EQ(urlEncode(std::string("\xff\x00\n", 3)), "%FF%00%0A");
    EXPECT_EQ(urlEncode(""), "");
}

TEST_F(HttpTest, GetSendsTheRequestLineHostAndAnEmptyLine) {
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\nX-Kind: list\r\n\r\nfirst\r\n\r\nsecond");
    });
    int descriptorsBefore = openDescriptors();
    http.request(server.host(), "update/list.php", "a=1&bb=22", {});
    ASSERT_TRUE(runUntilDone(http));
    std::string expected = "GET /update/list.php?a=1&bb=22 HTTP/1.0\r\nHost: " + server.host() +
                           "\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(server.requests().at(0), expected);
    EXPECT_EQ(http.requestText(), expected);
    // Only the first blank line separates; the header keeps its last CR LF.
    EXPECT_EQ(http.header(), "HTTP/1.0 200 OK\r\nX-Kind: list\r\n");
    EXPECT_EQ(body(http), "first\r\n\r\nsecond");
    EXPECT_FALSE(http.bodyCapped());
    EXPECT_TRUE(log.contains(LOG_INFO, "Http: Looking up host '" + server.host() + "'"));
    EXPECT_TRUE(log.contains(LOG_INFO, "Host 127.0.0.1:" + std::to_string(server.port())));
    EXPECT_EQ(openDescriptors(), descriptorsBefore);  // the server closed first
}

TEST_F(HttpTest, PostUploadEncodesTheBodyAndCountsItWithoutTheFinalLineEnd) {
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n");
    });
    http.postUpload(server.host(), "update/update.php", "", "a b&c");
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(server.requests().at(0),
              "POST /update/update.php HTTP/1.0\r\nHost: " + server.host() +
                  "\r\nConnection: close\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "Content-Length: 14\r\n\r\nupload=a+b%26c\r\n");
    EXPECT_EQ(http.header(), "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(http.responseSize(), 0u);
}

TEST_F(HttpTest, SeveralParametersAreJoinedInOrder) {
    http.request("example.invalid", "p", "q=9", {{"first", "1 2"}, {"second", "x/y"}});
    const std::string& text = http.requestText();
    EXPECT_EQ(text.substr(0, 23), "POST /p?q=9 HTTP/1.0\r\nH");
    std::string body = "first=1+2&second=x%2Fy";
    EXPECT_NE(
        text.find("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body + "\r\n"),
        std::string::npos);
    EXPECT_EQ(text.substr(text.size() - body.size() - 2), body + "\r\n");
}

TEST_F(HttpTest, APortInTheHostWinsOverTheDefaultPortAndStaysInTheHostHeader) {
    LoopbackServer server(
        [](int fd, const std::string&) {
            LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n7");
        },
        2);
    http.setPort(unusedPort());
    http.request(server.host(), "with-port", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(body(http), "7");
    http.setReady();
    EXPECT_FALSE(http.isBusy());
    EXPECT_EQ(http.header(), "");
    EXPECT_EQ(http.responseSize(), 0u);

    // Without a suffix the default port is used and the header has no port.
    http.setPort(server.port());
    http.request("127.0.0.1", "default-port", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(body(http), "7");
    const auto& requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].find("GET /with-port HTTP/1.0\r\nHost: " + server.host() + "\r\n"),
              std::string::npos);
    EXPECT_NE(requests[1].find("GET /default-port HTTP/1.0\r\nHost: 127.0.0.1\r\n"),
              std::string::npos);
    EXPECT_FALSE(log.contains("setReady - state not REQ_DONE"));
}

TEST_F(HttpTest, AResponseWithoutABlankLineIsAllBody) {
    std::string answer = "HTTP/1.0 200 OK\r\nServer: odd\r\nno blank line\r\n";
    LoopbackServer server(
        [&](int fd, const std::string&) { LoopbackServer::sendText(fd, answer); });
    http.request(server.host(), "x", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(http.header(), "");
    EXPECT_EQ(body(http), answer);
}

TEST_F(HttpTest, ABlankLineSplitAcrossReadsIsFound) {
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 404 Not Found\r\n\r");
        sleepMs(30);
        LoopbackServer::sendText(fd, "\nerror page");
    });
    http.request(server.host(), "missing", "", {});
    ASSERT_TRUE(runUntilDone(http));
    // The status is never judged: an error page is a body like any other.
    EXPECT_EQ(http.header(), "HTTP/1.0 404 Not Found\r\n");
    EXPECT_EQ(body(http), "error page");
}

TEST_F(HttpTest, RequestUrlSplitsHostAndPathAndPosts) {
    LoopbackServer server(
        [](int fd, const std::string&) { LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n"); },
        2);
    http.requestUrl("http://" + server.host() + "/files/deep/a.vortapack", "v=3", "");
    ASSERT_TRUE(runUntilDone(http));
    http.setReady();
    // No '/' after the host: the empty path.
    http.requestUrl("http://" + server.host(), "", "xy");
    ASSERT_TRUE(runUntilDone(http));
    const auto& requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, 43), "POST /files/deep/a.vortapack?v=3 HTTP/1.0\r\n");
    EXPECT_NE(requests[0].find("Content-Length: 7\r\n\r\nupload=\r\n"), std::string::npos);
    EXPECT_EQ(requests[1].substr(0, 18), "POST / HTTP/1.0\r\nH");
    EXPECT_NE(requests[1].find("Host: " + server.host() + "\r\n"), std::string::npos);
    EXPECT_NE(requests[1].find("Content-Length: 9\r\n\r\nupload=xy\r\n"), std::string::npos);
}

TEST_F(HttpTest, RequestUrlOfAnythingButHttpLogsAndChangesNothing) {
    http.requestUrl("https://127.0.0.1/secure.vortapack", "", "data");
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Unrecognized URL 'https://127.0.0.1/secure.vortapack'"));
    EXPECT_EQ(http.state(), CHttp::REQ_IDLE);
    EXPECT_EQ(http.requestText(), "");

    // Nor does it disturb a finished request.
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\nkept");
    });
    http.request(server.host(), "first", "", {});
    ASSERT_TRUE(runUntilDone(http));
    std::string sent = http.requestText();
    http.requestUrl("ftp://127.0.0.1/other", "", "");
    EXPECT_TRUE(http.isDone());
    EXPECT_EQ(body(http), "kept");
    EXPECT_EQ(http.requestText(), sent);
}

TEST_F(HttpTest, ARefusedConnectionEndsDoneWithNoBodyAndNoSocketLeft) {
    int descriptorsBefore = openDescriptors();
    int port = unusedPort();
    http.postUpload("127.0.0.1:" + std::to_string(port), "update/update.php", "", "report");
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_EQ(http.responseSize(), 0u);
    EXPECT_EQ(http.header(), "");
    EXPECT_TRUE(log.contains(LOG_WARNING, "Http: connect failed")) << log.all();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    http.setReady();
    EXPECT_FALSE(http.isBusy());
}

TEST_F(HttpTest, AStalledAnswerEndsByTheTimeOutWithWhatArrived) {
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\npartial");
        LoopbackServer::waitForClose(fd);
    });
    int descriptorsBefore = openDescriptors();
    http.setTimeout(200);
    http.request(server.host(), "stall", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Connection Timed out in RECEIVE at ")) << log.all();
    EXPECT_EQ(body(http), "partial");
    server.requests();  // the server has seen the close
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST_F(HttpTest, ASlowButSteadyAnswerOutlastsTheTimeOut) {
    const int pieces = 14;
    LoopbackServer server([&](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n");
        for (int i = 0; i < pieces; ++i) {
            sleepMs(40);
            LoopbackServer::sendText(fd, std::string(1, static_cast<char>('a' + i)));
        }
    });
    // The whole answer takes over twice the time-out; no gap comes near it.
    http.setTimeout(250);
    http.request(server.host(), "drip", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_FALSE(log.contains("Timed out")) << log.all();
    EXPECT_EQ(body(http), "abcdefghijklmn");
}

TEST_F(HttpTest, ARequestTheServerNeverReadsEndsByTheTimeOutInSend) {
    // A client that closes with unsent bytes never gets its close through a
    // full window, so the server waits for the test instead.
    std::atomic<bool> finished{false};
    LoopbackServer server([&](int, const std::string&) { LoopbackServer::waitUntil(finished); }, 1,
                          false);
    int descriptorsBefore = openDescriptors();
    http.setTimeout(200);
    // Far more than the socket buffers of both ends hold.
    http.postUpload(server.host(), "big", "", std::string(48 << 20, 'u'));
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "Connection Timed out in SEND at ")) << log.all();
    EXPECT_EQ(http.responseSize(), 0u);
    finished = true;
    server.requests();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST_F(HttpTest, AnEndlessBodyStopsAtTheLimit) {
    const size_t limit = 300007;
    LoopbackServer server([](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n");
        std::string piece(4099, 'z');
        while (LoopbackServer::sendText(fd, piece)) {
        }
    });
    int descriptorsBefore = openDescriptors();
    http.setBodyLimit(limit);
    http.request(server.host(), "endless", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_TRUE(http.bodyCapped());
    EXPECT_GT(http.responseSize(), limit);
    EXPECT_LE(http.responseSize(), limit + 65535);
    server.requests();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);

    // setReady forgets the verdict.
    http.setReady();
    EXPECT_FALSE(http.bodyCapped());
}

TEST_F(HttpTest, ABodyOfExactlyTheLimitIsWhole) {
    const size_t limit = 70001;
    std::string content(limit, '\0');
    for (size_t i = 0; i < limit; ++i)
        content[i] = static_cast<char>(i * 7 + i / 256);
    LoopbackServer server([&](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\nContent-Length: 70001\r\n\r\n" + content);
    });
    http.setBodyLimit(limit);
    http.request(server.host(), "exact", "", {});
    ASSERT_TRUE(runUntilDone(http));
    EXPECT_FALSE(http.bodyCapped());
    EXPECT_EQ(body(http), content);
    EXPECT_EQ(http.responseChecksum(), crc(content.data(), static_cast<int>(limit), 0));
}

TEST_F(HttpTest, StartingAnotherRequestOrResettingEarlyIsReportedAndClosesTheSocket) {
    LoopbackServer server([](int fd, const std::string&) { LoopbackServer::waitForClose(fd); });
    int descriptorsBefore = openDescriptors();
    http.request(server.host(), "one", "", {});
    http.poll();  // connecting
    EXPECT_EQ(http.state(), CHttp::REQ_SEND);
    http.request("127.0.0.1:" + std::to_string(unusedPort()), "two", "", {});
    EXPECT_TRUE(
        log.contains(LOG_SERIOUS, "CHttp: Starting another request before this one is finished!"));
    EXPECT_EQ(http.state(), CHttp::REQ_CONNECT);
    http.setReady();
    EXPECT_TRUE(log.contains(LOG_SERIOUS, "CHttp::setReady - state not REQ_DONE! 1"));
    EXPECT_FALSE(http.isBusy());
    server.requests();
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

TEST_F(HttpTest, SaveResponseWritesTheBodyOrWarns) {
    std::string content("bin\0ary\r\n\xfe", 10);
    LoopbackServer server([&](int fd, const std::string&) {
        LoopbackServer::sendText(fd, "HTTP/1.0 200 OK\r\n\r\n" + content);
    });
    http.request(server.host(), "file", "", {});
    ASSERT_TRUE(runUntilDone(http));
    TempDir dir;
    dir.write("saved.bin", std::string(5000, 'o'));  // longer: must be replaced, not overwritten
    EXPECT_TRUE(http.saveResponse(dir.path() + "saved.bin"));
    EXPECT_EQ(dir.read("saved.bin"), content);

    std::string bad = dir.path() + "no-such-folder/saved.bin";
    EXPECT_FALSE(http.saveResponse(bad));
    EXPECT_TRUE(log.contains(LOG_WARNING, "Cannot write to file '" + bad + "'"));
}

// The splitter alone, fed as a socket might deliver.
TEST(HttpResponse, SplitsAtTheFirstBlankLineWhateverTheReadSizes) {
    const std::string bytes = "HTTP/1.0 200 OK\r\nA: 1\r\n\r\nbody\r\n\r\nrest";
    for (size_t piece = 1; piece <= 5; ++piece) {
        CHttpResponse response;
        response.reset(1000);
        for (size_t at = 0; at < bytes.size(); at += piece) {
            std::string part = bytes.substr(at, piece);
            ASSERT_TRUE(
                response.append(reinterpret_cast<const uint8_t*>(part.data()), part.size()));
        }
        EXPECT_TRUE(response.headerComplete());
        EXPECT_EQ(response.header(), "HTTP/1.0 200 OK\r\nA: 1\r\n") << piece;
        EXPECT_EQ(std::string(response.body().begin(), response.body().end()), "body\r\n\r\nrest");
    }
}

TEST(HttpResponse, TheLimitCountsBodyBytesAndToleratesAHeaderInPieces) {
    CHttpResponse response;
    response.reset(10);
    std::string header = "HTTP/1.0 200 OK\r\nServer: a name longer than the limit\r\n";
    // No blank line yet: these bytes may still be header.
    EXPECT_TRUE(response.append(reinterpret_cast<const uint8_t*>(header.data()), header.size()));
    std::string rest = "\r\n0123456789";
    EXPECT_TRUE(response.append(reinterpret_cast<const uint8_t*>(rest.data()), rest.size()));
    EXPECT_EQ(response.body().size(), 10u);
    EXPECT_FALSE(response.overLimit());
    EXPECT_FALSE(response.append(reinterpret_cast<const uint8_t*>("X"), 1));
    EXPECT_TRUE(response.overLimit());

    // Without a blank line everything is body, and the allowance runs out.
    response.reset(3);
    std::string junk(CHttpResponse::kHeaderAllowance + 3, 'j');
    EXPECT_TRUE(response.append(reinterpret_cast<const uint8_t*>(junk.data()), junk.size()));
    EXPECT_TRUE(response.overLimit());  // as a finished response it is over
    EXPECT_FALSE(response.append(reinterpret_cast<const uint8_t*>("j"), 1));
}

TEST(HttpResponse, AContentLengthNeverDecidesWhereTheBodyEnds) {
    for (std::string length : {"1152921504606846976", "3", "-1", "junk"}) {
        CHttpResponse response;
        response.reset(4099);
        std::string bytes = "HTTP/1.0 200 OK\r\nconTent-LENGTH: " + length + "\r\n\r\nseven b";
        EXPECT_TRUE(response.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        EXPECT_EQ(std::string(response.body().begin(), response.body().end()), "seven b") << length;
        EXPECT_LE(response.body().capacity(), 4099u);
    }
}

}  // namespace
