#include "OskinCameraHost.h"
#include "Roads.h"

#include <TestSupport/TestSupport.h>

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

namespace dockhost {
namespace {

TEST(OskinCameraSettings, FileAnswersReplaceTheBuiltInOnes) {
    std::istringstream file(
        "# bench camera\n"
        "config_uri = http://192.0.2.10/c.json  # comment\n"
        "provisioned = false\n"
        "tenant_id = 0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d\n"
        "capability = zoom max=4x step=0.5\n"
        "\n"
        "capability = audio\n");
    const auto settings = ReadOskinCameraSettings(file);
    EXPECT_EQ(settings.configUri, "http://192.0.2.10/c.json");
    EXPECT_FALSE(settings.provisioned);
    EXPECT_EQ(settings.tenantId, "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    ASSERT_EQ(settings.capabilities.size(), 2u);
    EXPECT_EQ(settings.capabilities[0].name, "zoom");
    EXPECT_EQ(settings.capabilities[0].options.at("step"), "0.5");
    EXPECT_TRUE(settings.capabilities[1].options.empty());
}

TEST(OskinCameraSettings, UnreadableLinesNameTheirLine) {
    for (const char* text : {"colour = red\n", "provisioned = yes\n", "\nconfig_uri\n", "capability =\n",
                             "capability = zoom =4x\n", "capability = zoom max\n"}) {
        std::istringstream file(text);
        EXPECT_THROW(
            {
                try {
                    ReadOskinCameraSettings(file);
                } catch (const std::runtime_error& e) {
                    EXPECT_EQ(std::string(e.what()).rfind("line ", 0), 0u) << e.what();
                    throw;
                }
            },
            std::runtime_error)
            << text;
    }
    EXPECT_THROW(ReadOskinCameraSettingsFile("/nonexistent/oskin.conf"), std::runtime_error);
}

TEST(DockhostOskinRoad, FreshCameraFromAFileTakesAnyTenant) {
    tvo::TempDir dir;
    tvo::WriteFile(dir.file("fresh.conf"), "provisioned = false\n");
    std::ostringstream out;
    RoadOptions options;
    options.dock = "Oskin";
    options.simulate = true;
    options.cameraConfig = dir.file("fresh.conf").string();
    EXPECT_TRUE(RunRoad(options, out)) << out.str();
    EXPECT_NE(out.str().find("serverUrlType: Hostname"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace dockhost
