/* grab_key MODMASK KEYSYM: another client that takes a key combination for
 * itself, so that the tests can see the launcher refused a key somebody else
 * holds, and see which keys the launcher left free.
 *
 * Grabs the key that makes KEYSYM on the root window with exactly the X
 * modifier mask MODMASK (no Caps Lock or Num Lock variants added), both
 * numbers in C notation (decimal, 0x hex). Prints "grabbed" or "refused" on
 * its own line; when grabbed it keeps the grab until its standard input ends
 * or it gets SIGTERM or SIGINT, and then exits 0. Exit status 1 when refused
 * (another client holds the combination), 2 on a usage error, when the key
 * or the display is not there, or on any other error of the grab. */

#define _GNU_SOURCE /* ppoll */

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <xcb/xcb.h>

static volatile sig_atomic_t stop_requested;

static void on_stop(int sig)
{
    (void)sig;
    stop_requested = 1;
}

static int parse_number(const char *text, unsigned long max, unsigned long *out)
{
    char *end;
    errno = 0;
    *out = strtoul(text, &end, 0);
    return errno == 0 && *text != '\0' && *end == '\0' && *out <= max;
}

/* The first keycode that makes the keysym, at the lowest level first: the
 * key a person would press for it. 0 when no key makes it. */
static xcb_keycode_t keycode_of(xcb_connection_t *c, xcb_keysym_t keysym)
{
    const xcb_setup_t *setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t *map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, (uint8_t)count), NULL);
    xcb_keycode_t found = 0;
    if (!map)
        return 0;
    const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(map);
    const int per = map->keysyms_per_keycode;
    for (int level = 0; level < per && !found; ++level)
        for (int k = 0; k < count && !found; ++k)
            if (syms[k * per + level] == keysym)
                found = (xcb_keycode_t)(setup->min_keycode + k);
    free(map);
    return found;
}

int main(int argc, char **argv)
{
    unsigned long mask, keysym;
    if (argc != 3 || !parse_number(argv[1], 0xffff, &mask) || !parse_number(argv[2], 0x1fffffff, &keysym)) {
        fprintf(stderr, "usage: %s MODMASK KEYSYM\n", argv[0]);
        return 2;
    }

    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "grab_key: cannot open the display\n");
        return 2;
    }
    const xcb_keycode_t code = keycode_of(c, (xcb_keysym_t)keysym);
    if (!code) {
        fprintf(stderr, "grab_key: no key makes keysym 0x%lx\n", keysym);
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_generic_error_t *error = xcb_request_check(
        c, xcb_grab_key_checked(c, 0, root, (uint16_t)mask, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (error) {
        const int code = error->error_code;
        free(error);
        xcb_disconnect(c);
        if (code != XCB_ACCESS) {
            fprintf(stderr, "grab_key: the X server answered the grab with error %d\n", code);
            return 2;
        }
        printf("refused\n");
        fflush(stdout);
        return 1;
    }

    /* Set up before saying so: a caller may end us as soon as it has read
     * the word. The signals stay blocked except inside ppoll, so that one
     * arriving between the check and the wait is not lost. */
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_stop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    signal(SIGPIPE, SIG_IGN);
    sigset_t stops, waiting;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigprocmask(SIG_BLOCK, &stops, &waiting);
    sigdelset(&waiting, SIGTERM);
    sigdelset(&waiting, SIGINT);

    printf("grabbed\n");
    fflush(stdout);

    /* Also reads what the X server sends, the presses the grab takes among
     * it, so that they do not pile up, and so that the end of the server
     * ends us too. */
    struct pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    while (!stop_requested) {
        if (ppoll(fds, 2, NULL, &waiting) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents) {
            char buffer[256];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                break;
        }
        if (fds[1].revents) {
            xcb_generic_event_t *event;
            while ((event = xcb_poll_for_event(c)))
                free(event);
            if (xcb_connection_has_error(c))
                break;
        }
    }
    xcb_disconnect(c);
    return 0;
}
