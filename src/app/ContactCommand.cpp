// contact: the plane a movement runs into, run headless on a level file.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandSupport.h"
#include "app/Commands.h"
#include "app/ViewArguments.h"

namespace vantrell {
namespace {

struct ContactOptions {
    std::string path;
    std::string from;
    std::string to;
};

int runContact(const ContactOptions& options) {
    LoadedLevel level;
    if (const int status = loadValidLevel("contact", options.path, level); status != exitSuccess) return status;
    SpaceVisibility visibility(level.partition, level.geometry);
    const Plane p = visibility.findContactPlane(vectorOf(options.from), vectorOf(options.to));
    std::cout << formatFloat(p.a) << ' ' << formatFloat(p.b) << ' ' << formatFloat(p.c) << ' ' << formatFloat(p.d)
              << '\n';
    return exitSuccess;
}

}  // namespace

void addContactCommand(CLI::App& app, int& exitCode) {
    const auto contact = std::make_shared<ContactOptions>();
    auto* contactCommand =
        app.add_subcommand("contact",
                           "Print the plane \"a b c d\" of the first triangle that a movement from --from to --to\n"
                           "comes into contact with (\"0 0 0 0\" for none).");
    contactCommand->add_option("LEVEL", contact->path, "level file (.bsp)")->required();
    contactCommand->add_option("--from", contact->from, "start point")->required()->check(finiteVector(false));
    contactCommand->add_option("--to", contact->to, "end point")->required()->check(finiteVector(false));
    contactCommand->callback([contact, &exitCode] { exitCode = runContact(*contact); });
}

}  // namespace vantrell
