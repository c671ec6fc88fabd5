#include "RenderThread.h"

#include "IdleEventDispatcher.h"

#include <QThread>

RenderThread::RenderThread() : m_thread([this] { loop(); }) {}

RenderThread::~RenderThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void RenderThread::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_changed.notify_all();
}

void RenderThread::run(const std::function<void()>& job)
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        job();
        return;
    }
    bool done = false;
    post([&] {
        // Done even when the job throws: the caller must not wait forever.
        struct Finish
        {
            RenderThread* self;
            bool* done;
            ~Finish()
            {
                std::lock_guard lock(self->m_mutex);
                *done = true;
            }
        } finish{this, &done};
        job();
    });
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return done; });
}

void RenderThread::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void RenderThread::loop()
{
    // Qt owns the dispatcher from here and deletes it when the thread ends.
    QThread::currentThread()->setEventDispatcher(new IdleEventDispatcher);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // quit once nothing is left
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A failed job (out of memory) must not take the thread and its callers down.
        }
        job = nullptr; // whatever the job held goes on this thread too
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}
