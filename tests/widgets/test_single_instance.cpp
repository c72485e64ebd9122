#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QLocalSocket>
#include <QSignalSpy>
#include <QTest>

#include "SingleInstance.h"

namespace fs = std::filesystem;

namespace {

struct SingleInstanceTest : ::testing::Test {
    fs::path runtime = fs::temp_directory_path() / ("kv-runtime-" + std::to_string(::getpid()));
    void SetUp() override
    {
        fs::create_directories(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(runtime); }
};

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstToShow)
{
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    SingleInstance second(QStringLiteral("kvtest"));
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.SignalRunning());
    EXPECT_TRUE(shown.wait(2000));
    EXPECT_EQ(shown.count(), 1);
    // Only the owner may reach the socket.
    EXPECT_EQ(fs::status(runtime / "kvtest").permissions() & (fs::perms::group_all | fs::perms::others_all),
              fs::perms::none);
}

TEST_F(SingleInstanceTest, OtherMessagesAreIgnored)
{
    SingleInstance first(QStringLiteral("kvtest"));
    ASSERT_TRUE(first.Acquire());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    for (const QByteArray &message : {QByteArray("hello"), QByteArray("show"), QByteArray("show\nshow\n"),
                                      QByteArray(4096, 'x'), QByteArray("\0show\n", 6)}) {
        QLocalSocket s;
        s.connectToServer(QString::fromStdString((runtime / "kvtest").string()));
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

} // namespace
