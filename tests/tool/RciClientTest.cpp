#include "tool/RciClient.h"
#include "FormFixture.h"
#include "RciTestServer.h"
#include "port/SocketLib.h"
#include "tool/RciSettings.h"
#include "tool/RciSocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <thread>

using namespace fakes;
using namespace winsys;
using rcitest::Exchange;
using rcitest::HttpServer;
using namespace testsupport;

namespace {

const std::string Credentials = "cm9vdDp3cXpr";

std::string Head(size_t bodyLength) {
    return tool::BuildRciHeader("POST /UE/rci HTTP/1.1", bodyLength, "127.0.0.1", Credentials);
}

const std::string ChunkedHead =
    "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n";

// ---- the request head and the credentials

struct Base64Case {
    const char* user;
    const char* password;
    const char* expected;
};

class EncodeCredentialsTable : public ::testing::TestWithParam<Base64Case> {};

TEST_P(EncodeCredentialsTable, EncodesUserColonPasswordInBase64) {
    EXPECT_EQ(tool::EncodeCredentials(GetParam().user, GetParam().password), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeCredentialsTable,
    ::testing::Values(Base64Case{"root", "wqzk", "cm9vdDp3cXpr"}, Base64Case{"", "", "Og=="},
                      Base64Case{"a", "", "YTo="}, Base64Case{"ab", "", "YWI6"},
                      Base64Case{"Aladdin", "open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
                      Base64Case{"\xff\xfe", "?", "//46Pw=="})); // high bytes, "+" and "/"

TEST(BuildRciHeader, GivesTheLinesInOrderAndContentLengthOnlyForABody) {
    const std::string common = "POST /UE/rci HTTP/1.1\r\n"
                               "text/html, image/gif, image/jpef\r\n"
                               "Accept-Language: en-us\r\n"
                               "User-Agent: httpRCI\r\n"
                               "Host: 10.0.0.7\r\n"
                               "Connection: Keep-Alive\r\n"
                               "Authorization: Basic cm9vdDp3cXpr\r\n";
    EXPECT_EQ(tool::BuildRciHeader("POST /UE/rci HTTP/1.1", 1500, "10.0.0.7", Credentials),
              common + "Content-Length: 1500\r\n\r\n");
    EXPECT_EQ(tool::BuildRciHeader("POST /UE/rci HTTP/1.1", 0, "10.0.0.7", Credentials),
              common + "\r\n");
}

// ---- exchanges with a server on 127.0.0.1

class RciClient : public rcitest::RciFixture {
  protected:
    // Posts a request file with this content to the server.
    void Post(const std::string& content, HttpServer* server = nullptr) {
        WriteFile("request.txt", content);
        Send("request.txt", server);
    }
    void Send(const char* file, HttpServer* server) {
        if (server) tool::RciPort = server->Port();
        std::memset(form->RciFileName, 0, sizeof form->RciFileName);
        std::strcpy(form->RciFileName, file);
        form->Button28.Click();
    }
    std::string Status() { return form->StatusBar1.Text(); }
    std::string Reply() {
        return std::string(form->RciReply, strnlen(form->RciReply, sizeof form->RciReply));
    }
};

TEST_F(RciClient, SendsHeadAndBodyExactlyAndLogsTheWholeExchange) {
    const std::string body = "<rci_request version=\"1.1\"><query_state/></rci_request>";
    const std::string data = "<rci_reply><pin1>asserted</pin1></rci_reply>";
    char size[8];
    std::snprintf(size, sizeof size, "%03zx\r\n", data.size());
    HttpServer server({Exchange{{ChunkedHead, size + data + "\r\n", "0\r\n\r\n"}}});
    Post(body, &server);

    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], Head(body.size()) + body);
    EXPECT_EQ(ReadFile("logfilex.txt"), Head(body.size()) + "\r\n" + body + "\r\n\r\n" +
                                            ChunkedHead + "\r\n" + data + "\r\n" + "\r\n");
    EXPECT_EQ(Reply(), data);
    EXPECT_TRUE(form->Timer4.Enabled());
    EXPECT_EQ(Status(), "R-Vex test"); // success leaves the caller's text
}

TEST_F(RciClient, AnEmptyRequestFileSendsAHeadWithoutContentLengthAndNoBody) {
    HttpServer server({Exchange{{ChunkedHead, "002\r\nok\r\n0\r\n\r\n"}}});
    Post("", &server);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], Head(0));
    EXPECT_EQ(server.Requests()[0].find("Content-Length"), std::string::npos);
    EXPECT_EQ(ReadFile("logfilex.txt"),
              Head(0) + "\r\n" + "\r\n\r\n" + ChunkedHead + "\r\nok\r\n\r\n");
    EXPECT_EQ(Reply(), "ok");
}

