// Every reader of the REST records on one JSON body: the envelope, the
// header and each record's FromJson. A record that reads must write and read
// back to the same text, and must have found every integer key as a whole
// number that fits its member: the readers take any JSON number, a known
// fault checked when PMX_FUZZ_CHECK_NUMBERS is set.

#include "FuzzSupport.h"

#include <DockProtocol/RestMessages.h>

#include <cpprest/json.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace {

using namespace tvo::rest;
using web::json::json_exception;
using web::json::object;
using web::json::value;

// The integer keys of all records, and whether their member is unsigned.
struct IntegerKey {
    const char* key;
    bool isUnsigned;
};
constexpr IntegerKey kIntegerKeys[] = {
    {"server_port", true},     {"upload_link_status", true}, {"upload_link_percent", true},
    {"charge_ntcfault", false}, {"charge_fault", false},     {"sysTick", true},
    {"mqtt_port_number", true}, {"ignitition_state", false}, {"shutdown_state", false},
};

bool FitsInteger(const value& number, bool isUnsigned) {
    if (!number.is_number()) {
        return true;  // the reader throws for other types; nothing accepted
    }
    const double asDouble = number.as_double();
    if (!number.is_integer() || std::trunc(asDouble) != asDouble) {
        return false;
    }
    const auto& exact = number.as_number();
    if (isUnsigned) {
        return exact.is_uint32();
    }
    return exact.is_int32();
}

// The conversion itself happens inside cpprestsdk, out of UBSan's sight, so
// the property is checked here.
void CheckIntegers(const object& body) {
    for (const auto& integer : kIntegerKeys) {
        const auto found = body.find(integer.key);
        if (found != body.end()) {
            tvo::fuzz::RequireUnlessKnown(FitsInteger(found->second, integer.isUnsigned), "PMX_FUZZ_CHECK_NUMBERS",
                                          "a record read an integer key that is no whole number in range");
        }
    }
}

template <typename Record>
void ReadRecord(const object& body) {
    Record record;
    try {
        record = Record::FromJson(body);
    } catch (const json_exception&) {
        return;
    }
    CheckIntegers(body);
    const std::string written = record.ToJson().serialize();
    std::error_code error;
    const value reread = value::parse(written, error);
    tvo::fuzz::Require(!error && reread.is_object(), "a written record does not parse");
    const Record again = Record::FromJson(reread.as_object());
    tvo::fuzz::Require(again.ToJson().serialize() == written, "a record does not read back as written");
}

void ReadHeader(const object& body) {
    const MessageHeader header = ParseMessageHeader(body);
    value envelope = WriteEnvelope("x", header);
    const MessageHeader again = ParseMessageHeader(envelope.as_object());
    tvo::fuzz::Require(again.ip_addr == header.ip_addr && again.mac_id == header.mac_id &&
                           again.serial_number == header.serial_number &&
                           again.port_number == header.port_number,
                       "a header does not read back as written");
    try {
        ReadEnvelope<Message::SayHello>(body);
    } catch (const json_exception&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    tvo::fuzz::QuietLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::error_code error;
    const value parsed = value::parse(text, error);
    if (error || !parsed.is_object()) {
        return 0;
    }
    const object& body = parsed.as_object();
    ReadHeader(body);
    ReadRecord<SayHelloElement>(body);
    ReadRecord<SetServerInfoElement>(body);
    ReadRecord<DeviceAnnouncementElementUSB>(body);
    ReadRecord<GetServerInfoElement>(body);
    ReadRecord<UploadStatusElement>(body);
    ReadRecord<ChargeStatusElement>(body);
    ReadRecord<RequestBaseLogElement>(body);
    ReadRecord<DeviceAnnouncementElementUSBApproved>(body);
    ReadRecord<DeviceAnnouncementElementUSBApprovedMQTT>(body);
    ReadRecord<SetIgnitionStateElement>(body);
    ReadRecord<SetShutdownStateElement>(body);
    ReadRecord<GetUpgradePkgVersionElement>(body);
    ReadRecord<GetUpgradePkgElement>(body);
    ReadRecord<HttpGetResponseElement>(body);
    return 0;
}
