#pragma once

#include <array>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace velloq {

// Reads every event waiting on a non-blocking inotify descriptor and hands each to
// `each(event, name)`; `name` is empty for events without one.
template <typename Each> void readInotifyEvents(int fd, Each each) {
    alignas(inotify_event) std::array<char, 16 * 1024> buffer{};
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t offset = 0; offset < n;) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + offset, sizeof event);
            const char* name = event.len ? buffer.data() + offset + sizeof event : "";
            offset += ssize_t(sizeof event + event.len);
            each(event, name);
        }
    }
}

} // namespace velloq
