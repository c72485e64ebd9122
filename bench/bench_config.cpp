// Saving and loading KVUI_Config.dat, next to the least any durable write of the same bytes
// costs. The files go to KESTRAVA_BENCH_DIR, or to a fresh folder in the working directory:
// fsync's cost depends on the file system, so /tmp (often tmpfs) would flatter the figures.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "FullConfig.h"
#include "Kvguiglobals.h"

namespace {

std::string g_dir;

std::unique_ptr<KVUIOperationClass> FullModel()
{
    auto op = std::make_unique<KVUIOperationClass>();
    bench::FillFullConfiguration(*op, "/bin/true", true);
    op->directory = g_dir;
    return op;
}

bool WriteAllOnce(int fd, const std::vector<unsigned char> &bytes)
{
    // One write() call, as a program that holds the whole image would issue; a short write
    // would make the baseline cheaper than it is, so it counts as a failure.
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// A save after the window has moved, the most common change: the file must be rewritten.
void BM_SaveConfiguration(benchmark::State &state)
{
    auto op = FullModel();
    int32_t left = 0;
    for (auto _ : state) {
        op->settings.left = ++left;
        if (!op->SaveConfiguration()) {
            state.SkipWithError("SaveConfiguration failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(ConfigLayout::kFileSize));
}

// A save with nothing changed since the last one, as the layout code issues them.
void BM_SaveConfigurationUnchanged(benchmark::State &state)
{
    auto op = FullModel();
    if (!op->SaveConfiguration()) {
        state.SkipWithError("SaveConfiguration failed");
        return;
    }
    for (auto _ : state) {
        if (!op->SaveConfiguration()) {
            state.SkipWithError("SaveConfiguration failed");
            break;
        }
    }
}

void BM_LoadConfiguration(benchmark::State &state)
{
    auto op = FullModel();
    if (!op->SaveConfiguration()) {
        state.SkipWithError("SaveConfiguration failed");
        return;
    }
    for (auto _ : state) {
        if (!op->LoadConfiguration()) {
            state.SkipWithError("LoadConfiguration failed");
            break;
        }
        benchmark::DoNotOptimize(op->categories[kMaxCategories - 1].links[kMaxLinks - 1].used);
        benchmark::ClobberMemory();
    }
    if (op->LinkCount(kMaxCategories - 1) != kMaxLinks)
        state.SkipWithError("the loaded configuration is not the saved one");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(ConfigLayout::kFileSize));
}

// The baseline: the same number of bytes, written in place with one write() and made durable.
void BM_RawWriteFsync(benchmark::State &state)
{
    std::vector<unsigned char> bytes(ConfigLayout::kFileSize, 0x5A);
    const std::string path = g_dir + "/raw.dat";
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        bool ok = fd >= 0 && WriteAllOnce(fd, bytes) && ::fsync(fd) == 0;
        ok = (fd >= 0 && ::close(fd) == 0) && ok;
        if (!ok) {
            state.SkipWithError(std::strerror(errno));
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(ConfigLayout::kFileSize));
}

// What the atomic replacement itself costs over the baseline, written by hand: a new file,
// one write(), fsync, rename over the target, fsync of the folder. Explains the save's
// figure; the save should come close to this, not to the in-place write.
void BM_RawAtomicReplace(benchmark::State &state)
{
    std::vector<unsigned char> bytes(ConfigLayout::kFileSize, 0x5A);
    const std::string path = g_dir + "/atomic.dat";
    const std::string tmp = path + ".tmp";
    for (auto _ : state) {
        int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        bool ok = fd >= 0 && WriteAllOnce(fd, bytes) && ::fsync(fd) == 0;
        ok = (fd >= 0 && ::close(fd) == 0) && ok;
        ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
        int dirFd = ::open(g_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = ok && dirFd >= 0 && ::fsync(dirFd) == 0;
        if (dirFd >= 0)
            ::close(dirFd);
        if (!ok) {
            state.SkipWithError(std::strerror(errno));
            ::unlink(tmp.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(ConfigLayout::kFileSize));
}

// Each fsync costs milliseconds on a real disk; a floor of iterations keeps the figure from
// resting on a handful of samples.
BENCHMARK(BM_RawWriteFsync)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawAtomicReplace)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveConfiguration)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveConfigurationUnchanged)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_LoadConfiguration)->UseRealTime()->Unit(benchmark::kMicrosecond)->MinTime(1.0);

const char *FileSystemName(long type)
{
    switch (type) {
    case TMPFS_MAGIC:
        return "tmpfs";
    case EXT4_SUPER_MAGIC:
        return "ext2/3/4";
    case BTRFS_SUPER_MAGIC:
        return "btrfs";
    case XFS_SUPER_MAGIC:
        return "xfs";
    case OVERLAYFS_SUPER_MAGIC:
        return "overlayfs";
    default:
        return "other";
    }
}

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    std::filesystem::path made;
    if (const char *env = std::getenv("KESTRAVA_BENCH_DIR"); env && *env) {
        g_dir = env;
    } else {
        std::string templ = (std::filesystem::current_path() / "kestrava-bench.XXXXXX").string();
        if (!::mkdtemp(templ.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        g_dir = made = templ;
    }
    struct statfs fs {};
    if (::statfs(g_dir.c_str(), &fs) != 0) {
        std::perror(g_dir.c_str());
        return 1;
    }
    const char *fsName = FileSystemName(static_cast<long>(fs.f_type));
    benchmark::AddCustomContext("bench_dir", g_dir);
    benchmark::AddCustomContext("file_system", fsName);
    if (fs.f_type == TMPFS_MAGIC)
        std::fprintf(stderr, "warning: %s is on tmpfs; fsync costs nothing there\n", g_dir.c_str());

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::error_code ec;
    if (!made.empty())
        std::filesystem::remove_all(made, ec);
    else
        for (const char *name : {"/KVUI_Config.dat", "/raw.dat", "/atomic.dat"})
            std::filesystem::remove(g_dir + name, ec);
    return 0;
}
