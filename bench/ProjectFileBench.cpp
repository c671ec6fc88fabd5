// Saving and loading a 10,000-item project, in memory and through a file on disk.
#include "model/CAct.h"
#include "model/CPropImage.h"
#include "model/CPropText.h"
#include "model/ProjectFile.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kItems = 10000;

std::unique_ptr<CAct> bigProject()
{
    auto area = std::make_unique<CAct>();
    for (int i = 0; i < kItems; ++i) {
        switch (i % 4) {
        case 0:
            area->AddFile(QStringLiteral("D:/节目/第%1条通知.txt").arg(i));
            break;
        case 1: {
            area->AddFile(QStringLiteral("/media/show/photo%1.jpg").arg(i));
            auto* image = static_cast<CPropImage*>(area->item(i));
            auto block = std::make_unique<CMyText>();
            block->content = QStringLiteral("{\\rtf1\\ansi 欢迎光临 %1}").arg(i);
            image->texts.push_back(std::move(block));
            break;
        }
        case 2:
            area->AddFile(QStringLiteral("/media/docs/report%1.rtf").arg(i));
            break;
        default:
            area->AddFile(QStringLiteral("/media/docs/sheet%1.xls").arg(i));
            break;
        }
    }
    for (int i = 0; i < 10; ++i)
        area->adoptSection(std::make_unique<SectionRecord>(i, 48, 0));
    return area;
}

void BM_SaveToMemory(benchmark::State& state)
{
    const auto area = bigProject();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray data = projectToBytes(*area);
        bytes = data.size();
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_LoadFromMemory(benchmark::State& state)
{
    const auto source = bigProject();
    const QByteArray data = projectToBytes(*source);
    for (auto _ : state) {
        CAct area;
        QString error;
        if (!projectFromBytes(area, data, QStringLiteral("bench.zpm"), &error))
            state.SkipWithError("load failed");
        benchmark::DoNotOptimize(area.itemCount());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}

void BM_SaveAndLoadFile(benchmark::State& state)
{
    const auto source = bigProject();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.zpm"));
    const qsizetype size = projectToBytes(*source).size();
    for (auto _ : state) {
        CAct area;
        if (!source->SaveProject(path) || !area.LoadProject(path))
            state.SkipWithError("file round trip failed");
    }
    state.SetBytesProcessed(state.iterations() * size * 2);
}

} // namespace

BENCHMARK(BM_SaveToMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAndLoadFile)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
