// vantrell: a viewer for binary space partitioning levels, and tools to check them.
#include <CLI/CLI.hpp>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/CommandSupport.h"
#include "app/Commands.h"

namespace {

// The subcommand that was being parsed or run, or an empty string for the program itself.
std::string commandOf(CLI::App& app) {
    const std::vector<CLI::App*> commands = app.get_subcommands();
    return commands.empty() ? std::string() : commands.front()->get_name();
}

// The parser's own errors, as usage errors in the program's one format.
int reportParseError(CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
    const std::string command = commandOf(app);
    std::string message = e.what();
    // A first argument that is not an option and named no command.
    if (command.empty() && argc > 1 && argv[1][0] != '-' && dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr)
        message = std::string("'") + argv[1] + "' is not a command";
    message += command.empty() ? " (see vantrell --help)" : " (see vantrell " + command + " --help)";
    vantrell::reportError(command, message);
    return vantrell::exitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Vantrell: walk through BSP levels, render them headless and check them.\n"
        "Without a command, the main dialog opens (with LEVEL loaded when one is given)."};
    // The name in the usage line, whatever path the program was started by.
    app.name("vantrell");
    app.set_version_flag("--version", "vantrell 0.1.0");
    app.require_subcommand(0, 1);
    std::string firstLevel;
    app.add_option("LEVEL", firstLevel, "a level, game level or .pk3 archive to open in the main dialog");
    int exitCode = 0;
    vantrell::addInfoCommand(app, exitCode);
    vantrell::addLocateCommand(app, exitCode);
#ifdef VANTRELL_IMPORT
    vantrell::addImportCommands(app, exitCode);
#endif
#ifdef VANTRELL_SCENE
    vantrell::addCompileCommands(app, exitCode);
#endif
    vantrell::addVisibleCommand(app, exitCode);
    vantrell::addWhyCommand(app, exitCode);
    vantrell::addContactCommand(app, exitCode);
    vantrell::addTraceCommand(app, exitCode);
#ifdef VANTRELL_VIEWER
    vantrell::addViewerCommands(app, exitCode);
    vantrell::addRenderCommand(app, exitCode);
#endif
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version are "errors" with status 0; they print on standard output.
        if (e.get_exit_code() == 0) return app.exit(e);
        return reportParseError(app, e, argc, argv);
    } catch (const std::exception& e) {
        // The commands report their own failures; this is the last line for what slips past.
        vantrell::reportError(commandOf(app), e.what());
        return vantrell::exitFailure;
    }
    if (app.get_subcommands().empty()) {
        // A word that names neither a command nor a file is far more likely a mistyped
        // command than a level to open.
        std::error_code error;
        if (!firstLevel.empty() && !std::filesystem::exists(firstLevel, error)) {
            vantrell::reportError(
                "", "'" + firstLevel + "' is not a command, and no file has that name (see vantrell --help)");
            return vantrell::exitUsage;
        }
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
