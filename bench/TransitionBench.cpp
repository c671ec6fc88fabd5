// Transition engine: (a) pacing accuracy, the measured duration of each effect against the
// nominal one (the sum of the waits its pacing rule asks for); (b) the cost of one step on a
// 1920 x 1080 area in ten sections.
#include "model/CAct.h"
#include "model/HeadlessSectionHost.h"
#include "render/TransitionEngine.h"

#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits that take no time but count what they were asked for.
class CountingClock final : public WaitClock
{
public:
    TimePoint now() override { return m_now; }
    void waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&,
                   TimePoint deadline) override
    {
        if (deadline > m_now)
            m_now = deadline;
    }
    double elapsedMs() const
    {
        return std::chrono::duration<double, std::milli>(m_now - TimePoint{}).count();
    }

private:
    TimePoint m_now{};
};

struct Area
{
    HeadlessSectionHost host;
    CAct area{CAct::Binding::Detached};
    QImage picture;

    Area(int splitMode, int ledWidth, int ledHeight, int sections)
    {
        area.setSectionHost(&host);
        area.splitMode = splitMode;
        area.ledWidth = ledWidth;
        area.ledHeight = ledHeight;
        const int total = splitMode == 0 ? ledWidth : ledHeight;
        for (int i = 0; i < sections; ++i)
            area.AddSection(i, total / sections, 0);
        area.LayoutSections();
        picture = QImage(area.TotalRect().size(), QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
    }
};

void pacingTable(bool quick)
{
    std::printf("## Pacing accuracy, 480 x 360 (measured / nominal duration)\n\n");
    std::printf("| effect | speed | sections | nominal ms | measured ms | ratio | over by ms |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    double worst = 0;
    for (int sections : {1, 3}) {
        for (int speed : {0, 5, 10}) {
            for (int effect = 1; effect <= 15; ++effect) {
                if (quick && effect % 4 != 2)
                    continue;
                Area a(0, 480, 360, sections);
                CountingClock counting;
                a.area.setClock(counting);
                RunTransition(a.picture, effect, speed, a.area);
                const double nominal = counting.elapsedMs();
                a.area.setClock(SteadyWaitClock::instance());
                const auto start = Clock::now();
                RunTransition(a.picture, effect, speed, a.area);
                const double measured =
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                const double ratio = nominal > 0 ? measured / nominal : 0;
                std::printf("| %d | %d | %d | %.0f | %.1f | %.4f | %.1f |\n", effect, speed,
                            sections, nominal, measured, ratio, measured - nominal);
                if (nominal > 0)
                    worst = std::max(worst, (measured - nominal - 2.0) / nominal);
            }
        }
    }
    std::printf("\nWorst excess beyond 2 ms: %.2f %% of nominal\n\n", 100 * worst);
}

double medianStepMicros(int effect, int steps)
{
    Area a(0, 1920, 1080, 10);
    CountingClock counting;
    a.area.setClock(counting);
    std::vector<double> perStep;
    for (int run = 0; run < 21; ++run) {
        const auto start = Clock::now();
        RunTransition(a.picture, effect, 0, a.area);
        perStep.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                          steps);
    }
    std::sort(perStep.begin(), perStep.end());
    return perStep[perStep.size() / 2];
}

void stepTable()
{
    std::printf("## Cost of one step, 1920 x 1080 in ten sections (median of 21 runs)\n\n");
    std::printf("| step | per step, microseconds |\n|---|---|\n");
    std::printf("| a 1080-pixel column into its section, with the present (effect 2) | %.2f |\n",
                medianStepMicros(2, 1920));
    std::printf("| a 1920-pixel row into ten sections, with ten presents (effect 4) | %.2f |\n",
                medianStepMicros(4, 1080));
    std::printf("| scroll of every section by one row and a new row (effect 12) | %.2f |\n",
                medianStepMicros(12, 1080));
}

} // namespace

int main(int argc, char* argv[])
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    stepTable();
    std::printf("\n");
    pacingTable(quick);
    return 0;
}
