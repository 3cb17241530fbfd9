// The application icon, drawn without any toolkit so that every build gets the same pixels: the
// Linux window shows them directly, and the Windows executable carries them as its icon resource
// (app/orvane.ico, written from this drawing and checked against it by the tests).
//
// The picture: a device board on a blue tile with an arrow going up into it, on a 256-unit grid
// scaled to each size. Every pixel is sampled on a 4 x 4 grid; the shapes are opaque and painted in
// order, so a sample takes the colour of the last shape that covers it, and the pixel's alpha is
// the share of covered samples.
#include <algorithm>
#include <array>
#include <cmath>

#include "ui/Resources.h"

namespace {

constexpr int kIconSizes[] = {256, 128, 64, 48, 32, 16};
constexpr int kSamplesPerAxis = 4;
constexpr double kGrid = 256.0;
// Below this size the pins would only blur, so they are left out.
constexpr int kSmallestSizeWithPins = 32;

struct Colour {
    double r;
    double g;
    double b;
};

constexpr Colour kTileTop{0x2B, 0x7F, 0xD6};
constexpr Colour kTileBottom{0x15, 0x4A, 0x8C};
constexpr Colour kPin{0xD9, 0xE4, 0xF0};
constexpr Colour kBoard{0x1E, 0x25, 0x2E};
constexpr Colour kArrow{0xFF, 0x9F, 0x1A};

struct Rect {
    double x;
    double y;
    double width;
    double height;
};

bool InRect(const Rect& rect, double x, double y) {
    return x >= rect.x && x < rect.x + rect.width && y >= rect.y && y < rect.y + rect.height;
}

bool InRoundedRect(const Rect& rect, double radius, double x, double y) {
    if (!InRect(rect, x, y))
        return false;
    // Inside the rectangle; only the four corner squares can still miss the rounded outline.
    const double cx = std::clamp(x, rect.x + radius, rect.x + rect.width - radius);
    const double cy = std::clamp(y, rect.y + radius, rect.y + rect.height - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

struct Point {
    double x;
    double y;
};

constexpr std::array<Point, 7> kArrowOutline = {
    {{128, 92}, {172, 140}, {146, 140}, {146, 184}, {110, 184}, {110, 140}, {84, 140}}};

bool InArrow(double x, double y) {
    bool inside = false;
    for (size_t i = 0, j = kArrowOutline.size() - 1; i < kArrowOutline.size(); j = i++) {
        const Point& a = kArrowOutline[i];
        const Point& b = kArrowOutline[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

bool InPin(double x, double y) {
    for (int i = 0; i < 4; ++i) {
        const double offset = 84 + i * 28;
        if (InRect({offset, 56, 12, 20}, x, y) || InRect({offset, 196, 12, 20}, x, y) ||
            InRect({48, offset + 4, 20, 12}, x, y) || InRect({188, offset + 4, 20, 12}, x, y)) {
            return true;
        }
    }
    return false;
}

// The colour of the picture at grid point (x, y), or false where nothing covers it.
bool Sample(double x, double y, bool pins, Colour& colour) {
    bool covered = false;
    if (InRoundedRect({8, 8, 240, 240}, 44, x, y)) {
        const double t = y / kGrid;
        colour = {kTileTop.r + (kTileBottom.r - kTileTop.r) * t,
                  kTileTop.g + (kTileBottom.g - kTileTop.g) * t,
                  kTileTop.b + (kTileBottom.b - kTileTop.b) * t};
        covered = true;
    }
    if (pins && InPin(x, y)) {
        colour = kPin;
        covered = true;
    }
    if (InRoundedRect({64, 72, 128, 128}, 14, x, y)) {
        colour = kBoard;
        covered = true;
    }
    if (InArrow(x, y)) {
        colour = kArrow;
        covered = true;
    }
    return covered;
}

uint32_t Channel(double value) {
    return static_cast<uint32_t>(std::clamp(std::lround(value), 0L, 255L));
}

IconImage DrawIcon(int size) {
    IconImage image;
    image.size = size;
    image.argb.reserve(static_cast<size_t>(size) * size);
    const bool pins = size >= kSmallestSizeWithPins;
    const double scale = kGrid / size;
    constexpr int kSamples = kSamplesPerAxis * kSamplesPerAxis;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Colour sum{0, 0, 0};
            int covered = 0;
            for (int sy = 0; sy < kSamplesPerAxis; ++sy) {
                for (int sx = 0; sx < kSamplesPerAxis; ++sx) {
                    const double x = (px + (sx + 0.5) / kSamplesPerAxis) * scale;
                    const double y = (py + (sy + 0.5) / kSamplesPerAxis) * scale;
                    Colour colour{};
                    if (Sample(x, y, pins, colour)) {
                        sum.r += colour.r;
                        sum.g += colour.g;
                        sum.b += colour.b;
                        ++covered;
                    }
                }
            }
            uint32_t pixel = 0;
            if (covered > 0) {
                pixel = Channel(255.0 * covered / kSamples) << 24 | Channel(sum.r / covered) << 16 |
                        Channel(sum.g / covered) << 8 | Channel(sum.b / covered);
            }
            image.argb.push_back(pixel);
        }
    }
    return image;
}

}  // namespace

std::vector<IconImage> DrawApplicationIcon() {
    std::vector<IconImage> images;
    for (int size : kIconSizes)
        images.push_back(DrawIcon(size));
    return images;
}
