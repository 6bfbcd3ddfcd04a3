#pragma once

#include <QString>
#include <QStringList>

namespace velloq {

// One line "[Velloq] " + message to stderr and to syslog. Safe from any thread.
void logLine(const QString& message);

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
