// The libddcutil backend of MonitorBus. The library is opened on first use rather than linked:
// it is optional (without it there is simply no monitor), and its start-up code prints to
// stdout, which `velloq --version` and every other start must not.
#include "system/MonitorBrightness.h"

#include "support/Log.h"
#include "support/UniqueFd.h"

#include <QString>

#include <cstdio>
#include <type_traits>
#include <vector>

#include <ddcutil_c_api.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace velloq {

namespace {

constexpr DDCA_Vcp_Feature_Code kBrightness = 0x10;

// The functions used, looked up once.
struct Ddcutil {
    decltype(&ddca_get_display_info_list2) displays = nullptr;
    decltype(&ddca_free_display_info_list) freeDisplays = nullptr;
    decltype(&ddca_redetect_displays) redetect = nullptr;
    decltype(&ddca_open_display2) open = nullptr;
    decltype(&ddca_close_display) close = nullptr;
    decltype(&ddca_get_non_table_vcp_value) get = nullptr;
    decltype(&ddca_set_non_table_vcp_value) set = nullptr;
    decltype(&ddca_rc_name) name = nullptr;
    decltype(&ddca_set_fout) setOut = nullptr;
    decltype(&ddca_set_ferr) setErr = nullptr;

    // Null when the library or one of the functions is missing.
    static const Ddcutil* load() {
        static const Ddcutil* loaded = openLibrary();
        return loaded;
    }

    // Its messages go to our log instead, per thread, as the library wants it.
    void quiet() const {
        thread_local bool done = false;
        if (!done) {
            setOut(nullptr);
            setErr(nullptr);
            done = true;
        }
    }

private:
    static const Ddcutil* openLibrary() {
        std::fflush(stdout);
        const UniqueFd saved(::dup(STDOUT_FILENO));
        const UniqueFd null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        if (saved.get() >= 0 && null.get() >= 0)
            ::dup2(null.get(), STDOUT_FILENO);
        // Version 2 (Debian 13, Ubuntu 24.04) keeps these functions; version 1 is Debian 12's.
        void* handle = ::dlopen("libddcutil.so.5", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            handle = ::dlopen("libddcutil.so.4", RTLD_NOW | RTLD_LOCAL);
        std::fflush(stdout);
        if (saved.get() >= 0)
            ::dup2(saved.get(), STDOUT_FILENO);
        if (!handle) {
            logLine(QStringLiteral("No monitor brightness over DDC/CI: ") +
                    QString::fromLocal8Bit(::dlerror()));
            return nullptr;
        }
        static Ddcutil api;
        auto find = [handle](auto& function, const char* symbol) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                ::dlsym(handle, symbol));
            return function != nullptr;
        };
        const bool all =
            find(api.displays, "ddca_get_display_info_list2") &&
            find(api.freeDisplays, "ddca_free_display_info_list") &&
            find(api.redetect, "ddca_redetect_displays") && find(api.open, "ddca_open_display2") &&
            find(api.close, "ddca_close_display") &&
            find(api.get, "ddca_get_non_table_vcp_value") &&
            find(api.set, "ddca_set_non_table_vcp_value") && find(api.name, "ddca_rc_name") &&
            find(api.setOut, "ddca_set_fout") && find(api.setErr, "ddca_set_ferr");
        if (!all) {
            logLine(
                QStringLiteral("No monitor brightness over DDC/CI: libddcutil lacks a function"));
            return nullptr;
        }
        return &api;
    }
};

class DdcutilBus final : public MonitorBus {
public:
    ~DdcutilBus() override { release(); }

    int detect() override {
        const Ddcutil* api = Ddcutil::load();
        if (!api)
            return 0;
        api->quiet();
        release();
        if (detected_)
            api->redetect();
        detected_ = true;
        DDCA_Display_Info_List* list = nullptr;
        if (api->displays(false, &list) != 0 || !list)
            return 0;
        for (int i = 0; i < list->ct; ++i) {
            DDCA_Display_Handle handle = nullptr;
            const DDCA_Status status = api->open(list->info[i].dref, true, &handle);
            if (status == 0 && handle)
                handles_.push_back(handle);
            else
                logLine(QStringLiteral("Could not open monitor ") + QString::number(i + 1) +
                        QStringLiteral(" over DDC/CI: ") + QString::fromLatin1(api->name(status)));
        }
        api->freeDisplays(list);
        return int(handles_.size());
    }

    std::optional<Level> brightness(int monitor) override {
        const Ddcutil* api = Ddcutil::load();
        if (!api || monitor < 0 || size_t(monitor) >= handles_.size())
            return std::nullopt;
        api->quiet();
        DDCA_Non_Table_Vcp_Value value{};
        if (api->get(handles_[size_t(monitor)], kBrightness, &value) != 0)
            return std::nullopt;
        return Level{uint16_t(value.sh << 8 | value.sl), uint16_t(value.mh << 8 | value.ml)};
    }

    bool setBrightness(int monitor, uint16_t value) override {
        const Ddcutil* api = Ddcutil::load();
        if (!api || monitor < 0 || size_t(monitor) >= handles_.size())
            return false;
        api->quiet();
        const DDCA_Status status = api->set(handles_[size_t(monitor)], kBrightness,
                                            uint8_t(value >> 8), uint8_t(value & 0xFF));
        if (status != 0)
            logLine(QStringLiteral("Could not set the brightness of monitor ") +
                    QString::number(monitor + 1) + QStringLiteral(": ") +
                    QString::fromLatin1(api->name(status)));
        return status == 0;
    }

private:
    void release() {
        if (const Ddcutil* api = Ddcutil::load()) {
            for (DDCA_Display_Handle handle : handles_)
                api->close(handle);
        }
        handles_.clear();
    }

    bool detected_ = false;
    std::vector<DDCA_Display_Handle> handles_;
};

} // namespace

std::unique_ptr<MonitorBus> makeDdcutilBus() {
    return std::make_unique<DdcutilBus>();
}

} // namespace velloq
