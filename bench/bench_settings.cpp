// The settings form with the fullest configuration: opening it on a category
// of 50 links (its 50 member rows built, loaded and painted), and switching
// between two full categories; next to the anchor, the same 50 rows as a
// plain Qt dialog.

#include <benchmark/benchmark.h>

#include <filesystem>

#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>

#include "FullConfig.h"
#include "KVGUIFormUnit.h"
#include "SettingsFormUnit.h"

namespace fs = std::filesystem;

namespace {

// What ShowSettingsPage does before the form's own showing.
void Prepare(TSettingsForm &form)
{
    for (int c = 0; c < kMaxCategories; ++c)
        form.MemberCount[c] = KVOP->LinkCount(c);
    form.SelectPage(1);
}

void BM_OpenSettingsFormOnFullCategory(benchmark::State &state)
{
    TSettingsForm &form = *SettingsForm;
    for (auto _ : state) {
        Prepare(form);
        form.show(); // builds the 50 rows
        form.repaint();
        state.PauseTiming();
        form.reject();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSettingsFormOnFullCategory)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The anchor: the same 50 rows as plain Qt widgets (two edits and a button
// each, filled), in a new dialog that is shown and painted.
void BM_OpenPlainDialog(benchmark::State &state)
{
    for (auto _ : state) {
        auto *dialog = new QDialog;
        auto *grid = new QGridLayout(dialog);
        for (int row = 0; row < kMaxLinks; ++row) {
            grid->addWidget(new QLineEdit(QStringLiteral("Link %1").arg(row + 1), dialog), row, 0);
            grid->addWidget(new QLineEdit(QStringLiteral("/usr/bin/program-%1").arg(row + 1), dialog), row,
                            1);
            grid->addWidget(new QPushButton(QStringLiteral("..."), dialog), row, 2);
        }
        dialog->show();
        dialog->repaint();
        state.PauseTiming();
        delete dialog;
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenPlainDialog)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_SwitchBetweenFullCategories(benchmark::State &state)
{
    TSettingsForm &form = *SettingsForm;
    Prepare(form);
    form.show();
    QApplication::processEvents();
    int next = 1;
    for (auto _ : state) {
        form.SwitchCategory(next);
        form.repaint();
        next = 1 - next;
    }
    form.reject();
    QApplication::processEvents();
}
BENCHMARK(BM_SwitchBetweenFullCategories)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("kv-bench-settings-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
    {
        KVUIOperationClass op;
        bench::FillFullConfiguration(op, "/bin/true", false);
        op.SaveConfiguration();
    }
    auto *window = new TKVGUIForm;
    SettingsForm = new TSettingsForm(window);
    SettingsForm->EnsureBuilt();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window->FormClose();
    delete window;
    fs::current_path("/");
    fs::remove_all(dir);
    return 0;
}