TEST_F(RciClient, AFileOf1500BytesIsSentAndOneOf1501IsRefusedWithoutConnecting) {
    HttpServer server({Exchange{{ChunkedHead, "0\r\n\r\n"}}});
    Post(std::string(1500, 'x'), &server);
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0], Head(1500) + std::string(1500, 'x'));
    EXPECT_EQ(Status(), "R-Vex test");

    Fd listener = Listen();
    tool::RciPort = LocalPort(listener.Get());
    WriteFile("request.txt", std::string(1501, 'x'));
    Send("request.txt", nullptr);
    EXPECT_EQ(Status(), "Error, maximum RCI request that can be made is 1500 bytes!\n");
    EXPECT_FALSE(Readable(listener.Get(), 0)) << "no connection waits";
}

TEST_F(RciClient, AMissingFileIsReportedByNameBeforeAnythingElse) {
    Fd listener = Listen();
    tool::RciPort = LocalPort(listener.Get());
    WriteFile("logfilex.txt", "earlier exchange");
    Send("set_pin9.txt", nullptr);
    EXPECT_EQ(Status(), "Unable to open file: set_pin9.txt\n");
    EXPECT_FALSE(Readable(listener.Get(), 0)) << "no connection waits";
    EXPECT_EQ(ReadFile("logfilex.txt"), "earlier exchange");
    EXPECT_FALSE(form->Timer4.Enabled());
}

TEST_F(RciClient, ARefusedConnectionShowsAddressPortAnd10061) {
    RefusingPort refusing;
    tool::RciPort = refusing.Port();
    WriteFile("request.txt", "<rci_request/>");
    Send("request.txt", nullptr);
    EXPECT_EQ(Status(), "Connection Failed to 127.0.0.1:" + std::to_string(refusing.Port()) +
                            " error: 10061\n");
}

TEST_F(RciClient, AnAddressThatDoesNotConvertFailsAtTheConnectionWithoutLeavingTheHost) {
    form->Edit4.SetText("xxx.xxx.xxx.xxx");
    tool::RciPort = 70000; // out of range: the default port is used
    Post("<rci_request/>");
    EXPECT_EQ(Status(), "Connection Failed to 255.255.255.255:80 error: 10049\n");
}

TEST_F(RciClient, AConnectionAttemptThatGetsNoAnswerEndsWithATimeOut) {
    tool::RciLimits.ConnectMs = 100;
    Fd listener = Listen(0);
    const uint16_t port = LocalPort(listener.Get());
    // The one-place queue is now full, so the client's handshake is not answered.
    Fd filler = Connect(port);
    ASSERT_TRUE(filler);
    tool::RciPort = port;
    WriteFile("request.txt", "<rci_request/>");
    Send("request.txt", nullptr);
    EXPECT_EQ(Status(),
              "Connection Failed to 127.0.0.1:" + std::to_string(port) + " error: 10060\n");
}

TEST_F(RciClient, AServerThatHangsEndsTheExchangeWithATimeOutAfterTheReceiveLimit) {
    tool::RciLimits.ReceiveMs = 100;
    {
        HttpServer server({Exchange{{}, true}});
        Post("<rci_request/>", &server);
        EXPECT_EQ(Status(), "Socket Error: 10060\n");
        EXPECT_FALSE(form->Timer4.Enabled());
    }
    {
        HttpServer server({Exchange{{ChunkedHead, "00a\r\n<pin1>a"}, true}});
        Post("<rci_request/>", &server);
        EXPECT_EQ(Status(), "Error recieving main data chunk!\nError code: 10060\n");
        EXPECT_EQ(Reply(), "<pin1>a"); // what arrived is kept
        EXPECT_TRUE(form->Timer4.Enabled());
        std::string log = ReadFile("logfilex.txt");
        EXPECT_EQ(log.substr(log.size() - 11), "\r\n<pin1>a\r\n");
    }
}

