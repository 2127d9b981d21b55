#include "platform/linux/media/BgrxToYuv420.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <utility>

extern "C" {
#include <libavutil/frame.h>
}

namespace vx::platform::linux_::BgrxToYuv420 {

namespace {

// BT.709: Y' = 0.2126 R + 0.7152 G + 0.0722 B, limited to 16..235 for luma and
// 16..240 for chroma.
constexpr double kRed = 0.2126;
constexpr double kBlue = 0.0722;
constexpr double kGreen = 1 - kRed - kBlue;
constexpr double kLuma = 219.0 / 255;
constexpr double kChroma = 224.0 / 255;

// Luma weights carry 15 fractional bits; chroma weights apply to the sum of four
// pixels, so their result carries 17.
constexpr int kLumaShift = 15;
constexpr int kChromaShift = 17;

constexpr int16_t fixed(double weight) {
    return static_cast<int16_t>(weight * (1 << kLumaShift) + (weight < 0 ? -0.5 : 0.5));
}

// Weights of B, G, R and the unused fourth byte, in the pixels' own order.
struct Weights {
    int16_t b, g, r;
};
constexpr Weights kY{fixed(kLuma * kBlue), fixed(kLuma* kGreen), fixed(kLuma* kRed)};
constexpr Weights kU{fixed(kChroma * 0.5), fixed(-kChroma* kGreen / (2 * (1 - kBlue))),
                     fixed(-kChroma* kRed / (2 * (1 - kBlue)))};
constexpr Weights kV{fixed(-kChroma * kBlue / (2 * (1 - kRed))),
                     fixed(-kChroma* kGreen / (2 * (1 - kRed))), fixed(kChroma * 0.5)};
// The offsets (16 and 128) with rounding, in each sum's fixed point.
constexpr int32_t kLumaBias = (16 << kLumaShift) + (1 << (kLumaShift - 1));
constexpr int32_t kChromaBias = (128 << kChromaShift) + (1 << (kChromaShift - 1));

uint8_t luma(const uint8_t* p) {
    return static_cast<uint8_t>((kY.b * p[0] + kY.g * p[1] + kY.r * p[2] + kLumaBias) >>
                                kLumaShift);
}

uint8_t chroma(const Weights& w, int b, int g, int r) {
    return static_cast<uint8_t>((w.b * b + w.g * g + w.r * r + kChromaBias) >> kChromaShift);
}

// Pixels [from, to) of a pair of rows (the same row twice for an odd height's last),
// one at a time; `from` is even. The last column of an odd width counts twice.
void convertTail(const uint8_t* top, const uint8_t* bottom, int from, int to, uint8_t* yTop,
                 uint8_t* yBottom, uint8_t* u, uint8_t* v) {
    for (int x = from; x < to; ++x) {
        yTop[x] = luma(top + 4 * x);
        if (yBottom != nullptr) {
            yBottom[x] = luma(bottom + 4 * x);
        }
    }
    for (int x = from; x < to; x += 2) {
        const int right = std::min(x + 1, to - 1);
        int sums[3];
        for (int c = 0; c < 3; ++c) {
            sums[c] =
                top[4 * x + c] + top[4 * right + c] + bottom[4 * x + c] + bottom[4 * right + c];
        }
        u[x / 2] = chroma(kU, sums[0], sums[1], sums[2]);
        v[x / 2] = chroma(kV, sums[0], sums[1], sums[2]);
    }
}

__m128i weights(const Weights& w) {
    return _mm_setr_epi16(w.b, w.g, w.r, 0, w.b, w.g, w.r, 0);
}

// The weighted sums of two pixels' B+G and R halves (a) and two more (b), as four
// whole sums, one per pixel.
__m128i pairSums(__m128i a, __m128i b) {
    const __m128 fa = _mm_castsi128_ps(a);
    const __m128 fb = _mm_castsi128_ps(b);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}

// Four luma values of four pixels (16 bit each, 0 in between), in 32-bit lanes.
__m128i lumaOf(__m128i firstTwo, __m128i lastTwo, __m128i w) {
    return _mm_srai_epi32(
        _mm_add_epi32(pairSums(_mm_madd_epi16(firstTwo, w), _mm_madd_epi16(lastTwo, w)),
                      _mm_set1_epi32(kLumaBias)),
        kLumaShift);
}

__m128i chromaOf(__m128i firstBlocks, __m128i lastBlocks, __m128i w) {
    return _mm_srai_epi32(
        _mm_add_epi32(pairSums(_mm_madd_epi16(firstBlocks, w), _mm_madd_epi16(lastBlocks, w)),
                      _mm_set1_epi32(kChromaBias)),
        kChromaShift);
}

// Sixteen pixels of each row of a pair at a time from `x` on; returns where it stopped.
int convertBody(const uint8_t* top, const uint8_t* bottom, int x, int width, uint8_t* yTop,
                uint8_t* yBottom, uint8_t* u, uint8_t* v) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i wy = weights(kY);
    const __m128i wu = weights(kU);
    const __m128i wv = weights(kV);
    for (; x + 16 <= width; x += 16) {
        __m128i lumaTop[4];
        __m128i lumaBottom[4];
        __m128i blocks[4];  // two 2 × 2 sums of B, G, R, X each
        for (int k = 0; k < 4; ++k) {
            const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * x) + k);
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * x) + k);
            const __m128i tLow = _mm_unpacklo_epi8(t, zero);
            const __m128i tHigh = _mm_unpackhi_epi8(t, zero);
            const __m128i bLow = _mm_unpacklo_epi8(b, zero);
            const __m128i bHigh = _mm_unpackhi_epi8(b, zero);
            lumaTop[k] = lumaOf(tLow, tHigh, wy);
            lumaBottom[k] = lumaOf(bLow, bHigh, wy);
            const __m128i columnsLow = _mm_add_epi16(tLow, bLow);
            const __m128i columnsHigh = _mm_add_epi16(tHigh, bHigh);
            blocks[k] = _mm_add_epi16(_mm_unpacklo_epi64(columnsLow, columnsHigh),
                                      _mm_unpackhi_epi64(columnsLow, columnsHigh));
        }
        const auto store16 = [](uint8_t* to, const __m128i* values) {
            const __m128i words = _mm_packus_epi16(_mm_packs_epi32(values[0], values[1]),
                                                   _mm_packs_epi32(values[2], values[3]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), words);
        };
        store16(yTop + x, lumaTop);
        if (yBottom != nullptr) {
            store16(yBottom + x, lumaBottom);
        }
        const auto store8 = [&](uint8_t* to, __m128i w) {
            const __m128i words = _mm_packs_epi32(chromaOf(blocks[0], blocks[1], w),
                                                  chromaOf(blocks[2], blocks[3], w));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(to), _mm_packus_epi16(words, words));
        };
        store8(u + x / 2, wu);
        store8(v + x / 2, wv);
    }
    return x;
}

