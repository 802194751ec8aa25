// Upload and charge status reports as the base receives them: which reports
// are sent at all, what they carry, and how their answers come back.

#include "VeltaTestSupport.h"

#include <DockProtocol/RestHandle.h>
#include <Logger/LogClient.h>

#include <cpprest/json.h>

namespace tvo::velta_test {
namespace {

using Upload = DockProtoIF::UploadStatus;
using Charge = DockProtoIF::ChargeStatus;

constexpr const char* kUpload = "upload_status";
constexpr const char* kCharge = "charge_status";

class VeltaStatus : public testing::Test {
protected:
    std::size_t Sent(const char* type) const { return rig.base.Count(Direction::CameraToBase, type); }

    // The body of the last report of the type that reached the base.
    web::json::value Last(const char* type) const {
        const auto log = rig.base.Log();
        for (auto it = log.rbegin(); it != log.rend(); ++it) {
            if (it->direction == Direction::CameraToBase && it->type == type) {
                return web::json::value::parse(it->request);
            }
        }
        ADD_FAILURE() << "no " << type << " reached the base";
        return web::json::value::null();
    }

    static void PollToEnd(RestHandle& handle) { ASSERT_TRUE(PollUntilDone(handle)); }

    VeltaRig rig;
};

TEST_F(VeltaStatus, UploadStatusMapsToLinkStatusAndIsSentOnlyOnChange) {
    struct Row {
        std::uint32_t upload;
        RC code;
        int link;  // 0: nothing sent
    };
    // Each row follows the one before on the same camera.
    const Row rows[] = {
        {1, RC::Ok, 3},           {1, RC::Ok, 0},  // unchanged: deferred
        {2, RC::Ok, 2},           {3, RC::Ok, 0},  // 2 and 3 are both link status 2
        {4, RC::Ok, 4},           {0, RC::NotSupported, 0}, {5, RC::NotSupported, 0},
        {6, RC::NotSupported, 0}, {4, RC::Ok, 0},  // 0, 5 and 6 left the last link status alone
        {1, RC::Ok, 3},
    };
    std::size_t sent = 0;
    for (const auto& row : rows) {
        ScopedLogCapture log;
        SCOPED_TRACE("UploadStatus " + std::to_string(row.upload));
        EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(row.upload)), row.code);
        if (row.link != 0) {
            ++sent;
            ASSERT_EQ(Sent(kUpload), sent);
            const auto body = Last(kUpload);
            EXPECT_EQ(body.at("upload_link_status").as_integer(), row.link);
            EXPECT_EQ(body.at("upload_link_percent").as_integer(), 0);
        } else {
            EXPECT_EQ(Sent(kUpload), sent);
        }
        if (row.code == RC::Ok) {
            EXPECT_TRUE(log.Sink().Contains(std::string("Link Status will be forwarded to the base - ") +
                                            (row.link != 0 ? "1" : "0")));
        }
        if (row.code == RC::Ok && row.link == 0) {
            EXPECT_TRUE(log.Sink().Contains("Deferred sending Upload Status to base awaiting a state change."));
        }
    }
}

TEST_F(VeltaStatus, UploadMessageTextAsTheBaseReadsIt) {
    ASSERT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(1)), RC::Ok);
    EXPECT_EQ(rig.base.Log().back().request,
              R"({"message-header":{"ip_addr":"","mac_id":"","port_number":0,"serial_number":""},)"
              R"("msg_type":"upload_status","upload_link_percent":0,"upload_link_status":3})");
    EXPECT_EQ(rig.base.Log().back().target, "/UsbRest/1.0?type=upload_status");
    EXPECT_EQ(rig.base.Log().back().method, "PUT");
}

TEST_F(VeltaStatus, RefusedUploadFailsAndIsNotRepeated) {
    DockSim::ReplyScript notFound;
    notFound.status = 404;
    rig.base.SetReply(kUpload, notFound);
    {
        ScopedLogCapture log;
        EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(2)), RC::Failed);
        EXPECT_TRUE(log.Sink().Contains("UploadStatus send failed, status code=404"));
    }
    EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(2)), RC::Ok);
    EXPECT_EQ(Sent(kUpload), 1u);
}

TEST_F(VeltaStatus, AsyncUploadSharesTheLastLinkStatus) {
    auto first = rig.camera.SetUploadStatusAsync(static_cast<Upload>(4));
    ASSERT_EQ(first.code, RC::InProgress);
    ASSERT_TRUE(first.handle);
    PollToEnd(*first.handle);
    EXPECT_EQ(Last(kUpload).at("upload_link_status").as_integer(), 4);

    auto again = rig.camera.SetUploadStatusAsync(static_cast<Upload>(4));
    EXPECT_EQ(again.code, RC::Ok);
    EXPECT_FALSE(again.handle);
    EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(4)), RC::Ok);  // deferred too
    for (std::uint32_t unsupported : {0u, 5u, 9u}) {
        auto refused = rig.camera.SetUploadStatusAsync(static_cast<Upload>(unsupported));
        EXPECT_EQ(refused.code, RC::NotSupported);
        EXPECT_FALSE(refused.handle);
    }
    EXPECT_EQ(Sent(kUpload), 1u);
}

