#include "support/Log.h"

#include <QMutex>
#include <QMutexLocker>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <syslog.h>

namespace velloq {

namespace {
QMutex& logMutex() {
    static QMutex mutex;
    return mutex;
}
LogCapture* activeCapture = nullptr;

void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    const bool named = context.category != nullptr && std::strcmp(context.category, "default") != 0;
    logLine(named ? QString::fromUtf8(context.category) + QStringLiteral(": ") + message : message);
}

void ffmpegMessage(void* source, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_WARNING)
        return;
    // FFmpeg may build one line from several calls; a line is logged once it is complete.
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(source, level, format, copy, piece, sizeof piece, &printPrefix);
    va_end(copy);
    pending += piece;
    constexpr size_t kLongestLine = 4096;
    if (pending.empty() || (pending.back() != '\n' && pending.size() < kLongestLine))
        return;
    while (!pending.empty() && (pending.back() == '\n' || pending.back() == '\r'))
        pending.pop_back();
    if (!pending.empty())
        logLine(QString::fromStdString(pending));
    pending.clear();
}
} // namespace

void routeLibraryMessages() {
    qInstallMessageHandler(qtMessage);
    av_log_set_callback(ffmpegMessage);
}

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
