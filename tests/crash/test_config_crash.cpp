// A program killed at any moment leaves its configuration as one whole
// earlier save, and its backup as the rules make it: this binary runs itself as
// a child that starts, loads, backs up and saves one numbered configuration
// after another, kills it at random moments and examines the two files after
// every kill.
//
// KESTRAVA_CRASH_SEED replays a run's choices; KESTRAVA_CRASH_KILLS sets how
// many kills there are (at least 200 by default).

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Kvguiglobals.h"

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char *kSaverArgument = "--saver";
// A file that is absent is recorded as holding save 0; saves count from 1.
constexpr long kAbsent = 0;
constexpr int kMiddleCategory = kMaxCategories / 2;

// Gives the model the configuration of save number seq. Every category and
// link is in use and every link's path names the save, so that two saves
// differ in every 4 KB page of the file, and the short fields of the tail
// differ with it.
void Fill(KVUIOperationClass &op, long seq)
{
    op.WriteDefaults();
    const std::string n = std::to_string(seq);
    SetField(op.header.description, "save " + n);
    for (int c = 0; c < kMaxCategories; ++c) {
        CategoryRecord &cat = op.categories[c];
        cat.type = ctFiles;
        SetField(cat.name, "save " + n + " category " + std::to_string(c));
        SetField(cat.description, "save " + n + " described");
        cat.colour = {static_cast<int32_t>(seq & 255), c, 7};
        cat.lockedOpen = ((seq + c) & 1) != 0;
        cat.expanded = ((seq + c) & 2) != 0;
        for (int l = 0; l < kMaxLinks; ++l) {
            LinkRecord &link = cat.links[l];
            SetField(link.name, "link " + std::to_string(l));
            SetField(link.path, "save " + n + " /c" + std::to_string(c) + "/l" + std::to_string(l));
            link.type = ctFiles;
            link.used = 1;
        }
    }
    op.settings.left = static_cast<int32_t>(seq);
    op.settings.top = static_cast<int32_t>(seq % 997);
    op.settings.alpha = static_cast<int32_t>(seq % 256);
    op.savedSettings.left = static_cast<int32_t>(seq);
    op.SetColour(crBackground, static_cast<int>(seq & 255), static_cast<int>((seq >> 8) & 255), 9);
    op.useWindowsColours = (seq & 1) != 0;
    op.gameSectionOpen = (seq & 2) != 0;
    op.clockVisible = (seq & 4) != 0;
    op.buttonSectionOpen = (seq & 8) != 0;
    op.clockLeft = static_cast<int32_t>(seq);
    op.clockTop = -static_cast<int32_t>(seq);
}

// The bytes a save of the model must leave in the file, laid out here from
// the format's offsets rather than by the code under test.
Bytes Image(const KVUIOperationClass &op)
{
    using namespace ConfigLayout;
    Bytes b(kFileSize, 0);
    auto put = [&b](std::size_t at, const void *p, std::size_t n) { std::memcpy(b.data() + at, p, n); };
    put(kHeader, &op.header, sizeof(FileHeader));
    put(kCategories, op.categories, sizeof op.categories);
    put(kSettings, &op.settings, sizeof(WindowSettings));
    put(kSavedSettings, &op.savedSettings, sizeof(WindowSettings));
    put(kAppearance, &op.appearance, sizeof(Appearance));
    b[kUseWindowsColours] = op.useWindowsColours;
    b[kGameSectionOpen] = op.gameSectionOpen;
    b[kClockVisible] = op.clockVisible;
    put(kClockLeft, &op.clockLeft, 4);
    put(kClockTop, &op.clockTop, 4);
    b[kButtonSectionOpen] = op.buttonSectionOpen;
    return b;
}

Bytes Expected(long seq)
{
    auto op = std::make_unique<KVUIOperationClass>();
    Fill(*op, seq);
    return Image(*op);
}

std::size_t LinkPathAt(int c, int l)
{
    return ConfigLayout::kCategories + static_cast<std::size_t>(c) * sizeof(CategoryRecord) +
           static_cast<std::size_t>(l) * sizeof(LinkRecord) + offsetof(LinkRecord, path);
}

