// Keeps an X screen as busy as a working desktop: a terminal printing build
// output, a browser-like page scrolling through text and pictures, and a video
// playing, under a panel whose clock ticks. Everything is drawn from fixed
// seeds, so two runs show the same pictures at the same moments.
//
//   busy_desktop [--fps N]     (DISPLAY names the screen; N defaults to 30)
//
// It prints "ready" once the first whole picture is on the screen, then draws
// until it is killed.
#include <cairo-xcb.h>
#include <cairo.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Box {
    double x, y, w, h;
};

const char* const kWords[] = {
    "the",       "screen",  "recorder", "captures", "frames",  "every",    "interval", "and",
    "encodes",   "them",    "into",     "movie",    "with",    "exact",    "times",    "while",
    "desktop",   "keeps",   "running",  "windows",  "text",    "pictures", "moving",   "panel",
    "compiling", "objects", "linking",  "library",  "warning", "unused",   "variable", "build"};

std::string sentence(std::mt19937& random, int words) {
    std::string text;
    for (int i = 0; i < words; ++i) {
        text += kWords[random() % (sizeof kWords / sizeof *kWords)];
        text += i + 1 < words ? " " : ".";
    }
    text[0] = char(std::toupper(text[0]));
    return text;
}

class Terminal {
  public:
    explicit Terminal(Box box) : box_(box), random_(7) {}

    void draw(cairo_t* cr, int tick) {
        while (int(lines_.size()) <= tick / 3 + rows()) {
            lines_.push_back(nextLine());
        }
        cairo_save(cr);
        cairo_rectangle(cr, box_.x, box_.y, box_.w, box_.h);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0.07, 0.08, 0.09);
        cairo_paint(cr);
        cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, kLineHeight * 0.8);
        const int first = tick / 3;
        for (int row = 0; row < rows(); ++row) {
            const std::string& line = lines_[size_t(first + row)];
            const bool warning = line.find("warning") != std::string::npos;
            cairo_set_source_rgb(cr, warning ? 0.95 : 0.75, warning ? 0.75 : 0.85, 0.6);
            cairo_move_to(cr, box_.x + 8, box_.y + kLineHeight * (row + 1));
            cairo_show_text(cr, line.c_str());
        }
        cairo_restore(cr);
    }

  private:
    static constexpr double kLineHeight = 17;
    int rows() const { return int(box_.h / kLineHeight) - 1; }
    std::string nextLine() {
        const int kind = int(random_() % 4);
        const std::string file =
            std::string(kWords[random_() % 32]) + "_" + kWords[random_() % 32] + ".cpp";
        if (kind == 0) {
            return "src/" + file + ":" + std::to_string(random_() % 900) +
                   ": warning: " + sentence(random_, 5);
        }
        return "[" + std::to_string(random_() % 100) + "%] Building CXX object " + file + ".o";
    }

    Box box_;
    std::mt19937 random_;
    std::vector<std::string> lines_;
};

class Page {
  public:
    explicit Page(Box box) : box_(box) {
        std::mt19937 random(11);
        for (int block = 0; block < 60; ++block) {
            blocks_.push_back(block % 5 == 0   ? "#" + sentence(random, 4)
                              : block % 7 == 3 ? "@"
                                               : sentence(random, 40 + int(random() % 40)));
        }
    }

