// vantrell: a viewer for binary space partitioning levels, and tools to check them.
#include "app/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"Vantrell: walk through BSP levels, render them headless and check them.\n"
                 "Without a command, the main dialog opens."};
    app.set_version_flag("--version", "vantrell 0.1.0");
    app.require_subcommand(0, 1);
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
        return vantrell::runMainDialog(argc, argv);
#else
        std::cout << app.help();
        return 0;
#endif
    }
    return exitCode;
}
