#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>

namespace velloq::test {

// The per-process scratch folder. TestMain points XDG_DATA_HOME, XDG_CONFIG_HOME,
// XDG_CACHE_HOME and XDG_RUNTIME_DIR into it before Qt starts, so no test touches the
// user's real files.
QString scratchDir();

// Runs the event loop until `done` is true or `timeoutMs` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000);

} // namespace velloq::test