    void draw(cairo_t* cr, int tick) {
        cairo_save(cr);
        cairo_rectangle(cr, box_.x, box_.y, box_.w, box_.h);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0.93, 0.93, 0.95);
        cairo_paint(cr);
        // Tabs and the address bar.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_rectangle(cr, box_.x + 10, box_.y + 6, 180, 26);
        cairo_rectangle(cr, box_.x + 10, box_.y + 38, box_.w - 20, 26);
        cairo_fill(cr);
        text(cr, "sans-serif", 13, 0.2, box_.x + 18, box_.y + 24, "Release notes — Docs");
        text(cr, "sans-serif", 13, 0.35, box_.x + 18, box_.y + 56,
             "https://docs.example.org/release-notes/latest#performance");
        // The page, scrolled by two pixels a tick.
        const double top = box_.y + 72;
        cairo_rectangle(cr, box_.x, top, box_.w, box_.h - 72);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        double y = top + 30 - std::fmod(tick * 2.0, 4000.0);
        for (size_t k = 0; y < box_.y + box_.h && k < blocks_.size() * 4; ++k) {
            const std::string& block = blocks_[k % blocks_.size()];
            y = block[0] == '#'   ? heading(cr, block.substr(1), y)
                : block[0] == '@' ? picture(cr, y, int(k))
                                  : paragraph(cr, block, y);
        }
        cairo_restore(cr);
    }

  private:
    static void text(cairo_t* cr, const char* face, double size, double grey, double x, double y,
                     const std::string& words) {
        cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, size);
        cairo_set_source_rgb(cr, grey, grey, grey + 0.05);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, words.c_str());
    }
    double heading(cairo_t* cr, const std::string& words, double y) {
        text(cr, "sans-serif", 26, 0.1, box_.x + 40, y + 30, words);
        return y + 50;
    }
    double paragraph(cairo_t* cr, const std::string& words, double y) {
        cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 15);
        std::string line;
        size_t start = 0;
        while (start < words.size()) {
            size_t end = words.find(' ', start);
            end = end == std::string::npos ? words.size() : end;
            const std::string candidate =
                line + (line.empty() ? "" : " ") + words.substr(start, end - start);
            cairo_text_extents_t extents;
            cairo_text_extents(cr, candidate.c_str(), &extents);
            if (extents.x_advance > box_.w - 80 && !line.empty()) {
                y += 22;
                text(cr, "sans-serif", 15, 0.2, box_.x + 40, y, line);
                line = words.substr(start, end - start);
            } else {
                line = candidate;
            }
            start = end + 1;
        }
        y += 22;
        text(cr, "sans-serif", 15, 0.2, box_.x + 40, y, line);
        return y + 18;
    }
    double picture(cairo_t* cr, double y, int seed) {
        cairo_pattern_t* sky = cairo_pattern_create_linear(0, y, 0, y + 220);
        cairo_pattern_add_color_stop_rgb(sky, 0, 0.3, 0.5 + 0.05 * (seed % 5), 0.85);
        cairo_pattern_add_color_stop_rgb(sky, 1, 0.95, 0.7, 0.4);
        cairo_rectangle(cr, box_.x + 40, y + 10, box_.w - 80, 220);
        cairo_set_source(cr, sky);
        cairo_fill(cr);
        cairo_pattern_destroy(sky);
        cairo_set_source_rgb(cr, 0.15, 0.3, 0.15);
        cairo_move_to(cr, box_.x + 40, y + 230);
        for (int x = 0; x <= 20; ++x) {
            cairo_line_to(cr, box_.x + 40 + (box_.w - 80) * x / 20,
                          y + 150 + 40 * std::sin(x * 0.9 + seed));
        }
        cairo_line_to(cr, box_.x + box_.w - 40, y + 230);
        cairo_fill(cr);
        return y + 250;
    }

    Box box_;
    std::vector<std::string> blocks_;
};

