// The six handlers answered through a mocked camera host, and the tenant
// decision on pushed server information.

#include "OskinTestSupport.h"

#include <Logger/LogClient.h>

#include <gtest/gtest.h>

namespace tvo {
namespace {

using namespace oskintest;
using ::testing::Return;
using ::testing::StrictMock;
using Status = OskinDockCallbackIF::ProvisioningStatus;

std::string Envelope(const char* type) {
    return std::string(R"({"msg_type":")") + type + "\"}";
}

std::string Push(const std::string& tenant) {
    rest::SetServerInfoElement info;
    info.dns_ip = "10.0.0.53";
    info.server_url_type = "HOSTNAME";
    info.server_primary_url = "evidence.example";
    info.server_port = 443;
    info.tenant_id = tenant;
    info.room_description = "Room";
    info.station_id = "Station";
    return info.ToJson().serialize();
}

class OskinHandlers : public ::testing::Test {
protected:
    StrictMock<MockCameraHost> host;
    std::unique_ptr<OskinRestServerImpl> server = MakeServer(&host);
};

TEST(OskinHandlersWithoutHost, SayHelloIsAnsweredAndEverythingElseIs500) {
    auto server = MakeServer(nullptr);
    const auto hello = server->ProcessPUT("say_hello", R"({"msg_type":"say_hello","version":"9.9"})");
    ASSERT_EQ(hello.first, HttpServer::OK);
    const auto reply = Json(hello.second);
    EXPECT_EQ(reply.at("msg_type").as_string(), "say_hello");
    EXPECT_EQ(reply.at("api_version").as_string(), "1.1");
    EXPECT_TRUE(reply.at("version").is_string());

    server->SetBackendServerInfo(rest::SetServerInfoElement{});
    const std::pair<const char*, bool> others[] = {{"connection_ready", true},
                                                   {"set_server_info", true},
                                                   {"get_camera_config", false},
                                                   {"get_camera_capabilities", false},
                                                   {"usb_device_status", false}};
    for (const auto& [type, put] : others) {
        const auto body = std::string(type) == "set_server_info" ? Push(kTenant) : Envelope(type);
        const auto answer = put ? server->ProcessPUT(type, body) : server->ProcessGET(type, body);
        EXPECT_EQ(answer.first, HttpServer::InternalError) << type;
        EXPECT_EQ(Json(answer.second).at("message").as_string(), "DockCallbackIF not initialized") << type;
    }
    // Without a host the store is not touched.
    EXPECT_TRUE(server->GetBackendServerInfo().has_value());
}

TEST_F(OskinHandlers, ConnectionReadyTellsTheHostAndEchoesTheHeader) {
    EXPECT_CALL(host, OnConnectionReady());
    const auto reply = server->ProcessPUT(
        "connection_ready", R"({"msg_type":"connection_ready","message-header":{"serial_number":"SN-7"}})");
    ASSERT_EQ(reply.first, HttpServer::OK);
    const auto body = Json(reply.second);
    EXPECT_EQ(body.at("msg_type").as_string(), "connection_ready");
    const auto& header = body.at("message-header");
    EXPECT_EQ(header.at("serial_number").as_string(), "SN-7");
    EXPECT_EQ(header.at("ip_addr").as_string(), "");
    EXPECT_EQ(header.at("mac_id").as_string(), "");
    EXPECT_EQ(header.at("port_number").as_integer(), 0);
}

TEST_F(OskinHandlers, CameraConfigNamesTheHostsUriOr500WhenThereIsNone) {
    EXPECT_CALL(host, GetCameraConfigUri()).WillOnce(Return("http://127.0.0.1/cfg.json")).WillOnce(Return(""));
    const auto found = server->ProcessGET("get_camera_config", Envelope("get_camera_config"));
    ASSERT_EQ(found.first, HttpServer::OK);
    EXPECT_EQ(Json(found.second).at("msg_type").as_string(), "get_camera_config_response");
    EXPECT_EQ(Json(found.second).at("uri").as_string(), "http://127.0.0.1/cfg.json");

    const auto missing = server->ProcessGET("get_camera_config", Envelope("get_camera_config"));
    EXPECT_EQ(missing.first, HttpServer::InternalError);
    EXPECT_EQ(Json(missing.second).at("message").as_string(), "Failed to get uri for device config");
}

TEST_F(OskinHandlers, CapabilitiesKeepTheHostsOrderAndOptions) {
    EXPECT_CALL(host, GetCameraCapabilities())
        .WillOnce(Return(std::vector<OskinDockCallbackIF::Capability>{{"zoom", {{"max", "4x"}}}, {"audio", {}}}));
    const auto reply = server->ProcessGET("get_camera_capabilities", Envelope("get_camera_capabilities"));
    ASSERT_EQ(reply.first, HttpServer::OK);
    const auto body = Json(reply.second);
    EXPECT_EQ(body.at("msg_type").as_string(), "camera_capabilities");
    const auto& list = body.at("capabilities").as_array();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0).at("name").as_string(), "zoom");
    EXPECT_EQ(list.at(0).at("options").size(), 1u);
    EXPECT_EQ(list.at(0).at("options").at("max").as_string(), "4x");
    EXPECT_EQ(list.at(1).at("name").as_string(), "audio");
    EXPECT_TRUE(list.at(1).at("options").is_object());
    EXPECT_EQ(list.at(1).at("options").size(), 0u);
}

