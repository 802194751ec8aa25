// Routing of the Oskin REST server, its fixed error replies and the API
// version of the query.

#include "OskinTestSupport.h"

#include <Logger/LogClient.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace tvo {
namespace {

using namespace oskintest;
using ::testing::Return;
using ::testing::StrictMock;
using ::testing::Throw;

std::string Message(const std::string& reply) {
    return Json(reply).at("message").as_string();
}

std::string Envelope(const char* type) {
    return std::string(R"({"msg_type":")") + type + "\"}";
}

class OskinDispatch : public ::testing::Test {
protected:
    StrictMock<MockCameraHost> host;
    std::unique_ptr<OskinRestServerImpl> server = MakeServer(&host);
};

TEST_F(OskinDispatch, EachRouteReachesItsHandlerUnderItsOwnMethodOnly) {
    EXPECT_CALL(host, OnConnectionReady());
    EXPECT_CALL(host, GetCameraConfigUri()).WillOnce(Return("http://127.0.0.1/c.json"));
    EXPECT_CALL(host, GetCameraCapabilities()).WillOnce(Return(std::vector<OskinDockCallbackIF::Capability>{}));
    EXPECT_CALL(host, IsUsbDeviceProvisioned()).WillOnce(Return(true));
    EXPECT_CALL(host, GetProvisioningStatus()).WillOnce(Return(OskinDockCallbackIF::ProvisioningStatus{}));

    const char* puts[] = {"say_hello", "connection_ready"};
    for (const char* type : puts) {
        EXPECT_EQ(server->ProcessPUT(type, Envelope(type)).first, HttpServer::OK) << type;
    }
    rest::SetServerInfoElement pushed;
    pushed.server_port = 443;
    EXPECT_EQ(server->ProcessPUT("set_server_info?api-version=1.1", pushed.ToJson().serialize()).first, HttpServer::OK);
    for (const char* type : {"get_camera_config", "get_camera_capabilities", "usb_device_status"}) {
        EXPECT_EQ(server->ProcessGET(type, Envelope(type)).first, HttpServer::OK) << type;
        // The other method's map does not know the GET routes, and the reverse.
        EXPECT_EQ(server->ProcessPUT(type, Envelope(type)).first, HttpServer::NotFound) << type;
    }
    // Unknown paths are refused before the body is looked at.
    for (const char* uri : {"say_hello", "set_server_info", "", "?api-version=1", "a/b", "SAY_HELLO"}) {
        const auto reply = server->ProcessGET(uri, "not json");
        EXPECT_EQ(reply.first, HttpServer::NotFound) << uri;
        EXPECT_EQ(Json(reply.second).at("status_code").as_integer(), 404);
        EXPECT_EQ(Message(reply.second), "Unsupported message type " + HttpServer::getUriPath(uri));
    }
}

TEST_F(OskinDispatch, BodyNamingAnotherMessageTypeIs400WithBothNames) {
    ScopedLogCapture capture;
    const auto reply = server->ProcessPUT("say_hello", Envelope("connection_ready"));
    EXPECT_EQ(reply.first, HttpServer::BadRequest);
    const std::string expected =
        "message type mismatch : uri message type [say_hello] , body message type [connection_ready]";
    EXPECT_EQ(Message(reply.second), expected);
    EXPECT_EQ(Json(reply.second).at("status_code").as_integer(), 400);
    EXPECT_TRUE(capture.Sink().Contains(expected));
    // The comparison is exact: case differs, so no match.
    EXPECT_EQ(server->ProcessPUT("say_hello", Envelope("Say_Hello")).first, HttpServer::BadRequest);
}

TEST_F(OskinDispatch, UnreadableBodiesAre400NamingTheBodyNotTheParserError) {
    ScopedLogCapture capture;
    for (const std::string& body : std::vector<std::string>{
             std::string("hello"), std::string(""), std::string(R"({"msg_type":)"), std::string(R"(["say_hello"])"),
             std::string(R"("say_hello")"), std::string(R"({"version":"1"})"), std::string(R"({"msg_type":1})"),
             std::string(R"({"msg_type":null})"), std::string(R"({"x":{"msg_type":"say_hello"}})")}) {
        const auto reply = server->ProcessPUT("say_hello", body);
        EXPECT_EQ(reply.first, HttpServer::BadRequest) << body;
        EXPECT_EQ(Message(reply.second), "Invalid message body " + body);
    }
    // The log line carries the reason as well.
    EXPECT_TRUE(capture.Sink().Contains("Invalid message body {\"version\":\"1\"} : Key not found"));
}

TEST_F(OskinDispatch, ErrorRepliesEchoingNonUtf8BytesAreStillJson) {
    const std::pair<std::string, std::string> requests[] = {
        {"say_hello", "\xff\xff"},
        {"say\xff\xfe_hello", "{}"},
        {"say_hello", R"({"msg_type":"say_hello\xc0"})"},
    };
    for (const auto& [uri, body] : requests) {
        const auto reply = server->ProcessPUT(uri, body);
        EXPECT_NE(reply.first, HttpServer::OK);
        EXPECT_NO_THROW(web::json::value::parse(reply.second)) << reply.second;
    }
}

// Found by fuzzing: connection_ready echoes the sender's header.
TEST_F(OskinDispatch, RepliesEchoingTheSendersHeaderAreStillJson) {
    EXPECT_CALL(host, OnConnectionReady());
    const auto reply = server->ProcessPUT(
        "connection_ready", "{\"msg_type\":\"connection_ready\",\"message-header\":{\"mac_id\":\"00:11:22\x9c\"}}");
    EXPECT_EQ(reply.first, HttpServer::OK);
    EXPECT_EQ(web::json::value::parse(reply.second).at("message-header").at("mac_id").as_string(),
              "00:11:22\xEF\xBF\xBD");
}

TEST_F(OskinDispatch, ExceptionFromTheHostBecomes400) {
    EXPECT_CALL(host, GetCameraConfigUri()).WillOnce(Throw(std::runtime_error("disk gone")));
    const auto reply = server->ProcessGET("get_camera_config", Envelope("get_camera_config"));
    EXPECT_EQ(reply.first, HttpServer::BadRequest);
    EXPECT_EQ(Message(reply.second), "Invalid message body " + Envelope("get_camera_config"));
}

TEST_F(OskinDispatch, DeeplyNestedBodyIsRefusedNotRecursedInto) {
    const std::string deep =
        R"({"msg_type":"say_hello","x":)" + std::string(100000, '[') + std::string(100000, ']') + "}";
    EXPECT_EQ(server->ProcessPUT("say_hello", deep).first, HttpServer::BadRequest);
}

// ---- API version ----

class OskinApiVersion : public OskinDispatch {
protected:
    using Version = OskinRestServerImpl::ApiVersion;
    Version Parse(const std::string& uri) { return server->GetApiVersion(uri); }
};

TEST_F(OskinApiVersion, UsableVersionsGiveMajorAndMinor) {
    EXPECT_EQ(Parse("say_hello?api-version=2"), Version({2, 0}));
    EXPECT_EQ(Parse("say_hello?api-version=1.1"), Version({1, 1}));
    EXPECT_EQ(Parse("say_hello?api-version=10.25"), Version({10, 25}));
    EXPECT_EQ(Parse("?api-version=3.4"), Version({3, 4}));
    // The first matching piece wins.
    EXPECT_EQ(Parse("x?foo=1&api-version=3.4&api-version=5"), Version({3, 4}));
    // Read like stoul: leading blanks and a sign, trailing junk ignored.
    EXPECT_EQ(Parse("x?api-version= 7.8beta"), Version({7, 8}));
    EXPECT_EQ(Parse("x?api-version=+1.2"), Version({1, 2}));
    // Numbers beyond 32 bits keep their low 32 bits.
    EXPECT_EQ(Parse("x?api-version=4294967297.4294967296"), Version({1, 0}));
}

TEST_F(OskinApiVersion, MissingVersionsGiveNothingWithADebugLine) {
    ScopedLogCapture capture;
    for (const char* uri : {"say_hello", "say_hello?", "say_hello?version=1", "say_hello?API-VERSION=1",
                            "say_hello?xapi-version=1", "say_hello?&&"}) {
        EXPECT_EQ(Parse(uri), std::nullopt) << uri;
    }
    for (const auto& line : capture.Sink().Lines()) {
        EXPECT_EQ(line.level, LogLevel::Detail) << line.text;
    }
    EXPECT_TRUE(capture.Sink().Contains("query portion is empty in say_hello"));
    EXPECT_TRUE(capture.Sink().Contains("Could not find api-version in version=1"));
}

TEST_F(OskinApiVersion, MalformedVersionsGiveNothingWithAWarning) {
    for (const std::string& value :
         std::vector<std::string>{"", "1.2.3", "x", "a.b", "1.", ".1", "1.x", "-", "99999999999999999999999",
                                  "1.99999999999999999999999", "1..2"}) {
        ScopedLogCapture capture;
        EXPECT_EQ(Parse("say_hello?api-version=" + value), std::nullopt) << value;
        const auto lines = capture.Sink().Lines();
        ASSERT_FALSE(lines.empty()) << value;
        EXPECT_EQ(lines.back().level, LogLevel::Warning);
        EXPECT_EQ(lines.back().text, "Invalid api-version [" + value + "], treating api-version as not specified");
    }
}

// ---- construction ----

TEST(OskinRestServer, RefusesAHostOfThePlainKindBeforeListening) {
    PlainHost plain;
    const DockSim::InMemoryNetwork network;
    const auto endpoint = MemoryEndpoint(network);
    const auto transport = MemoryTransport(network);
    ScopedLogCapture capture;
    try {
        OskinRestServerImpl refused(&plain, endpoint, transport);
        FAIL() << "constructed";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Invalid OskinDockCallbackIF");
    }
    EXPECT_TRUE(capture.Sink().Contains("Invalid OskinDockCallbackIF"));
    // Nothing was left listening on the port.
    EXPECT_NO_THROW(OskinRestServerImpl(nullptr, endpoint, transport));
}

TEST(OskinRestServer, ASecondServerOnTheSamePortCannotStartAndTheFirstFreesIt) {
    const DockSim::InMemoryNetwork network;
    const auto endpoint = MemoryEndpoint(network);
    const auto transport = MemoryTransport(network);
    {
        OskinRestServerImpl first(nullptr, endpoint, transport);
        EXPECT_THROW(OskinRestServerImpl(nullptr, endpoint, transport), std::exception);
    }
    EXPECT_NO_THROW(OskinRestServerImpl(nullptr, endpoint, transport));
}

}  // namespace
}  // namespace tvo
