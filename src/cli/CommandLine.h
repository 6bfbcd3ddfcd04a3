#pragma once

#include <cstdio>
#include <functional>

namespace velloq::CommandLine {

// The project's version ("1.4"), as the build gives it: the one place the program names it.
const char* version();

// What velloq does with its arguments. None: runs Velloq through `runApp`. "--help" (or
// "-h") and "--version" print on `out`; a command ("velloq page Media") drives the running
// Velloq over D-Bus. Gives the exit status: 0, 1 for a failure, 2 for bad arguments (the
// message, prefixed "velloq: ", and the usage go to `err`).
int run(int& argc, char** argv, const std::function<int(int&, char**)>& runApp,
        std::FILE* out = stdout, std::FILE* err = stderr);

} // namespace velloq::CommandLine
