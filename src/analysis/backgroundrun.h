#pragma once

#include <QMetaObject>
#include <QObject>
#include <QtGlobal>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// One computation at a time on a thread of its own, its result handed back on the owner's thread. A newer
// start supersedes the running computation: it is told to stop at its next step and its result is dropped.
class BackgroundRun {
public:
    BackgroundRun() = default;
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;
    ~BackgroundRun() { stop(); }

    // work(cancel) runs on the thread; deliver(result) later on context's thread, unless superseded. The
    // context must own this object, so that nothing is delivered after it is gone.
    template <typename Result>
    void start(QObject* context, std::function<Result(const std::atomic<bool>* cancel)> work,
               std::function<void(const Result&)> deliver)
    {
        stop();
        m_cancel = std::make_unique<std::atomic<bool>>(false);
        const quint64 generation = ++m_generation;
        m_busy = true;
        const std::atomic<bool>* cancel = m_cancel.get();
        m_thread = std::thread(
            [this, context, work = std::move(work), deliver = std::move(deliver), generation, cancel] {
                Result result = work(cancel);
                if (cancel->load())
                    return;
                QMetaObject::invokeMethod(
                    context,
                    [this, deliver, result = std::move(result), generation] {
                        if (generation != m_generation)
                            return;
                        m_busy = false;
                        deliver(result);
                    },
                    Qt::QueuedConnection);
            });
    }
    [[nodiscard]] bool busy() const { return m_busy; }
    // Tells a running computation to stop and waits for its thread.
    void stop()
    {
        if (m_cancel)
            m_cancel->store(true);
        if (m_thread.joinable())
            m_thread.join();
        m_busy = false;
    }

private:
    std::thread m_thread;
    std::unique_ptr<std::atomic<bool>> m_cancel;
    quint64 m_generation = 0; // touched on the owner's thread only
    bool m_busy = false;
};
