#include "support/TestEnv.h"

#include <QTest>

namespace velloq::test {

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    return QTest::qWaitFor(done, timeoutMs);
}

} // namespace velloq::test
