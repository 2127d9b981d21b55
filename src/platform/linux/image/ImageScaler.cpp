#include "platform/linux/image/ImageScaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vx::platform::linux_ {
namespace {

// Filter weights are fixed point; the weights of one target pixel sum to exactly kOne,
// so a flat area keeps its exact colour.
constexpr int kWeightBits = 14;
constexpr int32_t kOne = 1 << kWeightBits;
// Between the two passes a channel keeps 8 fractional bits (at most 255 << 8), so that
// the horizontal sum stays within 32 bits.
constexpr int kBetweenPassesShift = kWeightBits - 8;
constexpr int kFinalShift = kWeightBits + 8;
constexpr uint32_t kOpaque = 0xff000000u;

// For each target index along one axis: the first source index it reads and the
// weights of the consecutive source indices from there.
struct AxisFilter {
    std::vector<int> first;
    std::vector<size_t> begin;  // into weights; one more entry than targets
    std::vector<int32_t> weights;

    int count(int i) const { return static_cast<int>(begin[i + 1] - begin[i]); }
    const int32_t* weightsOf(int i) const { return weights.data() + begin[i]; }
};

// Turns exact weights (summing to 1) into fixed point summing to exactly kOne, none
// negative: each weight is the step between rounded running totals. Zero weights at
// either end are dropped.
void appendTarget(AxisFilter& filter, int first, const std::vector<double>& exact) {
    std::vector<int32_t> fixed(exact.size());
    double total = 0;
    int32_t roundedTotal = 0;
    for (size_t k = 0; k < exact.size(); ++k) {
        total += exact[k];
        const int32_t next =
            k + 1 == exact.size() ? kOne : static_cast<int32_t>(std::lround(total * kOne));
        fixed[k] = std::max(next - roundedTotal, 0);
        roundedTotal += fixed[k];
    }
    size_t from = 0;
    size_t to = fixed.size();
    while (fixed[from] == 0) {
        ++from;
    }
    while (fixed[to - 1] == 0) {
        --to;
    }
    filter.first.push_back(first + static_cast<int>(from));
    filter.weights.insert(filter.weights.end(), fixed.begin() + from, fixed.begin() + to);
    filter.begin.push_back(filter.weights.size());
}

// Each target pixel covers `step` source pixels; each source pixel counts by how much
// of it lies under the target pixel.
AxisFilter boxFilter(int sourceSize, int targetSize) {
    AxisFilter filter{{}, {0}, {}};
    const double step = double(sourceSize) / targetSize;
    std::vector<double> exact;
    for (int i = 0; i < targetSize; ++i) {
        const double from = i * step;
        const double to = std::min((i + 1) * step, double(sourceSize));
        const int first = static_cast<int>(from);
        const int end = std::min(static_cast<int>(std::ceil(to)), sourceSize);
        exact.clear();
        for (int j = first; j < end; ++j) {
            exact.push_back((std::min(j + 1.0, to) - std::max(double(j), from)) / step);
        }
        appendTarget(filter, first, exact);
    }
    return filter;
}

// Each target pixel's centre falls between two source centres and mixes them linearly.
AxisFilter bilinearFilter(int sourceSize, int targetSize) {
    AxisFilter filter{{}, {0}, {}};
    const double step = double(sourceSize) / targetSize;
    for (int i = 0; i < targetSize; ++i) {
        const double centre = std::clamp((i + 0.5) * step - 0.5, 0.0, double(sourceSize - 1));
        const int first = std::min(static_cast<int>(centre), std::max(sourceSize - 2, 0));
        const double right = centre - first;
        if (sourceSize == 1) {
            appendTarget(filter, 0, {1.0});
        } else {
            appendTarget(filter, first, {1.0 - right, right});
        }
    }
    return filter;
}

AxisFilter filterFor(int sourceSize, int targetSize) {
    return targetSize < sourceSize ? boxFilter(sourceSize, targetSize)
                                   : bilinearFilter(sourceSize, targetSize);
}

void copyOpaque(ConstImageView source, ImageView target) {
    for (int y = 0; y < target.height; ++y) {
        const uint8_t* from = source.pixels + y * source.stride;
        uint32_t* to = reinterpret_cast<uint32_t*>(target.row(y));
        for (int x = 0; x < target.width; ++x) {
            uint32_t pixel;
            std::memcpy(&pixel, from + 4 * x, 4);
            to[x] = pixel | kOpaque;
        }
    }
}

// Shrinking by a power of two (0.5 of an even-sized display, the common case) needs
// no weights: each target pixel is the plain mean of a square block. Two channels are
// summed at once in the 16-bit halves of one word (blue and red, green and the unused
// byte); a half holds the sum of up to 256 pixels, a 16 x 16 block.
constexpr uint32_t kEvenChannels = 0x00ff00ffu;

// The block size is a template argument so that the loops over a block unroll.
template <int kShift>
void shrinkByPowerOfTwo(ConstImageView source, ImageView target) {
    constexpr int kFactor = 1 << kShift;
    constexpr int kCountShift = 2 * kShift;
    constexpr uint32_t kHalf = (1u << kCountShift) >> 1;
    constexpr uint32_t kRounding = kHalf | kHalf << 16;
    for (int y = 0; y < target.height; ++y) {
        const uint8_t* rows[kFactor];
        for (int dy = 0; dy < kFactor; ++dy) {
            rows[dy] = source.pixels + (y * kFactor + dy) * source.stride;
        }
        uint32_t* to = reinterpret_cast<uint32_t*>(target.row(y));
        for (int x = 0; x < target.width; ++x) {
            uint32_t blueRed = kRounding;
            uint32_t greenUnused = kRounding;
            for (int dy = 0; dy < kFactor; ++dy) {
                const uint8_t* block = rows[dy] + 4 * x * kFactor;
                for (int dx = 0; dx < kFactor; ++dx) {
                    uint32_t pixel;
                    std::memcpy(&pixel, block + 4 * dx, 4);
                    blueRed += pixel & kEvenChannels;
                    greenUnused += (pixel >> 8) & kEvenChannels;
                }
            }
            to[x] = ((blueRed >> kCountShift) & kEvenChannels) |
                    ((greenUnused >> kCountShift) & kEvenChannels) << 8 | kOpaque;
        }
    }
}

// Shrinks by 2, 4, 8 or 16 on both axes; false for any other size.
bool shrinkByPowerOfTwo(ConstImageView source, ImageView target) {
    auto shrunkBy = [&](int shift) {
        return source.width == target.width << shift && source.height == target.height << shift;
    };
    if (shrunkBy(1)) {
        shrinkByPowerOfTwo<1>(source, target);
    } else if (shrunkBy(2)) {
        shrinkByPowerOfTwo<2>(source, target);
    } else if (shrunkBy(3)) {
        shrinkByPowerOfTwo<3>(source, target);
    } else if (shrunkBy(4)) {
        shrinkByPowerOfTwo<4>(source, target);
    } else {
        return false;
    }
    return true;
}

void fillOpaqueBlack(ImageView target) {
    for (int y = 0; y < target.height; ++y) {
        std::fill_n(reinterpret_cast<uint32_t*>(target.row(y)), target.width, kOpaque);
    }
}

}  // namespace

