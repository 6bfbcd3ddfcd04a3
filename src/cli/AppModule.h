#pragma once

#include "share/ShareCommand.h"

#include <cstdio>

namespace velloq::AppModule {

// Velloq itself lives in a module (velloq-app.so) that the program loads only when it runs
// Velloq, so that a command starts without loading the window's and the media libraries.
// Loads it from beside the program (a build tree) or from ../lib/velloq, and runs it. Gives
// its exit status, or 1 after saying on `err` why it could not be loaded.
int run(int& argc, char** argv, std::FILE* err = stderr);

// Has the module carry out an export or import on its own (no Velloq runs). False after saying
// on `err` why the module could not be loaded.
bool share(const ShareCommand::Request& request, ShareCommand::Result& result,
           std::FILE* err = stderr);

} // namespace velloq::AppModule
