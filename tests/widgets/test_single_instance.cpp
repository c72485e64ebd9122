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
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
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

const QString kName = QStringLiteral("kvtest");

struct SingleInstanceTest : ::testing::Test {
    fs::path root = fs::temp_directory_path() / ("kv-single-" + std::to_string(::getpid()));
    fs::path runtime = root / "runtime";     // XDG_RUNTIME_DIR
    fs::path temp = root / "tmp";            // TMPDIR
    fs::path ownInTemp = temp / kOwnFolder;  // a folder of ours in the temp folder, as others might make it
    fs::path configFolder = root / "config"; // the configuration's folder
    std::string config = configFolder.string(); // the configuration folder the program names
    fs::path elsewhere = root / "elsewhere";    // files that links planted for the launcher lead to
    std::optional<std::string> savedRuntime = Env("XDG_RUNTIME_DIR");
    std::optional<std::string> savedTemp = Env("TMPDIR");

    void SetUp() override
    {
        fs::remove_all(root);
        MakePrivateFolder(runtime);
        MakePrivateFolder(temp);
        MakePrivateFolder(elsewhere);
        fs::create_directories(configFolder);
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

// A second start on the same configuration beside first, as a second launch
// of the program: it finds first holding the lock and asks it to show. The
// show requests first got.
int ShowsAfterASecondStart(SingleInstance &first, const std::string &config)
{
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    SingleInstance second(kName, config);
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.SignalRunning());
    shown.wait(2000);
    return static_cast<int>(shown.count());
}

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToShow)
{
    SingleInstance first(kName, config);
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
    // Only the owner may reach the socket.
    EXPECT_TRUE(fs::is_socket(runtime / "kvtest"));
    EXPECT_EQ(fs::status(runtime / "kvtest").permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
    EXPECT_TRUE(first.LastError().isEmpty());
    // With a private runtime folder the guard is the user's: a start on
    // another configuration is a second start too, and no configuration's
    // folder holds anything of it.
    EXPECT_EQ(ShowsAfterASecondStart(first, (root / "another").string()), 1);
    EXPECT_TRUE(fs::is_empty(configFolder));
    EXPECT_FALSE(fs::exists(ownInTemp));
}

TEST_F(SingleInstanceTest, OtherMessagesAreIgnored)
{
    SingleInstance first(kName, config);
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
    SingleInstance next(kName, config);
    ASSERT_TRUE(next.Acquire());
    QSignalSpy shown(&next, &SingleInstance::showRequested);
    SingleInstance later(kName, config);
    EXPECT_FALSE(later.Acquire());
    EXPECT_TRUE(later.SignalRunning());
    EXPECT_TRUE(shown.wait(2000));
}

TEST_F(SingleInstanceTest, NoRunningInstanceAnswersFalse)
{
    SingleInstance lone(QStringLiteral("kvtest-none"), config);
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

struct SingleInstanceNoPrivateRuntimeFolder : SingleInstanceTest, ::testing::WithParamInterface<Spoiler> {};

// Without a runtime folder that only the user can enter, the guard goes into
// the configuration's folder, whatever waits in the temp folder: a second
// start on the same configuration does not run and brings the first forward,
// while a start on another configuration is a launcher of its own. Nothing is
// created in or through any other folder.
TEST_P(SingleInstanceNoPrivateRuntimeFolder, PutsTheGuardBesideTheConfiguration)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    GetParam().apply(*this);
    const std::string untouched = Snapshot(root, configFolder);

    SingleInstance first(kName, config);
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(first.LastError().isEmpty()) << first.LastError().toStdString();
    EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
    EXPECT_TRUE(fs::is_socket(configFolder / "kvtest"));
    EXPECT_TRUE(fs::is_regular_file(configFolder / "kvtest.lock"));
    EXPECT_EQ(Snapshot(root, configFolder), untouched);

    const fs::path another = root / "another";
    fs::create_directory(another);
    SingleInstance other(kName, another.string());
    EXPECT_TRUE(other.Acquire());
    EXPECT_TRUE(other.LastError().isEmpty()) << other.LastError().toStdString();
}

// No runtime folder, and a folder of ours in the temp folder, spoiled.
Spoiler OwnFolderInTemp(const char *name, std::function<void(SingleInstanceTest &)> spoil,
                        bool needsRoot = false)
{
    return {name,
            [spoil](SingleInstanceTest &t) {
                ::unsetenv("XDG_RUNTIME_DIR");
                spoil(t);
            },
            needsRoot};
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, SingleInstanceNoPrivateRuntimeFolder,
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
        Spoiler{"AnotherUsers", [](SingleInstanceTest &t) { GiveAway(t.runtime); }, true},
        OwnFolderInTemp("TempFolderWorldWritable",
                        [](SingleInstanceTest &t) {
                            fs::create_directory(t.ownInTemp);
                            fs::permissions(t.ownInTemp, fs::perms::all | fs::perms::sticky_bit,
                                            fs::perm_options::replace);
                        }),
        OwnFolderInTemp("TempFolderSymbolicLink",
                        [](SingleInstanceTest &t) {
                            fs::create_directory_symlink(t.elsewhere, t.ownInTemp);
                        }),
        OwnFolderInTemp("TempFolderDanglingSymbolicLink",
                        [](SingleInstanceTest &t) {
                            fs::create_directory_symlink(t.elsewhere / "new", t.ownInTemp);
                        }),
        OwnFolderInTemp("TempFolderAFile",
                        [](SingleInstanceTest &t) { std::ofstream(t.ownInTemp) << "not a folder"; }),
        OwnFolderInTemp(
            "TempFolderAnotherUsers",
            [](SingleInstanceTest &t) {
                MakePrivateFolder(t.ownInTemp);
                GiveAway(t.ownInTemp);
            },
            true),
        // Even a fine one, as an earlier start may have left: its owner
        // could not have kept others from taking the name before.
        OwnFolderInTemp("TempFolderPrivate", [](SingleInstanceTest &t) { MakePrivateFolder(t.ownInTemp); })),
    SpoilerName);

