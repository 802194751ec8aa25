// docksim's Dravo commands: make and inspect cradle images, and watch a camera
// take a configuration from an emulated cradle.

#include "Commands.h"

#include <DockSim/DravoCradle.h>

#include <DockProtocol/DockProtoDravo.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace tvo::DockSim {
namespace {

std::string ReadWhole(const std::string& path) {
    std::ostringstream content;
    if (path == "-") {
        content << std::cin.rdbuf();
        return content.str();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error(path + ": cannot open");
    }
    content << in.rdbuf();
    return content.str();
}

DravoImage ReadImageFile(const std::string& path) {
    const std::string bytes = ReadWhole(path);
    DravoImage image{};
    if (bytes.size() != image.size()) {
        throw std::runtime_error(path + ": " + std::to_string(bytes.size()) + " bytes, a Dravo image has " +
                                 std::to_string(image.size()));
    }
    std::copy(bytes.begin(), bytes.end(), image.begin());
    return image;
}

void WriteImageFile(const std::string& path, const DravoImage& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        throw std::runtime_error(path + ": cannot write");
    }
}

// "kind:block" or "kind:block:milliseconds", e.g. "stall:2:400".
DockFaultAt ParseFaultAt(const std::string& text) {
    std::istringstream in(text);
    std::string kind, block, lasting;
    std::getline(in, kind, ':');
    std::getline(in, block, ':');
    std::getline(in, lasting);
    const auto fault = ParseFault(kind);
    try {
        if (fault && !block.empty()) {
            const unsigned long number = std::stoul(block);
            const long long ms = lasting.empty() ? 0 : std::stoll(lasting);
            if (number < DravoDock::kBlockCount && ms >= 0) {
                return {*fault, static_cast<unsigned>(number), std::chrono::milliseconds(ms)};
            }
        }
    } catch (const std::exception&) {
    }
    throw std::invalid_argument("bad fault '" + text +
                                "' (kind:block[:milliseconds], kind one of stall, repeat, skip, "
                                "resync, early-read-complete; block 0 to 5)");
}

struct DravoOptions {
    std::string configPath;
    std::string imagePath;
    std::string chip;
    std::vector<std::string> faults;
    long reactionMs = 0;
};

DravoConfiguration LoadConfiguration(const DravoOptions& options) {
    DravoConfiguration configuration = ParseDravoConfiguration(ReadWhole(options.configPath));
    if (!options.chip.empty()) {
        configuration.chip = *ParseChip(options.chip);
    }
    return configuration;
}

int Transfer(const DravoOptions& options) {
    const DravoConfiguration configuration = LoadConfiguration(options);
    DravoCradleSetup setup = CradleSetupFor(configuration);
    for (const auto& fault : options.faults) {
        setup.faults.push_back(ParseFaultAt(fault));
    }
    setup.reaction = std::chrono::milliseconds(options.reactionMs);
    DravoCradle cradle(setup);
    DockProtoDravo camera(cradle.Environment());

    using RC = DockProtoIF::ReturnCode;
    RC code = camera.SayHello();
    std::cout << "SayHello -> " << code << '\n';
    // Enough calls for every recoverable misbehaviour; a dock that never
    // finishes must not keep the command running.
    for (int calls = 0; code == RC::InProgress && calls < 100; ++calls) {
        code = camera.BlockProtocol();
        std::cout << "BlockProtocol -> " << code << '\n';
    }
    if (const DravoDock* dock = cradle.Dock()) {
        for (const auto& line : dock->Trace()) {
            std::cout << "  dock " << line << '\n';
        }
    }
    std::cout << "waits: " << cradle.Clock().Sleeps() << ", "
              << std::chrono::duration_cast<std::chrono::milliseconds>(cradle.Clock().Slept()).count()
              << " ms of virtual time\n";
    if (code != RC::Ok) {
        std::cout << "the camera did not receive the configuration\n";
        return 1;
    }
    const auto network = camera.ProvisionNetwork();
    const auto server = camera.GetServerInfo();
    const auto mismatches = DravoMismatches(configuration, setup.mac, network.value, server.value);
    for (const auto& mismatch : mismatches) {
        std::cout << "mismatch: " << mismatch << '\n';
    }
    std::cout << (mismatches.empty() ? "the camera received the configuration unchanged\n"
                                     : "the camera's configuration differs\n");
    return mismatches.empty() ? 0 : 1;
}

// Runs a command, turning its exceptions into a message and status 1.
template <typename Command>
std::function<void()> Guarded(int& status, Command command) {
    return [&status, command] {
        try {
            status = command();
        } catch (const std::exception& error) {
            std::cerr << "docksim: " << error.what() << '\n';
            status = 1;
        }
    };
}

}  // namespace

void AddDravoCommands(CLI::App& app, int& status) {
    auto options = std::make_shared<DravoOptions>();
    const auto chips = CLI::IsMember({"ax88179", "lan7850"});

    auto* image = app.add_subcommand("dravo-image", "make or inspect a Dravo cradle's EEPROM image");
    image->require_subcommand(1);

    auto* build = image->add_subcommand("build", "configuration description -> 512-byte image");
    build->add_option("--config", options->configPath, "description file (key = value lines; - for stdin)")->required();
    build->add_option("--out", options->imagePath, "image file to write")->required();
    build->add_option("--chip", options->chip, "adapter chip, overriding the description's")->check(chips);
    build->callback(Guarded(status, [options] {
        WriteImageFile(options->imagePath, BuildDravoImage(LoadConfiguration(*options)));
        return 0;
    }));

    auto* read = image->add_subcommand("read", "512-byte image -> configuration description");
    read->add_option("image", options->imagePath, "image file (- for stdin)")->required();
    read->add_option("--chip", options->chip, "adapter chip the image belongs to (default lan7850)")->check(chips);
    read->callback(Guarded(status, [options] {
        const auto chip = ParseChip(options->chip).value_or(DravoChip::Lan7850);
        std::cout << FormatDravoConfiguration(ReadDravoImage(ReadImageFile(options->imagePath), chip), true);
        return 0;
    }));

    auto* example = image->add_subcommand("example", "print a description to start from");
    example->add_option("--chip", options->chip, "adapter chip (default lan7850)")->check(chips);
    example->callback(Guarded(status, [options] {
        const auto chip = ParseChip(options->chip).value_or(DravoChip::Lan7850);
        std::cout << FormatDravoConfiguration(SampleDravoConfiguration(chip));
        return 0;
    }));

    auto* transfer =
        app.add_subcommand("dravo-transfer", "let the camera side take a configuration from an emulated cradle");
    transfer->add_option("--config", options->configPath, "description file (- for stdin)")->required();
    transfer->add_option("--chip", options->chip, "adapter chip, overriding the description's")->check(chips);
    transfer->add_option("--fault", options->faults,
                         "dock misbehaviour kind:block[:ms] (stall, repeat, skip, resync, "
                         "early-read-complete); repeatable");
    transfer->add_option("--reaction-ms", options->reactionMs, "how long the dock takes to notice the camera's writes")
        ->check(CLI::Range(0L, 60000L));
    transfer->callback(Guarded(status, [options] { return Transfer(*options); }));
}

}  // namespace tvo::DockSim
