#pragma once
#include <QMetaObject>
#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

// Hand-offs from worker threads to the window thread.
namespace platform {

// Qt's posted-event queue locks with futexes that the thread checker cannot
// see. In that build a posting holds one lock of ours, which the posted call
// takes first, so that what the poster did (the call's own captures among it)
// is seen to happen before the call runs. Nothing in other builds.
namespace queue_sync {
#if defined(__SANITIZE_THREAD__)
inline std::mutex& lock() {
    static std::mutex m;
    return m;
}
struct Posting {
    std::lock_guard<std::mutex> held{lock()};
};
inline void running() {
    std::lock_guard l(lock());
}
#else
struct [[maybe_unused]] Posting {};
inline void running() {}
#endif
} // namespace queue_sync

// Posts fn to run on the receiver's thread.
template <class F> void postTo(QObject* receiver, F&& fn) {
    if (!receiver) return;
    queue_sync::Posting posting;
    QMetaObject::invokeMethod(
        receiver,
        [f = std::forward<F>(fn)]() mutable {
            queue_sync::running();
            f();
        },
        Qt::QueuedConnection);
}

// The window-thread end of a worker's hand-offs. Set on the window thread from
// the object the calls are for; a worker posts through it. Calls posted from
// one thread run in the order they were posted. Once the object is destroyed
// nothing more is posted, and what was posted and not yet run is dropped with
// it, so a worker that outlives its panel can never reach into it. (A
// QPointer read on a worker thread would race with the object's destruction.)
class Receiver {
public:
    Receiver() = default;
    Receiver(QObject* target) { *this = target; } // NOLINT: set as the field's value, like a pointer
    // All receivers of one target share one box, watched through one
    // connection to its destroyed() signal: a panel that starts a channel
    // every few seconds for weeks must not gather a connection per start.
    Receiver& operator=(QObject* target) {
        box_ = target ? boxOf(target) : nullptr;
        return *this;
    }

    // True when a target was given (it may be gone since).
    explicit operator bool() const { return box_ != nullptr; }

    // Posts fn to the target's thread; false when there is no target any more.
    bool post(std::function<void()> fn) const {
        if (!box_) return false;
        std::lock_guard l(box_->m);
        if (!box_->target) return false;
        queue_sync::Posting posting;
        QMetaObject::invokeMethod(
            box_->target,
            [f = std::move(fn)] {
                queue_sync::running();
                f();
            },
            Qt::QueuedConnection);
        return true;
    }

    // Posts fn to the target's thread when a target was given, else runs it
    // here at once (a worker used without a window, as in tests and tools).
    void deliver(std::function<void()> fn) const {
        if (box_)
            post(std::move(fn));
        else
            fn();
    }

    // Posts fn and waits until it has run on the target's thread. The wait
    // ends early, without fn having run, when stop becomes true or the target
    // is destroyed, so a window thread that is itself waiting for this worker
    // can never deadlock with it. True when fn ran.
    bool postAndWait(std::function<void()> fn, const std::atomic<bool>& stop) const {
        if (!box_) return false;
        struct State {
            bool done = false;
            bool abandoned = false;
        };
        auto st = std::make_shared<State>();
        auto box = box_;
        {
            std::lock_guard l(box->m);
            if (!box->target) return false;
            queue_sync::Posting posting;
            QMetaObject::invokeMethod(
                box->target,
                [st, box, f = std::move(fn)]() {
                    queue_sync::running();
                    {
                        std::lock_guard l(box->m);
                        if (st->abandoned) return; // the worker gave up: deliver nothing after a stop
                    }
                    f();
                    std::lock_guard l(box->m);
                    st->done = true;
                    box->cv.notify_all();
                },
                Qt::QueuedConnection);
        }
        std::unique_lock l(box->m);
        while (!st->done) {
            if (stop.load() || !box->target) {
                st->abandoned = true;
                return false;
            }
            box->cv.wait_for(l, std::chrono::milliseconds(20));
        }
        return true;
    }

private:
    struct Box {
        std::mutex m;
        std::condition_variable cv;
        QObject* target = nullptr;
    };

    // The box of a living target, made (and its destruction watched) on first use.
    static std::shared_ptr<Box> boxOf(QObject* target) {
        // Never destroyed: a target may outlive the program's static objects.
        static auto* registryLock = new std::mutex;
        static auto* registry = new std::unordered_map<const QObject*, std::shared_ptr<Box>>;
        std::lock_guard r(*registryLock);
        auto& box = (*registry)[target];
        if (box) return box;
        box = std::make_shared<Box>();
        box->target = target;
        QObject::connect(target, &QObject::destroyed, [target, b = box] {
            {
                std::lock_guard l(b->m);
                b->target = nullptr;
                b->cv.notify_all();
            }
            // A later object at the same address gets a box of its own.
            std::lock_guard g(*registryLock);
            registry->erase(target);
        });
        return box;
    }

    std::shared_ptr<Box> box_;
};

} // namespace platform
