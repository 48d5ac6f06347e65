// Times a program's first complete frame as people see it. Starts the program, follows its first
// top-level window with X Damage (it wakes only when the server reports drawing, so no poll
// competes with the program for the processor), reads the window's pixels at every report, and
// once the window has settled (SETTLE_MS after the start) takes the first report whose pixels
// equal the settled ones outside the areas given (clocks that move on their own). Prints
// "WALL_MS CPU_MS": the time from the start to that frame and the processor time the program had
// used by then; "nan nan" when no frame matched.
//   first_frame SETTLE_MS [--ignore X,Y,W,H]... -- PROGRAM [ARGS...]
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace
{

using Clock = std::chrono::steady_clock;

struct Area {
    int x, y, w, h;
};

struct Frame {
    double wallMs;
    double cpuMs;
    std::vector<uint8_t> pixels;
};

// Processor time of every thread of the process, from the scheduler's exact account.
double CpuMs(pid_t pid)
{
    double ns = 0;
    std::error_code error;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "schedstat");
        double onCpu = 0;
        if (stat >> onCpu) {
            ns += onCpu;
        }
    }
    return ns / 1e6;
}

std::vector<uint8_t> Pixels(xcb_connection_t* c, xcb_window_t window, int width, int height)
{
    const auto cookie =
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<uint16_t>(width),
                      static_cast<uint16_t>(height), ~0u);
    const std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(c, cookie, nullptr), &std::free);
    if (!reply) {
        return {};
    }
    const uint8_t* data = xcb_get_image_data(reply.get());
    return {data, data + xcb_get_image_data_length(reply.get())};
}

bool SameOutside(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width,
                 int height, const std::vector<Area>& ignored)
{
    if (a.size() != b.size() || a.empty() || height <= 0) {
        return false;
    }
    const size_t stride = a.size() / static_cast<size_t>(height);
    const size_t bytes = stride / static_cast<size_t>(width);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool skip = false;
            for (const Area& area : ignored) {
                skip = skip ||
                       (x >= area.x && x < area.x + area.w && y >= area.y && y < area.y + area.h);
            }
            const size_t at = y * stride + x * bytes;
            if (!skip && std::memcmp(&a[at], &b[at], bytes) != 0) {
                return false;
            }
        }
    }
    return true;
}

double Since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: first_frame SETTLE_MS [--ignore X,Y,W,H]... -- PROGRAM [ARGS...]\n");
        return 2;
    }
    const double settleMs = std::atof(argv[1]);
    std::vector<Area> ignored;
    int arg = 2;
    for (; arg < argc && std::strcmp(argv[arg], "--") != 0; ++arg) {
        Area area{};
        if (std::strcmp(argv[arg], "--ignore") == 0 && arg + 1 < argc &&
            std::sscanf(argv[++arg], "%d,%d,%d,%d", &area.x, &area.y, &area.w, &area.h) == 4) {
            ignored.push_back(area);
        }
    }
    if (++arg >= argc) {
        std::fprintf(stderr, "first_frame: no program\n");
        return 2;
    }

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "first_frame: no X display\n");
        return 2;
    }
    const xcb_query_extension_reply_t* damageExt = xcb_get_extension_data(c, &xcb_damage_id);
    if (damageExt == nullptr || !damageExt->present) {
        std::fprintf(stderr, "first_frame: the X server has no Damage extension\n");
        return 2;
    }
    std::free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[arg], argv + arg);
        _exit(127);
    }

    xcb_window_t window = XCB_NONE;
    int width = 0, height = 0;
    std::vector<Frame> frames;
    const auto capture = [&] {
        const double wall = Since(start);
        const double cpu = CpuMs(pid);
        frames.push_back({wall, cpu, Pixels(c, window, width, height)});
    };
    const int fd = xcb_get_file_descriptor(c);
    while (Since(start) < settleMs) {
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, static_cast<int>(settleMs - Since(start)) + 1);
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const int type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY && window == XCB_NONE) {
                window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                const std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> geometry(
                    xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr), &std::free);
                width = geometry ? geometry->width : 0;
                height = geometry ? geometry->height : 0;
                xcb_damage_create(c, xcb_generate_id(c), window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                capture(); // whatever it drew before the damage was watched
            } else if (type == damageExt->first_event + XCB_DAMAGE_NOTIFY) {
                xcb_damage_subtract(c, reinterpret_cast<xcb_damage_notify_event_t*>(event)->damage,
                                    XCB_NONE, XCB_NONE);
                capture();
            }
            std::free(event);
        }
    }
    const std::vector<uint8_t> settled =
        window == XCB_NONE ? std::vector<uint8_t>() : Pixels(c, window, width, height);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    xcb_disconnect(c);

    const bool verbose = std::getenv("FIRST_FRAME_VERBOSE") != nullptr;
    for (const Frame& frame : frames) {
        if (verbose) {
            std::fprintf(stderr, "frame at %.2f ms, %.2f ms CPU: %s\n", frame.wallMs, frame.cpuMs,
                         SameOutside(frame.pixels, settled, width, height, ignored) ? "complete"
                                                                                    : "not yet");
        }
    }
    for (const Frame& frame : frames) {
        if (SameOutside(frame.pixels, settled, width, height, ignored)) {
            std::printf("%.2f %.2f\n", frame.wallMs, frame.cpuMs);
            return 0;
        }
    }
    std::printf("nan nan\n");
    return 1;
}