// The save number each marked field of a file image names, in file order:
// the header's description, the first category's name, a link path in the
// middle of the file, the last link path, the window's left edge and the
// clock's left edge in the tail; -1 where a field names none.
std::vector<long> Markers(const Bytes &b)
{
    using namespace ConfigLayout;
    auto text = [&b](std::size_t at, std::size_t size) -> long {
        const char *p = reinterpret_cast<const char *>(b.data() + at);
        const std::string field(p, ::strnlen(p, size));
        if (field.rfind("save ", 0) != 0)
            return -1;
        char *end = nullptr;
        const long n = std::strtol(field.c_str() + 5, &end, 10);
        return end != field.c_str() + 5 ? n : -1;
    };
    auto number = [&b](std::size_t at) {
        int32_t v;
        std::memcpy(&v, b.data() + at, 4);
        return static_cast<long>(v);
    };
    return {text(kHeader + offsetof(FileHeader, description), sizeof(FileHeader::description)),
            text(kCategories + offsetof(CategoryRecord, name), sizeof(CategoryRecord::name)),
            text(LinkPathAt(kMiddleCategory, 0), sizeof(LinkRecord::path)),
            text(LinkPathAt(kMaxCategories - 1, kMaxLinks - 1), sizeof(LinkRecord::path)),
            number(kSettings + offsetof(WindowSettings, left)),
            number(kClockLeft)};
}

std::string Listed(const std::set<long> &values)
{
    std::string text;
    for (long v : values)
        text += (text.empty() ? "" : ", ") + (v == kAbsent ? std::string("none") : std::to_string(v));
    return "{" + text + "}";
}

// Why the file image b is not one whole save out of allowed (kAbsent for no
// file), or empty when it is; seq receives which save it is.
std::string Judge(const std::optional<Bytes> &b, const std::set<long> &allowed, long &seq)
{
    if (!b) {
        seq = kAbsent;
        return allowed.count(kAbsent) ? "" : "the file is missing; expected one of " + Listed(allowed);
    }
    if (b->size() != ConfigLayout::kFileSize)
        return "the file is " + std::to_string(b->size()) + " bytes long";
    const std::vector<long> marks = Markers(*b);
    std::string listed;
    for (long m : marks)
        listed += " " + std::to_string(m);
    if (std::any_of(marks.begin(), marks.end(), [&](long m) { return m != marks[0]; }))
        return "a mixture: its marks name the saves" + listed;
    if (marks[0] <= 0 || !allowed.count(marks[0]))
        return "it holds save " + std::to_string(marks[0]) + "; expected one of " + Listed(allowed);
    const Bytes want = Expected(marks[0]);
    if (std::memcmp(b->data(), want.data(), want.size()) != 0) {
        const auto diff = std::mismatch(b->begin(), b->end(), want.begin());
        return "save " + std::to_string(marks[0]) + " differs from what it wrote at byte " +
               std::to_string(diff.first - b->begin());
    }
    seq = marks[0];
    return "";
}

std::optional<Bytes> ReadFile(const fs::path &p)
{
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    Bytes b;
    struct stat st {};
    if (::fstat(fd, &st) == 0)
        b.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    for (ssize_t n; got < b.size() && (n = ::read(fd, b.data() + got, b.size() - got)) > 0;)
        got += static_cast<std::size_t>(n);
    b.resize(got);
    ::close(fd);
    return b;
}

