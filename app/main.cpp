// Kestrava: a compact launcher window for programs, pages, folders and files.

#include <csignal>

#include <malloc.h>

#include <QApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include "AddEntryFormUnit.h"
#include "ClockFormUnit.h"
#include "DebugFormUnit.h"
#include "Forms.h"
#include "KVGUIFormUnit.h"
#include "Kvguiglobals.h"
#include "MakeUpdateFormUnit.h"
#include "Platform.h"
#include "SettingsFormUnit.h"
#include "SingleInstance.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnTerminate(int sig)
{
    const char c = static_cast<char>(sig);
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

// SIGTERM and SIGINT close the main window as the exit command does, so the
// configuration is saved.
void CloseOnSignals(QWidget *window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
        window->close();
    });
    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    // A save that meets the file size limit fails with EFBIG and keeps the old
    // file; the signal would kill the program instead.
    std::signal(SIGXFSZ, SIG_IGN);

    // The configuration's 2 MB buffers go back to the system when freed
    // instead of staying in the heap for the rest of the day.
    mallopt(M_MMAP_THRESHOLD, 512 * 1024);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrava"));
    forms::InstallFontSubstitutes();
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(QStringLiteral("KestravaMutexNordFnord"));
    if (!instance.Acquire()) {
        instance.SignalRunning();
        return 0;
    }

    try {
        TKVGUIForm::showWhenPlaced = true;
        auto *mainForm = new TKVGUIForm;
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
        CloseOnSignals(mainForm);
        mainForm->show();
        int rc = app.exec();
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
        fprintf(stderr, "Kestrava: %s\n", e.what());
    } catch (...) {
        fprintf(stderr, "Kestrava: unknown error\n");
    }
    return 0;
}