TEST_F(RciClient, TheExchangeLimitBoundsTheWholeReply) {
    tool::RciLimits.ReceiveMs = 1000;
    tool::RciLimits.ExchangeMs = 150;
    std::vector<std::string> pieces = {ChunkedHead, "fff\r\n"};
    HttpServer server({Exchange{pieces, true}});
    Post("<rci_request/>", &server);
    EXPECT_EQ(Status(), "Error recieving main data chunk!\nError code: 10060\n");
}

TEST_F(RciClient, APeerThatClosesEndsTheRequestWithoutAReport) {
    std::strcpy(form->RciReply, "earlier reply");
    {
        HttpServer server({Exchange{{}, false, true}}); // reads the request, then closes
        Post("<rci_request/>", &server);
        EXPECT_EQ(Status(), "R-Vex test");
        EXPECT_EQ(Reply(), "earlier reply");
        EXPECT_FALSE(form->Timer4.Enabled());
    }
    {
        HttpServer server({Exchange{{ChunkedHead, "010\r\n<pin2>u"}, false, true}});
        Post("<rci_request/>", &server);
        EXPECT_EQ(Status(), "R-Vex test");
        EXPECT_EQ(Reply(), "<pin2>u");
        EXPECT_TRUE(form->Timer4.Enabled());
    }
}

