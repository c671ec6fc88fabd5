// Twenty players on one local broker: a command to all, and the time until every player's
// retained status shows the new state (p50, p99 over rounds).
//
//   bench_fleet PORT [PLAYERS] [ROUNDS]       (bench/fleet-bench.sh starts the broker)
#include "remote/FleetClient.h"
#include "remote/RemoteController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QThread>

#include <mosquitto.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

class Player final : public RemoteController
{
public:
    QJsonObject status() const override { return QJsonObject{{"state", state}}; }
    QJsonArray items() const override { return {}; }
    bool command(const QString& name) override
    {
        state = name == QLatin1String("stop") ? "stopped" : "playing";
        return true;
    }
    bool playItem(int) override { return true; }
    int addFile(const QString&, int) override { return -1; }
    QJsonArray zones() const override { return {}; }
    bool zoneCommand(int zone, const QString& name) override { return zone == 0 && command(name); }
    bool deleteItem(int) override { return false; }
    bool moveItem(int, int) override { return false; }
    bool openProject(const QString&, QString*) override { return false; }
    bool saveProject(QString*) override { return false; }
    QImage ledPicture() const override { return {}; }
    QImage wallPicture() const override { return {}; }
    QString state = QStringLiteral("playing");
};

struct Statuses
{
    std::mutex mutex;
    std::map<std::string, std::string> last;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_fleet PORT [PLAYERS] [ROUNDS]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 20;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 40;
    std::vector<std::unique_ptr<Player>> players;
    std::vector<std::unique_ptr<FleetClient>> clients;
    for (int i = 0; i < count; ++i) {
        players.push_back(std::make_unique<Player>());
        clients.push_back(std::make_unique<FleetClient>(*players.back()));
        FleetSettings s;
        s.url = QStringLiteral("mqtt://127.0.0.1:%1").arg(port);
        s.name = QStringLiteral("wall%1").arg(i, 2, 10, QLatin1Char('0'));
        QString error;
        if (!clients.back()->start(s, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    mosquitto_lib_init();
    Statuses statuses;
    mosquitto* observer = mosquitto_new(nullptr, true, &statuses);
    mosquitto_message_callback_set(
        observer, [](mosquitto*, void* data, const mosquitto_message* m) {
            auto* s = static_cast<Statuses*>(data);
            std::lock_guard lock(s->mutex);
            s->last[m->topic] = std::string(static_cast<const char*>(m->payload), m->payloadlen);
        });
    mosquitto_int_option(observer, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect(observer, "127.0.0.1", port, 30);
    mosquitto_subscribe(observer, nullptr, "tessarin/+/status", 1);
    mosquitto_loop_start(observer);

    const auto allShow = [&](const char* state) {
        std::lock_guard lock(statuses.mutex);
        if (int(statuses.last.size()) < count)
            return false;
        return std::all_of(statuses.last.begin(), statuses.last.end(), [&](const auto& entry) {
            return entry.second.find(state) != std::string::npos;
        });
    };
    const auto waitFor = [&](const char* state, int ms) {
        QElapsedTimer timer;
        timer.start();
        while (!allShow(state) && timer.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::usleep(200);
        }
        return allShow(state);
    };
    if (!waitFor("playing", 10000)) {
        std::fprintf(stderr, "the players did not all come online\n");
        return 1;
    }
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const bool stop = round % 2 == 0;
        const char* payload = stop ? R"({"cmd":"stop"})" : R"({"cmd":"play"})";
        QElapsedTimer timer;
        timer.start();
        mosquitto_publish(observer, nullptr, "tessarin/all/cmd", int(std::strlen(payload)), payload,
                          1, false);
        if (!waitFor(stop ? "stopped" : "playing", 10000)) {
            std::fprintf(stderr, "round %d: not every player answered\n", round);
            return 1;
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double f) {
        return times[std::min(times.size() - 1, size_t(f * double(times.size() - 1) + 0.5))];
    };
    std::printf("%d players, %d commands to all: every status shows the new state after "
                "p50 %.1f ms, p99 %.1f ms, worst %.1f ms\n",
                count, rounds, at(0.5), at(0.99), times.back());
    mosquitto_disconnect(observer);
    mosquitto_loop_stop(observer, true);
    mosquitto_destroy(observer);
    return 0;
}
