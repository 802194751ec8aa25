// The JSON records of both REST docks: exact serialized text (keys sorted,
// header always present), the forgiving header, and which missing or
// mistyped members make a reading throw.

#include <DockProtocol/RestMessages.h>

#include <gtest/gtest.h>

#include <set>
#include <string_view>

#include <cstdint>

namespace tvo::rest {
namespace {

using web::json::json_exception;
using web::json::value;

const std::string kEmptyHeader = R"({"ip_addr":"","mac_id":"","port_number":0,"serial_number":""})";

web::json::object Object(const std::string& text) {
    return value::parse(text).as_object();
}

TEST(RestMessages, RecordsSerializeWithSortedKeysAndTheirFixedType) {
    ErrorElement error;
    error.status_code = 404;
    error.message = "Unsupported message type x";
    error.msgType = "something else";  // never written
    EXPECT_EQ(WriteErrorElement(error).serialize(), R"({"message":"Unsupported message type x","message-header":)" +
                                                        kEmptyHeader + R"(,"msg_type":"error","status_code":404})");
    EXPECT_EQ(ErrorReplyBody(500, "boom"), WriteErrorElement([] {
                                               ErrorElement e;
                                               e.status_code = 500;
                                               e.message = "boom";
                                               return e;
                                           }())
                                               .serialize());

    EXPECT_EQ(SayHelloElement{}.ToJson().serialize(),
              R"({"api_version":"","message-header":)" + kEmptyHeader + R"(,"msg_type":"say_hello","version":"N/A"})");

    DeviceAnnouncementElementUSB announcement;
    announcement.mac_id = "aa:bb:cc:00:11:22";
    announcement.serial_number = "X81234567";
    EXPECT_EQ(announcement.ToJson().serialize(),
              R"({"mac_id":"aa:bb:cc:00:11:22","message-header":)" + kEmptyHeader +
                  R"(,"msg_type":"device_announement_usb","serial_number":"X81234567"})");
    EXPECT_EQ(GetServerInfoElement{}.ToJson().serialize(),
              R"({"message-header":)" + kEmptyHeader + R"(,"msg_type":"get_server_info","room":"","station":""})");

    ChargeStatusElement charge;
    charge.charge_ntcfault = -1;  // signed on the wire
    EXPECT_EQ(charge.ToJson().serialize(),
              R"({"charge_batteryfault":false,"charge_boostfault":false,"charge_fault":0,"charge_ntcfault":-1,)"
              R"("charge_state":"","charge_watchdogfault":false,"message-header":)" +
                  kEmptyHeader + R"(,"msg_type":"charge_status"})");

    MessageHeader header;
    header.port_number = 4000000000u;  // unsigned on the wire
    EXPECT_EQ(WriteMessageHeader(header).serialize(),
              R"({"ip_addr":"","mac_id":"","port_number":4000000000,"serial_number":""})");
}

TEST(RestMessages, SayHelloFillsAbsentOrEmptyVersionsAndRejectsOtherTypes) {
    const auto empty = SayHelloElement::FromJson(Object("{}"));
    EXPECT_EQ(empty.version, "N/A");
    EXPECT_EQ(empty.api_version, "");
    EXPECT_EQ(SayHelloElement::FromJson(Object(R"({"version":""})")).version, "N/A");

    const auto full = SayHelloElement::FromJson(
        Object(R"({"version":"4.2.0","api_version":"1.1","msg_type":"other","message-header":{"mac_id":"m"}})"));
    EXPECT_EQ(full.version, "4.2.0");
    EXPECT_EQ(full.api_version, "1.1");
    EXPECT_EQ(full.msgType, "say_hello");  // the envelope is not read
    EXPECT_EQ(full.header.mac_id, "");

    EXPECT_THROW(SayHelloElement::FromJson(Object(R"({"version":3})")), json_exception);
    EXPECT_THROW(SayHelloElement::FromJson(Object(R"({"api_version":null})")), json_exception);
}

TEST(RestMessages, BrokenHeadersReadAsEmptyWithoutThrowing) {
    for (const char* body : {"{}", R"({"message-header":"x"})", R"({"message-header":{"port_number":"7"}})",
                             R"({"message-header":{"mac_id":5,"serial_number":"S"}})"}) {
        const auto header = ParseMessageHeader(Object(body));
        EXPECT_EQ(header.ip_addr + header.mac_id + header.serial_number, "") << body;
        EXPECT_EQ(header.port_number, 0u) << body;
    }
    const auto partial = ParseMessageHeader(Object(R"({"message-header":{"serial_number":"S1"}})"));
    EXPECT_EQ(partial.serial_number, "S1");
    EXPECT_EQ(partial.ip_addr, "");
    EXPECT_EQ(partial.port_number, 0u);

    const auto full = ParseMessageHeader(
        Object(R"({"message-header":{"ip_addr":"10.0.0.1","mac_id":"m","serial_number":"s","port_number":55006}})"));
    EXPECT_EQ(full.ip_addr, "10.0.0.1");
    EXPECT_EQ(full.port_number, 55006u);
}

TEST(RestMessages, RequiredKeysThrowWithTheKeyNamedAndOptionalOnesKeepDefaults) {
    try {
        GetServerInfoElement::FromJson(Object(R"({"station":"s"})"));
        FAIL() << "no exception";
    } catch (const json_exception& e) {
        EXPECT_STREQ(e.what(), "key not found forroom");
    }
    EXPECT_THROW(GetServerInfoElement::FromJson(Object(R"({"room":"r","station":1})")), json_exception);

    const auto plain =
        DeviceAnnouncementElementUSBApproved::FromJson(Object(R"({"ssid":"a","psk":"b","ip_addr":"c"})"));
    EXPECT_EQ(plain.mac_id, "");
    EXPECT_THROW(DeviceAnnouncementElementUSBApproved::FromJson(Object(R"({"ssid":"a","psk":"b"})")), json_exception);
    EXPECT_THROW(
        DeviceAnnouncementElementUSBApproved::FromJson(Object(R"({"ssid":"a","psk":"b","ip_addr":"c","mac_id":1})")),
        json_exception);

    // The MQTT form needs the port, although the plain form would do without.
    EXPECT_THROW(DeviceAnnouncementElementUSBApprovedMQTT::FromJson(Object(R"({"ssid":"a","psk":"b","ip_addr":"c"})")),
                 json_exception);
    const auto mqtt = DeviceAnnouncementElementUSBApprovedMQTT::FromJson(
        Object(R"({"ssid":"a","psk":"b","ip_addr":"c","mqtt_port_number":8883})"));
    EXPECT_EQ(mqtt.mqtt_port_number, 8883u);
    EXPECT_EQ(mqtt.mqtt_address, "");

    ChargeStatusElement charge;
    charge.charge_state = "Full";
    charge.charge_fault = 3;
    charge.charge_watchdogfault = true;
    const auto back = ChargeStatusElement::FromJson(charge.ToJson().as_object());
    EXPECT_EQ(back.charge_state, "Full");
    EXPECT_EQ(back.charge_fault, 3);
    EXPECT_TRUE(back.charge_watchdogfault);
    auto withoutBoost = charge.ToJson();
    withoutBoost.erase("charge_boostfault");
    EXPECT_THROW(ChargeStatusElement::FromJson(withoutBoost.as_object()), json_exception);
}

// A dock's number is read only as an integer in the member's range; anything
// else is a wrong type. 1e300 and 4294967296 once became INT_MIN and 0.
TEST(RestMessages, NumbersOutsideTheMembersRangeReadAsAWrongType) {
    const auto request = [](const std::string& tick) {
        return RequestBaseLogElement::FromJson(Object(R"({"sysTick":)" + tick + "}")).sysTick;
    };
    EXPECT_EQ(request("0"), 0u);
    EXPECT_EQ(request("4294967295"), 4294967295u);
    EXPECT_EQ(request("7.0"), 7u);
    for (const char* bad : {"4294967296", "-1", "1e300", "-1e300", "7.5", "18446744073709551616", "\"7\""}) {
        EXPECT_THROW(request(bad), json_exception) << bad;
    }

    const auto mqtt = [](const std::string& port) {
        return DeviceAnnouncementElementUSBApprovedMQTT::FromJson(
                   Object(R"({"ssid":"a","psk":"b","ip_addr":"c","mqtt_port_number":)" + port + "}"))
            .mqtt_port_number;
    };
    EXPECT_EQ(mqtt("1"), 1u);
    EXPECT_EQ(mqtt("65535"), 65535u);
    for (const char* bad : {"0", "65536", "-80", "4294967296", "1e300"}) {
        EXPECT_THROW(mqtt(bad), json_exception) << bad;
    }

    const auto fault = [](const std::string& code) {
        ChargeStatusElement charge;
        auto written = charge.ToJson();
        written["charge_fault"] = value::parse(code);
        return ChargeStatusElement::FromJson(written.as_object()).charge_fault;
    };
    EXPECT_EQ(fault("-2147483648"), INT32_MIN);
    EXPECT_EQ(fault("2147483647"), INT32_MAX);
    EXPECT_THROW(fault("2147483648"), json_exception);
    EXPECT_THROW(fault("1e300"), json_exception);

    // In the forgiving header a bad port empties the header, as a wrong type does.
    const auto header = [](const std::string& port) {
        return ParseMessageHeader(Object(R"({"message-header":{"serial_number":"S","port_number":)" + port + "}}"));
    };
    EXPECT_EQ(header("55006").port_number, 55006u);
    EXPECT_EQ(header("0").serial_number, "S");
    EXPECT_EQ(header("1e300").serial_number, "");
    EXPECT_EQ(header("-1").serial_number, "");
}

TEST(RestMessages, ErrorRepliesAreValidJsonWhateverTheyEcho) {
    const std::string echoed = "Invalid message body \xff\xfe{\"a\":\"\xc3\"}";
    const value parsed = value::parse(ErrorReplyBody(400, echoed));
    EXPECT_EQ(parsed.at("message").as_string(),
              "Invalid message body \xEF\xBF\xBD\xEF\xBF\xBD{\"a\":\"\xEF\xBF\xBD\"}");
}

// What the simulators and tools read back from the camera's records.
TEST(RestMessages, VeltaRecordsReadBackWhatTheyWrite) {
    DeviceAnnouncementElementUSB announcement;
    announcement.mac_id = "aa:bb:cc:00:11:22";
    announcement.serial_number = "X81234567";
    const auto announced = DeviceAnnouncementElementUSB::FromJson(announcement.ToJson().as_object());
    EXPECT_EQ(announced.mac_id, announcement.mac_id);
    EXPECT_EQ(announced.serial_number, announcement.serial_number);

    GetServerInfoElement info;
    info.room = "Room 4";
    info.station = "Dock 7";
    const auto told = GetServerInfoElement::FromJson(info.ToJson().as_object());
    EXPECT_EQ(told.room, "Room 4");
    EXPECT_EQ(told.station, "Dock 7");

    HttpGetResponseElement reply;
    reply.result = "OK";
    reply.uri = "/scratch/fw/velta.zip";
    const auto answered = HttpGetResponseElement::FromJson(reply.ToJson().as_object());
    EXPECT_EQ(answered.result, "OK");
    EXPECT_EQ(answered.uri, reply.uri);
    auto withoutUri = reply.ToJson();
    withoutUri.erase("uri");
    EXPECT_THROW(HttpGetResponseElement::FromJson(withoutUri.as_object()), json_exception);
}

// Every message type has its own text; a number outside them has none.
TEST(RestMessages, EveryMessageTypeHasItsOwnText) {
    std::set<std::string_view> seen;
    std::uint32_t number = 0;
    for (; !MessageType(static_cast<Message>(number)).empty(); ++number) {
        EXPECT_TRUE(seen.insert(MessageType(static_cast<Message>(number))).second) << number;
    }
    EXPECT_EQ(number, static_cast<std::uint32_t>(Message::SetServerInfoResponse) + 1);
    EXPECT_EQ(MessageType(Message::DeviceAnnouncementUSB), "device_announement_usb");
}

TEST(RestMessages, OskinRecordsRoundTripAndCheckEveryKey) {
    SetServerInfoElement info;
    info.dns_ip = "10.1.1.1";
    info.server_url_type = "HOSTNAME";
    info.server_primary_url = "evidence.example";
    info.server_port = 443;
    info.tenant_id = "0f8fad5b-d9cb-469f-a165-70867728950e";
    info.station_id = "st";
    const auto back = SetServerInfoElement::FromJson(info.ToJson().as_object());
    EXPECT_EQ(back.server_primary_url, info.server_primary_url);
    EXPECT_EQ(back.server_port, 443u);
    EXPECT_EQ(back.tenant_id, info.tenant_id);

    auto portAsText = info.ToJson();
    portAsText["server_port"] = value::string("443");
    EXPECT_THROW(SetServerInfoElement::FromJson(portAsText.as_object()), json_exception);
    auto withoutStation = info.ToJson();
    withoutStation.erase("station_id");
    EXPECT_THROW(SetServerInfoElement::FromJson(withoutStation.as_object()), json_exception);

    CameraCapabilitiesElement capabilities;
    capabilities.capabilities = {{"video", {{"codec", "h264"}}}, {"gps", {}}};
    EXPECT_EQ(capabilities.ToJson().serialize(),
              R"({"capabilities":[{"name":"video","options":{"codec":"h264"}},{"name":"gps","options":{}}],)"
              R"("message-header":)" +
                  kEmptyHeader + R"(,"msg_type":"camera_capabilities"})");

    EXPECT_THROW(ReadEnvelope<Message::ConnectionReady>(Object("{}")), json_exception);
    const auto ready = ReadEnvelope<Message::ConnectionReady>(
        Object(R"({"msg_type":"connection_ready","message-header":{"serial_number":"S9"}})"));
    ConnectionReadyElement echo;
    echo.header = ready.header;
    EXPECT_EQ(echo.ToJson().serialize(), R"({"message-header":{"ip_addr":"","mac_id":"","port_number":0,)"
                                         R"("serial_number":"S9"},"msg_type":"connection_ready"})");
}

}  // namespace
}  // namespace tvo::rest