// Replies as the network may cut them; each must leave its whole decoded body.
struct ReplyCase {
    const char* name;
    std::vector<std::string> pieces;
    std::string body; // expected RciReply
    bool serverCloses = false;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<ReplyCase> ReplyCases() {
    std::string big(500, 'b');
    std::string huge(5000, 'h');
    char hugeSize[16];
    std::snprintf(hugeSize, sizeof hugeSize, "%zx\r\n", huge.size());
    return {
        {"OneChunk", {ChunkedHead + "005\r\nhello\r\n0\r\n\r\n"}, "hello"},
        {"SeveralChunks",
         {ChunkedHead, "003\r\nabc\r\n", "1f4\r\n" + big + "\r\n", "002\r\nyz\r\n", "0\r\n\r\n"},
         "abc" + big + "yz"},
        {"SizesOfAnyLengthAndExtensions",
         {ChunkedHead, "3;name=value\r\nabc\r\nA \r\n0123456789\r\n0000\r\n\r\n"},
         "abc0123456789"},
        {"HeadInSeveralPieces",
         {"HTTP/1.1 200 OK\r\nTransfer-", "Encoding: chunked\r", "\n\r\n5\r\nhel",
          "lo\r\n0\r\n\r\n"},
         "hello"},
        {"ContentLength", {"HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\n", "<pin3>"}, "<pin3>"},
        {"UntilClose",
         {"HTTP/1.0 200 OK\r\n\r\n", "part one ", "part two"},
         "part one part two",
         true},
        {"InterimHeadFirst",
         {"HTTP/1.1 100 Continue\r\n\r\n", ChunkedHead + "2\r\nok\r\n0\r\n\r\n"},
         "ok"},
        {"CutAt3999Characters",
         {ChunkedHead, hugeSize + huge + "\r\n0\r\n\r\n"},
         std::string(3999, 'h')},
        {"CutAtAZeroByte", {ChunkedHead, std::string("7\r\nabc\0def\r\n0\r\n\r\n", 17)}, "abc"},
        {"SizeLineThatIsNotHexEndsTheReply", {ChunkedHead, "2\r\nok\r\nzz\r\nlost\r\n"}, "ok"},
    };
}

class RciReplies : public RciClient, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(RciReplies, RciReplyHoldsTheWholeDecodedBody) {
    HttpServer server({Exchange{GetParam().pieces, false, GetParam().serverCloses}});
    Post("<rci_request/>", &server);
    EXPECT_EQ(Reply(), GetParam().body);
    EXPECT_TRUE(form->Timer4.Enabled());
    EXPECT_EQ(Status(), "R-Vex test");
}

INSTANTIATE_TEST_SUITE_P(Cases, RciReplies, ::testing::ValuesIn(ReplyCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RciClient, EachChunkIsLoggedWithItsClosingLineBreakAndOneMore) {
    HttpServer server({Exchange{
        {ChunkedHead, "003\r\nabc\r\n", "1f4\r\n" + std::string(500, 'b') + "\r\n0\r\n\r\n"}}});
    Post("q", &server);
    EXPECT_EQ(ReadFile("logfilex.txt"), Head(1) + "\r\nq\r\n\r\n" + ChunkedHead + "\r\n" +
                                            "abc\r\n\r\n" + std::string(500, 'b') + "\r\n\r\n");
}

TEST_F(RciClient, AReplyWithoutBodyKeepsTheEarlierReplyAndLeavesTimer4Off) {
    std::strcpy(form->RciReply, "earlier reply");
    HttpServer server({Exchange{{ChunkedHead + "0\r\n\r\n"}}});
    Post("<rci_request/>", &server);
    EXPECT_EQ(Reply(), "earlier reply");
    EXPECT_FALSE(form->Timer4.Enabled());
}

struct RefusalCase {
    const char* statusLine;
    const char* shown;
};

class RciRefusals : public RciClient, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RciRefusals, AStatusOtherThan2xxIsAFailureWithoutTheStatusRead) {
    std::strcpy(form->RciReply, "earlier reply");
    std::string head = std::string(GetParam().statusLine) +
                       "\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    HttpServer server({Exchange{{head + "5\r\noops!\r\n0\r\n\r\n"}}});
    Post("<rci_request/>", &server);
    EXPECT_EQ(Status(), "Request refused by 127.0.0.1:" + std::to_string(server.Port()) +
                            ": HTTP " + GetParam().shown);
    EXPECT_FALSE(form->Timer4.Enabled());
    EXPECT_EQ(Reply(), "earlier reply");
    // Logged as any exchange.
    EXPECT_EQ(ReadFile("logfilex.txt"),
              Head(14) + "\r\n<rci_request/>\r\n\r\n" + head + "\r\noops!\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RciRefusals,
    ::testing::Values(RefusalCase{"HTTP/1.1 401 Unauthorized", "401 Unauthorized"},
                      RefusalCase{"HTTP/1.1 404 Not Found", "404 Not Found"},
                      RefusalCase{"HTTP/1.1 500 Internal Server Error",
                                  "500 Internal Server Error"},
                      RefusalCase{"HTTP/1.0 503", "503"}),
    [](const auto& info) { return "Status" + std::string(info.param.shown).substr(0, 3); });

// ---- the socket boundary

TEST(RciSocket, SendAllKeepsSendingWhenTheSystemTakesOnlyPartOfTheData) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    int small = 4096;
    ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ::fcntl(pair[0], F_SETFL, O_NONBLOCK);
    std::string data(1 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    std::string got;
    std::thread reader([&] {
        char buffer[1000];
        for (int i = 0; i < 100000 && got.size() < data.size(); ++i) {
            ssize_t n = ::recv(pair[1], buffer, sizeof buffer, 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
    });
    tool::RciSocket socket(pair[0]);
    size_t sent = 0;
    EXPECT_EQ(socket.SendAll(data.data(), data.size(), sent, 5000), 0);
    EXPECT_EQ(sent, data.size());
    reader.join();
    EXPECT_TRUE(got == data);
    ::close(pair[1]);
}

TEST(RciSocket, ErrnoValuesBecomeTheSocketLibraryNumbers) {
    const std::pair<int, int> rows[] = {
        {ECONNREFUSED, 10061}, {ECONNRESET, 10054},  {ETIMEDOUT, 10060},
        {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {EWOULDBLOCK, 10035},
        {EPIPE, 10054},        {EMFILE, 10024},      {EIO, EIO}};
    for (auto [errnoValue, number] : rows)
        EXPECT_EQ(port::TranslateSocketError(errnoValue), number) << errnoValue;
}

} // namespace
