#pragma once

// An Xvfb of the test's own, for a program under test that must see a display nothing else
// uses (a window it opens, an X server that ends under it). Ended with the object.

#include "support/TestEnv.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace velloq::test {

class XServer {
public:
    XServer() {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            return;
        // A number far above those that -displayfd servers take by scanning up from 0: such a
        // scan unlinks the sockets of the servers it passes on its way.
        // Its warnings are not read: unread, they would fill the pipe and stop the server.
        process_.setStandardErrorFile(QProcess::nullDevice());
        for (int attempt = 0; attempt < 10 && display_.isEmpty(); ++attempt) {
            const QString name =
                u':' + QString::number(QRandomGenerator::global()->bounded(200, 900));
            process_.start(QStringLiteral("Xvfb"),
                           {name, QStringLiteral("-displayfd"), QStringLiteral("1"),
                            QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-noreset")});
            QByteArray number;
            waitUntil(
                [&] {
                    number += process_.readAllStandardOutput();
                    return number.endsWith('\n') || process_.state() == QProcess::NotRunning;
                },
                15000);
            if (number.endsWith('\n') && process_.state() == QProcess::Running)
                display_ = name;
            else
                stop(); // taken: another number
        }
    }
    ~XServer() { stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N", or empty when Xvfb is missing or did not start.
    QString display() const { return display_; }

    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }

private:
    QProcess process_;
    QString display_;
};

} // namespace velloq::test
