#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThreadPool>

#include <memory>
#include <utility>

namespace velloq {

// Runs `work` on a worker thread of `pool` and hands its result to `done` on the main thread,
// unless `context` is gone by then. `work` must keep to plain data. The guard is made and read
// on the caller's thread only; the worker just carries it.
template <typename Work, typename Done>
void inBackground(QObject* context, Work work, Done done,
                  QThreadPool* pool = QThreadPool::globalInstance()) {
    auto guard = std::make_shared<QPointer<QObject>>(context);
    pool->start(
        [guard = std::move(guard), work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard = std::move(guard), done = std::move(done),
                 result = std::move(result)]() mutable {
                    if (*guard)
                        done(std::move(result));
                },
                Qt::QueuedConnection);
        });
}

} // namespace velloq
