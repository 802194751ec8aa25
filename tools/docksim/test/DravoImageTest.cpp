// The readable configuration and the image made from it: both directions,
// and clear refusals of what cannot be stored.

#include <DockSim/DravoImage.h>

#include <gtest/gtest.h>

#include <stdexcept>

namespace tvo::DockSim {
namespace {

std::string ErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(DravoDescription, SurvivesTheTripThroughTextIncludingOddBytes) {
    for (const auto chip : {DravoChip::Lan7850, DravoChip::Ax88179}) {
        auto configuration = SampleDravoConfiguration(chip);
        configuration.roomDescription = " tab\there \\ \x01\xff ";
        configuration.otherFlags = 0xF0;
        const auto text = FormatDravoConfiguration(configuration);
        EXPECT_EQ(FormatDravoConfiguration(ParseDravoConfiguration(text)), text);
        EXPECT_EQ(ParseDravoConfiguration(text).roomDescription, configuration.roomDescription);
    }
    const auto parsed = ParseDravoConfiguration("# comment\n\n  port = 0x1bb  \r\nchip=ax88179");
    EXPECT_EQ(parsed.port, 443u);
    EXPECT_EQ(parsed.chip, DravoChip::Ax88179);
}

TEST(DravoDescription, BadLinesAreNamedWithTheirNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"port = 70000", "line 1: port: more than 65535"},
        {"\ncolour = red", "line 2: unknown key 'colour'"},
        {"chip = ax", "line 1: chip: not ax88179 or lan7850"},
        {"just words", "line 1: expected key = value"},
        {"room = a\\q", "line 1: room: a backslash"},
        {"address-mode = 0", "line 1: address-mode: not 1 or 2"},
        {"slot = 16", "line 1: slot: more than 15"},
        {"checkout = maybe", "line 1: checkout: not true or false"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ErrorOf([text = text] { ParseDravoConfiguration(text); }).rfind(expected, 0), 0u)
            << text << " -> " << ErrorOf([text = text] { ParseDravoConfiguration(text); });
    }
}

TEST(DravoImage, WhatCannotBeStoredIsRefusedByField) {
    const auto refused = [](auto change) {
        auto configuration = SampleDravoConfiguration(DravoChip::Ax88179);
        change(configuration);
        return ErrorOf([&] { BuildDravoImage(configuration); });
    };
    EXPECT_EQ(refused([](auto& c) { c.roomDescription = std::string(33, 'r'); }), "room: longer than 32 bytes");
    EXPECT_EQ(refused([](auto& c) { c.primaryServer = std::string(129, 'h'); }),
              "primary-server: longer than 128 bytes");
    EXPECT_EQ(refused([](auto& c) { c.stationId = std::string("a\0b", 3); }), "station: contains a NUL byte");
    EXPECT_EQ(refused([](auto& c) { c.gateway = "10.0.0"; }).rfind("gateway: not a dotted", 0), 0u);
    EXPECT_EQ(refused([](auto& c) {
                  c.serversByName = false;
                  c.primaryServer = "evidence.example.com";
              }).rfind("primary-server: not a dotted", 0),
              0u);
    EXPECT_EQ(
        refused([](auto& c) { c.tenantId = "00112233-4455-6677-8899-aabbccddeefg"; }).rfind("tenant: not a UUID", 0),
        0u);
    EXPECT_EQ(refused([](auto& c) { c.availableForCheckout = false; }).rfind("checkout:", 0), 0u);
}

TEST(DravoImage, ReadsBackWhatWasBuiltWithTheChipsStatusBytesInPlace) {
    for (const auto chip : {DravoChip::Lan7850, DravoChip::Ax88179}) {
        auto configuration = SampleDravoConfiguration(chip);
        configuration.tenantId = "00112233-4455-6677-8899-AABBCCDDEEFF";
        configuration.primaryServer = configuration.serversByName ? std::string(128, 'p') : configuration.primaryServer;
        const auto image = BuildDravoImage(configuration);
        const auto read = ReadDravoImage(image, chip);
        configuration.tenantId = "00112233-4455-6677-8899-aabbccddeeff";
        configuration.slot = 0;  // the slot is in the adapter's address, not the image
        EXPECT_EQ(FormatDravoConfiguration(read), FormatDravoConfiguration(configuration));

        const bool ax = chip == DravoChip::Ax88179;
        EXPECT_EQ(image[ax ? 0x1C : 0x70], 5) << "charge fault";
        EXPECT_EQ(image[ax ? 0x76 : 0x71], 4) << "charge status";
        if (ax) {
            EXPECT_EQ(image[0x70], 0) << "the ax88179 handshake header starts clear";
        }
    }
}

}  // namespace
}  // namespace tvo::DockSim
