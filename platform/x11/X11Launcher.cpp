// Launching on a freedesktop desktop: GIO's default applications for
// documents, folders and addresses, and GIO for desktop entries; fork and exec
// for programs.

// GIO first: its headers use the word Qt defines as a keyword.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "X11Launcher.h"

#include "DesktopAppInfo.h"
#include "DesktopEntries.h"
#include "LocalFiles.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

extern char **environ;

namespace platform {

namespace {

LaunchResult FromGError(gboolean ok, GError *error)
{
    LaunchResult r;
    r.ok = ok;
    if (!ok)
        r.error = error ? QString::fromUtf8(error->message) : QString::fromUtf8(std::strerror(EINVAL));
    if (error)
        g_error_free(error);
    return r;
}

// The highest descriptor number a process may have, plus one; read before the
// fork, as the child may only make plain system calls.
int DescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > 1 << 20)
        return 1 << 20;
    return static_cast<int>(limit.rlim_cur);
}

// Marks every descriptor past the standard three to close when the program
// starts: a started program inherits nothing of the launcher's, whoever
// opened it (this process or the one that started it). Async-signal-safe.
void CloseOnExecPastStandardStreams(int descriptorLimit)
{
#ifdef CLOSE_RANGE_CLOEXEC
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
#endif
    // Kernels before 5.11: one descriptor at a time.
    for (int fd = 3; fd < descriptorLimit; ++fd) {
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC))
            fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

// Runs in a forked child of a threaded process: only async-signal-safe calls.
[[noreturn]] void ExecGrandchild(const char *program, const char *dir, char *const argv[], int reportFd,
                                 int descriptorLimit)
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig : {SIGXFSZ, SIGPIPE, SIGTERM, SIGINT, SIGCHLD})
        sigaction(sig, &dfl, nullptr);
    CloseOnExecPastStandardStreams(descriptorLimit);
    int err = 0;
    if (dir && *dir && chdir(dir) != 0)
        err = errno;
    if (err == 0) {
        execve(program, argv, environ);
        err = errno;
    }
    [[maybe_unused]] ssize_t n = write(reportFd, &err, sizeof err);
    _exit(127);
}

QByteArray AbsoluteFromHere(const QByteArray &path)
{
    if (path.startsWith('/'))
        return path;
    char here[4096];
    if (!getcwd(here, sizeof here))
        return path; // the folder is gone; the start fails with the system's text
    return QByteArray(here) + '/' + path;
}

