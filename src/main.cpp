#include "cli/AppModule.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    return velloq::CommandLine::run(argc, argv, [](int& count, char** arguments) {
        return velloq::AppModule::run(count, arguments);
    });
}
