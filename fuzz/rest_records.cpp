// Every reader of the REST records on one JSON body: the envelope, the
// header and each record's FromJson. A record that reads must write and read
// back to the same text, and every integer it read must have been a whole
// number within its member's range, kept as that number.

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

// The integer keys of all records and the range of their members.
struct IntegerKey {
    const char* key;
    double min;
    double max;
};
constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr double kUint32Max = std::numeric_limits<std::uint32_t>::max();
constexpr IntegerKey kIntegerKeys[] = {
    {"server_port", 1, 65535},
    {"upload_link_status", 0, kUint32Max},
    {"upload_link_percent", 0, kUint32Max},
    {"charge_ntcfault", kInt32Min, kInt32Max},
    {"charge_fault", kInt32Min, kInt32Max},
    {"sysTick", 0, kUint32Max},
    {"mqtt_port_number", 1, 65535},
    {"ignitition_state", kInt32Min, kInt32Max},
    {"shutdown_state", kInt32Min, kInt32Max},
};

// The number as a whole value, when it is one.
bool WholeNumber(const value& number, double& whole) {
    const auto& exact = number.as_number();
    if (exact.is_int64()) {
        whole = static_cast<double>(exact.to_int64());
        return true;
    }
    whole = exact.to_double();
    return !exact.is_uint64() && std::isfinite(whole) && std::trunc(whole) == whole;
}

// The conversion itself happens inside cpprestsdk, out of UBSan's sight, so
// the property is checked here: what the record wrote back under a key it
// read is the number the dock sent, and that number was in range.
void CheckIntegers(const object& body, const value& written) {
    for (const auto& integer : kIntegerKeys) {
        const auto sent = body.find(integer.key);
        if (sent == body.end() || !written.has_field(integer.key)) {
            continue;
        }
        double in = 0;
        double out = 0;
        const bool inRange =
            sent->second.is_number() && WholeNumber(sent->second, in) && in >= integer.min && in <= integer.max;
        tvo::fuzz::Require(inRange, "a record read an integer key that is no whole number in its range");
        tvo::fuzz::Require(WholeNumber(written.at(integer.key), out) && out == in,
                           "a record kept another number than the one read");
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
    const value writtenValue = record.ToJson();
    CheckIntegers(body, writtenValue);
    const std::string written = writtenValue.serialize();
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
                           again.serial_number == header.serial_number && again.port_number == header.port_number,
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
