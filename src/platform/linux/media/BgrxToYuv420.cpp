#include "platform/linux/media/BgrxToYuv420.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdint>

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

// Luma weights carry 8 fractional bits, few enough for the AVX2 path to weigh the
// pixels' bytes as bytes; every path uses them, so all give the same samples. Chroma
// weights carry 15 and apply to the sum of four pixels, so their result carries 17.
constexpr int kLumaShift = 8;
constexpr int kChromaWeightShift = 15;
constexpr int kChromaShift = kChromaWeightShift + 2;

constexpr int16_t fixed(double weight, int shift = kChromaWeightShift) {
    return static_cast<int16_t>(weight * (1 << shift) + (weight < 0 ? -0.5 : 0.5));
}

// Weights of B, G, R and the unused fourth byte, in the pixels' own order.
struct Weights {
    int16_t b, g, r;
};
constexpr Weights kY{fixed(kLuma * kBlue, kLumaShift), fixed(kLuma* kGreen, kLumaShift),
                     fixed(kLuma* kRed, kLumaShift)};
constexpr Weights kU{fixed(kChroma * 0.5), fixed(-kChroma* kGreen / (2 * (1 - kBlue))),
                     fixed(-kChroma* kRed / (2 * (1 - kBlue)))};
constexpr Weights kV{fixed(-kChroma * kBlue / (2 * (1 - kRed))),
                     fixed(-kChroma* kGreen / (2 * (1 - kRed))), fixed(kChroma * 0.5)};
// The offsets (16 and 128) with rounding, in each sum's fixed point. Luma rounds at
// 112/256 rather than half: with its weights rounded to 8 bits, that keeps the worst
// sample over every colour within 0.82 of a level of the exact value.
constexpr int32_t kLumaBias = (16 << kLumaShift) + 112;
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
// half, so values come out in groups from alternate halves until a final reordering.
#define VX_AVX2 __attribute__((target("avx2")))
// Its helpers are inlined by force: called, they would pass their registers through memory.
#define VX_AVX2_INLINE inline __attribute__((target("avx2"), always_inline))

// Luma weighs each pixel's bytes with pmaddubsw, which takes its weights unsigned and
// the pixels signed: the pixels go in less 128, and the sum of 128 times the weights
// comes back with the bias. Each pair of products then fits its 16-bit sum.
static_assert(128 * (kY.b + kY.g) <= INT16_MAX && kY.g <= UINT8_MAX);
constexpr int16_t kLumaBiasOfSignedPixels = int16_t(kLumaBias + 128 * (kY.b + kY.g + kY.r));

// Sixteen pixels' luma as 16-bit values: the first register's low half, the second's low
// half, then both high halves. The sums of the pixels less 128 stay within int16; with
// the bias added back they reach 60308, which uint16 holds.
VX_AVX2_INLINE __m256i lumaOf16(__m256i first, __m256i second) {
    const __m256i w =
        _mm256_set1_epi32(int32_t(kY.b) | (int32_t(kY.g) << 8) | (int32_t(kY.r) << 16));
    const __m256i less128 = _mm256_set1_epi8(char(0x80));
    const __m256i sums =
        _mm256_hadd_epi16(_mm256_maddubs_epi16(w, _mm256_xor_si256(first, less128)),
                          _mm256_maddubs_epi16(w, _mm256_xor_si256(second, less128)));
    return _mm256_srli_epi16(_mm256_add_epi16(sums, _mm256_set1_epi16(kLumaBiasOfSignedPixels)),
                             kLumaShift);
}

// Thirty-two pixels' luma bytes in order.
VX_AVX2_INLINE __m256i lumaOf32(__m256i p0, __m256i p1, __m256i p2, __m256i p3) {
    const __m256i bytes = _mm256_packus_epi16(lumaOf16(p0, p1), lumaOf16(p2, p3));
    return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

// The sums of B, G, R and X over each 2 × 2 block of eight columns of a pair of rows, as
// 16-bit values: two blocks in each half.
VX_AVX2_INLINE __m256i blockSums(__m256i top, __m256i bottom) {
    const __m256i columnPairs =
        _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4, 1, 5, 2, 6, 3,
                         7, 8, 12, 9, 13, 10, 14, 11, 15);
    const __m256i ones = _mm256_set1_epi8(1);
    return _mm256_add_epi16(_mm256_maddubs_epi16(_mm256_shuffle_epi8(top, columnPairs), ones),
                            _mm256_maddubs_epi16(_mm256_shuffle_epi8(bottom, columnPairs), ones));
}

// Eight blocks' chroma as 32-bit values: blocks 0, 1, 4, 5 of `first` and `second` in the
// low half, the others in the high half.
VX_AVX2_INLINE __m256i chromaOf8(__m256i first, __m256i second, __m256i w) {
    const __m256i sums =
        _mm256_hadd_epi32(_mm256_madd_epi16(first, w), _mm256_madd_epi16(second, w));
    return _mm256_srai_epi32(_mm256_add_epi32(sums, _mm256_set1_epi32(kChromaBias)), kChromaShift);
}

// Sixteen blocks' chroma as 16-bit values: blocks 0, 1, 4, 5, 8, 9, 12, 13 in the low
// half, the others in the high half.
VX_AVX2_INLINE __m256i chromaOf16(__m256i s0, __m256i s1, __m256i s2, __m256i s3, __m256i w) {
    return _mm256_packs_epi32(chromaOf8(s0, s1, w), chromaOf8(s2, s3, w));
}

// Sixteen U bytes in order in the low half and sixteen V bytes in the high one.
VX_AVX2_INLINE __m256i chromaInOrder(__m256i u, __m256i v) {
    const __m256i halves = _mm256_permute4x64_epi64(_mm256_packus_epi16(u, v), 0b11011000);
    return _mm256_shuffle_epi8(
        halves, _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15, 0, 1, 8, 9,
                                 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15));
}

VX_AVX2 int convertBodyAvx2(const uint8_t* top, const uint8_t* bottom, int x, int width,
                            uint8_t* yTop, uint8_t* yBottom, uint8_t* u, uint8_t* v) {
    const __m256i wu = _mm256_broadcastsi128_si256(weights(kU));
    const __m256i wv = _mm256_broadcastsi128_si256(weights(kV));
    for (; x + 32 <= width; x += 32) {
        const auto* t = reinterpret_cast<const __m256i*>(top + 4 * x);
        const auto* b = reinterpret_cast<const __m256i*>(bottom + 4 * x);
        const __m256i t0 = _mm256_loadu_si256(t), t1 = _mm256_loadu_si256(t + 1),
                      t2 = _mm256_loadu_si256(t + 2), t3 = _mm256_loadu_si256(t + 3);
        const __m256i b0 = _mm256_loadu_si256(b), b1 = _mm256_loadu_si256(b + 1),
                      b2 = _mm256_loadu_si256(b + 2), b3 = _mm256_loadu_si256(b + 3);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(yTop + x), lumaOf32(t0, t1, t2, t3));
        if (yBottom != nullptr) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(yBottom + x), lumaOf32(b0, b1, b2, b3));
        }
        const __m256i s0 = blockSums(t0, b0), s1 = blockSums(t1, b1), s2 = blockSums(t2, b2),
                      s3 = blockSums(t3, b3);
        const __m256i planes =
            chromaInOrder(chromaOf16(s0, s1, s2, s3, wu), chromaOf16(s0, s1, s2, s3, wv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(u + x / 2), _mm256_castsi256_si128(planes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(v + x / 2),
                         _mm256_extracti128_si256(planes, 1));
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
