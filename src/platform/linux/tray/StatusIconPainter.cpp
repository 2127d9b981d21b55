#include "platform/linux/tray/StatusIconPainter.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <memory>
#include <numbers>
#include <string>

namespace vx::platform::linux_::StatusIconPainter {

namespace {

// The drawing, in points with the origin at the bottom left and y upwards.
constexpr double kCentre = kSide / 2.0;
constexpr double kRingRadius = 6.48;
constexpr double kRingWidth = 1.89;
constexpr double kGapStartDegrees = 64;  // the ring runs clockwise from here
constexpr double kGapEndDegrees = 116;   // round to here, where the arrowhead sits
struct Offset {
    double x, y;
};
constexpr Offset kRingEnd{-2.840645031193222, 5.824185420018601};       // from the centre
constexpr Offset kArrowBase{-0.5500619563350901, -0.2682831418349155};  // from the ring's end
constexpr Offset kArrowTip{1.9252168471728153, 0.9389909964222041};     // from the ring's end
constexpr Offset kArrowWing{0.8316777396882379, -1.7051920646387795};   // from the base, each way

constexpr const char* kMonogram = "VX";
constexpr double kMonogramSize = 5.94;
constexpr double kMonogramDrop = 0.216;  // below exact centring
// The seconds of a countdown fill the inside of the ring, at most this large.
constexpr double kNumberSize = 9.0;
constexpr double kNumberWidth = 9.0;

constexpr std::array<double, 3> kWhite{245 / 255.0, 245 / 255.0, 245 / 255.0};
constexpr std::array<double, 3> kSystemRed{1.0, 59 / 255.0, 48 / 255.0};
constexpr double kHaloAlpha = 0.5;

using Surface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using Context = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

double radians(double degrees) {
    return degrees * std::numbers::pi / 180;
}

void selectFont(cairo_t* cr, double size) {
    // The toy API's bold stands in for the heavy weight it does not offer.
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, size);
}

void drawRingAndArrow(cairo_t* cr) {
    cairo_set_line_width(cr, kRingWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_arc_negative(cr, kCentre, kCentre, kRingRadius, radians(kGapStartDegrees),
                       radians(kGapEndDegrees));
    cairo_stroke(cr);

    const Offset end{kCentre + kRingEnd.x, kCentre + kRingEnd.y};
    const Offset base{end.x + kArrowBase.x, end.y + kArrowBase.y};
    cairo_move_to(cr, end.x + kArrowTip.x, end.y + kArrowTip.y);
    cairo_line_to(cr, base.x - kArrowWing.x, base.y - kArrowWing.y);
    cairo_line_to(cr, base.x + kArrowWing.x, base.y + kArrowWing.y);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// Text runs downwards in cairo, so it is placed with y turned back the right
// way: `baseline` is measured from the top.
void showText(cairo_t* cr, const std::string& text, double x, double baseline) {
    cairo_save(cr);
    cairo_translate(cr, 0, kSide);
    cairo_scale(cr, 1, -1);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, text.c_str());
    cairo_restore(cr);
}

// Centred by its line box, as the layout of the monogram is defined.
void drawMonogram(cairo_t* cr) {
    selectFont(cr, kMonogramSize);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    cairo_text_extents_t text;
    cairo_text_extents(cr, kMonogram, &text);
    const double width = text.x_advance;
    const double height = font.ascent + font.descent;
    const double originY = kCentre - height / 2 - kMonogramDrop;  // the bottom of the line box
    showText(cr, kMonogram, kCentre - width / 2, kSide - (originY + font.descent));
}

// Digits are centred by their ink, which is what the eye sees.
void drawNumber(cairo_t* cr, const std::string& number) {
    selectFont(cr, kNumberSize);
    cairo_text_extents_t ink;
    cairo_text_extents(cr, number.c_str(), &ink);
    if (ink.width > kNumberWidth) {
        selectFont(cr, kNumberSize * kNumberWidth / ink.width);
        cairo_text_extents(cr, number.c_str(), &ink);
    }
    showText(cr, number, kCentre - (ink.x_bearing + ink.width / 2),
             kCentre - (ink.y_bearing + ink.height / 2));
}

std::string trimmed(const std::string& title) {
    const size_t first = title.find_first_not_of(' ');
    const size_t last = title.find_last_not_of(' ');
    return first == std::string::npos ? "" : title.substr(first, last - first + 1);
}

Surface coverageSurface(const StatusButtonLook& look, int scale) {
    const int side = kSide * std::max(scale, 1);
    Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, side, side), &cairo_surface_destroy);
    Context cr(cairo_create(mask.get()), &cairo_destroy);
    cairo_scale(cr.get(), double(side) / kSide, -double(side) / kSide);
    cairo_translate(cr.get(), 0, -kSide);
    if (look.image == StatusImage::icon) {
        drawRingAndArrow(cr.get());
    }
    if (const std::string number = trimmed(look.title); !number.empty()) {
        drawNumber(cr.get(), number);
    } else if (look.image == StatusImage::icon) {
        drawMonogram(cr.get());
    }
    cairo_surface_flush(mask.get());
    return mask;
}

uint32_t unpremultiplied(uint32_t pixel) {
    const uint32_t alpha = pixel >> 24;
    if (alpha == 0) {
        return 0;
    }
    uint32_t result = alpha << 24;
    for (int shift : {16, 8, 0}) {
        const uint32_t channel = (pixel >> shift) & 0xFF;
        result |= std::min<uint32_t>(255, (channel * 255 + alpha / 2) / alpha) << shift;
    }
    return result;
}

}  // namespace

IconImage paint(const StatusButtonLook& look, int scale) {
    Surface mask = coverageSurface(look, scale);
    const int side = cairo_image_surface_get_width(mask.get());
    Surface image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, side, side),
                  &cairo_surface_destroy);
    Context cr(cairo_create(image.get()), &cairo_destroy);
    const bool tinted = look.tint == StatusTint::systemRed;
    if (!tinted) {
        // One device pixel of halo all round, made of the shape itself moved
        // by a pixel each way: enough to hold the white apart from a light panel.
        cairo_set_source_rgba(cr.get(), 0, 0, 0, kHaloAlpha);
        for (int dx : {-1, 0, 1}) {
            for (int dy : {-1, 0, 1}) {
                if (dx != 0 || dy != 0) {
                    cairo_mask_surface(cr.get(), mask.get(), dx, dy);
                }
            }
        }
    }
    const auto& colour = tinted ? kSystemRed : kWhite;
    cairo_set_source_rgb(cr.get(), colour[0], colour[1], colour[2]);
    cairo_mask_surface(cr.get(), mask.get(), 0, 0);
    cairo_surface_flush(image.get());

    IconImage painted{side, std::vector<uint32_t>(size_t(side) * side)};
    const int stride = cairo_image_surface_get_stride(image.get());
    const unsigned char* data = cairo_image_surface_get_data(image.get());
    for (int y = 0; y < side; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * stride);
        std::transform(row, row + side, painted.pixels.begin() + ptrdiff_t(y) * side,
                       unpremultiplied);
    }
    return painted;
}

}  // namespace vx::platform::linux_::StatusIconPainter
