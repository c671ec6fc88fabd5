#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// One long-lived thread that runs the jobs given to it, in order. Qt keeps font-engine data per
// thread and frees it when the thread ends, while a text layout keeps pointing at it: a document
// that is built, laid out, drawn and destroyed on one such thread never outlives its font data.
class RenderThread
{
public:
    RenderThread();
    ~RenderThread(); // runs the jobs still queued, then ends the thread
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // Queues a job and returns at once.
    void post(std::function<void()> job);
    // Runs a job on the thread and waits for it (and for everything queued before it).
    void run(const std::function<void()>& job);
    // Waits until every job queued so far has run.
    void waitIdle();

private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    bool m_busy = false;
    bool m_quit = false;
    std::thread m_thread;
};
