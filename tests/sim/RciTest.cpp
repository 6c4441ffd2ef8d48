// The LAN module's RCI service: Base64, the XML reader, documents, HTTP.
#include "Base64.h"
#include "RciDocument.h"
#include "RciHttp.h"
#include "Xml.h"

#include <gtest/gtest.h>

namespace {

TEST(Base64, EncodesAndDecodes) {
    struct Case {
        std::string plain, encoded;
    } cases[] = {
        {"root:wqzk", "cm9vdDp3cXpr"}, {"a", "YQ=="}, {"ab", "YWI="}, {"abc", "YWJj"}, {"", ""},
        {"\xff\xfe", "//4="}};
    for (const Case& c : cases) {
        EXPECT_EQ(sim::Base64Encode(c.plain), c.encoded);
        EXPECT_EQ(sim::Base64Decode(c.encoded), c.plain);
    }
    for (const char* bad : {"YQ=", "Y===", "cm9v*Dp3", "YQ==YQ==", "=QQQ", "YW=j"}) {
        EXPECT_FALSE(sim::Base64Decode(bad)) << bad;
    }
}

TEST(Xml, ReadsWhatRciDocumentsUse) {
    auto parsed = sim::ParseXml("<?xml version=\"1.0\"?>\r\n<!-- c --><a x='1' y=\"&lt;2&gt;\"> "
                                "t&amp;u <b/><c>v</c></a>\n");
    ASSERT_TRUE(std::holds_alternative<sim::XmlElement>(parsed));
    const auto& a = std::get<sim::XmlElement>(parsed);
    EXPECT_EQ(a.name, "a");
    ASSERT_EQ(a.attributes.size(), 2u);
    EXPECT_EQ(a.attributes[1].second, "<2>");
    EXPECT_EQ(a.text, " t&u ");
    ASSERT_EQ(a.children.size(), 2u);
    EXPECT_EQ(a.children[1].text, "v");
}

TEST(Xml, RefusesWhatIsNotWellFormed) {
    for (const char* bad : {"", "text", "<a>", "<a></b>", "<a x=1/>", "<a>&bogus;</a>", "<a/><b/>",
                            "<!DOCTYPE a><a/>", "<a><![CDATA[x]]></a>", "<a x='1>"}) {
        EXPECT_TRUE(std::holds_alternative<sim::XmlError>(sim::ParseXml(bad))) << bad;
    }
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "<a>";
    EXPECT_TRUE(std::holds_alternative<sim::XmlError>(sim::ParseXml(deep)));
}

TEST(RciDocument, SetsClearsAndQueriesThePins) {
    sim::Pins pins{false, false, true};
    auto set =
        sim::RunRciDocument("<rci_request version=\"1.1\"><set_state><gpio><pin1>asserted</pin1>"
                            "<pin3> Unasserted </pin3></gpio></set_state></rci_request>",
                            pins);
    EXPECT_EQ(pins, (sim::Pins{true, false, false}));
    EXPECT_NE(set.reply.find("<pin1>asserted</pin1><pin3>unasserted</pin3>"), std::string::npos);
    EXPECT_FALSE(set.reboot);

    auto query =
        sim::RunRciDocument("<rci_request><query_state><gpio/></query_state></rci_request>", pins);
    EXPECT_NE(query.reply.find("<pin1>asserted</pin1><pin2>unasserted</pin2><pin3>unasserted"),
              std::string::npos)
        << query.reply;
    EXPECT_GT(query.reply.find("<pin1>"),
              10u); // the tool ignores a tag ending within 10 characters

    auto reboot = sim::RunRciDocument("<rci_request><reboot/></rci_request>", pins);
    EXPECT_TRUE(reboot.reboot);
}

TEST(RciDocument, InvalidDocumentsChangeNothing) {
    const char* bad[] = {
        "",
        "  \r\n",
        "<rci_request><set_state><gpio><pin1>asserted</pin1></gpio></set_state>",
        "<rci_reply><reboot/></rci_reply>",
        "<rci_request/>",
        "<rci_request><do_command/></rci_request>",
        "<rci_request><set_state><gpio><pin4>asserted</pin4></gpio></set_state></rci_request>",
        "<rci_request><set_state><gpio><pin2>on</pin2></gpio></set_state></rci_request>",
        "<rci_request><set_state><gpio/></set_state></rci_request>",
        "<rci_request><set_state/></rci_request>",
        // A valid first command does not run when a later one is wrong.
        "<rci_request><set_state><gpio><pin1>asserted</pin1></gpio></set_state>"
        "<set_state><gpio><pin9>asserted</pin9></gpio></set_state></rci_request>",
        "<rci_request><set_state><gpio><pin1>asserted</pin1></gpio></set_state><bogus/></"
        "rci_request>",
    };
    for (const char* doc : bad) {
        sim::Pins pins{false, false, true};
        auto out = sim::RunRciDocument(doc, pins);
        EXPECT_EQ(pins, (sim::Pins{false, false, true})) << doc;
        EXPECT_NE(out.reply.find("<error"), std::string::npos) << doc;
        EXPECT_FALSE(out.reboot);
    }
}

// The head the tool's RCI client sends, bare line included.
std::string ToolHead(std::size_t length, const std::string& credentials = "cm9vdDp3cXpr") {
    std::string head = "POST /UE/rci HTTP/1.1\r\ntext/html, image/gif, image/jpef\r\n"
                       "Accept-Language: en-us\r\nUser-Agent: httpRCI\r\nHost: 127.0.0.1\r\n"
                       "Connection: Keep-Alive\r\nAuthorization: Basic " +
                       credentials + "\r\n";
    if (length > 0) head += "Content-Length: " + std::to_string(length) + "\r\n";
    return head + "\r\n";
}

sim::HttpRequestReader::State FeedAll(sim::HttpRequestReader& reader, const std::string& text,
                                      std::size_t piece) {
    auto state = sim::HttpRequestReader::State::Incomplete;
    for (std::size_t i = 0; i < text.size(); i += piece) {
        std::string part = text.substr(i, piece);
        state =
            reader.Feed(std::span(reinterpret_cast<const std::uint8_t*>(part.data()), part.size()));
    }
    return state;
}

TEST(HttpRequestReader, ReadsTheToolsRequestInAnyPieces) {
    const std::string body = "<rci_request><query_state/></rci_request>";
    for (std::size_t piece : {1u, 7u, 4096u}) {
        sim::HttpRequestReader reader;
        EXPECT_EQ(FeedAll(reader, ToolHead(body.size()) + body, piece),
                  sim::HttpRequestReader::State::Complete);
        EXPECT_EQ(reader.Request().method, "POST");
        EXPECT_EQ(reader.Request().target, "/UE/rci");
        EXPECT_EQ(reader.Request().body, body);
        EXPECT_EQ(reader.Request().Header("user-agent"), "httpRCI");
    }
    sim::HttpRequestReader empty; // an empty request file: no Content-Length line
    EXPECT_EQ(FeedAll(empty, ToolHead(0), 4096), sim::HttpRequestReader::State::Complete);
    EXPECT_EQ(empty.Request().body, "");
}

TEST(HttpRequestReader, RefusesWhatItCannotRead) {
    struct Case {
        std::string request;
        int status;
    } cases[] = {
        {"GARBAGE\r\n\r\n", 400},
        {"POST /UE/rci HTTP/1.1\r\nContent-Length: 12x\r\n\r\n", 400},
        {"POST /UE/rci HTTP/1.1\r\nContent-Length: 70000\r\n\r\n", 413},
        {"POST /UE/rci HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"POST /UE/rci HTTP/1.1\r\nX: " + std::string(9000, 'x') + "\r\n\r\n", 431},
        {"POST /UE/rci HTTP/1.1\r\nX: " + std::string(9000, 'x'), 431},
    };
    for (const Case& c : cases) {
        sim::HttpRequestReader reader;
        EXPECT_EQ(FeedAll(reader, c.request, 1000), sim::HttpRequestReader::State::Bad);
        EXPECT_EQ(reader.BadStatus(), c.status) << c.request.substr(0, 60);
    }
}

TEST(AnswerRci, ChecksResourceMethodAndCredentials) {
    struct Case {
        std::string method, target, authorization;
        int status;
    } cases[] = {
        {"POST", "/UE/rci", "Basic cm9vdDp3cXpr", 200},
        {"POST", "/UE/rci", "basic  cm9vdDp3cXpr ", 200},
        {"POST", "/UE/rci", "", 401},
        {"POST", "/UE/rci", "Basic " + sim::Base64Encode("root:wqzK"), 401},
        {"POST", "/UE/rci", "Basic " + sim::Base64Encode("admin:wqzk"), 401},
        {"POST", "/UE/rci", "Basic !!!!", 401},
        {"POST", "/UE/rci", "Bearer cm9vdDp3cXpr", 401},
        {"GET", "/UE/rci", "Basic cm9vdDp3cXpr", 405},
        {"POST", "/", "Basic cm9vdDp3cXpr", 404},
    };
    for (const Case& c : cases) {
        sim::HttpRequest request{c.method,
                                 c.target,
                                 {},
                                 "<rci_request><set_state><gpio>"
                                 "<pin2>asserted</pin2></gpio></set_state>"
                                 "</rci_request>"};
        if (!c.authorization.empty())
            request.headers.emplace_back("Authorization", c.authorization);
        sim::Pins pins;
        sim::HttpReply reply = sim::AnswerRci(request, pins);
        EXPECT_EQ(reply.status, c.status) << c.method << " " << c.target << " " << c.authorization;
        EXPECT_TRUE(reply.head.starts_with("HTTP/1.1 " + std::to_string(c.status) + " "));
        EXPECT_TRUE(reply.head.ends_with("\r\n\r\n"));
        EXPECT_NE(reply.head.find("Transfer-Encoding: chunked\r\n"), std::string::npos);
        EXPECT_EQ(pins.config, c.status == 200);
        if (c.status == 401) {
            EXPECT_NE(reply.head.find("WWW-Authenticate: Basic"), std::string::npos);
        }
    }
}

TEST(ChunkedBody, SizeLinesHaveThreeHexDigits) {
    EXPECT_EQ(sim::ChunkedBody(""), "0\r\n\r\n");
    EXPECT_EQ(sim::ChunkedBody("abc"), "003\r\nabc\r\n0\r\n\r\n");
    std::string five(500, 'x');
    EXPECT_EQ(sim::ChunkedBody(five), "1f4\r\n" + five + "\r\n0\r\n\r\n");
    std::string big(5000, 'y');
    EXPECT_EQ(sim::ChunkedBody(big),
              "fff\r\n" + big.substr(0, 4095) + "\r\n389\r\n" + big.substr(4095) + "\r\n0\r\n\r\n");
}

} // namespace