// ---- the tenant decision ----

struct TenantCase {
    const char* name;
    Status status;
    std::string requested;
    HttpServer::StatusCode code;
    const char* outcome;  // "new", "same" or the error message
};

TEST_F(OskinHandlers, TenantDecision) {
    const std::string upper = "6F1C2A9E-3B4D-4E5F-8A7B-9C0D1E2F3A4B";
    const TenantCase cases[] = {
        {"unprovisioned, any tenant", {false, "", kTenant}, kOtherTenant, HttpServer::OK, "new"},
        {"unprovisioned, empty tenant", {false, "", ""}, "", HttpServer::OK, "new"},
        {"unprovisioned, junk tenant", {false, "", ""}, "junk", HttpServer::OK, "new"},
        {"match", {true, "", kTenant}, kTenant, HttpServer::OK, "same"},
        {"match apart from a trailing blank", {true, "", kTenant}, std::string(kTenant) + " ", HttpServer::OK, "same"},
        {"match apart from a line feed", {true, "", kTenant}, std::string(kTenant) + "\n", HttpServer::OK, "same"},
        {"match in another case", {true, "", kTenant}, upper, HttpServer::OK, "same"},
        {"foreign tenant", {true, "", kTenant}, kOtherTenant, HttpServer::Forbidden, "TenantId Mismatch"},
        {"camera without tenant", {true, "", ""}, kTenant, HttpServer::Forbidden, "TenantId Mismatch"},
        {"camera with nil tenant", {true, "", kNilTenant}, kNilTenant, HttpServer::InternalError, "Empty TenantId"},
        {"camera with nil tenant, valid request",
         {true, "", kNilTenant},
         kTenant,
         HttpServer::Forbidden,
         "TenantId Mismatch"},
        {"nil request", {true, "", kTenant}, kNilTenant, HttpServer::InternalError, "Empty TenantId"},
        {"empty request", {true, "", kTenant}, "", HttpServer::InternalError, "Empty TenantId"},
        // Only exactly empty or exactly nil is "empty": a blank makes it a mismatch.
        {"blank request", {true, "", kTenant}, " ", HttpServer::Forbidden, "TenantId Mismatch"},
        {"malformed request", {true, "", kTenant}, "tenant-42", HttpServer::Forbidden, "TenantId Mismatch"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server->SetBackendServerInfo(rest::SetServerInfoElement{});
        EXPECT_CALL(host, GetProvisioningStatus()).WillOnce(Return(c.status));
        const auto reply = server->ProcessPUT("set_server_info", Push(c.requested));
        EXPECT_EQ(reply.first, c.code);
        const auto body = Json(reply.second);
        const auto stored = server->GetBackendServerInfo();
        if (c.code == HttpServer::OK) {
            EXPECT_EQ(body.at("msg_type").as_string(), "set_server_info_response");
            EXPECT_EQ(body.at("new_tenant_id").as_bool(), std::string(c.outcome) == "new");
            ASSERT_TRUE(stored.has_value());
            EXPECT_EQ(stored->tenant_id, c.requested);  // stored as sent, blanks and all
            EXPECT_EQ(stored->server_primary_url, "evidence.example");
        } else {
            EXPECT_EQ(body.at("message").as_string(), c.outcome);
            EXPECT_FALSE(stored.has_value());
        }
        ::testing::Mock::VerifyAndClearExpectations(&host);
    }
}

TEST_F(OskinHandlers, BrokenPushIs400AndForgetsTheEarlierOne) {
    EXPECT_CALL(host, GetProvisioningStatus()).WillOnce(Return(Status{false, "", ""}));
    ASSERT_EQ(server->ProcessPUT("set_server_info", Push(kTenant)).first, HttpServer::OK);
    ASSERT_TRUE(server->GetBackendServerInfo().has_value());

    auto withoutStation = Json(Push(kTenant));
    withoutStation.erase("station_id");
    auto portAsText = Json(Push(kTenant));
    portAsText["server_port"] = web::json::value::string("443");
    for (const auto& body : {withoutStation, portAsText}) {
        server->SetBackendServerInfo(rest::SetServerInfoElement{});
        const auto reply = server->ProcessPUT("set_server_info", body.serialize());
        EXPECT_EQ(reply.first, HttpServer::BadRequest) << body.serialize();
        EXPECT_EQ(Json(reply.second).at("message").as_string(), "Invalid message body " + body.serialize());
        EXPECT_FALSE(server->GetBackendServerInfo().has_value());
    }
}

}  // namespace
}  // namespace tvo
