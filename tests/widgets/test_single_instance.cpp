#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "SingleInstance.h"

namespace fs = std::filesystem;

namespace {

const std::string kOwnFolder = "kestrava-" + std::to_string(::getuid());

QString Q(const fs::path &path)
{
    return QString::fromStdString(path.string());
}

std::optional<std::string> Env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void RestoreEnv(const char *name, const std::optional<std::string> &value)
{
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

void MakePrivateFolder(const fs::path &path)
{
    fs::create_directories(path);
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::replace);
}

// Everything under dir (links not followed) as one comparable text: kind,
// mode, owner, size, modification time and the contents of files. Entries under
// skip are left out.
std::string Snapshot(const fs::path &dir, const fs::path &skip = {})
{
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const fs::path &path = it->path();
        if (!skip.empty() && path == skip) {
            it.disable_recursion_pending();
            continue;
        }
        struct stat st {};
        ::lstat(path.c_str(), &st);
        std::ostringstream line;
        line << std::oct << st.st_mode << std::dec << ' ' << st.st_uid << ' ' << st.st_size << ' '
             << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec;
        if (S_ISREG(st.st_mode))
            line << ' ' << std::ifstream(path).rdbuf();
        if (S_ISLNK(st.st_mode))
            line << " -> " << fs::read_symlink(path);
        entries[path.string()] = line.str();
    }
    std::string all;
    for (const auto &[path, line] : entries)
        all += path + ": " + line + "\n";
    return all;
}

// What the code under test writes to stderr while this lives.
class StderrCapture {
  public:
    StderrCapture()
    {
        std::fflush(stderr);
        if (::pipe2(m_pipe, O_CLOEXEC) != 0)
            return;
        m_saved = ::dup(2);
        ::dup2(m_pipe[1], 2);
        ::close(m_pipe[1]);
    }
    ~StderrCapture() { Text(); }
    std::string Text()
    {
        if (m_saved >= 0) {
            std::fflush(stderr);
            ::dup2(m_saved, 2);
            ::close(m_saved);
            m_saved = -1;
            char chunk[4096];
            for (ssize_t n; (n = ::read(m_pipe[0], chunk, sizeof chunk)) > 0;)
                m_text.append(chunk, n);
            ::close(m_pipe[0]);
        }
        return m_text;
    }

  private:
    int m_pipe[2] = {-1, -1};
    int m_saved = -1;
    std::string m_text;
};

