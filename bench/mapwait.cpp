// mapwait [-t TIMEOUT_MS] [-f SETTLE_MS] [-c RRGGBB] [-m IDLE_MS] PROGRAM [ARG...]
//
// Starts PROGRAM (execv: no shell, no PATH search) and prints the milliseconds from just
// before the fork until the X server maps the program's first top-level window, then ends
// it with SIGTERM and waits for it. Without a window manager the MapNotify comes straight from
// the client's own map request; with one, it is the map of the frame the manager made for the
// client, and the pictures below are read from the client window inside it (the one that
// carries WM_STATE), so that the manager's decorations do not count.
//
// With -f it also prints the milliseconds until that window's whole first frame was on the
// screen: it reads the window's pixels back (GetImage) every 2 ms for SETTLE_MS after the map,
// keeps each picture that differs from the one before, and takes the last one as the finished
// window. The first full frame is the first picture from which on every picture matches the
// finished one to within 1.5 % of its pixels, so that a clock's next second or a blinking
// cursor does not count as drawing: a window that has not drawn yet differs in most of them.
// A window that maps at once and draws later gains a user nothing; this figure shows it.
//
// With -c the first full frame must also hold the window's last designed element, told by its
// colour: the picture has as many pixels of exactly RRGGBB as the finished one. A small label
// drawn late changes fewer pixels than the 1.5 % margin, so the margin alone would not see it.
//
// With -m it then lets the program idle until IDLE_MS after the map and adds its VmRSS and Pss
// (kB, from /proc) to the line.
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
#include <vector>

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
    std::fprintf(stderr,
                 "usage: mapwait [-t TIMEOUT_MS] [-f SETTLE_MS] [-c RRGGBB] [-m IDLE_MS] PROGRAM [ARG...]\n");
    return 2;
}

// One reading of a window's pixels: when it came back, and what it showed.
struct Picture {
    double at = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

// The window's pixels now, or nothing while it cannot be read (not yet viewable, gone).
bool ReadPicture(xcb_connection_t *conn, xcb_window_t window, Picture &out)
{
    xcb_get_geometry_reply_t *geometry =
        xcb_get_geometry_reply(conn, xcb_get_geometry(conn, window), nullptr);
    if (!geometry)
        return false;
    const int width = geometry->width, height = geometry->height;
    std::free(geometry);
    xcb_get_image_reply_t *image = xcb_get_image_reply(
        conn, xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, width, height, ~0u), nullptr);
    if (!image)
        return false;
    out.at = NowMs();
    out.width = width;
    out.height = height;
    const uint8_t *data = xcb_get_image_data(image);
    out.pixels.assign(data, data + xcb_get_image_data_length(image));
    std::free(image);
    return true;
}

// True when two pictures of the same size differ in at most 1.5 % of their pixels.
bool Matches(const Picture &a, const Picture &b)
{
    if (a.width != b.width || a.height != b.height || a.pixels.size() != b.pixels.size())
        return false;
    const std::size_t count = static_cast<std::size_t>(a.width) * static_cast<std::size_t>(a.height);
    if (count == 0)
        return true;
    const std::size_t bytesPerPixel = a.pixels.size() / count;
    std::size_t differing = 0;
    for (std::size_t i = 0; i + bytesPerPixel <= a.pixels.size(); i += bytesPerPixel)
        differing += std::memcmp(&a.pixels[i], &b.pixels[i], bytesPerPixel) != 0;
    return differing * 1000 <= count * 15;
}

// How many pixels of a picture have exactly the colour 0xRRGGBB (32-bit pixels, as a window
// of depth 24 or 32 comes back: blue, green, red, pad).
std::size_t CountColour(const Picture &p, uint32_t rgb)
{
    const std::size_t count = static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height);
    if (count == 0 || p.pixels.size() < count * 4)
        return 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i + 4 <= p.pixels.size(); i += 4)
        n += p.pixels[i] == (rgb & 0xFF) && p.pixels[i + 1] == ((rgb >> 8) & 0xFF) &&
             p.pixels[i + 2] == ((rgb >> 16) & 0xFF);
    return n;
}

// The property WM_STATE's atom, which a window manager puts on each client window it manages.
xcb_atom_t WmStateAtom(xcb_connection_t *conn)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 1, 8, "WM_STATE"), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

bool HasProperty(xcb_connection_t *conn, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        conn, xcb_get_property(conn, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    const bool has = reply && reply->type != XCB_NONE;
    std::free(reply);
    return has;
}

// The client window of a mapped top-level: the window itself when no manager framed it, else the
// first window below it, breadth first, that carries WM_STATE.
xcb_window_t ClientOf(xcb_connection_t *conn, xcb_window_t top)
{
    const xcb_atom_t wmState = WmStateAtom(conn);
    if (wmState == XCB_NONE || HasProperty(conn, top, wmState))
        return top;
    std::vector<xcb_window_t> queue{top};
    for (std::size_t i = 0; i < queue.size() && i < 64; ++i) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, queue[i]), nullptr);
        if (!tree)
            continue;
        const xcb_window_t *children = xcb_query_tree_children(tree);
        const int n = xcb_query_tree_children_length(tree);
        for (int c = 0; c < n; ++c) {
            if (HasProperty(conn, children[c], wmState)) {
                const xcb_window_t client = children[c];
                std::free(tree);
                return client;
            }
            queue.push_back(children[c]);
        }
        std::free(tree);
    }
    return top;
}

