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

// Where a program is, also in /usr/sbin and /usr/bin (Debian puts the broker in /usr/sbin, which
// an ordinary user's PATH may lack).
inline QString findProgram(const QString& name)
{
    QString program = QStandardPaths::findExecutable(name);
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")});
    return program;
}

// Certificates made once for the test run (openssl, elliptic-curve keys: quick): a self-signed
// certificate for 127.0.0.1 and localhost that is its own CA (the broker's, and a client's), and
// another that signed nothing the broker shows.
struct TestCertificates
{
    QString ca;    // also the broker's and the client's certificate
    QString key;   // its key
    QString other; // a CA that signed none of them
    bool made = false;

    static const TestCertificates& get()
    {
        static QTemporaryDir dir;
        static const TestCertificates made = [] {
            TestCertificates c;
            c.ca = dir.filePath("ca.pem");
            c.key = dir.filePath("ca.key");
            c.other = dir.filePath("other.pem");
            c.made =
                makeSelfSigned(c.ca, c.key) && makeSelfSigned(c.other, dir.filePath("other.key"));
            return c;
        }();
        return made;
    }

private:
    static bool makeSelfSigned(const QString& certificate, const QString& key)
    {
        ChildProcess openssl;
        if (!openssl.start(findProgram("openssl"),
                           {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                            "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                            "-keyout", key, "-out", certificate}))
            return false;
        return openssl.waitForExit(20000) == 0;
    }
};

// What a test broker offers beside its plain listener.
struct BrokerOptions
{
    bool tls = false;                // a TLS listener too, with TestCertificates' certificate
    bool requireCertificate = false; // on it: clients show a certificate of that CA
    QString user;                    // when set: no anonymous clients, this user and password
    QString password;
};

// A Mosquitto broker of the test's own on 127.0.0.1 and a free port (and a TLS one), its log in a
// file the test may read.
class Broker
{
public:
    Broker() : Broker(BrokerOptions{}) {}
    explicit Broker(const BrokerOptions& options)
    {
        port = freePort();
        QString conf = QStringLiteral("listener %1 127.0.0.1\n"
                                      "persistence false\nset_tcp_nodelay true\n"
                                      "log_dest file %2\n")
                           .arg(port)
                           .arg(m_dir.filePath("mosquitto.log"));
        // Run as root, the broker would become the user "mosquitto", who may not read the
        // test's files.
        if (geteuid() == 0)
            conf += "user root\n";
        if (options.user.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            const QString passwords = m_dir.filePath("passwd");
            ChildProcess tool;
            EXPECT_TRUE(tool.start(findProgram("mosquitto_passwd"),
                                   {"-c", "-b", passwords, options.user, options.password}));
            EXPECT_EQ(tool.waitForExit(10000), 0);
            conf += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        }
        if (options.tls) {
            const TestCertificates& certificates = TestCertificates::get();
            EXPECT_TRUE(certificates.made);
            tlsPort = freePort();
            conf += QStringLiteral("listener %1 127.0.0.1\ncafile %2\ncertfile %2\nkeyfile %3\n"
                                   "require_certificate %4\n")
                        .arg(tlsPort)
                        .arg(certificates.ca, certificates.key,
                             options.requireCertificate ? "true" : "false");
        }
        QFile config(m_dir.filePath("mosquitto.conf"));
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(conf.toUtf8());
        config.close();
        start();
    }
    ~Broker() { stop(); }

    bool start()
    {
        if (!m_process.start(findProgram("mosquitto"), {"-c", m_dir.filePath("mosquitto.conf")}))
            return false;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 5000) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, tlsPort ? tlsPort : port);
            if (socket.waitForConnected(100))
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    void stop() { m_process.terminate(); }
    QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port); }
    QString tlsUrl() const { return QStringLiteral("mqtts://127.0.0.1:%1").arg(tlsPort); }
    // What the broker logged so far (connections, refusals).
    QByteArray log() const
    {
        QFile file(m_dir.filePath("mosquitto.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    quint16 port = 0;
    quint16 tlsPort = 0;

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

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
    void send(const char* topic, const QByteArray& payload, bool retained = false)
    {
        mosquitto_publish(m_client, nullptr, topic, int(payload.size()), payload.constData(), 1,
                          retained);
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
