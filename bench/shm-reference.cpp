// The reference for the present benchmark: what pushing a section's pixels to the X server
// through shared memory costs with nothing else in the way. A borderless window of W x H; at
// every step of a 60 Hz schedule on absolute deadlines it moves the picture one step (a copy of
// the changed rows, as a marquee step does), puts ROWS rows of it with XShmPutImage and waits
// for the server's completion event before it touches the segment again. At the end it prints
// how late the puts were sent and how late the server had done them (p50, p99, worst), after
// each step's deadline: the server's share of a step's lateness.
//
//   shm-reference WIDTH HEIGHT ROWS SECONDS
//
// Built by bench/present-bench.sh: g++ -O2 shm-reference.cpp -lX11 -lXext
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: shm-reference WIDTH HEIGHT ROWS SECONDS\n");
        return 2;
    }
    const int width = std::atoi(argv[1]);
    const int height = std::atoi(argv[2]);
    const int rows = std::min(height, std::atoi(argv[3]));
    const int seconds = std::atoi(argv[4]);
    Display* display = XOpenDisplay(nullptr);
    if (!display || !XShmQueryExtension(display)) {
        std::fprintf(stderr, "shm-reference: no display or no MIT-SHM\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, width, height, 0, 24, InputOutput,
                      visual, CWOverrideRedirect, &attributes);
    XMapWindow(display, window);
    const GC gc = XCreateGC(display, window, 0, nullptr);
    const int completion = XShmGetEventBase(display) + ShmCompletion;

    XShmSegmentInfo segment{};
    XImage* image = XShmCreateImage(display, visual, 24, ZPixmap, nullptr, &segment, width, height);
    segment.shmid = shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * height, IPC_CREAT | 0600);
    segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = False;
    XShmAttach(display, &segment);
    XSync(display, False);
    shmctl(segment.shmid, IPC_RMID, nullptr); // gone when both sides detach

    // The picture the steps move through: stripes, so that every step changes every row.
    std::vector<std::uint32_t> source(size_t(width) * 2 * rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < 2 * width; ++x)
            source[size_t(y) * 2 * width + x] = ((x / 24 + y / 16) & 1) ? 0x00FFFF00u : 0x00101830u;

    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::nanoseconds(1'000'000'000 / 60);
    const auto start = Clock::now();
    const long steps = long(seconds) * 60;
    const int top = (height - rows) / 2;
    std::vector<double> sentMs;
    std::vector<double> doneMs;
    sentMs.reserve(size_t(steps));
    doneMs.reserve(size_t(steps));
    const auto msAfter = [](Clock::time_point due) {
        return std::chrono::duration<double, std::milli>(Clock::now() - due).count();
    };
    for (long step = 0; step < steps; ++step) {
        const auto due = start + step * period;
        std::this_thread::sleep_until(due);
        const int shift = int((step * 2) % width);
        for (int y = 0; y < rows; ++y)
            std::memcpy(image->data + size_t(top + y) * image->bytes_per_line,
                        &source[size_t(y) * 2 * width + shift], size_t(width) * 4);
        XShmPutImage(display, window, gc, image, 0, top, 0, top, width, rows, True);
        XFlush(display);
        sentMs.push_back(msAfter(due));
        XEvent event;
        do
            XNextEvent(display, &event);
        while (event.type != completion);
        doneMs.push_back(msAfter(due));
    }
    const auto report = [](const char* what, std::vector<double>& ms) {
        if (ms.empty())
            return;
        std::sort(ms.begin(), ms.end());
        std::printf("reference %s ms: p50 %.2f, p99 %.2f, worst %.2f\n", what, ms[ms.size() / 2],
                    ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.back());
    };
    report("put sent", sentMs);
    report("put done by the server", doneMs);
    XShmDetach(display, &segment);
    image->data = nullptr; // the segment's, not the heap's
    XDestroyImage(image);
    shmdt(segment.shmaddr);
    XCloseDisplay(display);
    return 0;
}