// The time of the first full frame, or -1 when the window never showed a finished picture (or,
// with a marker colour, never showed that colour).
double FirstFullFrame(xcb_connection_t *conn, xcb_window_t window, double mappedAt, double until,
                      const uint32_t *marker)
{
    std::vector<Picture> changes;
    Picture now;
    while (NowMs() < until) {
        if (ReadPicture(conn, window, now) &&
            (changes.empty() || now.width != changes.back().width || now.height != changes.back().height ||
             now.pixels != changes.back().pixels))
            changes.push_back(now);
        usleep(2000);
    }
    if (changes.empty())
        return -1;
    const Picture &finished = changes.back();
    const std::size_t markerPixels = marker ? CountColour(finished, *marker) : 0;
    if (marker && markerPixels == 0) {
        std::fprintf(stderr, "mapwait: the finished window holds no pixel of the colour %06X\n", *marker);
        return -1;
    }
    const auto full = [&](const Picture &p) {
        return Matches(p, finished) && (!marker || CountColour(p, *marker) == markerPixels);
    };
    // MAPWAIT_DEBUG=1: every picture that came, on stderr.
    if (std::getenv("MAPWAIT_DEBUG"))
        for (const Picture &p : changes)
            std::fprintf(stderr,
                         "mapwait: picture at %.1f ms after the map, %dx%d, %s the finished one, %zu marker pixels\n",
                         p.at - mappedAt, p.width, p.height, Matches(p, finished) ? "matches" : "differs from",
                         marker ? CountColour(p, *marker) : 0);
    std::size_t first = changes.size() - 1;
    while (first > 0 && full(changes[first - 1]))
        --first;
    return changes[first].at;
}

} // namespace

int main(int argc, char **argv)
{
    int timeoutMs = 30000;
    int idleMs = -1;
    int settleMs = -1;
    uint32_t markerColour = 0;
    bool haveMarker = false;
    int opt;
    while ((opt = getopt(argc, argv, "+t:f:c:m:")) != -1) {
        if (opt == 't')
            timeoutMs = std::atoi(optarg);
        else if (opt == 'f')
            settleMs = std::atoi(optarg);
        else if (opt == 'm')
            idleMs = std::atoi(optarg);
        else if (opt == 'c') {
            char *end = nullptr;
            markerColour = static_cast<uint32_t>(std::strtoul(optarg, &end, 16));
            if (std::strlen(optarg) != 6 || *end != '\0')
                return Usage();
            haveMarker = true;
        }
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
    xcb_window_t mapped = XCB_NONE;
    pollfd fds[2] = {{xfd, POLLIN, 0}, {execPipe[0], POLLIN, 0}};
    while (mappedAt < 0) {
        while (xcb_generic_event_t *ev = xcb_poll_for_event(conn)) {
            if ((ev->response_type & 0x7F) == XCB_MAP_NOTIFY) {
                auto *map = reinterpret_cast<xcb_map_notify_event_t *>(ev);
                if (map->event == root && mappedAt < 0) {
                    mappedAt = NowMs();
                    mapped = map->window;
                }
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

    // MAPWAIT_DEBUG=1: the clock (CLOCK_MONOTONIC, ms) at the fork, to set the program's own
    // timing marks against.
    if (std::getenv("MAPWAIT_DEBUG"))
        std::fprintf(stderr, "mapwait: forked at %.3f ms, mapped at %.3f ms\n", t0, mappedAt);
    std::printf("%.1f", mappedAt - t0);
    if (settleMs >= 0) {
        const double frameAt = FirstFullFrame(conn, ClientOf(conn, mapped), mappedAt, mappedAt + settleMs,
                                              haveMarker ? &markerColour : nullptr);
        if (frameAt < 0) {
            std::fprintf(stderr, "mapwait: the window's pixels could not be read\n");
            Stop(pid);
            return 1;
        }
        std::printf(" %.1f", frameAt - t0);
    }
    if (idleMs >= 0) {
        const double left = mappedAt + idleMs - NowMs();
        if (left > 0)
            usleep(static_cast<useconds_t>(left * 1000));
        const long rss = ProcKb(pid, "status", "VmRSS");
        const long pss = ProcKb(pid, "smaps_rollup", "Pss");
        std::printf(" %ld %ld", rss, pss);
    }
    std::printf("\n");
    std::fflush(stdout);
    Stop(pid);
    xcb_disconnect(conn);
    return 0;
}
