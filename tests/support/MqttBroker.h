#pragma once

#include "ChildProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <mosquitto.h>

#include <functional>
#include <map>
#include <mutex>

// A Mosquitto broker of the test's own on 127.0.0.1 and a free port.
class Broker
{
public:
    Broker()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        QFile config(m_dir.filePath("mosquitto.conf"));
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n"
                                    "persistence false\nset_tcp_nodelay true\n")
                         .arg(port)
                         .toUtf8());
        config.close();
        start();
    }
    ~Broker() { stop(); }

    bool start()
    {
        // Debian puts the broker in /usr/sbin, which an ordinary user's PATH may lack.
        QString program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                                     {QStringLiteral("/usr/sbin")});
        if (!m_process.start(program, {"-c", m_dir.filePath("mosquitto.conf")}))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port);
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void stop() { m_process.terminate(); }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port); }

    quint16 port = 0;

private:
    QTemporaryDir m_dir;
    ChildProcess m_process;
};

// An MQTT client of the test: what the broker holds and sends, and commands to send.
class Observer
{
public:
    explicit Observer(quint16 port)
    {
        mosquitto_lib_init();
        m_client = mosquitto_new(nullptr, true, this);
        mosquitto_message_callback_set(
            m_client, [](mosquitto*, void* self, const mosquitto_message* m) {
                auto* o = static_cast<Observer*>(self);
                std::lock_guard lock(o->m_mutex);
                o->m_last[QString::fromUtf8(m->topic)] =
                    QByteArray(static_cast<const char*>(m->payload), m->payloadlen);
            });
        mosquitto_connect(m_client, "127.0.0.1", port, 30);
        mosquitto_subscribe(m_client, nullptr, "tessarin/#", 1);
        mosquitto_loop_start(m_client);
    }
    ~Observer()
    {
        mosquitto_disconnect(m_client);
        mosquitto_loop_stop(m_client, false); // ends by itself once disconnected
        mosquitto_destroy(m_client);
    }
    QByteArray last(const QString& topic)
    {
        std::lock_guard lock(m_mutex);
        return m_last[topic];
    }
    void send(const char* topic, const QByteArray& payload)
    {
        mosquitto_publish(m_client, nullptr, topic, int(payload.size()), payload.constData(), 1,
                          false);
    }

private:
    mosquitto* m_client = nullptr;
    std::mutex m_mutex;
    std::map<QString, QByteArray> m_last;
};

inline bool within(int ms, const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done())
            return true;
        QThread::msleep(5);
    }
    return done();
}
