#include "app/window/WindowCrossing.h"

#include <QThread>

std::shared_ptr<WindowCrossing> WindowCrossing::Create(QObject* window)
{
    return std::shared_ptr<WindowCrossing>(new WindowCrossing(window));
}

bool WindowCrossing::OnWindowThread() const
{
    std::lock_guard lock(m_mutex);
    return m_window != nullptr && m_window->thread() == QThread::currentThread();
}

bool WindowCrossing::Call(const std::function<void()>& task)
{
    return Await([task](const Done& done) {
        task();
        done();
    });
}

bool WindowCrossing::Await(const std::function<void(Done)>& start)
{
    if (OnWindowThread()) {
        // A call from the window's own thread cannot wait for that thread: run it and go on.
        start([] {});
        return true;
    }
    auto pending = std::make_shared<Pending>();
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        return false;
    }
    // Posted while the lock is held, so Close cannot slip in between the check and the post.
    auto self = shared_from_this();
    QMetaObject::invokeMethod(
        m_window,
        [self, pending, start] {
            if (self->IsClosed()) {
                return;
            }
            start([self, pending] { self->Finish(pending); });
        },
        Qt::QueuedConnection);
    m_released.wait(lock, [&] { return pending->finished || m_closed; });
    return pending->finished;
}

void WindowCrossing::Finish(const std::shared_ptr<Pending>& pending)
{
    {
        std::lock_guard lock(m_mutex);
        pending->finished = true;
    }
    m_released.notify_all();
}

void WindowCrossing::Close()
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_window = nullptr;
    }
    m_released.notify_all();
}

bool WindowCrossing::IsClosed() const
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}
