#include "support/TestEnv.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace velloq::test {

namespace {
QString& scratch() {
    static QString dir;
    return dir;
}
} // namespace

QString scratchDir() {
    return scratch();
}

namespace {

// NAME=value lines into the environment.
void readEnvironmentFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            qputenv(line.left(equals).constData(), line.mid(equals + 1));
    }
}

// Under ctest the fixture "velloq_services" has started an X server, a session bus and a
// sound server of the run's own and written their addresses to VELLOQ_TEST_SERVICES_FILE.
// They replace the desktop's, so no test types into or plays on the user's session. When
// scripts/lib/services.sh started them instead, the environment already names them.
void useTestServices() {
    if (!qEnvironmentVariableIsSet("VELLOQ_TEST_SERVICES"))
        readEnvironmentFile(QStringLiteral(VELLOQ_TEST_SERVICES_FILE));
    // A fixture of some tests' own (an X server with a window manager) names its services
    // in the file VELLOQ_TEST_ENV_FILE gives; they take the place of the shared ones.
    if (qEnvironmentVariableIsSet("VELLOQ_TEST_ENV_FILE"))
        readEnvironmentFile(qEnvironmentVariable("VELLOQ_TEST_ENV_FILE"));
}

} // namespace

} // namespace velloq::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);

    if (GTEST_FLAG_GET(list_tests)) // discovery runs without a display
        return RUN_ALL_TESTS();

    velloq::test::useTestServices();

    // A private home for everything the system writes; removed at exit.
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/velloq-test-XXXXXX"));
    if (!root.isValid())
        return 2;
    velloq::test::scratch() = root.path();
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        const QString dir = root.path() + QLatin1Char('/') + QString::fromLatin1(name);
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    }
    const QString runtime = root.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloq"));
    return RUN_ALL_TESTS();
}