int CountOf(const std::string &text, const std::string &part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct SingleInstanceTest : ::testing::Test {
    fs::path root = fs::temp_directory_path() / ("kv-single-" + std::to_string(::getpid()));
    fs::path runtime = root / "runtime";     // XDG_RUNTIME_DIR
    fs::path temp = root / "tmp";            // TMPDIR
    fs::path fallback = temp / kOwnFolder;   // the launcher's own folder when the runtime one is unfit
    fs::path elsewhere = root / "elsewhere"; // files that links planted for the launcher lead to
    std::optional<std::string> savedRuntime = Env("XDG_RUNTIME_DIR");
    std::optional<std::string> savedTemp = Env("TMPDIR");

    void SetUp() override
    {
        fs::remove_all(root);
        MakePrivateFolder(runtime);
        MakePrivateFolder(temp);
        MakePrivateFolder(elsewhere);
        std::ofstream(elsewhere / "victim") << "precious";
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ::setenv("TMPDIR", temp.c_str(), 1);
    }
    void TearDown() override
    {
        RestoreEnv("XDG_RUNTIME_DIR", savedRuntime);
        RestoreEnv("TMPDIR", savedTemp);
        fs::remove_all(root);
    }
};

// A second start beside first, as a second launch of the program: it finds
// first holding the lock and asks it to show. The show requests first got.
int ShowsAfterASecondStart(SingleInstance &first)
{
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.SignalRunning());
    shown.wait(2000);
    return static_cast<int>(shown.count());
}

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToShow)
{
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(ShowsAfterASecondStart(first), 1);
    // Only the owner may reach the socket.
    EXPECT_TRUE(fs::is_socket(runtime / "kvtest"));
    EXPECT_EQ(fs::status(runtime / "kvtest").permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
    EXPECT_TRUE(first.LastError().isEmpty());
    EXPECT_FALSE(fs::exists(fallback));
}

TEST_F(SingleInstanceTest, OtherMessagesAreIgnored)
{
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    for (const QByteArray &message : {QByteArray("hello"), QByteArray("show"), QByteArray("show\nshow\n"),
                                      QByteArray(4096, 'x'), QByteArray("\0show\n", 6)}) {
        QLocalSocket s;
        s.connectToServer(Q(runtime / "kvtest"));
        ASSERT_TRUE(s.waitForConnected(1000));
        s.write(message);
        s.waitForBytesWritten(1000);
        QTest::qWait(50);
        s.disconnectFromServer();
    }
    QTest::qWait(100);
    EXPECT_EQ(shown.count(), 0);
}

TEST_F(SingleInstanceTest, LeftoversOfAKilledInstanceDoNotStopTheNext)
{
    // A socket file and a lock file remain when an instance is killed; the
    // kernel has already dropped its lock.
    std::ofstream(runtime / "kvtest") << "stale";
    std::ofstream(runtime / "kvtest.lock") << "";
    SingleInstance next(QStringLiteral("kvtest"));
    ASSERT_TRUE(next.Acquire());
    QSignalSpy shown(&next, &SingleInstance::showRequested);
    SingleInstance later(QStringLiteral("kvtest"));
    EXPECT_FALSE(later.Acquire());
    EXPECT_TRUE(later.SignalRunning());
    EXPECT_TRUE(shown.wait(2000));
}

TEST_F(SingleInstanceTest, NoRunningInstanceAnswersFalse)
{
    SingleInstance lone(QStringLiteral("kvtest-none"));
    EXPECT_FALSE(lone.SignalRunning(200));
}

// One way to spoil a folder, for the table-driven tests below.
struct Spoiler {
    const char *name;
    std::function<void(SingleInstanceTest &)> apply;
    bool needsRoot = false; // only root can give a folder away
};

void PrintTo(const Spoiler &spoiler, std::ostream *out)
{
    *out << spoiler.name;
}

void GiveAway(const fs::path &path)
{
    ASSERT_EQ(::lchown(path.c_str(), 65534, 65534), 0) << std::strerror(errno);
}

std::string SpoilerName(const ::testing::TestParamInfo<Spoiler> &info)
{
    return info.param.name;
}

struct SingleInstanceUnfitRuntimeFolder : SingleInstanceTest, ::testing::WithParamInterface<Spoiler> {};

// A runtime folder that others could enter, or that is not the user's own, is
// passed over for the launcher's own folder in the temp folder; the guard
// still holds there, and nothing is created in or through the unfit one.
TEST_P(SingleInstanceUnfitRuntimeFolder, IsPassedOverForThePrivateFallback)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    GetParam().apply(*this);
    const std::string untouched = Snapshot(root, temp);

    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(ShowsAfterASecondStart(first), 1);

    EXPECT_TRUE(fs::is_socket(fallback / "kvtest"));
    EXPECT_EQ(fs::symlink_status(fallback).permissions(), fs::perms::owner_all);
    EXPECT_EQ(Snapshot(root, temp), untouched);
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, SingleInstanceUnfitRuntimeFolder,
    ::testing::Values(
        Spoiler{"Unset", [](SingleInstanceTest &) { ::unsetenv("XDG_RUNTIME_DIR"); }},
        Spoiler{"Missing",
                [](SingleInstanceTest &t) { ::setenv("XDG_RUNTIME_DIR", (t.root / "gone").c_str(), 1); }},
        Spoiler{"Relative", [](SingleInstanceTest &) { ::setenv("XDG_RUNTIME_DIR", "runtime", 1); }},
        Spoiler{"WorldWritable",
                [](SingleInstanceTest &t) {
                    fs::permissions(t.runtime, fs::perms::all, fs::perm_options::replace);
                }},
        Spoiler{"GroupReadable",
                [](SingleInstanceTest &t) {
                    fs::permissions(t.runtime,
                                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec,
                                    fs::perm_options::replace);
                }},
        Spoiler{"SymbolicLinkToAPrivateFolder",
                [](SingleInstanceTest &t) {
                    fs::remove(t.runtime);
                    fs::create_directory_symlink(t.elsewhere, t.runtime);
                }},
        Spoiler{"AnotherUsers", [](SingleInstanceTest &t) { GiveAway(t.runtime); }, true}),
    SpoilerName);

