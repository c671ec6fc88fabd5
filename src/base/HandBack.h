#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>
#include <utility>

// The one way a worker's result comes back to the GUI thread: `work` runs on `pool`, and `done`
// gets its result on the receiver's thread through a watcher that is the receiver's child. When
// the receiver goes first the watcher goes with it and the result is dropped: no job ever holds a
// pointer to an object that may be gone. Whoever owns the pool waits for it (or clears it) before
// the data the jobs read goes; the jobs themselves must only use what they were given by value.
template <class Work, class Done>
void runAndHandBack(QObject* receiver, QThreadPool& pool, Work&& work, Done&& done)
{
    using Result = std::invoke_result_t<std::decay_t<Work>>;
    auto* watcher = new QFutureWatcher<Result>(receiver);
    QObject::connect(watcher, &QFutureWatcherBase::finished, receiver,
                     [watcher, done = std::forward<Done>(done)]() mutable {
                         if (!watcher->isCanceled())
                             done(watcher->result());
                         watcher->deleteLater();
                     });
    watcher->setFuture(QtConcurrent::run(&pool, std::forward<Work>(work)));
}
