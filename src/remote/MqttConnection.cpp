#include "MqttConnection.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kLoopWait = std::chrono::milliseconds(50);
constexpr auto kFirstRetry = Clock::duration(1s);
constexpr auto kLastRetry = Clock::duration(30s);
// A connection that held this long earns a quick retry when it goes.
constexpr auto kSteadyConnection = Clock::duration(30s);
constexpr auto kGoodbyeTime = Clock::duration(300ms);

} // namespace

MqttConnection::MqttConnection(mosquitto* client) : m_client(client)
{
    // Others publish from their own threads; the library queues and wakes the loop for them.
    mosquitto_threaded_set(m_client, true);
    m_thread = std::thread([this] { run(); });
}

MqttConnection::~MqttConnection()
{
    m_stopping.store(true);
    if (m_thread.joinable())
        m_thread.join();
    mosquitto_destroy(m_client);
}

void MqttConnection::run()
{
    Clock::duration retry = kFirstRetry;
    auto nextAttempt = Clock::now();
    auto openedAt = Clock::now();
    bool open = true;
    const auto scheduleRetry = [&] {
        nextAttempt = Clock::now() + retry;
        retry = std::min<Clock::duration>(retry * 2, kLastRetry);
    };
    while (!m_stopping.load()) {
        if (!open) {
            const auto now = Clock::now();
            if (now < nextAttempt) {
                std::this_thread::sleep_for(
                    std::min<Clock::duration>(nextAttempt - now, kLoopWait));
                continue;
            }
            openedAt = now;
            open = mosquitto_reconnect_async(m_client) == MOSQ_ERR_SUCCESS;
            if (!open)
                scheduleRetry();
            continue;
        }
        if (mosquitto_loop(m_client, int(kLoopWait.count()), 1) == MOSQ_ERR_SUCCESS)
            continue;
        open = false;
        if (Clock::now() - openedAt > kSteadyConnection)
            retry = kFirstRetry;
        scheduleRetry();
    }
    if (!open)
        return;
    // What was queued last (a member's goodbye) goes out before the DISCONNECT; once that is
    // written the library closes the socket and the loop ends.
    mosquitto_disconnect(m_client);
    const auto until = Clock::now() + kGoodbyeTime;
    while (Clock::now() < until && mosquitto_loop(m_client, 10, 1) == MOSQ_ERR_SUCCESS) {
    }
}
