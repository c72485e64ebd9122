// Click to exec: from a left click on an application link in the main window to the moment the
// program it names starts running, next to the least any launcher can take (posix_spawn of the
// same program, straight from here). Off screen; the real launcher.
//
// The program is exec_stamp, beside this benchmark: it writes the time it began into its working
// folder, which for an application link is the program's own folder.

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>

#include "CategoryPanels.h"
#include "FullConfig.h"
#include "KVGUIFormUnit.h"

namespace fs = std::filesystem;

namespace {

fs::path g_stampDir; // a copy of exec_stamp lives here
fs::path g_stampProgram;

std::int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

// The start time exec_stamp left, waiting for it up to 5 s; -1 when it never came.
std::int64_t TakeStamp()
{
    const fs::path stamp = g_stampDir / "exec-stamp";
    for (int i = 0; i < 50000; ++i) {
        std::ifstream in(stamp);
        std::int64_t ns = -1;
        if (in >> ns) {
            in.close();
            fs::remove(stamp);
            return ns;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return -1;
}

void BM_ClickToExec(benchmark::State &state)
{
    auto *window = new TKVGUIForm;
    window->show();
    QApplication::processEvents();
    TKVPanel *panel = window->CategoryArea->panels[0];
    const QPoint onLink = panel->linkLabels[0]->geometry().center();
    for (auto _ : state) {
        const std::int64_t t0 = MonotonicNs();
        QTest::mouseClick(panel, Qt::LeftButton, {}, onLink);
        const std::int64_t started = TakeStamp();
        if (started < 0) {
            state.SkipWithError("the link's program did not start");
            break;
        }
        state.SetIterationTime(static_cast<double>(started - t0) / 1e9);
        QApplication::processEvents();
    }
    window->FormClose();
    delete window;
}
BENCHMARK(BM_ClickToExec)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

void BM_SpawnDirect(benchmark::State &state)
{
    const std::string program = g_stampProgram.string();
    const std::string folder = g_stampDir.string();
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};
    for (auto _ : state) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        const std::int64_t t0 = MonotonicNs();
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        const std::int64_t started = rc == 0 ? TakeStamp() : -1;
        if (rc == 0)
            waitpid(pid, nullptr, 0);
        if (started < 0) {
            state.SkipWithError("exec_stamp did not start");
            break;
        }
        state.SetIterationTime(static_cast<double>(started - t0) / 1e9);
    }
}
BENCHMARK(BM_SpawnDirect)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(1.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const fs::path dir = fs::temp_directory_path() / ("kv-bench-launch-" + std::to_string(::getpid()));
    g_stampDir = dir / "program";
    fs::create_directories(g_stampDir);
    g_stampProgram = g_stampDir / "exec_stamp";
    fs::copy_file(fs::path(QCoreApplication::applicationDirPath().toStdString()) / "exec_stamp",
                  g_stampProgram);
    fs::current_path(dir);
    {
        KVUIOperationClass op;
        bench::FillFullConfiguration(op, g_stampProgram.string(), false);
        op.SaveConfiguration();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
    return 0;
}