struct SingleInstanceUnfitOwnFolder : SingleInstanceTest, ::testing::WithParamInterface<Spoiler> {};

// With no usable runtime folder and the launcher's own folder spoiled by
// somebody else, the launcher starts without the guard, says so once, and
// leaves everything as it found it.
TEST_P(SingleInstanceUnfitOwnFolder, MeansStartingWithoutTheGuard)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    ::unsetenv("XDG_RUNTIME_DIR");
    GetParam().apply(*this);
    const std::string untouched = Snapshot(root);

    SingleInstance first(QStringLiteral("kvtest"));
    QSignalSpy errors(&first, &SingleInstance::channelError);
    StderrCapture stderrText;
    EXPECT_TRUE(first.Acquire());
    const std::string said = stderrText.Text();
    EXPECT_EQ(errors.count(), 1);
    EXPECT_FALSE(first.LastError().isEmpty());
    EXPECT_EQ(CountOf(said, "Kestrava:"), 1) << said;

    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_TRUE(second.Acquire());
    EXPECT_FALSE(second.SignalRunning(200));
    EXPECT_EQ(Snapshot(root), untouched);
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, SingleInstanceUnfitOwnFolder,
    ::testing::Values(
        Spoiler{"WorldWritable",
                [](SingleInstanceTest &t) {
                    fs::create_directory(t.fallback);
                    fs::permissions(t.fallback, fs::perms::all | fs::perms::sticky_bit,
                                    fs::perm_options::replace);
                }},
        Spoiler{"SymbolicLinkToAPrivateFolder",
                [](SingleInstanceTest &t) { fs::create_directory_symlink(t.elsewhere, t.fallback); }},
        Spoiler{"DanglingSymbolicLink",
                [](SingleInstanceTest &t) { fs::create_directory_symlink(t.elsewhere / "new", t.fallback); }},
        Spoiler{"AFile", [](SingleInstanceTest &t) { std::ofstream(t.fallback) << "not a folder"; }},
        Spoiler{"AnotherUsers",
                [](SingleInstanceTest &t) {
                    MakePrivateFolder(t.fallback);
                    GiveAway(t.fallback);
                },
                true}),
    SpoilerName);

TEST_F(SingleInstanceTest, OwnFolderFromAnEarlierStartIsUsedAgain)
{
    ::unsetenv("XDG_RUNTIME_DIR");
    MakePrivateFolder(fallback);
    std::ofstream(fallback / "kvtest") << "stale";
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.LastError().isEmpty());
    EXPECT_TRUE(fs::is_socket(fallback / "kvtest"));
    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_FALSE(second.Acquire());
}

