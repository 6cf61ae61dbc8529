// zonepainter: renders frames through the real plug-in in the headless host, and shows what
// the plug-in tells a host about itself.
#include "cli/Commands.h"

#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
    CLI::App app{"Zonepainter command-line renderer: drives the plug-in through a headless host"};
    app.require_subcommand(1);
    std::string plugin;
    app.add_option("--plugin", plugin, "effect library to load (default: next to this tool)");

    auto* info = app.add_subcommand("info", "print the about text and the parameter list");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    try {
        const std::string lib = plugin.empty() ? zpcli::defaultPluginPath(argv[0]) : plugin;
        if (info->parsed()) return zpcli::runInfo(lib, std::cout);
    } catch (const zpcli::UsageError& e) {
        std::cerr << "zonepainter: " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zonepainter: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