void Say(const std::string &line)
{
    const std::string text = line + "\n"; // one write, shorter than PIPE_BUF: never torn
    [[maybe_unused]] const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

// The child: one run of the program as far as its configuration goes. The
// start loads and takes the backup, then each change saves. Every step is
// announced before it begins and after it ends, so that the parent knows
// which saves were started when it killed the child.
int RunSaver(const std::string &dir, long first)
{
    auto op = std::make_unique<KVUIOperationClass>();
    op->directory = dir;
    Say("ready");
    if (op->LoadConfiguration()) {
        const Bytes image = Image(*op);
        const long seq = Markers(image)[0];
        Say("loaded " + std::to_string(seq) + (image == Expected(seq) ? " whole" : " differs"));
    } else {
        Say("loaded none");
    }
    Say("backup-begin");
    Say(op->BackupConfiguration() ? "backup-end ok" : "backup-end fail");
    for (long seq = first;; ++seq) {
        Say("begin " + std::to_string(seq));
        Fill(*op, seq);
        const bool saved = op->SaveConfiguration();
        Say("end " + std::to_string(seq) + (saved ? " ok" : " fail: " + op->lastSaveError));
    }
}

// A running child and what it has said so far.
class Saver {
  public:
    Saver(const fs::path &dir, long first)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            const std::string firstText = std::to_string(first);
            const char *argv[] = {"config_crash_tests", kSaverArgument, dir.c_str(), firstText.c_str(),
                                  nullptr};
            ::execv("/proc/self/exe", const_cast<char *const *>(argv));
            ::_exit(127);
        }
        ::close(fds[1]);
        fd_ = fds[0];
    }
    ~Saver()
    {
        Kill();
        if (fd_ >= 0)
            ::close(fd_);
    }
    Saver(const Saver &) = delete;
    Saver &operator=(const Saver &) = delete;

    pid_t Pid() const { return pid_; }
    bool Started() const { return pid_ > 0 && fd_ >= 0; }
    const std::vector<std::string> &Lines() const { return lines_; }

    // Reads what the child says until deadline, or until stop accepts a
    // line; false when the child fell silent for good first.
    bool ReadUntil(Clock::time_point deadline, const std::function<bool(const std::string &)> &stop = {})
    {
        if (TakeLines(stop))
            return true;
        while (!eof_) {
            const auto left = deadline - Clock::now();
            if (left <= Clock::duration::zero())
                return true;
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            const timespec wait{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::ppoll(&p, 1, &wait, nullptr);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                eof_ = n == 0 || errno != EINTR;
                continue;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
            if (TakeLines(stop))
                return true;
        }
        return false;
    }

    // Kills the child and collects everything it said; the wait status.
    int Kill()
    {
        if (pid_ <= 0)
            return status_;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        pid_ = -pid_; // reaped; the number is kept for naming its temporaries
        ReadUntil(Clock::now() + std::chrono::seconds(10));
        return status_;
    }
    pid_t ReapedPid() const { return pid_ < 0 ? -pid_ : pid_; }

  private:
    // Moves the whole lines read so far into lines_, up to one stop accepts.
    bool TakeLines(const std::function<bool(const std::string &)> &stop)
    {
        for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
            lines_.push_back(pending_.substr(0, end));
            pending_.erase(0, end + 1);
            if (stop && stop(lines_.back()))
                return true;
        }
        return false;
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    int status_ = 0;
    bool eof_ = false;
    std::string pending_;
    std::vector<std::string> lines_;
};

// What a killed child got through, from what it said.
struct Progress {
    std::string loaded; // the "loaded" line, empty when it never got that far
    bool backupBegun = false;
    std::string backupEnd; // "ok", "fail" or empty
    long lastBegun = kAbsent;
    long lastEnded = kAbsent;
    std::vector<std::string> failures;
    std::string phase = "starting";

    explicit Progress(const std::vector<std::string> &lines)
    {
        for (const std::string &line : lines) {
            if (line.rfind("loaded ", 0) == 0) {
                loaded = line.substr(7);
                phase = "after loading";
            } else if (line == "backup-begin") {
                backupBegun = true;
                phase = "in the backup";
            } else if (line.rfind("backup-end ", 0) == 0) {
                backupEnd = line.substr(11);
                phase = "between saves";
            } else if (line.rfind("begin ", 0) == 0) {
                lastBegun = std::stol(line.substr(6));
                phase = "in a save";
            } else if (line.rfind("end ", 0) == 0) {
                const std::size_t space = line.find(' ', 4);
                lastEnded = std::stol(line.substr(4, space - 4));
                if (line.compare(space + 1, std::string::npos, "ok") != 0)
                    failures.push_back(line);
                phase = "between saves";
            } else if (line == "ready") {
                phase = "loading";
            }
        }
    }
};