// A link planted as the lock is never followed: nothing is created, changed
// or locked through it, and the launcher starts without the guard.
TEST_F(SingleInstanceTest, LockIsNeverOpenedThroughALink)
{
    for (const char *target : {"victim", "absent"}) {
        SCOPED_TRACE(target);
        fs::remove(runtime / "kvtest.lock");
        fs::create_symlink(elsewhere / target, runtime / "kvtest.lock");
        const std::string untouched = Snapshot(root);

        SingleInstance first(QStringLiteral("kvtest"));
        QSignalSpy errors(&first, &SingleInstance::channelError);
        EXPECT_TRUE(first.Acquire());
        EXPECT_EQ(errors.count(), 1);
        EXPECT_FALSE(fs::exists(runtime / "kvtest"));
        EXPECT_EQ(Snapshot(root), untouched);
        // Nobody holds a lock on the file the link leads to.
        const int fd = ::open((elsewhere / "victim").c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
}

// A socket path longer than a socket address can hold: the guard holds, the
// launcher runs, and it says why later starts cannot bring it forward.
TEST_F(SingleInstanceTest, SocketPathTooLongIsReportedAndTheLauncherRuns)
{
    const fs::path deep = runtime / std::string(120, 'd');
    MakePrivateFolder(deep);
    ::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);

    SingleInstance first(QStringLiteral("kvtest"));
    QSignalSpy errors(&first, &SingleInstance::channelError);
    StderrCapture stderrText;
    EXPECT_TRUE(first.Acquire());
    const std::string said = stderrText.Text();
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(CountOf(said, "Kestrava:"), 1) << said;
    EXPECT_TRUE(fs::exists(deep / "kvtest.lock"));

    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_FALSE(second.Acquire());
    EXPECT_FALSE(second.SignalRunning(200));
    EXPECT_EQ(errors.count(), 1);
}

int HighestOpenDescriptor()
{
    int highest = 2;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd"))
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    return highest;
}

// Takes every free file descriptor while it lives.
class NoDescriptorsLeft {
  public:
    NoDescriptorsLeft()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit low = m_saved;
        low.rlim_cur = HighestOpenDescriptor() + 1;
        ::setrlimit(RLIMIT_NOFILE, &low);
        int fd;
        while ((fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0)
            m_taken.push_back(fd);
        m_exhausted = errno == EMFILE;
    }
    ~NoDescriptorsLeft()
    {
        for (int fd : m_taken)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    bool Exhausted() const { return m_exhausted; }

  private:
    rlimit m_saved{};
    std::vector<int> m_taken;
    bool m_exhausted = false;
};

int ConnectTo(const fs::path &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True once the other end has closed fd; never blocks.
bool ClosedByTheInstance(int fd)
{
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

// Callers that connect and keep their end open, one saying nothing and one
// half the request: the instance goes on with its event loop, takes neither
// for a request to show, serves a proper start in the meantime, and in the
// end hangs up on both.
TEST_F(SingleInstanceTest, HangingCallersNeitherBlockNorShow)
{
    const fs::path socket = runtime / "kvtest";
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    const int silent = ConnectTo(socket);
    const int partial = ConnectTo(socket);
    ASSERT_GE(silent, 0);
    ASSERT_GE(partial, 0);
    ASSERT_EQ(::write(partial, "sh", 2), 2);

    // Both are taken while the loop runs, and neither holds it up.
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(200);
    EXPECT_LT(clock.elapsed(), 1000) << "the event loop waited on a caller";
    EXPECT_EQ(shown.count(), 0);

    // A proper start is served at once (the hanging callers are given two
    // seconds), with both still there.
    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.SignalRunning());
    EXPECT_TRUE(shown.wait(1000)) << "the start waited behind the hanging callers";
    EXPECT_EQ(shown.count(), 1);

    // Nobody keeps a connection for long; being cut off is no request either.
    EXPECT_TRUE(QTest::qWaitFor([&] { return ClosedByTheInstance(silent); }, 5000)) << "silent caller kept";
    EXPECT_TRUE(QTest::qWaitFor([&] { return ClosedByTheInstance(partial); }, 5000)) << "partial caller kept";
    ::close(silent);
    ::close(partial);
    QTest::qWait(50);
    EXPECT_EQ(shown.count(), 1);

    // And the channel still serves the next start.
    EXPECT_EQ(ShowsAfterASecondStart(first), 1);
}

// A failed accept (here: out of file descriptors) leaves the channel open;
// the waiting caller is taken once there is room, and later starts still
// bring the instance forward.
TEST_F(SingleInstanceTest, ChannelOutlivesAFailedAccept)
{
    const fs::path socket = runtime / "kvtest";
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    ASSERT_TRUE(first.LastError().isEmpty());
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    const int caller = ConnectTo(socket);
    ASSERT_GE(caller, 0);
    // The sanitizers check an object's type on its first method call, which
    // takes a descriptor: look at the listening notifier while there is one.
    auto *notifier = first.findChild<QSocketNotifier *>();
    ASSERT_NE(notifier, nullptr);
    ASSERT_TRUE(notifier->isEnabled());
    bool exhausted = false;
    {
        NoDescriptorsLeft none;
        exhausted = none.Exhausted();
        // Taken here rather than from the event loop: with no descriptor
        // free, nothing else may run (the sanitizers themselves need one the
        // first time they meet an event's type).
        QMetaObject::invokeMethod(&first, "Accept", Qt::DirectConnection);
    }
    ASSERT_TRUE(exhausted);
    EXPECT_TRUE(first.LastError().contains(QStringLiteral("cannot accept")))
        << "the failed accept went unreported";
    EXPECT_TRUE(fs::is_socket(socket)) << "the channel closed";
    ASSERT_EQ(::write(caller, "show\n", 5), 5);
    EXPECT_TRUE(shown.wait(3000)) << "the waiting caller was never taken";
    ::close(caller);

    EXPECT_EQ(ShowsAfterASecondStart(first), 1);
}

} // namespace
