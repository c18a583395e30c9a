/* Start-up time as a person sees it: from exec until the program's first
 * pixels are on the screen, and its resident memory at that moment. It watches
 * the top-left corner of an otherwise empty, black display (Xvfb -br, no
 * window manager, where a new window opens at 0,0), reading it back every
 * half millisecond.
 *   first_paint RUNS PROGRAM [ARGS...]
 * prints one line per run: "<seconds> <KiB>". Needs DISPLAY. */
#define _GNU_SOURCE
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static long resident_kib(pid_t pid)
{
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE *status = fopen(path, "r");
    long kib = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            kib = atol(line + 6);
    if (status)
        fclose(status);
    return kib;
}

// True once any pixel of the 32 x 32 corner is not black.
static int corner_drawn(xcb_connection_t *x, xcb_window_t root)
{
    xcb_get_image_reply_t *image = xcb_get_image_reply(
        x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root, 8, 8, 32, 32, 0xffffffff), NULL);
    if (!image)
        return 0;
    const uint8_t *data = xcb_get_image_data(image);
    int length = xcb_get_image_data_length(image), drawn = 0;
    for (int i = 0; i < length && !drawn; ++i)
        drawn = data[i] != 0;
    free(image);
    return drawn;
}

static int one_run(char **program, double *seconds, long *kib)
{
    xcb_connection_t *x = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(x))
        return -1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    for (double wait = now(); corner_drawn(x, root); usleep(10000)) {
        if (now() - wait > 10) {
            fprintf(stderr, "first_paint: the display is not empty\n");
            return -1;
        }
    }
    double start = now();
    pid_t child = fork();
    if (child == 0) {
        execvp(program[0], program);
        _exit(127);
    }
    int found = 0;
    while (!found && now() - start < 30) {
        if (corner_drawn(x, root)) {
            *seconds = now() - start;
            *kib = resident_kib(child);
            found = 1;
        } else {
            usleep(500);
        }
    }
    kill(child, SIGTERM);
    waitpid(child, NULL, 0);
    // Wait for the window to go, so the next run starts on an empty display.
    while (corner_drawn(x, root) && now() - start < 60)
        usleep(1000);
    xcb_disconnect(x);
    return found ? 0 : -1;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: first_paint RUNS PROGRAM [ARGS...]\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    for (int run = 0; run < runs; ++run) {
        double seconds = 0;
        long kib = 0;
        if (one_run(argv + 2, &seconds, &kib) != 0) {
            fprintf(stderr, "first_paint: no paint seen from %s\n", argv[2]);
            return 1;
        }
        printf("%.4f %ld\n", seconds, kib);
        fflush(stdout);
    }
    return 0;
}
