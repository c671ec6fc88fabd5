#pragma once

#include <map>
#include <memory>
#include <mutex>

// Hands out the ids of the rich-text renderers the players create and keeps work on one renderer
// from running twice at once. Ids run 501, 502, ..., 9000, then 500, 501, ... again.
class RichEditHost
{
public:
    static constexpr int kFirstId = 500;
    static constexpr int kLastId = 9000;

    // The process's host.
    static RichEditHost& shared();

    int nextControlId();

    // Runs `work` while no other work runs on the same renderer.
    template <class Work>
    auto run(int rendererId, Work&& work)
    {
        std::lock_guard lock(rendererLock(rendererId));
        return work();
    }

private:
    std::mutex& rendererLock(int rendererId);

    std::mutex m_mutex;
    int m_counter = kFirstId;
    std::map<int, std::unique_ptr<std::mutex>> m_locks;
};
