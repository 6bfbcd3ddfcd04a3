#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <thread>

namespace velloq::test {

// Another X client that owns the CLIPBOARD selection from a thread of its own and answers
// each format after its delay (never when the delay is negative), and the list of its formats
// after `listDelayMs` (never when negative), as a slow or hung application does.
class SlowClipboardOwner {
public:
    struct Format {
        QString target; // an atom name: "UTF8_STRING", "text/html", …
        QByteArray data;
        int delayMs = 0;
    };
    explicit SlowClipboardOwner(QList<Format> formats, int listDelayMs = 0);
    ~SlowClipboardOwner();
    SlowClipboardOwner(const SlowClipboardOwner&) = delete;
    SlowClipboardOwner& operator=(const SlowClipboardOwner&) = delete;

    // Whether it took the selection (false without an X server).
    bool owns() const { return owns_; }
    // Whether another client has taken the selection from it since.
    bool lost() const { return lost_; }

private:
    void serve();

    QList<Format> formats_;
    int listDelayMs_;
    std::atomic<bool> lost_ = false;
    std::atomic<bool> owns_ = false;
    std::atomic<bool> stop_ = false;
    std::atomic<bool> ready_ = false;
    std::thread thread_;
};

} // namespace velloq::test
