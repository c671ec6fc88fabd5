#pragma once

#include <atomic>
#include <thread>

struct mosquitto;

// A connected (or connecting) libmosquitto client and its network loop on a thread of ours.
// Not mosquitto_loop_start's thread: that one can only be ended at once by cancelling it, which
// may leave it inside the library (in a blocking reconnect to a host that is gone, say). Ours
// looks at its stop flag at least every 50 ms, whatever the connection is doing.
class MqttConnection
{
public:
    // Takes `client`, whose first connect_async has been made; reconnects with a delay growing
    // from 1 s to 30 s after the connection is lost or refused.
    explicit MqttConnection(mosquitto* client);
    // Sends what is queued and a DISCONNECT (a moment at most), ends the thread, frees the client.
    ~MqttConnection();
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    mosquitto* client() const { return m_client; }

private:
    void run();

    mosquitto* m_client;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
