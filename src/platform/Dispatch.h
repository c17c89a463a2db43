#pragma once
#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Hand-offs from worker threads to the window thread. Calls posted to one
// receiver from one thread run in the order they were posted; a call to a
// receiver that has been destroyed is dropped.
namespace platform {

template <class F> void postTo(QObject* receiver, F&& fn) {
    if (!receiver) return;
    QMetaObject::invokeMethod(receiver, std::forward<F>(fn), Qt::QueuedConnection);
}

// Posts fn to the receiver's thread and waits until it has run there. The wait
// ends early, without fn having run, when stop becomes true, so a window thread that is itself waiting for this worker to stop
// can never deadlock with it. Returns true when fn ran.
inline bool postAndWait(QObject* receiver, std::function<void()> fn, const std::atomic<bool>& stop) {
    struct State {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        bool abandoned = false;
    };
    auto st = std::make_shared<State>();
    if (!receiver) return false;
    QMetaObject::invokeMethod(
        receiver,
        [st, f = std::move(fn)]() {
            {
                std::lock_guard l(st->m);
                if (st->abandoned) return; // the worker gave up: deliver nothing after a stop
            }
            f();
            std::lock_guard l(st->m);
            st->done = true;
            st->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock l(st->m);
    while (!st->done) {
        if (stop.load()) {
            st->abandoned = true;
            return false;
        }
        st->cv.wait_for(l, std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace platform