// Temporaries beside the two files, by the pid in their names; anything
// else in the folder is reported in strangers.
std::map<pid_t, int> Temporaries(const fs::path &dir, std::vector<std::string> &strangers)
{
    std::map<pid_t, int> byPid;
    for (const auto &entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name == "KVUI_Config.dat" || name == "KVUI_Config_OLD.dat")
            continue;
        bool ours = false;
        for (const std::string prefix : {"KVUI_Config.dat.tmp", "KVUI_Config_OLD.dat.tmp"}) {
            if (name.rfind(prefix, 0) != 0)
                continue;
            char *end = nullptr;
            const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
            if (pid > 0 && *end == '-') {
                ++byPid[static_cast<pid_t>(pid)];
                ours = true;
            }
        }
        if (!ours)
            strangers.push_back(name);
    }
    return byPid;
}

std::uint64_t SeedFromEnvironment()
{
    if (const char *text = std::getenv("KESTRAVA_CRASH_SEED"); text && *text)
        return std::strtoull(text, nullptr, 10);
    return (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^ std::random_device{}();
}

int KillsFromEnvironment()
{
    const char *text = std::getenv("KESTRAVA_CRASH_KILLS");
    const int kills = text && *text ? std::atoi(text) : 200;
    return kills > 0 ? kills : 200;
}

struct ConfigCrash : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("kv-crash-" + std::to_string(::getpid()));
    void SetUp() override
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path Config() const { return dir / "KVUI_Config.dat"; }
    fs::path Old() const { return dir / "KVUI_Config_OLD.dat"; }

    // How long one save takes here, so that the kills spread over a few saves
    // whatever the disk.
    Clock::duration TimeOfASave()
    {
        const fs::path scratch = dir / "calibration";
        fs::create_directories(scratch);
        auto op = std::make_unique<KVUIOperationClass>();
        op->directory = scratch.string();
        const auto start = Clock::now();
        for (long seq = 1; seq <= 3; ++seq) {
            Fill(*op, seq);
            EXPECT_TRUE(op->SaveConfiguration()) << op->lastSaveError;
        }
        const auto each = (Clock::now() - start) / 3;
        fs::remove_all(scratch);
        return std::max<Clock::duration>(each, std::chrono::milliseconds(1));
    }
};

