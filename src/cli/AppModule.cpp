#include "cli/AppModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace velloq::AppModule {

namespace {

// The module's function `name`, or null after saying on `err` why there is none.
void* entry(const char* name, std::FILE* err) {
    std::error_code error;
    // Its own file, not a name from the environment: the module runs with the user's rights.
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    if (error) {
        std::fprintf(err, "velloq: cannot find the program's own file: %s\n",
                     error.message().c_str());
        return nullptr;
    }
    const std::filesystem::path folder = self.parent_path();
    for (const std::filesystem::path& module :
         {folder / "velloq-app.so", folder / ".." / VELLOQ_APP_MODULE_DIR / "velloq-app.so"}) {
        if (!std::filesystem::is_regular_file(module, error))
            continue;
        void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(err, "velloq: cannot load %s: %s\n", module.c_str(), ::dlerror());
            return nullptr;
        }
        void* function = ::dlsym(handle, name);
        if (!function)
            std::fprintf(err, "velloq: %s is not Velloq's module\n", module.c_str());
        return function;
    }
    std::fprintf(err, "velloq: velloq-app.so is missing beside %s and in ../%s\n", self.c_str(),
                 VELLOQ_APP_MODULE_DIR);
    return nullptr;
}

} // namespace

int run(int& argc, char** argv, std::FILE* err) {
    using Main = int (*)(int&, char**);
    const auto main = reinterpret_cast<Main>(entry("velloq_app_main", err));
    return main ? main(argc, argv) : 1;
}

bool share(const ShareCommand::Request& request, ShareCommand::Result& result, std::FILE* err) {
    const auto carryOut =
        reinterpret_cast<ShareCommand::ModuleEntry>(entry(ShareCommand::kModuleEntry, err));
    if (!carryOut)
        return false;
    carryOut(request, result);
    return true;
}

} // namespace velloq::AppModule
