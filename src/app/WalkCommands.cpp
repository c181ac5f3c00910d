// visible, why and contact: the walk-through's level queries, run headless on a level file.
#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "camera/MovementClock.h"
#include "math/Vector.h"
#include "play/Walkthrough.h"
#include "visibility/SpaceExplanation.h"

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
            const std::optional<Vector3> v = refuseZero ? parseDirection(text, error) : parseVector3(text, error);
            return v ? std::string() : error;
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


// The camera of visible and why: a standing eye, a look direction, the window's shape.
struct ViewOptions {
    std::string path;
    std::string eye;
    std::string forward;
    std::string aspect;
    std::string fieldOfView;         // radians
    std::string fieldOfViewDegrees;  // the same in degrees
};

void addViewOptions(CLI::App& command, ViewOptions& view) {
    command.add_option("LEVEL", view.path, "level file (.bsp)")->required();
    command.add_option("--eye", view.eye, "the eye point")->required()->check(finiteVector(false));
    command.add_option("--forward", view.forward, "the look direction (normalised)")
        ->required()
        ->check(finiteVector(true));
    command.add_option("--aspect", view.aspect, "width / height (default 4/3)")->check(positiveFloat());
    auto* radians = command.add_option("--fov", view.fieldOfView, "vertical field of view in radians (default pi/4)")
                        ->check(positiveFloat());
    auto* degrees = command.add_option("--fov-degrees", view.fieldOfViewDegrees,
                                       "vertical field of view in degrees (default 45), instead of --fov")
                        ->check(positiveFloat());
    radians->excludes(degrees);
}

void applyViewOptions(const ViewOptions& options, Walkthrough& walkthrough) {
    walkthrough.setAspectRatio(floatOf(options.aspect, Walkthrough::defaultAspectRatio));
    if (!options.fieldOfViewDegrees.empty()) {
        walkthrough.setFieldOfView(radiansFromDegrees(floatOf(options.fieldOfViewDegrees, 45.0f)));
    } else {
        walkthrough.setFieldOfView(floatOf(options.fieldOfView, Walkthrough::defaultFieldOfView));
    }
}

// A standing camera's eye is one unit above its body.
Vector3 bodyBelow(const std::string& eye) { return vectorOf(eye) - Camera::standingEyeOffset; }

int runVisible(const ViewOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("visible", options.path, level); status != exitSuccess) return status;
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter, bodyBelow(options.eye),
                            vectorOf(options.forward));
    applyViewOptions(options, walkthrough);
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

std::string chainText(const std::vector<std::uint32_t>& chain) {
    std::string text;
    for (const std::uint32_t s : chain) text.append(text.empty() ? "" : " ").append(std::to_string(s));
    return text;
}

std::string boxResult(int failedPlane) {
    return failedPlane < 0 ? "box in view" : std::string("box fails the ") + planeName(failedPlane) + " plane";
}

struct WhyOptions {
    ViewOptions view;
    std::int64_t space = 0;
};

int runWhy(const WhyOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("why", options.view.path, level); status != exitSuccess) return status;
    const std::size_t spaceCount = level.partition.spaces.size();
    if (options.space < 0 || static_cast<std::uint64_t>(options.space) >= spaceCount) {
        reportError("why", options.view.path + " has no space " + std::to_string(options.space) + " (it has " +
                               std::to_string(spaceCount) + ")");
        return exitUsage;
    }
    const auto space = static_cast<std::uint32_t>(options.space);
    const ManualCounter counter;
    Walkthrough walkthrough(level.geometry, level.partition, counter, bodyBelow(options.view.eye),
                            vectorOf(options.view.forward));
    applyViewOptions(options.view, walkthrough);
    SearchRecord record;
    walkthrough.visibility().collectVisibleSpaces(record);
    const SpaceExplanation answer = walkthrough.visibility().explain(record, space);

    using Verdict = SpaceExplanation::Verdict;
    if (answer.verdict == Verdict::noStart) {
        std::cout << "no space holds the eye: nothing is searched or listed\n";
        return 0;
    }
    std::cout << "the eye is in space " << answer.startSpace << "; " << record.list.size() << " of " << spaceCount
              << " spaces are listed\n";
    switch (answer.outcome) {
    case SpaceOutcome::listed:
        std::cout << "space " << space << " is listed, place " << answer.place << " (0 is first)\n";
        break;
    case SpaceOutcome::failedBox:
        std::cout << "space " << space << " is not listed: the search reached it, but its "
                  << boxResult(record.failedPlane[space]) << '\n';
        break;
    case SpaceOutcome::unreached:
        std::cout << "space " << space << " is not listed: the search never reached it\n";
        break;
    }
    if (!answer.chain.empty()) {
        std::cout << "the search's chain from space " << answer.startSpace << ":\n";
        for (const ChainStep& step : answer.chain) {
            std::cout << "  " << step.space << ": " << boxResult(step.failedPlane) << '\n';
        }
    }
    if (answer.verdict == Verdict::notReachable) {
        std::cout << "no chain of adjacency rows leads from space " << answer.startSpace << " to space " << space
                  << '\n';
    } else if (answer.verdict == Verdict::blocked) {
        std::cout << "every shortest chain from space " << answer.startSpace << " (" << answer.shortestLength
                  << " spaces) passes a space whose box fails; the first such space on each:\n";
        for (const BlockedChain& blocked : answer.blocked) {
            std::cout << "  space " << blocked.firstFailing << " fails the " << planeName(blocked.plane)
                      << " plane, on the chain " << chainText(blocked.chain) << '\n';
        }
    }
    return 0;
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
    static ViewOptions visible;
    auto* visibleCommand = app.add_subcommand(
        "visible", "List the spaces a frame would draw, in search order, for a standing camera whose eye is at\n"
                   "--eye looking along --forward.");
    addViewOptions(*visibleCommand, visible);
    visibleCommand->callback([&exitCode] { exitCode = runVisible(visible); });

    static WhyOptions why;
    auto* whyCommand = app.add_subcommand(
        "why", "Say whether the frame seen from --eye along --forward lists SPACE, and why: the search's chain\n"
               "to it with each box test, or that no chain of adjacency rows leads to it, or the first space\n"
               "whose box fails (and its plane) on each shortest chain.");
    addViewOptions(*whyCommand, why.view);
    whyCommand->add_option("SPACE", why.space, "the space index")->required();
    whyCommand->callback([&exitCode] { exitCode = runWhy(why); });

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
