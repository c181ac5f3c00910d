// visible and contact: the walk-through's level queries, run headless on a level file.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "camera/MovementClock.h"
#include "math/Vector.h"
#include "play/Walkthrough.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace vantrell {
namespace {

// Option checks run while the command line is parsed, so a malformed value is reported with
// the usage hint like any other argument error.
CLI::Validator finiteVector(bool refuseZero) {
    return CLI::Validator(
        [refuseZero](std::string& text) -> std::string {
            std::string error;
            const std::optional<Vector3> v = parseVector3(text, error);
            if (!v) return error;
            if (refuseZero && isZero(*v)) return "a zero vector has no direction";
            return {};
        },
        "X,Y,Z");
}

CLI::Validator positiveFloat() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            std::string error;
            const std::optional<float> value = parseFiniteFloat(text, error);
            if (!value) return error;
            if (!(*value > 0.0f)) return "'" + text + "' is not above 0";
            return {};
        },
        "NUMBER");
}

// Only called after the validators accepted the text.
Vector3 vectorOf(const std::string& text) {
    std::string error;
    return parseVector3(text, error).value_or(Vector3{});
}

float floatOf(const std::string& text, float fallback) {
    if (text.empty()) return fallback;
    std::string error;
    return parseFiniteFloat(text, error).value_or(fallback);
}

struct VisibleOptions {
    std::string path;
    std::string eye;
    std::string forward;
    std::string aspect;
    std::string fieldOfView;
};

int runVisible(const VisibleOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("visible", options.path, level); status != exitSuccess) return status;
    const ManualCounter counter;
    // A standing camera's eye is one unit above its body.
    const Vector3 position = vectorOf(options.eye) - Vector3{0.0f, 1.0f, 0.0f};
    Walkthrough walkthrough(level.geometry, level.partition, counter, position, vectorOf(options.forward));
    walkthrough.setAspectRatio(floatOf(options.aspect, Walkthrough::defaultAspectRatio));
    walkthrough.setFieldOfView(floatOf(options.fieldOfView, Walkthrough::defaultFieldOfView));
    std::vector<std::uint32_t> list;
    walkthrough.visibility().collectVisibleSpaces(list);
    std::string line;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i != 0) line += ' ';
        line += std::to_string(list[i]);
    }
    std::cout << line << '\n';
    return exitSuccess;
}

struct ContactOptions {
    std::string path;
    std::string from;
    std::string to;
};

int runContact(const ContactOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("contact", options.path, level); status != exitSuccess) return status;
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter);
    const Plane p = walkthrough.visibility().findContactPlane(vectorOf(options.from), vectorOf(options.to));
    std::cout << formatFloat(p.a) << ' ' << formatFloat(p.b) << ' ' << formatFloat(p.c) << ' ' << formatFloat(p.d)
              << '\n';
    return exitSuccess;
}

}  // namespace

void addWalkCommands(CLI::App& app, int& exitCode) {
    static VisibleOptions visible;
    auto* visibleCommand = app.add_subcommand(
        "visible", "List the spaces a frame would draw, in search order, for a standing camera whose eye is at\n"
                   "--eye looking along --forward.");
    visibleCommand->add_option("LEVEL", visible.path, "level file (.bsp)")->required();
    visibleCommand->add_option("--eye", visible.eye, "the eye point")->required()->check(finiteVector(false));
    visibleCommand->add_option("--forward", visible.forward, "the look direction (normalised)")
        ->required()
        ->check(finiteVector(true));
    visibleCommand->add_option("--aspect", visible.aspect, "width / height (default 4/3)")->check(positiveFloat());
    visibleCommand->add_option("--fov", visible.fieldOfView, "vertical field of view in radians (default pi/4)")
        ->check(positiveFloat());
    visibleCommand->callback([&exitCode] { exitCode = runVisible(visible); });

    static ContactOptions contact;
    auto* contactCommand = app.add_subcommand(
        "contact", "Print the plane \"a b c d\" of the first triangle that a movement from --from to --to\n"
                   "comes into contact with (\"0 0 0 0\" for none).");
    contactCommand->add_option("LEVEL", contact.path, "level file (.bsp)")->required();
    contactCommand->add_option("--from", contact.from, "start point")->required()->check(finiteVector(false));
    contactCommand->add_option("--to", contact.to, "end point")->required()->check(finiteVector(false));
    contactCommand->callback([&exitCode] { exitCode = runContact(contact); });
}

}  // namespace vantrell