struct SingleInstanceUnfitConfigFolder : SingleInstanceTest, ::testing::WithParamInterface<Spoiler> {};

// With no private runtime folder and no lock to be had beside the
// configuration, the launcher starts without the guard, says so once, and
// leaves everything as it found it.
TEST_P(SingleInstanceUnfitConfigFolder, MeansStartingWithoutTheGuard)
{
    if (GetParam().needsRoot && ::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    ::unsetenv("XDG_RUNTIME_DIR");
    GetParam().apply(*this);
    const std::string untouched = Snapshot(root);

    SingleInstance first(kName, config);
    QSignalSpy errors(&first, &SingleInstance::channelError);
    StderrCapture stderrText;
    EXPECT_TRUE(first.Acquire());
    const std::string said = stderrText.Text();
    EXPECT_EQ(errors.count(), 1);
    EXPECT_FALSE(first.LastError().isEmpty());
    EXPECT_EQ(CountOf(said, "Kestrava:"), 1) << said;

    SingleInstance second(kName, config);
    EXPECT_TRUE(second.Acquire());
    EXPECT_FALSE(second.SignalRunning(200));
    EXPECT_EQ(Snapshot(root), untouched);
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, SingleInstanceUnfitConfigFolder,
    ::testing::Values(Spoiler{"NotKnown", [](SingleInstanceTest &t) { t.config.clear(); }},
                      Spoiler{"Gone", [](SingleInstanceTest &t) { fs::remove(t.configFolder); }},
                      Spoiler{"AFile",
                              [](SingleInstanceTest &t) {
                                  fs::remove(t.configFolder);
                                  std::ofstream(t.configFolder) << "not a folder";
                              }},
                      Spoiler{"LockIsAFolder",
                              [](SingleInstanceTest &t) {
                                  fs::create_directory(t.configFolder / "kvtest.lock");
                              }},
                      Spoiler{"LockIsAnotherUsers",
                              [](SingleInstanceTest &t) {
                                  std::ofstream(t.configFolder / "kvtest.lock") << "";
                                  GiveAway(t.configFolder / "kvtest.lock");
                              },
                              true}),
    SpoilerName);

// The runtime folder, or without one the configuration's: where the guard is.
struct GuardFolder {
    const char *name;
    bool runtimeFolder;
};

fs::path GuardIn(SingleInstanceTest &t, const GuardFolder &folder)
{
    if (folder.runtimeFolder)
        return t.runtime;
    ::unsetenv("XDG_RUNTIME_DIR");
    return t.configFolder;
}

const GuardFolder kGuardFolders[] = {{"runtime folder", true}, {"configuration folder", false}};

// A link planted as the lock is never followed: nothing is created, changed
// or locked through it, and the launcher starts without the guard.
TEST_F(SingleInstanceTest, LockIsNeverOpenedThroughALink)
{
    for (const GuardFolder &folder : kGuardFolders) {
        const fs::path dir = GuardIn(*this, folder);
        for (const char *target : {"victim", "absent"}) {
            SCOPED_TRACE(std::string(folder.name) + ", link to " + target);
            fs::remove(dir / "kvtest.lock");
            fs::create_symlink(elsewhere / target, dir / "kvtest.lock");
            const std::string untouched = Snapshot(root);

            SingleInstance first(kName, config);
            QSignalSpy errors(&first, &SingleInstance::channelError);
            EXPECT_TRUE(first.Acquire());
            EXPECT_EQ(errors.count(), 1);
            EXPECT_FALSE(fs::exists(dir / "kvtest"));
            EXPECT_EQ(Snapshot(root), untouched);
            // Nobody holds a lock on the file the link leads to.
            const int fd = ::open((elsewhere / "victim").c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            ::close(fd);
        }
    }
}

// A folder whose path is too long for a socket address: later starts still
// reach the socket in it, and it goes when the instance does.
TEST_F(SingleInstanceTest, LongFolderPathsStillCarryTheRequest)
{
    for (const GuardFolder &folder : kGuardFolders) {
        SCOPED_TRACE(folder.name);
        const fs::path deep = GuardIn(*this, folder) / std::string(120, 'd');
        MakePrivateFolder(deep);
        if (folder.runtimeFolder)
            ::setenv("XDG_RUNTIME_DIR", deep.c_str(), 1);
        else
            config = deep.string();
        {
            SingleInstance first(kName, config);
            QSignalSpy errors(&first, &SingleInstance::channelError);
            ASSERT_TRUE(first.Acquire());
            EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
            EXPECT_TRUE(fs::is_socket(deep / "kvtest"));
            EXPECT_EQ(errors.count(), 0) << first.LastError().toStdString();
        }
        EXPECT_FALSE(fs::exists(deep / "kvtest")) << "the socket outlived its instance";
    }
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

// Whatever lets another user's process reach the socket (here: modes opened
// up after the fact), what it sends is not heard; the owner's next start
// still is.
TEST_F(SingleInstanceTest, AnotherUserIsNotHeard)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    ::unsetenv("XDG_RUNTIME_DIR");
    SingleInstance first(kName, config);
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    const fs::path socket = configFolder / "kvtest";
    fs::permissions(socket, fs::perms::all, fs::perm_options::replace);
    for (const fs::path &dir : {root, configFolder})
        fs::permissions(dir, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::replace);

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = ConnectTo(socket);
        if (fd < 0)
            ::_exit(3);
        ::_exit(::write(fd, "show\n", 5) == 5 ? 0 : 4);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "user 65534 cannot reach " << socket << " at all";
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the other user's request was not sent";
    QTest::qWait(300);
    EXPECT_EQ(shown.count(), 0) << "another user brought the instance forward";
    EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
}

// Callers that connect and keep their end open, one saying nothing and one
// half the request: the instance goes on with its event loop, takes neither
// for a request to show, serves a proper start in the meantime, and in the
// end hangs up on both.
TEST_F(SingleInstanceTest, HangingCallersNeitherBlockNorShow)
{
    const fs::path socket = runtime / "kvtest";
    SingleInstance first(kName, config);
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
    SingleInstance second(kName, config);
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
    EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
}

// A failed accept (here: out of file descriptors) leaves the channel open;
// the waiting caller is taken once there is room, and later starts still
// bring the instance forward.
TEST_F(SingleInstanceTest, ChannelOutlivesAFailedAccept)
{
    const fs::path socket = runtime / "kvtest";
    SingleInstance first(kName, config);
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

    EXPECT_EQ(ShowsAfterASecondStart(first, config), 1);
}

} // namespace
