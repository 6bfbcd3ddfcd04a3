#include "cli/AppModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace velloq::AppModule {

int run(int& argc, char** argv, std::FILE* err) {
    std::error_code error;
    // Its own file, not a name from the environment: the module runs with the user's rights.
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe", error);
    if (error) {
        std::fprintf(err, "velloq: cannot find the program's own file: %s\n",
                     error.message().c_str());
        return 1;
    }
    const std::filesystem::path folder = self.parent_path();
    for (const std::filesystem::path& module :
         {folder / "velloq-app.so", folder / ".." / VELLOQ_APP_MODULE_DIR / "velloq-app.so"}) {
        if (!std::filesystem::is_regular_file(module, error))
            continue;
        void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(err, "velloq: cannot load %s: %s\n", module.c_str(), ::dlerror());
            return 1;
        }
        using Main = int (*)(int&, char**);
        const auto main = reinterpret_cast<Main>(::dlsym(handle, "velloq_app_main"));
        if (!main) {
            std::fprintf(err, "velloq: %s is not Velloq's module\n", module.c_str());
            return 1;
        }
        return main(argc, argv);
    }
    std::fprintf(err, "velloq: velloq-app.so is missing beside %s and in ../%s\n", self.c_str(),
                 VELLOQ_APP_MODULE_DIR);
    return 1;
}

} // namespace velloq::AppModule