// The same with AVX2, 32 pixels at a time. Its instructions work within each 128-bit
// half, so each half holds the values of every other group of four pixels until a
// final reordering.
#define VX_AVX2 __attribute__((target("avx2")))

VX_AVX2 __m256i weights256(const Weights& w) {
    return _mm256_broadcastsi128_si256(weights(w));
}

VX_AVX2 __m256i pairSums256(__m256i a, __m256i b) {
    const __m256 fa = _mm256_castsi256_ps(a);
    const __m256 fb = _mm256_castsi256_ps(b);
    return _mm256_add_epi32(
        _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
        _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}

VX_AVX2 __m256i weighed256(__m256i first, __m256i last, __m256i w, int32_t bias, int shift) {
    return _mm256_srai_epi32(
        _mm256_add_epi32(pairSums256(_mm256_madd_epi16(first, w), _mm256_madd_epi16(last, w)),
                         _mm256_set1_epi32(bias)),
        shift);
}

// Four registers of eight 32-bit values, each half holding every other group of
// four, into their bytes in order.
VX_AVX2 __m256i bytesInOrder(const __m256i* values) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(values[0], values[1]),
                                              _mm256_packs_epi32(values[2], values[3]));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

VX_AVX2 int convertBodyAvx2(const uint8_t* top, const uint8_t* bottom, int x, int width,
                            uint8_t* yTop, uint8_t* yBottom, uint8_t* u, uint8_t* v) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i wy = weights256(kY);
    const __m256i wu = weights256(kU);
    const __m256i wv = weights256(kV);
    // Chroma comes out as blocks 0, 1, 4, 5 | 2, 3, 6, 7 of each eight.
    const __m256i blockOrder = _mm256_setr_epi32(0, 1, 4, 5, 2, 3, 6, 7);
    for (; x + 32 <= width; x += 32) {
        __m256i lumaTop[4];
        __m256i lumaBottom[4];
        __m256i blocks[4];
        for (int k = 0; k < 4; ++k) {
            const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 4 * x) + k);
            const __m256i b =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 4 * x) + k);
            const __m256i tLow = _mm256_unpacklo_epi8(t, zero);
            const __m256i tHigh = _mm256_unpackhi_epi8(t, zero);
            const __m256i bLow = _mm256_unpacklo_epi8(b, zero);
            const __m256i bHigh = _mm256_unpackhi_epi8(b, zero);
            lumaTop[k] = weighed256(tLow, tHigh, wy, kLumaBias, kLumaShift);
            lumaBottom[k] = weighed256(bLow, bHigh, wy, kLumaBias, kLumaShift);
            const __m256i columnsLow = _mm256_add_epi16(tLow, bLow);
            const __m256i columnsHigh = _mm256_add_epi16(tHigh, bHigh);
            blocks[k] = _mm256_add_epi16(_mm256_unpacklo_epi64(columnsLow, columnsHigh),
                                         _mm256_unpackhi_epi64(columnsLow, columnsHigh));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yTop + x), bytesInOrder(lumaTop));
        if (yBottom != nullptr) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(yBottom + x), bytesInOrder(lumaBottom));
        }
        for (auto [plane, w] : {std::pair{u, wu}, std::pair{v, wv}}) {
            const __m256i first = _mm256_permutevar8x32_epi32(
                weighed256(blocks[0], blocks[1], w, kChromaBias, kChromaShift), blockOrder);
            const __m256i last = _mm256_permutevar8x32_epi32(
                weighed256(blocks[2], blocks[3], w, kChromaBias, kChromaShift), blockOrder);
            const __m256i values[4] = {first, last, first, last};
            _mm_storeu_si128(reinterpret_cast<__m128i*>(plane + x / 2),
                             _mm256_castsi256_si128(bytesInOrder(values)));
        }
    }
    return x;
}

}  // namespace

void convert(ConstImageView source, AVFrame* picture) {
    static const bool hasAvx2 = __builtin_cpu_supports("avx2");
    for (int y = 0; y < source.height; y += 2) {
        const bool pair = y + 1 < source.height;
        const uint8_t* top = source.pixels + y * source.stride;
        const uint8_t* bottom = pair ? top + source.stride : top;
        uint8_t* yTop = picture->data[0] + ptrdiff_t(y) * picture->linesize[0];
        uint8_t* yBottom = pair ? yTop + picture->linesize[0] : nullptr;
        uint8_t* u = picture->data[1] + ptrdiff_t(y / 2) * picture->linesize[1];
        uint8_t* v = picture->data[2] + ptrdiff_t(y / 2) * picture->linesize[2];
        int done = hasAvx2 ? convertBodyAvx2(top, bottom, 0, source.width, yTop, yBottom, u, v) : 0;
        done = convertBody(top, bottom, done, source.width, yTop, yBottom, u, v);
        convertTail(top, bottom, done, source.width, yTop, yBottom, u, v);
    }
}

}  // namespace vx::platform::linux_::BgrxToYuv420
