// mapwait [-t TIMEOUT_MS] [-m IDLE_MS] PROGRAM [ARG...]
//
// Starts PROGRAM (execv: no shell, no PATH search) and prints the milliseconds from just
// before the fork until the X server maps the program's first top-level window, then ends
// it with SIGTERM and waits for it. With -m it first lets the program idle for IDLE_MS after
// the map and adds its VmRSS and Pss (kB, from /proc) to the line. Without a window manager
// the MapNotify comes straight from the client's own map request.
//
// stdout carries only the figures; the program's own output goes to stderr. The program runs
// in a process group of its own, which is what gets the signals, so that helpers it starts (or
// a wrapper such as valgrind) end with it.
// Exit status: 0 when a window was mapped, 1 when not (timeout, exec failure, early exit).

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <xcb/xcb.h>

namespace {

volatile sig_atomic_t g_child = 0;

// Interrupted ourselves: take the program down too, it may not share our terminal's group.
void OnSignal(int sig)
{
    if (g_child > 0)
        kill(-g_child, SIGTERM);
    _exit(128 + sig);
}

double NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The value of a "Key:   123 kB" line of a /proc file, or -1.
long ProcKb(pid_t pid, const char *file, const char *key)
{
    std::string path = "/proc/" + std::to_string(pid) + "/" + file;
    FILE *f = std::fopen(path.c_str(), "r");
    if (!f)
        return -1;
    char line[256];
    long value = -1;
    const std::size_t keyLen = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, keyLen) == 0 && line[keyLen] == ':') {
            value = std::strtol(line + keyLen + 1, nullptr, 10);
            break;
        }
    std::fclose(f);
    return value;
}

// Waits up to timeoutMs for pid to end; true when it has been reaped.
bool Reap(pid_t pid, int timeoutMs, int *status)
{
    const double deadline = NowMs() + timeoutMs;
    for (;;) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD))
            return true;
        if (NowMs() >= deadline)
            return false;
        usleep(5000);
    }
}

void Stop(pid_t pid)
{
    int status = 0;
    kill(-pid, SIGTERM);
    if (!Reap(pid, 10000, &status)) {
        std::fprintf(stderr, "mapwait: pid %d ignored SIGTERM for 10 s; killing it\n", pid);
        kill(-pid, SIGKILL);
        Reap(pid, 5000, &status);
        return;
    }
    // Whatever else is left in the group (children of the program) goes as well.
    kill(-pid, SIGKILL);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        std::fprintf(stderr, "mapwait: program exited with status %d after SIGTERM\n", WEXITSTATUS(status));
    else if (WIFSIGNALED(status) && WTERMSIG(status) != SIGTERM)
        std::fprintf(stderr, "mapwait: program died of signal %d after SIGTERM\n", WTERMSIG(status));
}

int Usage()
{
    std::fprintf(stderr, "usage: mapwait [-t TIMEOUT_MS] [-m IDLE_MS] PROGRAM [ARG...]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    int timeoutMs = 30000;
    int idleMs = -1;
    int opt;
    while ((opt = getopt(argc, argv, "+t:m:")) != -1) {
        if (opt == 't')
            timeoutMs = std::atoi(optarg);
        else if (opt == 'm')
            idleMs = std::atoi(optarg);
        else
            return Usage();
    }
    if (optind >= argc || timeoutMs <= 0)
        return Usage();
    char **child = argv + optind;

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);

    int screenNumber = 0;
    xcb_connection_t *conn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(conn)) {
        std::fprintf(stderr, "mapwait: cannot open the display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_generic_error_t *err =
        xcb_request_check(conn, xcb_change_window_attributes_checked(conn, root, XCB_CW_EVENT_MASK, &mask));
    if (err) {
        std::fprintf(stderr, "mapwait: cannot select SubstructureNotify on the root (error %d)\n",
                     err->error_code);
        std::free(err);
        return 1;
    }
    // A window mapped before the fork belongs to someone else.
    while (xcb_generic_event_t *ev = xcb_poll_for_event(conn))
        std::free(ev);
    const int xfd = xcb_get_file_descriptor(conn);
    fcntl(xfd, F_SETFD, FD_CLOEXEC);

    // The child reports a failed exec through this pipe; a successful one closes it.
    int execPipe[2];
    if (pipe2(execPipe, O_CLOEXEC) != 0) {
        std::perror("mapwait: pipe");
        return 1;
    }

    const double t0 = NowMs();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("mapwait: fork");
        return 1;
    }
    if (pid == 0) {
        setpgid(0, 0);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execv(child[0], child);
        int e = errno;
        [[maybe_unused]] ssize_t n = write(execPipe[1], &e, sizeof e);
        _exit(127);
    }
    // Both sides set the group, so that no signal can find the child outside it.
    setpgid(pid, pid);
    g_child = pid;
    close(execPipe[1]);

    double mappedAt = -1;
    pollfd fds[2] = {{xfd, POLLIN, 0}, {execPipe[0], POLLIN, 0}};
    while (mappedAt < 0) {
        while (xcb_generic_event_t *ev = xcb_poll_for_event(conn)) {
            if ((ev->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                auto *map = reinterpret_cast<xcb_map_notify_event_t *>(ev);
                if (map->event == root && mappedAt < 0)
                    mappedAt = NowMs();
            }
            std::free(ev);
        }
        if (mappedAt >= 0)
            break;
        if (xcb_connection_has_error(conn)) {
            std::fprintf(stderr, "mapwait: lost the display\n");
            Stop(pid);
            return 1;
        }
        const int left = static_cast<int>(t0 + timeoutMs - NowMs());
        if (left <= 0) {
            std::fprintf(stderr, "mapwait: no window mapped within %d ms\n", timeoutMs);
            Stop(pid);
            return 1;
        }
        if (poll(fds, fds[1].fd >= 0 ? 2 : 1, left < 50 ? left : 50) < 0 && errno != EINTR) {
            std::perror("mapwait: poll");
            Stop(pid);
            return 1;
        }
        if (fds[1].fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
            int e = 0;
            if (read(execPipe[0], &e, sizeof e) == static_cast<ssize_t>(sizeof e)) {
                std::fprintf(stderr, "mapwait: cannot run %s: %s\n", child[0], std::strerror(e));
                Reap(pid, 5000, nullptr);
                return 1;
            }
            close(execPipe[0]);
            fds[1].fd = -1;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "mapwait: %s ended before mapping a window\n", child[0]);
            return 1;
        }
    }

    if (idleMs < 0) {
        std::printf("%.1f\n", mappedAt - t0);
    } else {
        usleep(static_cast<useconds_t>(idleMs) * 1000);
        const long rss = ProcKb(pid, "status", "VmRSS");
        const long pss = ProcKb(pid, "smaps_rollup", "Pss");
        std::printf("%.1f %ld %ld\n", mappedAt - t0, rss, pss);
    }
    std::fflush(stdout);
    Stop(pid);
    xcb_disconnect(conn);
    return 0;
}
