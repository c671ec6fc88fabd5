// Transition engine: (a) pacing accuracy, the measured duration of each effect against the
// nominal one (the sum of the waits its pacing rule asks for); (b) the cost of one step on a
// 1920 x 1080 area in ten sections; (c) the cost of one frame of the frame effects 16-50 there.
//
//   bench_transitions [--quick] [--frames-only]
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
    CAct area;
    QImage picture;

    Area(int splitMode, int ledWidth, int ledHeight, int sections)
    {
        area.setSectionHost(&host);
        area.changeSettings([&](AreaSettings& s) {
            s.splitMode = splitMode;
            s.ledWidth = ledWidth;
            s.ledHeight = ledHeight;
        });
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
            for (int effect = 1; effect <= 50; ++effect) {
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

// One frame of a frame effect: a whole 1920 x 1080 picture into ten sections, ten presents.
double medianFrameMicros(int effect)
{
    Area a(0, 1920, 1080, 10);
    QImage other(a.picture.size(), QImage::Format_RGB32);
    for (int y = 0; y < other.height(); ++y)
        for (int x = 0; x < other.width(); ++x)
            other.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF));
    CountingClock counting;
    a.area.setClock(counting);
    constexpr int kSpeed = 6; // 1920 ms: 192 frames
    std::vector<double> perFrame;
    for (int run = 0; run < 5; ++run) {
        const double before = counting.elapsedMs();
        const auto start = Clock::now();
        RunTransition(run % 2 ? a.picture : other, effect, kSpeed, a.area);
        const double frames = (counting.elapsedMs() - before) / 10;
        perFrame.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
                           frames);
    }
    std::sort(perFrame.begin(), perFrame.end());
    return perFrame[perFrame.size() / 2];
}

void frameTable()
{
    static const char* const kNames[] = {"left top corner cover1",
                                         "right top corner cover1",
                                         "left down corner cover1",
                                         "right down corner cover1",
                                         "left top corner cover2",
                                         "right top corner cover2",
                                         "left down corner cover2",
                                         "right down corner cover2",
                                         "move left top corner",
                                         "move right top corner",
                                         "move left down corner",
                                         "move right down corner",
                                         "mosaic(S)",
                                         "mosaic(M)",
                                         "mosaic(L)",
                                         "gradual change",
                                         "left turn(360)",
                                         "right turn(360)",
                                         "left turn(180)",
                                         "right turn(180)",
                                         "left turn(90)",
                                         "right turn(90)",
                                         "growing big(center)",
                                         "growing big(left top corner)",
                                         "growing big(right top corner)",
                                         "growing big(left down corner)",
                                         "growing big(right down corner)",
                                         "radiation1(rectangle)",
                                         "radiation2(rectangle)",
                                         "radiation1(diamond)",
                                         "radiation2(diamond)",
                                         "radiation1(cross)",
                                         "radiation2(cross)",
                                         "radiation1(circle)",
                                         "radiation2(circle)"};
    std::printf("## Cost of one frame, 1920 x 1080 in ten sections (median of 5 runs of 192 "
                "frames)\n\n");
    std::printf("| effect | name | per frame, ms |\n|---|---|---|\n");
    double worst = 0;
    for (int effect = 16; effect <= 50; ++effect) {
        const double ms = medianFrameMicros(effect) / 1000;
        worst = std::max(worst, ms);
        std::printf("| %d | %s | %.2f |\n", effect, kNames[effect - 16], ms);
    }
    std::printf("\nDearest frame: %.2f ms\n", worst);
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
    bool quick = false;
    bool framesOnly = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        framesOnly = framesOnly || std::strcmp(argv[i], "--frames-only") == 0;
    }
    frameTable();
    if (framesOnly)
        return 0;
    std::printf("\n");
    stepTable();
    std::printf("\n");
    pacingTable(quick);
    return 0;
}
