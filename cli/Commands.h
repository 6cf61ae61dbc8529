// The command-line tool's subcommands, each returning the process exit code: 0 success,
// 1 the plug-in reported an error, 2 bad input (files, scene, options).
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>

namespace zpcli {

// A problem with the user's input: reported on stderr, exit code 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string defaultPluginPath(const char* argv0);
int runInfo(const std::string& pluginPath, std::ostream& out);

} // namespace zpcli
