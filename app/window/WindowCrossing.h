#pragma once

#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The one way a worker thread reaches the window: each call runs on the window's thread while
// the worker waits. Both sides hold it by shared pointer, so it outlives the window and every
// worker. When the window goes, it closes the crossing: later calls are refused at once and
// workers still waiting are released, so no worker ever waits on, or reaches, a window that
// is gone.
class WindowCrossing : public std::enable_shared_from_this<WindowCrossing>
{
public:
    using Done = std::function<void()>;

    // window: the object whose thread runs the calls; it must close the crossing before it dies.
    static std::shared_ptr<WindowCrossing> Create(QObject* window);

    WindowCrossing(const WindowCrossing&) = delete;
    WindowCrossing& operator=(const WindowCrossing&) = delete;

    // Runs task on the window's thread and waits for it. False when refused: task did not run.
    bool Call(const std::function<void()>& task);
    // Runs start on the window's thread and waits until it (or something it handed the Done to)
    // calls Done, which may happen later on that thread. False when refused or released by
    // Close before Done was called.
    bool Await(const std::function<void(Done)>& start);

    // Refuses every later call and releases the waiting ones. Called on the window's thread.
    void Close();
    bool IsClosed() const;

private:
    struct Pending {
        bool finished = false;
    };

    explicit WindowCrossing(QObject* window) : m_window(window) {}
    bool OnWindowThread() const;
    void Finish(const std::shared_ptr<Pending>& pending);

    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    QObject* m_window; // null once closed
    bool m_closed = false;
};
