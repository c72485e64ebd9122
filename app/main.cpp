// Kestrava: a compact launcher window for programs, pages, folders and files.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include <malloc.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include "AddEntryFormUnit.h"
#include "ClockFormUnit.h"
#include "DebugFormUnit.h"
#include "Dialogs.h"
#include "Forms.h"
#include "Hints.h"
#include "KVGUIFormUnit.h"
#include "Kvguiglobals.h"
#include "MakeUpdateFormUnit.h"
#include "Platform.h"
#include "PlatformChoice.h"
#include "SettingsFormUnit.h"
#include "SingleInstance.h"

namespace {

int signalPipe[2] = {-1, -1};
// True while the event loop runs; a save at exit needs the window alive.
bool loopRunning = false;

void OnTerminate(int sig)
{
    const int saved = errno;
    const char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
    errno = saved;
}

// Caught rather than ignored: a caught signal goes back to its default in
// every program started from here, an ignored one would stay ignored there.
void OnIgnored(int)
{
}

void Catch(int sig, void (*handler)(int))
{
    struct sigaction old {};
    // A signal the program was started to ignore (nohup, a script's
    // background job) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return;
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
}

// From the first instant, SIGTERM, SIGINT and SIGHUP (the terminal closed)
// leave a byte in the pipe instead of ending the program; the main window
// reads it once it exists and closes as the exit command does, so the
// configuration is saved.
void CatchTerminatingSignals()
{
    // A save that meets the file size limit fails with EFBIG and keeps the
    // old file; the signal would kill the program instead. A peer that goes
    // away mid-write is an error to handle, not a reason to die.
    Catch(SIGXFSZ, OnIgnored);
    Catch(SIGPIPE, OnIgnored);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) != 0)
        return;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        Catch(sig, OnTerminate);
}

// Nothing reads the pipe any more: the signals end the program again.
void ReleaseTerminatingSignals()
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction old {};
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == OnTerminate)
            std::signal(sig, SIG_DFL);
    }
}

void CloseOnSignals(QWidget *window)
{
    if (signalPipe[0] < 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        while (::read(signalPipe[0], &c, 1) > 0) {
        }
        window->close();
    });
}

// The program may end without closing its window: Qt exits at once when the
// X connection is lost. Whatever the window holds then is saved.
void SaveAtExit()
{
    if (!loopRunning || !KVGUIForm)
        return;
    // An exit under the settings form keeps what was confirmed before it.
    if (KVOP && KVOP->HasSnapshot()) {
        KVOP->RestoreSnapshot();
        KVOP->DiscardSnapshot();
    }
    KVGUIForm->SaveFromWindow();
}

void ReportException(const QString &message)
{
    fprintf(stderr, "Kestrava: %s\n",
            message.isEmpty() ? "an exception of unknown type" : qPrintable(message));
    // Without a display nobody could close the box.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        forms::ShowException(message);
}

} // namespace

int main(int argc, char *argv[])
{
    CatchTerminatingSignals();

    // The configuration's 2 MB buffers go back to the system when freed
    // instead of staying in the heap for the rest of the day.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);

    // Shared-memory images make every flush of the small window wake a
    // second thread with the server's completion event: once a second for
    // the clock, at rest. Plain images cost nothing noticeable at this size.
    const bool noSharedImages = !qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    if (noSharedImages)
        qputenv("QT_XCB_NO_MITSHM", "1");

    // Under a Wayland desktop the window goes through XWayland, unless the
    // user named a platform.
    const std::string platform =
        ChooseQtPlatform({std::getenv("QT_QPA_PLATFORM"), std::getenv("WAYLAND_DISPLAY"),
                          std::getenv("XDG_SESSION_TYPE"), std::getenv("DISPLAY")},
                         argc, argv);
    if (!platform.empty())
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(platform));

    QApplication app(argc, argv);
    // Read when the display was opened; the programs started from here keep
    // their own choice.
    if (noSharedImages)
        qunsetenv("QT_XCB_NO_MITSHM");
    if (!platform.empty())
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    forms::InstallFontSubstitutes();
    forms::InstallPlainHints();
    QApplication::setQuitOnLastWindowClosed(false);

    // Without a private runtime folder the guard is kept beside the
    // configuration, which two launchers would each save over.
    SingleInstance instance(QStringLiteral("KestravaMutexNordFnord"), ConfigurationFolder());
    if (!instance.Acquire()) {
        instance.SignalRunning();
        return 0;
    }

    // The installed fonts are read on the second core while the window is
    // placed and mapped.
    forms::FontsReadAhead fonts;
    try {
        TKVGUIForm::showWhenPlaced = true;
        auto *mainForm = new TKVGUIForm;
        CloseOnSignals(mainForm);
        std::atexit(SaveAtExit);
        AddEntryForm = new TAddEntryForm(mainForm);
        SettingsForm = new TSettingsForm(mainForm);
        ClockForm = new TClockForm;
        // The maintainers' windows exist only in debug mode: nothing else
        // ever shows them, and they are not free to build.
        if (KVOP && KVOP->debugMode) {
            DebugForm = new TDebugForm;
            MakeUpdateForm = new TMakeUpdateForm;
        }
        QObject::connect(&instance, &SingleInstance::showRequested, mainForm,
                         [mainForm] { mainForm->ShowMainWindow(); });
        QObject::connect(&instance, &SingleInstance::channelError, mainForm,
                         [](const QString &message) { WriteDebugLine(message); });
        mainForm->show();
        // What went wrong before the debug window existed, after its heading.
        if (!instance.LastError().isEmpty())
            QTimer::singleShot(0, mainForm, [message = instance.LastError()] { WriteDebugLine(message); });
        loopRunning = true;
        int rc = app.exec();
        loopRunning = false;
        // However the loop ended, the configuration is saved once more.
        mainForm->FormClose();
        delete MakeUpdateForm;
        MakeUpdateForm = nullptr;
        delete DebugForm;
        DebugForm = nullptr;
        delete ClockForm;
        ClockForm = nullptr;
        delete mainForm;
        return rc == 0 ? 0 : rc;
    } catch (const std::exception &e) {
        loopRunning = false;
        ReleaseTerminatingSignals();
        ReportException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        loopRunning = false;
        ReleaseTerminatingSignals();
        ReportException(QString());
    }
    return 0;
}
