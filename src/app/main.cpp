// vantrell: a viewer for binary space partitioning levels, and tools to check them.
#include "app/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

int main(int argc, char** argv) {
    CLI::App app{"Vantrell: walk through BSP levels, render them headless and check them.\n"
                 "Without a command, the main dialog opens (with LEVEL loaded when one is given)."};
    // The name in the usage line, whatever path the program was started by.
    app.name("vantrell");
    app.set_version_flag("--version", "vantrell 0.1.0");
    app.require_subcommand(0, 1);
    std::string firstLevel;
    app.add_option("LEVEL", firstLevel, "a level, game level or .pk3 archive to open in the main dialog");
    int exitCode = 0;
    vantrell::addLevelCommands(app, exitCode);
#ifdef VANTRELL_IMPORT
    vantrell::addImportCommands(app, exitCode);
#endif
    vantrell::addWalkCommands(app, exitCode);
    vantrell::addTraceCommand(app, exitCode);
#ifdef VANTRELL_VIEWER
    vantrell::addViewerCommands(app, exitCode);
    vantrell::addRenderCommand(app, exitCode);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (app.get_subcommands().empty()) {
#ifdef VANTRELL_VIEWER
        return vantrell::runMainDialog(argc, argv, firstLevel);
#else
        if (!firstLevel.empty()) {
            std::cerr << "vantrell: the main dialog is not part of this build; see --help for the commands\n";
            return 1;
        }
        std::cout << app.help();
        return 0;
#endif
    }
    return exitCode;
}
