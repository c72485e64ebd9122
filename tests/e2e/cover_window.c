/* cover_window: another client whose window covers the whole screen, above
 * every managed window (override-redirect, so that the window manager
 * neither places nor frames it). Prints "covering" once the server has mapped
 * it, and keeps it until its standard input ends or it gets SIGTERM or
 * SIGINT, then exits 0. Exit status 2 when the display is not there. */

#define _GNU_SOURCE /* ppoll */

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <xcb/xcb.h>

static volatile sig_atomic_t stop_requested;

static void on_stop(int sig)
{
    (void)sig;
    stop_requested = 1;
}

int main(void)
{
    xcb_connection_t *c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cover_window: cannot open the display\n");
        return 2;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t w = xcb_generate_id(c);
    const uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, w);
    const uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    /* A round trip: the map and the raise have been carried out. */
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL));
    printf("covering\n");
    fflush(stdout);

    struct sigaction sa = {0};
    sa.sa_handler = on_stop;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sigset_t blocked, empty;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, NULL);
    sigemptyset(&empty);
    struct pollfd in = {STDIN_FILENO, POLLIN, 0};
    char buf[64];
    while (!stop_requested) {
        if (ppoll(&in, 1, NULL, &empty) > 0 && read(STDIN_FILENO, buf, sizeof buf) <= 0)
            break;
    }
    xcb_disconnect(c);
    return 0;
}
