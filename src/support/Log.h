#pragma once

#include <QString>
#include <QStringList>

namespace velloq {

// One line "[Velloq] " + message to stderr and to syslog. Safe from any thread.
void logLine(const QString& message);

// Routes Qt's and FFmpeg's own messages through logLine from now on: warnings and worse
// as one line each, the rest dropped, so neither library writes unprefixed lines to
// stderr. Call once at start-up, before the application object exists.
void routeLibraryMessages();

// Collects every line logged while it lives, for tests. Lines still go to stderr.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The messages, without the "[Velloq] " prefix.
    QStringList lines() const;
    bool contains(const QString& fragment) const;
    int count(const QString& fragment) const;
    void clear();

private:
    LogCapture* previous_ = nullptr;
    QStringList lines_;
    friend void logLine(const QString& message);
};

} // namespace velloq