TEST_F(ConfigCrash, EveryKillLeavesWholeEarlierSaves)
{
    const std::uint64_t seed = SeedFromEnvironment();
    const int kills = KillsFromEnvironment();
    std::printf("seed %llu (replay with KESTRAVA_CRASH_SEED=%llu), %d kills\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed), kills);
    RecordProperty("seed", std::to_string(seed));
    std::mt19937_64 rng(seed);
    const Clock::duration save = TimeOfASave();
    std::printf("one save takes %.1f ms here\n", std::chrono::duration<double, std::milli>(save).count());
    auto within = [&rng](Clock::duration span) {
        return Clock::duration(std::uniform_int_distribution<Clock::rep>(0, span.count())(rng));
    };

    long config = kAbsent, backup = kAbsent; // the saves the two files hold
    long next = 1;
    std::set<pid_t> lingering; // killed children whose temporaries no start has removed yet
    std::map<std::string, int> phases;
    int deletions = 0, abandoned = 0, killedAfterRename = 0;
    const auto began = Clock::now();
    int run = 0;
    for (; run < kills && !HasFailure(); ++run) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", run " + std::to_string(run));
        // Now and then the user deletes the configuration between two runs:
        // the next start loads the backup and the next save writes it anew.
        if (config != kAbsent && rng() % 12 == 0) {
            fs::remove(Config());
            config = kAbsent;
            ++deletions;
        }
        // Where to kill: anywhere over the start and a few saves, in the
        // backup copy, or inside one of the first saves.
        std::string anchor = "ready";
        int anchorCount = 1;
        Clock::duration delay;
        const auto mode = rng() % 10;
        if (mode < 4) {
            delay = within(6 * save);
        } else if (mode < 8) {
            anchor = "begin ";
            anchorCount = 1 + static_cast<int>(rng() % 3);
            delay = within(save + save / 4);
        } else {
            anchor = "backup-begin";
            delay = within(save + save / 4);
        }

        Saver child(dir, next);
        ASSERT_TRUE(child.Started());
        int seen = 0;
        const bool anchored =
            child.ReadUntil(Clock::now() + std::chrono::seconds(20), [&](const std::string &line) {
                return line.rfind(anchor, 0) == 0 && ++seen == anchorCount;
            });
        ASSERT_TRUE(anchored && seen == anchorCount) << "the child never said " << anchor;
        child.ReadUntil(Clock::now() + delay);
        const int status = child.Kill();
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the child ended by itself: " << status;

        const Progress p(child.Lines());
        ++phases[p.phase];
        EXPECT_TRUE(p.failures.empty()) << p.failures.front();

        // The start loads the configuration when it is there, else the backup.
        if (!p.loaded.empty()) {
            const long source = config != kAbsent ? config : backup;
            EXPECT_EQ(p.loaded, source == kAbsent ? "none" : std::to_string(source) + " whole");
        }
        // The backup becomes a copy of the configuration as it was at the
        // start, which a start without one leaves alone.
        std::set<long> backupMay = {backup};
        if (config != kAbsent && p.backupEnd == "ok")
            backupMay = {config};
        else if (config != kAbsent && p.backupBegun && p.backupEnd.empty())
            backupMay.insert(config);
        if (!p.backupEnd.empty()) {
            EXPECT_EQ(p.backupEnd, config != kAbsent ? "ok" : "fail");
        }
        // The configuration is the last finished save, or the one under way.
        std::set<long> configMay = {p.lastEnded != kAbsent ? p.lastEnded : config};
        if (p.lastBegun != p.lastEnded)
            configMay.insert(p.lastBegun);

        long found = kAbsent;
        const std::string configFault = Judge(ReadFile(Config()), configMay, found);
        EXPECT_EQ(configFault, "") << "KVUI_Config.dat killed " << p.phase;
        if (p.lastBegun != p.lastEnded && found == p.lastBegun)
            ++killedAfterRename;
        config = found;
        const std::string backupFault = Judge(ReadFile(Old()), backupMay, found);
        EXPECT_EQ(backupFault, "") << "KVUI_Config_OLD.dat killed " << p.phase;
        backup = found;

        // A kill leaves at most the one temporary it was writing; a start
        // that got as far as loading has removed those of earlier runs.
        if (!p.loaded.empty())
            lingering.clear();
        lingering.insert(child.ReapedPid());
        std::vector<std::string> strangers;
        const std::map<pid_t, int> temporaries = Temporaries(dir, strangers);
        EXPECT_TRUE(strangers.empty()) << strangers.front();
        for (const auto &[pid, count] : temporaries) {
            EXPECT_TRUE(lingering.count(pid))
                << "a temporary of process " << pid << " outlived a later start";
            EXPECT_EQ(count, 1) << "process " << pid << " left more than one temporary";
            abandoned += pid == child.ReapedPid();
        }
        if (p.lastBegun != kAbsent)
            next = p.lastBegun + 1;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
    std::printf("%d kills in %.1f s; %d deleted configurations, %d abandoned temporaries, %d saves "
                "killed after their rename; killed:",
                run, seconds, deletions, abandoned, killedAfterRename);
    for (const auto &[phase, count] : phases)
        std::printf(" %d %s,", count, phase.c_str());
    std::printf(" last save %ld\n", next - 1);
    if (HasFailure())
        return;

    // One more start after all of it: the folder is clean again and the
    // model holds the last whole save.
    auto last = std::make_unique<KVUIOperationClass>();
    KVUIOperationClass &op = *last;
    op.directory = dir.string();
    ASSERT_TRUE(op.LoadConfiguration());
    std::vector<std::string> strangers;
    EXPECT_TRUE(Temporaries(dir, strangers).empty());
    EXPECT_TRUE(strangers.empty());
    const long source = config != kAbsent ? config : backup;
    EXPECT_TRUE(Image(op) == Expected(source)) << "the last start did not load save " << source;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], kSaverArgument) == 0)
        return RunSaver(argv[2], std::strtol(argv[3], nullptr, 10));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
