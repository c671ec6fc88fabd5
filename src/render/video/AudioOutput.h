#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class VideoDecoder;

// A video's sound played on the default sound device (Qt Multimedia's QAudioSink), from a
// thread of its own with its own event loop, fed from the decoder's ring. It is the video's
// clock while it plays: heardUs() says which moment of the timeline is heard now, the device's
// own latency taken off.
//
// Threads: everything on the owner's thread (the play thread); heardUs() on any.
class AudioOutput
{
public:
    static constexpr int kRate = 48000;
    static constexpr int kChannels = 2;
    // What the device holds ahead of what is heard: the delay of a pause and a stop.
    static constexpr int kBufferMs = 200;

    AudioOutput();
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the default device at `volumePercent` (1-100); false with a text for the user when
    // there is none or it does not open (also when `stopRequested` says so while the device is
    // opening). Nothing is heard before play().
    bool open(int volumePercent, const std::function<bool()>& stopRequested, QString* why);
    // Plays the decoder's sound from the oldest sample it holds; the sound holds while
    // `paused` says so. The decoder outlives stop().
    void play(VideoDecoder& decoder, std::function<bool()> paused);
    // Ends the sound at once (the device's buffer is dropped) and the thread.
    void stop();

    // Whether the device has begun to play the sound (servers wait for a buffer's worth first).
    bool started() const;
    // The timeline's moment heard at `now`, in microseconds; false while nothing is heard (before
    // play, paused, run dry, ended).
    bool heardUs(std::chrono::steady_clock::time_point now, qint64* us) const;

    // "No sound device: videos play silent."
    static QString noDevice();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};
