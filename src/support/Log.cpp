#include "support/Log.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstdio>
#include <syslog.h>

namespace velloq {

namespace {
QMutex& logMutex() {
    static QMutex mutex;
    return mutex;
}
LogCapture* activeCapture = nullptr;
} // namespace

void logLine(const QString& message) {
    const QByteArray line = QByteArrayLiteral("[Velloq] ") + message.toUtf8();
    QMutexLocker lock(&logMutex());
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    syslog(LOG_USER | LOG_NOTICE, "%s", line.constData());
    if (activeCapture)
        activeCapture->lines_.append(message);
}

LogCapture::LogCapture() {
    QMutexLocker lock(&logMutex());
    previous_ = activeCapture;
    activeCapture = this;
}

LogCapture::~LogCapture() {
    QMutexLocker lock(&logMutex());
    activeCapture = previous_;
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&logMutex());
    return lines_;
}

bool LogCapture::contains(const QString& fragment) const {
    return count(fragment) > 0;
}

int LogCapture::count(const QString& fragment) const {
    QMutexLocker lock(&logMutex());
    int n = 0;
    for (const QString& line : lines_)
        n += line.contains(fragment) ? 1 : 0;
    return n;
}

void LogCapture::clear() {
    QMutexLocker lock(&logMutex());
    lines_.clear();
}

} // namespace velloq
