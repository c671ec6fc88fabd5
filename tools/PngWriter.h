#pragma once

#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Writes a 32-bit image as a 24-bit PNG quickly: each row Sub-filtered and deflated at level 1
// with run-length matching, which suits LED pages (large even areas) well. Qt's own writer
// spends most of a render choosing filters.
bool writePng(const QImage& image, const QString& path);

// Writes pictures on threads of their own while the playlist goes on; at most a few wait.
class PngQueue
{
public:
    PngQueue();
    ~PngQueue(); // writes what is queued, then ends the thread

    void write(QImage image, QString path);
    // Waits until everything queued is on disk; false when any write failed.
    bool finish();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<QImage, QString>> m_queue;
    int m_busy = 0;
    bool m_done = false;
    bool m_failed = false;
    std::vector<std::thread> m_threads;
};
