// The subcommands of the vantrell executable. Each add function registers its commands on
// app; a command's callback stores its exit status in exitCode.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace vantrell {

void addInfoCommand(CLI::App& app, int& exitCode);
void addLocateCommand(CLI::App& app, int& exitCode);
void addVisibleCommand(CLI::App& app, int& exitCode);
void addWhyCommand(CLI::App& app, int& exitCode);
void addContactCommand(CLI::App& app, int& exitCode);
void addTraceCommand(CLI::App& app, int& exitCode);     // trace
void addImportCommands(CLI::App& app, int& exitCode);   // import (and play of an IBSP input)
void addCompileCommands(CLI::App& app, int& exitCode);  // compile (and play of a scene)
void addViewerCommands(CLI::App& app, int& exitCode);   // play
void addRenderCommand(CLI::App& app, int& exitCode);    // render (headless, EGL)
// The main dialog, started when no subcommand is given, with firstLevel loaded when it is not
// empty; returns the exit status.
int runMainDialog(int argc, char** argv, const std::string& firstLevel);

}  // namespace vantrell
