#pragma once

#include <QStringList>

#include <cstdio>
#include <functional>

namespace velloq::CommandLine {

// The project's version ("1.4"), as the build gives it: the one place the program names it.
const char* version();

// What velloq does with its arguments. None, or only files to open (below): runs Velloq
// through `runApp`. "--help" (or
// "-h") and "--version" print on `out`; a command ("velloq page Media") drives the running
// Velloq over D-Bus. Gives the exit status: 0, 1 for a failure, 2 for bad arguments (the
// message, prefixed "velloq: ", and the usage go to `err`).
int run(int& argc, char** argv, const std::function<int(int&, char**)>& runApp,
        std::FILE* out = stdout, std::FILE* err = stderr);

// The files Velloq was started with, as absolute paths: "file:" URIs (what the desktop entry
// passes) and paths ending in ".velloq". Empty when any argument is something else.
QStringList filesToOpen(int argc, const char* const* argv);

} // namespace velloq::CommandLine