// Moving colour fields, a bouncing ball and film grain: like video, every
// pixel changes every frame.
class Video {
  public:
    explicit Video(Box box)
        : box_(box),
          image_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(box.w), int(box.h))),
          random_(3) {}
    ~Video() { cairo_surface_destroy(image_); }

    void draw(cairo_t* cr, int tick) {
        cairo_surface_flush(image_);
        uint8_t* pixels = cairo_image_surface_get_data(image_);
        const int stride = cairo_image_surface_get_stride(image_);
        const int width = int(box_.w), height = int(box_.h);
        const double t = tick / 30.0;
        const double ballX = width * (0.5 + 0.4 * std::sin(t * 1.3));
        const double ballY = height * (0.5 + 0.35 * std::cos(t * 1.7));
        for (int y = 0; y < height; ++y) {
            uint32_t* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
            for (int x = 0; x < width; ++x) {
                const double dx = x - ballX, dy = y - ballY;
                const bool ball = dx * dx + dy * dy < 900;
                const int grain = int(random_() % 17) - 8;
                const int r = ball ? 240 : 90 + int(60 * std::sin(x * 0.01 + t)) + grain;
                const int g = ball ? 200 : 110 + int(50 * std::sin(y * 0.013 - t * 0.7)) + grain;
                const int b = ball ? 60 : 140 + int(40 * std::sin((x + y) * 0.007 + t * 1.1));
                row[x] = uint32_t(std::clamp(r, 0, 255)) << 16 |
                         uint32_t(std::clamp(g, 0, 255)) << 8 | uint32_t(std::clamp(b, 0, 255));
            }
        }
        cairo_surface_mark_dirty(image_);
        cairo_set_source_surface(cr, image_, box_.x, box_.y);
        cairo_paint(cr);
    }

  private:
    Box box_;
    cairo_surface_t* image_;
    std::minstd_rand random_;
};

void panel(cairo_t* cr, double width, int tick, int fps) {
    cairo_set_source_rgb(cr, 0.16, 0.17, 0.2);
    cairo_rectangle(cr, 0, 0, width, 28);
    cairo_fill(cr);
    const int seconds = 9 * 3600 + tick / fps;
    char clock[32];
    std::snprintf(clock, sizeof clock, "Mon 7 Dec  %02d:%02d:%02d", seconds / 3600 % 24,
                  seconds / 60 % 60, seconds % 60);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 14);
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
    cairo_move_to(cr, width / 2 - 70, 19);
    cairo_show_text(cr, clock);
}

void wallpaper(cairo_t* cr, double width, double height) {
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, width, height);
    cairo_pattern_add_color_stop_rgb(gradient, 0, 0.15, 0.25, 0.45);
    cairo_pattern_add_color_stop_rgb(gradient, 1, 0.45, 0.2, 0.35);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);
}

xcb_visualtype_t* rootVisual(xcb_screen_t* screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual) {
                return visuals.data;
            }
        }
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    int fps = 30;
    if (argc == 3 && std::strcmp(argv[1], "--fps") == 0) {
        fps = std::max(1, std::atoi(argv[2]));
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "busy_desktop: cannot reach the X server\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const double width = screen->width_in_pixels, height = screen->height_in_pixels;
    // Drawn on the root window itself: what a capture of the screen sees, with no
    // window of ours to cover anything the recorders put up.
    cairo_surface_t* surface = cairo_xcb_surface_create(
        connection, screen->root, rootVisual(screen), int(width), int(height));
    cairo_t* cr = cairo_create(surface);

    Terminal terminal({20, 48, width * 0.42, height - 68});
    Page page({width * 0.42 + 40, 48, width * 0.58 - 60, height * 0.55});
    Video video({width * 0.42 + 40, height * 0.55 + 68, width * 0.58 - 60, height * 0.45 - 88});

    const auto period = std::chrono::nanoseconds(1'000'000'000 / fps);
    auto next = std::chrono::steady_clock::now();
    for (int tick = 0;; ++tick) {
        if (tick == 0) {
            wallpaper(cr, width, height);
        }
        panel(cr, width, tick, fps);
        terminal.draw(cr, tick);
        page.draw(cr, tick);
        video.draw(cr, tick);
        cairo_surface_flush(surface);
        xcb_flush(connection);
        if (tick == 0) {
            free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
            std::printf("ready\n");
            std::fflush(stdout);
        }
        if (xcb_connection_has_error(connection)) {
            return 0;
        }
        next += period;
        std::this_thread::sleep_until(next);
    }
}
