#pragma once

#include <QStringList>

#include <cstdio>
#include <optional>

namespace velloq::CommandLine {

// The project's version ("1.4"), as the build gives it: the one place the program names it.
const char* version();

// Before anything else starts: "--version" prints the version and "--help" a short help on
// `out`; files to open (below) let it run; any other argument prints the help on `err`. Gives
// the exit code when the program should stop there (0, or 2 for an unknown argument), nothing
// when it should run.
std::optional<int> handle(int argc, const char* const* argv, std::FILE* out = stdout,
                          std::FILE* err = stderr);

// The files Velloq was started with, as absolute paths: "file:" URIs (what the desktop entry
// passes) and paths ending in ".velloq". Empty when any argument is something else.
QStringList filesToOpen(int argc, const char* const* argv);

} // namespace velloq::CommandLine