TEST_F(VeltaStatus, ChargeStatusCarriesStateAndFault) {
    struct Row {
        std::uint32_t charge;
        const char* state;
        int fault;
    };
    const Row rows[] = {{0, "Not Charging", 0}, {1, "Full", 0}, {2, "Charging", 0}, {3, "", 2},
                        {4, "Not Charging", 0}, {7, "", 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE("ChargeStatus " + std::to_string(row.charge));
        EXPECT_EQ(rig.camera.SetChargeStatus(static_cast<Charge>(row.charge)), RC::Ok);
        const auto body = Last(kCharge);
        EXPECT_EQ(body.at("charge_state").as_string(), row.state);
        EXPECT_EQ(body.at("charge_fault").as_integer(), row.fault);
        EXPECT_EQ(body.at("charge_ntcfault").as_integer(), 0);
        for (const char* flag : {"charge_batteryfault", "charge_boostfault", "charge_watchdogfault"}) {
            EXPECT_FALSE(body.at(flag).as_bool()) << flag;
        }
    }
    // The same status again is sent again: charge reports are never deferred.
    EXPECT_EQ(rig.camera.SetChargeStatus(static_cast<Charge>(2)), RC::Ok);
    EXPECT_EQ(Sent(kCharge), std::size(rows) + 1);
    EXPECT_EQ(rig.base.Log().back().request,
              R"({"charge_batteryfault":false,"charge_boostfault":false,"charge_fault":0,"charge_ntcfault":0,)"
              R"("charge_state":"Charging","charge_watchdogfault":false,"message-header":{"ip_addr":"",)"
              R"("mac_id":"","port_number":0,"serial_number":""},"msg_type":"charge_status"})");
}

TEST_F(VeltaStatus, AsyncChargeReportsAreIndependent) {
    auto first = rig.camera.SetChargeStatusAsync(static_cast<Charge>(2));
    auto second = rig.camera.SetChargeStatusAsync(static_cast<Charge>(2));
    ASSERT_EQ(first.code, RC::InProgress);
    ASSERT_EQ(second.code, RC::InProgress);
    ASSERT_TRUE(first.handle && second.handle);
    EXPECT_NE(first.handle.get(), second.handle.get());
    PollToEnd(*second.handle);
    PollToEnd(*first.handle);
    EXPECT_EQ(Sent(kCharge), 2u);
}

TEST_F(VeltaStatus, RefusedChargeReportFails) {
    DockSim::ReplyScript failing;
    failing.status = 500;
    rig.base.SetReply(kCharge, failing);
    ScopedLogCapture log;
    EXPECT_EQ(rig.camera.SetChargeStatus(static_cast<Charge>(1)), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("ChargeStatus send failed, status code=500"));
}

TEST_F(VeltaStatus, ASilentBaseCostsEachReportTheRequestLimit) {
    DockSim::ReplyScript silent;
    silent.never = true;
    rig.base.SetReply(kUpload, silent);
    rig.base.SetReply(kCharge, silent);
    ScopedLogCapture log;
    EXPECT_EQ(rig.camera.SetUploadStatus(static_cast<Upload>(1)), RC::Failed);
    EXPECT_EQ(rig.ElapsedMs(), 3000);
    EXPECT_EQ(rig.camera.SetChargeStatus(static_cast<Charge>(1)), RC::Failed);
    EXPECT_EQ(rig.ElapsedMs(), 6000);
    EXPECT_TRUE(log.Sink().Contains("Failed to send ChargeStatus message to base, exception: "));

    // The time-out reaches the host through the handle, as a failure of the transport.
    auto handle = rig.camera.SetChargeStatusAsync(static_cast<Charge>(1));
    ASSERT_EQ(handle.code, RC::InProgress);
    ASSERT_TRUE(rig.base.WaitFor(Direction::CameraToBase, kCharge, 2, kThreadWait));
    EXPECT_THROW(PollUntilDone(*handle.handle), std::exception);
    EXPECT_EQ(rig.ElapsedMs(), 9000);
}

TEST(VeltaStatusWithoutBase, ReportsFailOrEndAsDoneWithoutThrowing) {
    DockSim::VeltaBaseSetup setup = NeverApproving();
    ProtocolEnvironment environment;
    {
        DockSim::VeltaBase gone(setup);
        environment = gone.Environment();
    }  // nobody listens on that port any more
    DockProtoVelta camera(environment);
    ScopedLogCapture log;
    EXPECT_EQ(camera.SetChargeStatus(static_cast<Charge>(1)), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Failed to send ChargeStatus message to base, exception: "));
    EXPECT_EQ(camera.SetUploadStatus(static_cast<Upload>(1)), RC::Failed);
    EXPECT_TRUE(log.Sink().Contains("Failed to send UploadStatus message to base, exception: "));

    // The request starts all the same; its handle hands the transport
    // failure to the host once the request has ended.
    auto handle = camera.SetChargeStatusAsync(static_cast<Charge>(1));
    ASSERT_EQ(handle.code, RC::InProgress);
    EXPECT_THROW(PollUntilDone(*handle.handle), std::exception);
}

}  // namespace
}  // namespace tvo::velta_test