// Why the program a desktop entry names cannot run, as the system would put
// it: a name without a slash is looked up on PATH, as GIO does.
QString WhyProgramCannotRun(const QByteArray &program)
{
    if (!program.contains('/')) {
        gchar *found = g_find_program_in_path(program.constData());
        const bool there = found != nullptr;
        g_free(found);
        return there ? QString() : QString::fromUtf8(std::strerror(ENOENT));
    }
    struct stat st;
    if (::stat(program.constData(), &st) != 0)
        return QString::fromUtf8(std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return QString::fromUtf8(std::strerror(EACCES));
    if (::access(program.constData(), X_OK) != 0)
        return QString::fromUtf8(std::strerror(errno));
    return {};
}

// Why GIO would not make an application of the entry at file: the key file's
// own error, or the rule of the format the entry breaks.
QString WhyNotAnApplication(const QByteArray &file)
{
    const QString name = QFile::decodeName(file);
    QString unread;
    const std::optional<QByteArray> bytes = ReadDesktopEntryBytes(name, &unread);
    if (!bytes)
        return QStringLiteral("\"%1\" cannot be read: %2.").arg(name, unread);
    GKeyFile *keys = g_key_file_new();
    GError *error = nullptr;
    if (!g_key_file_load_from_data(keys, bytes->constData(), static_cast<gsize>(bytes->size()), G_KEY_FILE_NONE,
                                   &error)) {
        const QString why = QString::fromUtf8(error->message);
        g_error_free(error);
        g_key_file_free(keys);
        return why;
    }
    const char *group = G_KEY_FILE_DESKTOP_GROUP;
    auto text = [&](const char *key) {
        gchar *value = g_key_file_get_string(keys, group, key, nullptr);
        const QByteArray v(value ? value : "");
        g_free(value);
        return v;
    };
    const QByteArray type = text(G_KEY_FILE_DESKTOP_KEY_TYPE);
    const QByteArray tryExec = text(G_KEY_FILE_DESKTOP_KEY_TRY_EXEC);
    const QByteArray exec = text(G_KEY_FILE_DESKTOP_KEY_EXEC);
    QByteArray program;
    if (!exec.isEmpty()) {
        gchar **argv = nullptr;
        if (g_shell_parse_argv(exec.constData(), nullptr, &argv, nullptr) && argv[0])
            program = argv[0];
        g_strfreev(argv);
    }
    QString why;
    if (!g_key_file_has_group(keys, group)) {
        why = QStringLiteral("\"%1\" is not a desktop entry: it has no [Desktop Entry] group.").arg(name);
    } else if (type != "Application") {
        why = QStringLiteral("\"%1\" is not an application (its type is \"%2\").")
                  .arg(name, QString::fromUtf8(type));
    } else if (!tryExec.isEmpty() && !WhyProgramCannotRun(tryExec).isEmpty()) {
        why = QStringLiteral("The program \"%1\" that \"%2\" needs is not installed.")
                  .arg(QString::fromUtf8(tryExec), name);
    } else if (!program.isEmpty() && !WhyProgramCannotRun(program).isEmpty()) {
        why = QStringLiteral("Failed to execute the program \"%1\" of \"%2\" (%3)")
                  .arg(QString::fromUtf8(program), name, WhyProgramCannotRun(program));
    } else {
        why = QStringLiteral("\"%1\" is not an application that can be started.").arg(name);
    }
    g_key_file_free(keys);
    return why;
}

class X11Launcher : public Launcher {
  public:
    LaunchResult OpenUri(const QString &uri) override
    {
        GError *error = nullptr;
        gboolean ok = g_app_info_launch_default_for_uri(uri.toUtf8().constData(), nullptr, &error);
        return FromGError(ok, error);
    }

    LaunchResult OpenPath(const QString &path) override
    {
        // GIO reads a file's first bytes to tell its type: a FIFO would hold
        // it (and this program) until someone writes to it.
        if (const QString special = DescribeSpecialFile(KindOfFile(path)); !special.isEmpty())
            return {false, QStringLiteral("It is %1, not a file or folder that can be opened.").arg(special)};
        GFile *file = g_file_new_for_path(QFile::encodeName(path).constData());
        char *uri = g_file_get_uri(file);
        GError *error = nullptr;
        gboolean ok = g_app_info_launch_default_for_uri(uri, nullptr, &error);
        g_free(uri);
        g_object_unref(file);
        return FromGError(ok, error);
    }

    using Launcher::Spawn;
    LaunchResult Spawn(const QString &program, const QStringList &arguments,
                       const QString &workingDir) override
    {
        // A relative program is the one the launcher's folder holds: the
        // child changes folder before it runs it, and execve never searches
        // PATH or hands a script without #! to a shell.
        const QByteArray prog = AbsoluteFromHere(QFile::encodeName(program));
        const QByteArray dir = QFile::encodeName(workingDir);
        // Built before the fork: the child may not allocate.
        std::vector<QByteArray> words;
        words.reserve(arguments.size());
        for (const QString &a : arguments)
            words.push_back(QFile::encodeName(a));
        std::vector<char *> argv;
        argv.reserve(words.size() + 2);
        argv.push_back(const_cast<char *>(prog.constData()));
        for (QByteArray &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        const int descriptorLimit = DescriptorLimit();
        int report[2];
        if (pipe2(report, O_CLOEXEC) != 0)
            return {false, QString::fromUtf8(std::strerror(errno))};

        // Two forks: the middle child exits at once and is reaped here, so
        // the program belongs to init and never becomes our zombie.
        pid_t middle = fork();
        if (middle < 0) {
            int err = errno;
            close(report[0]);
            close(report[1]);
            return {false, QString::fromUtf8(std::strerror(err))};
        }
        if (middle == 0) {
            pid_t child = fork();
            if (child == 0)
                ExecGrandchild(prog.constData(), dir.constData(), argv.data(), report[1], descriptorLimit);
            int err = child < 0 ? errno : 0;
            if (err != 0) {
                [[maybe_unused]] ssize_t n = write(report[1], &err, sizeof err);
            }
            _exit(0);
        }
        close(report[1]);
        while (waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
        }
        // The report pipe closes on a successful exec; otherwise it carries
        // the errno of what failed.
        int err = 0;
        ssize_t n;
        do {
            n = read(report[0], &err, sizeof err);
        } while (n < 0 && errno == EINTR);
        close(report[0]);
        if (n == static_cast<ssize_t>(sizeof err) && err != 0)
            return {false, QString::fromUtf8(std::strerror(err))};
        return {true, {}};
    }

    LaunchResult StartDesktopEntry(const QString &path) override
    {
        const QByteArray file = QFile::encodeName(path);
        GDesktopAppInfo *info = LoadDesktopAppInfo(path);
        if (!info)
            return {false, WhyNotAnApplication(file)};
        // GIO builds the command from Exec (dropping the file field codes, as
        // no files are given), runs it in Path and in a terminal for
        // Terminal=true. Its spawn goes through a child that exits at once,
        // so the program is never our zombie, and closes every descriptor
        // past the standard three in the program.
        GError *error = nullptr;
        const gboolean ok = g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error);
        g_object_unref(info);
        return FromGError(ok, error);
    }
};

} // namespace

Launcher &DesktopLauncher()
{
    static X11Launcher launcher;
    return launcher;
}

} // namespace platform
