// The Velta hello: the gadget and the camera's server started once, the
// base's version asked for every time, up to four attempts against a base
// that answers badly, each bounded by the hello's time limit.

#include "VeltaTestSupport.h"

#include <Logger/LogClient.h>
#include <TestSupport/TestSupport.h>

#include <algorithm>

namespace tvo::velta_test {
namespace {

using DockSim::BodyFault;
using DockSim::ReplyScript;
using std::chrono::milliseconds;

TEST(VeltaHello, StartsGadgetAndServerOnceAndAsksForTheVersionEveryTime) {
    ScopedLogCapture log;
    VeltaRig rig;
    EXPECT_EQ(rig.base.GadgetToggles(), 0);  // construction starts nothing
    EXPECT_EQ(rig.camera.SayHello(), RC::Ok);
    EXPECT_EQ(rig.camera.SayHello(), RC::Ok);
    EXPECT_EQ(rig.base.GadgetToggles(), 1);
    EXPECT_EQ(rig.base.Prunes(), 2);
    EXPECT_EQ(LinesWith(log.Sink(), "Instantiate USB REST server"), 1u);
    EXPECT_EQ(LinesWith(log.Sink(), "Velta Version: 4.2.0"), 2u);

    const auto hellos = rig.base.Log();
    ASSERT_EQ(hellos.size(), 2u);
    EXPECT_EQ(hellos[0].method, "PUT");
    EXPECT_EQ(hellos[0].target, "/UsbRest/1.0?type=say_hello");
    EXPECT_EQ(hellos[0].request, rest::SayHelloElement{}.ToJson().serialize());
    // The server answers the base once the hello is through.
    EXPECT_EQ(rig.base.SendShutdownNow().reply, "Received");
    EXPECT_EQ(rig.ElapsedMs(), 0);
}

TEST(VeltaHello, ABaseThatAnswersBadlyCostsFourAttemptsButNotTheHello) {
    struct Case {
        const char* name;
        ReplyScript script;
        std::size_t exceptions;
        const char* version;
        long long elapsedMs;  // the environment's hello limit is 1 s
    };
    ReplyScript hangUp;
    hangUp.hangUp = true;
    ReplyScript slow;
    slow.delay = milliseconds(1500);
    ReplyScript silent;
    silent.never = true;
    ReplyScript late;
    late.delay = milliseconds(900);  // just inside the limit
    ReplyScript failing;
    failing.status = 500;
    ReplyScript missing;
    missing.body = BodyFault::MissingMembers;
    ReplyScript mistyped;
    mistyped.body = BodyFault::WrongTypes;
    ReplyScript malformed;
    malformed.body = BodyFault::MalformedJson;
    for (const Case& c : {
             Case{"hang-up", hangUp, 4, nullptr, 0},
             Case{"slow", slow, 4, nullptr, 4000},
             Case{"silent", silent, 4, nullptr, 4000},
             Case{"late", late, 0, "4.2.0", 900},
             Case{"500", failing, 4, nullptr, 0},
             Case{"malformed", malformed, 4, nullptr, 0},
             Case{"mistyped", mistyped, 4, nullptr, 0},
             Case{"missing", missing, 0, "N/A", 0},
         }) {
        SCOPED_TRACE(c.name);
        ScopedLogCapture log;
        VeltaRig rig;
        rig.base.SetReply("say_hello", c.script);
        EXPECT_EQ(rig.camera.SayHello(), RC::Ok);
        EXPECT_EQ(LinesWith(log.Sink(), "Exception: "), c.exceptions);
        EXPECT_EQ(LinesWith(log.Sink(), "Request Velta Version sent, attempt: "), c.exceptions == 4 ? 4u : 1u);
        if (c.version) {
            EXPECT_EQ(LinesWith(log.Sink(), std::string("Velta Version: ") + c.version), 1u);
        } else {
            EXPECT_TRUE(log.Sink().Contains("Request Velta Version sent, attempt: 4"));
        }
        EXPECT_EQ(rig.ElapsedMs(), c.elapsedMs);
    }
}

TEST(VeltaHello, GadgetAndListenFailuresAreRetriedAndLoggedThreeTimesInARow) {
    ScopedLogCapture log;
    VeltaRig rig;
    rig.base.FailGadget(5, "no gadget driver");
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rig.camera.SayHello(), RC::Failed);
    }
    EXPECT_EQ(LinesWith(log.Sink(), "Failed to start up USB Gadget interface: no gadget driver"), 3u);

    {
        // Something else holds the camera's address: the server cannot listen yet.
        DockSim::VeltaBaseSetup squatter = rig.base.Setup();
        squatter.port = rig.base.CameraPort();
        squatter.cameraPort = 0;
        DockSim::VeltaBase blocker(squatter);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(rig.camera.SayHello(), RC::InProgress);
        }
        EXPECT_EQ(LinesWith(log.Sink(), "Failed to set USB Ethernet REST server to listen mode, error: "), 3u);
    }
    EXPECT_EQ(rig.camera.SayHello(), RC::Ok);
    EXPECT_EQ(rig.base.GadgetToggles(), 6);
    EXPECT_EQ(LinesWith(log.Sink(), "Instantiate USB REST server"), 1u);
}

}  // namespace
}  // namespace tvo::velta_test
