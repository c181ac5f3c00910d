// why: whether a frame lists a space, and the search's reason.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/ViewArguments.h"
#include "visibility/SpaceExplanation.h"

namespace vantrell {
namespace {

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
    SpaceVisibility visibility(level.partition, level.geometry);
    const ViewPoint view = viewPointOf(options.view);
    SearchRecord record;
    visibility.collectVisibleSpaces(view, record);
    const SpaceExplanation answer = visibility.explain(view, record, space);

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

}  // namespace

void addWhyCommand(CLI::App& app, int& exitCode) {
    const auto why = std::make_shared<WhyOptions>();
    auto* whyCommand = app.add_subcommand(
        "why",
        "Say whether the frame seen from --eye along --forward lists SPACE, and why: the search's chain\n"
        "to it with each box test, or that no chain of adjacency rows leads to it, or the first space\n"
        "whose box fails (and its plane) on each shortest chain.");
    addViewOptions(*whyCommand, why->view);
    whyCommand->add_option("SPACE", why->space, "the space index")->required();
    whyCommand->callback([why, &exitCode] { exitCode = runWhy(*why); });
}

}  // namespace vantrell
