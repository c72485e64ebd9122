// Building the category area for the fullest configuration (20 categories of
// 50 links) and laying the window out once: what a start or a rebuild after
// the settings form costs.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <malloc.h>

#include <QApplication>

#include "CategoryPanels.h"
#include "FullConfig.h"
#include "KVGUIFormUnit.h"

namespace fs = std::filesystem;

namespace {

// Replaces the window's category area by a freshly built one.
void Rebuild(TKVGUIForm &form)
{
    delete form.CategoryArea;
    form.CategoryArea = nullptr;
    auto *area = new TKVParentPanel(&form);
    area->setGeometry(10, 32, form.width() - 17, 150);
    for (int i = 0; i < KVOP->CategoryCount(); ++i)
        area->CreatePanel(i);
    form.CategoryArea = area;
    form.RefreshLayout(false);
}

void BM_BuildFullCategoryArea(benchmark::State &state)
{
    TKVGUIForm &form = *KVGUIForm;
    for (auto _ : state) {
        Rebuild(form);
        benchmark::DoNotOptimize(PanelCount);
    }
    // Heap the built area holds (the old one is gone before the new is made).
    delete form.CategoryArea;
    form.CategoryArea = nullptr;
    QApplication::processEvents();
    const std::size_t before = mallinfo2().uordblks;
    Rebuild(form);
    state.counters["area_heap_kB"] = static_cast<double>(mallinfo2().uordblks - before) / 1024.0;
    state.counters["panels"] = PanelCount;
}
BENCHMARK(BM_BuildFullCategoryArea)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("kv-bench-panels-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    {
        KVUIOperationClass op;
        bench::FillFullConfiguration(op, "/bin/true", false);
        op.SaveConfiguration();
    }
    auto *form = new TKVGUIForm;
    form->show();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    form->FormClose();
    delete form;
    fs::current_path("/");
    fs::remove_all(dir);
    return 0;
}