void ImageScaler::scale(ConstImageView source, ImageView target) {
    if (source.width == target.width && source.height == target.height) {
        copyOpaque(source, target);
        return;
    }
    if (shrinkByPowerOfTwo(source, target)) {
        return;
    }
    const AxisFilter columns = filterFor(source.width, target.width);
    const AxisFilter rows = filterFor(source.height, target.height);
    // One target row at a time: first the weighted sum of its source rows, then the
    // weighted sums along that row, so only one row of sums is ever held.
    const size_t rowValues = size_t(source.width) * 4;
    std::vector<uint32_t> rowSum(rowValues);
    for (int y = 0; y < target.height; ++y) {
        const int32_t* weights = rows.weightsOf(y);
        for (int k = 0; k < rows.count(y); ++k) {
            const uint8_t* from = source.pixels + (rows.first[y] + k) * source.stride;
            const uint32_t weight = weights[k];
            if (k == 0) {
                for (size_t v = 0; v < rowValues; ++v) {
                    rowSum[v] = weight * from[v];
                }
            } else {
                for (size_t v = 0; v < rowValues; ++v) {
                    rowSum[v] += weight * from[v];
                }
            }
        }
        for (size_t v = 0; v < rowValues; ++v) {
            rowSum[v] = (rowSum[v] + (1u << (kBetweenPassesShift - 1))) >> kBetweenPassesShift;
        }
        uint8_t* to = target.row(y);
        for (int x = 0; x < target.width; ++x) {
            const uint32_t* from = rowSum.data() + size_t(columns.first[x]) * 4;
            const int32_t* columnWeights = columns.weightsOf(x);
            uint32_t blue = 0;
            uint32_t green = 0;
            uint32_t red = 0;
            for (int k = 0; k < columns.count(x); ++k) {
                const uint32_t weight = columnWeights[k];
                blue += weight * from[4 * k];
                green += weight * from[4 * k + 1];
                red += weight * from[4 * k + 2];
            }
            constexpr uint32_t kHalf = 1u << (kFinalShift - 1);
            to[4 * x] = static_cast<uint8_t>((blue + kHalf) >> kFinalShift);
            to[4 * x + 1] = static_cast<uint8_t>((green + kHalf) >> kFinalShift);
            to[4 * x + 2] = static_cast<uint8_t>((red + kHalf) >> kFinalShift);
            to[4 * x + 3] = 255;
        }
    }
}

void ImageScaler::fit(ConstImageView source, ImageView target, bool keepAspect) {
    const int width = target.width;
    const int height = target.height;
    if (!keepAspect || int64_t(source.width) * height == int64_t(source.height) * width) {
        scale(source, target);
        return;
    }
    // Compare the aspect ratios exactly in integers; the image spans the full width
    // when the source is relatively wider, else the full height.
    int fittedWidth = width;
    int fittedHeight = height;
    if (int64_t(source.width) * height > int64_t(source.height) * width) {
        fittedHeight = static_cast<int>(
            std::max<int64_t>(1, std::llround(double(source.height) * width / source.width)));
    } else {
        fittedWidth = static_cast<int>(
            std::max<int64_t>(1, std::llround(double(source.width) * height / source.height)));
    }
    fillOpaqueBlack(target);
    const int left = (width - fittedWidth) / 2;
    const int top = (height - fittedHeight) / 2;
    scale(source, {target.row(top) + 4 * left, fittedWidth, fittedHeight, target.stride});
}

}  // namespace vx::platform::linux_
