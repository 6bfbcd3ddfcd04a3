#include "support/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace velloq::AppPaths {

QString dataDir() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Velloq");
}

QString resourceDir() {
    if (QCoreApplication::instance()) {
        const QString installed =
            QCoreApplication::applicationDirPath() + QStringLiteral("/../share/velloq");
        if (QFileInfo(installed + QStringLiteral("/Screensavers")).isDir())
            return QDir(installed).canonicalPath();
    }
    return QStringLiteral(VELLOQ_SOURCE_RESOURCES);
}

QString runtimeDir() {
    const QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!dir.isEmpty() && QDir::isAbsolutePath(dir))
        return dir;
    const QString fallback = QStringLiteral("/tmp/velloq-%1").arg(getuid());
    ::mkdir(QFile::encodeName(fallback).constData(), 0700);
    return fallback;
}

} // namespace velloq::AppPaths
