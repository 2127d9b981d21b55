#include "platform/linux/media/realtime/BgrxToI420.h"

#include <immintrin.h>

extern "C" {
#include <libavutil/frame.h>
}

namespace vx::platform::linux_ {

namespace {

// BT.709 (red 0.2126, blue 0.0722) scaled to limited range (luma 219/255,
// chroma 224/255), in 256ths. Each chroma set sums to zero, so that grey stays
// exactly neutral; the luma set sums to 220, so that 255 becomes 235.
constexpr int kYb = 16, kYg = 157, kYr = 47;
constexpr int kUb = 112, kUg = -86, kUr = -26;
constexpr int kVb = -10, kVg = -102, kVr = 112;
constexpr int kLumaFloor = 16;
constexpr int kChromaZero = 128;

// One row pair: two rows of pixels in, two rows of luma and one of each chroma out.
struct RowPair {
    const uint8_t* top;
    const uint8_t* bottom;
    uint8_t* lumaTop;
    uint8_t* lumaBottom;
    uint8_t* u;
    uint8_t* v;
};

uint8_t luma(const uint8_t* pixel) {
    return uint8_t(((kYb * pixel[0] + kYg * pixel[1] + kYr * pixel[2] + 128) >> 8) + kLumaFloor);
}

// From pixel `from` (even) to `width`.
void convertPortable(const RowPair& rows, int from, int width) {
    for (int x = from; x < width; x += 2) {
        const uint8_t* top = rows.top + 4 * x;
        const uint8_t* bottom = rows.bottom + 4 * x;
        rows.lumaTop[x] = luma(top);
        rows.lumaTop[x + 1] = luma(top + 4);
        rows.lumaBottom[x] = luma(bottom);
        rows.lumaBottom[x + 1] = luma(bottom + 4);
        const int b = top[0] + top[4] + bottom[0] + bottom[4];
        const int g = top[1] + top[5] + bottom[1] + bottom[5];
        const int r = top[2] + top[6] + bottom[2] + bottom[6];
        rows.u[x / 2] = uint8_t(((kUb * b + kUg * g + kUr * r + 512) >> 10) + kChromaZero);
        rows.v[x / 2] = uint8_t(((kVb * b + kVg * g + kVr * r + 512) >> 10) + kChromaZero);
    }
}

// In the vector code, maddubs multiplies unsigned bytes by signed ones and adds
// neighbouring pairs into 16 bits. Luma's coefficients are all positive but
// too large for signed bytes, so they are the unsigned side and the pixels
// are shifted to signed (p - 128); the 128 × 220 this takes away is 110 × 256,
// given back after the shift. Chroma's are small enough to be the signed side.

// Luma of 32 pixels from `row` into `out`.
__attribute__((target("avx2"))) void lumaOf32(const uint8_t* row, uint8_t* out) {
    const __m256i coefficients = _mm256_set1_epi32(kYb | kYg << 8 | kYr << 16);
    const __m256i toSigned = _mm256_set1_epi8(char(0x80));
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i offset = _mm256_set1_epi16(110 + kLumaFloor);
    // packus and hadd work within 128-bit lanes; this puts the pixels back in order.
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    __m256i sums[4];
    for (int i = 0; i < 4; ++i) {
        const __m256i pixels = _mm256_xor_si256(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 32 * i)), toSigned);
        sums[i] = _mm256_maddubs_epi16(coefficients, pixels);
    }
    __m256i first = _mm256_hadd_epi16(sums[0], sums[1]);
    __m256i second = _mm256_hadd_epi16(sums[2], sums[3]);
    first = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(first, half), 8), offset);
    second = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(second, half), 8), offset);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out),
                        _mm256_permutevar8x32_epi32(_mm256_packus_epi16(first, second), inOrder));
}

// Chroma of 32 × 2 pixels: 16 samples of each. Each 2 × 2 block is averaged
// first (rows, then neighbours), leaving the mean in both pixels of a pair,
// which are then weighed for U and for V.
__attribute__((target("avx2"))) void chromaOf32(const uint8_t* top, const uint8_t* bottom,
                                                uint8_t* u, uint8_t* v) {
    const __m256i coefficients =
        _mm256_setr_epi8(kUb, kUg, kUr, 0, kVb, kVg, kVr, 0, kUb, kUg, kUr, 0, kVb, kVg, kVr, 0,
                         kUb, kUg, kUr, 0, kVb, kVg, kVr, 0, kUb, kUg, kUr, 0, kVb, kVg, kVr, 0);
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i zero = _mm256_set1_epi16(kChromaZero);
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    // U0 V0 U1 V1 … in each lane to U0 U1 … V0 V1 ….
    const __m256i apart = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15, 0,
                                           2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
    __m256i sums[4];
    for (int i = 0; i < 4; ++i) {
        __m256i mean =
            _mm256_avg_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top + 32 * i)),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom + 32 * i)));
        mean = _mm256_avg_epu8(mean, _mm256_shuffle_epi32(mean, _MM_SHUFFLE(2, 3, 0, 1)));
        sums[i] = _mm256_maddubs_epi16(mean, coefficients);
    }
    __m256i first = _mm256_hadd_epi16(sums[0], sums[1]);
    __m256i second = _mm256_hadd_epi16(sums[2], sums[3]);
    first = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(first, half), 8), zero);
    second = _mm256_add_epi16(_mm256_srai_epi16(_mm256_add_epi16(second, half), 8), zero);
    const __m256i interleaved =
        _mm256_permutevar8x32_epi32(_mm256_packus_epi16(first, second), inOrder);
    const __m256i planar =
        _mm256_permute4x64_epi64(_mm256_shuffle_epi8(interleaved, apart), _MM_SHUFFLE(3, 1, 2, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(u), _mm256_castsi256_si128(planar));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(v), _mm256_extracti128_si256(planar, 1));
}

// Returns the first pixel it left for convertPortable.
__attribute__((target("avx2"))) int convertVectorised(const RowPair& rows, int width) {
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        lumaOf32(rows.top + 4 * x, rows.lumaTop + x);
        lumaOf32(rows.bottom + 4 * x, rows.lumaBottom + x);
        chromaOf32(rows.top + 4 * x, rows.bottom + 4 * x, rows.u + x / 2, rows.v + x / 2);
    }
    return x;
}

}  // namespace

void BgrxToI420::convert(ConstImageView source, AVFrame* picture) {
    static const bool vectorised = __builtin_cpu_supports("avx2");
    for (int y = 0; y + 1 < source.height; y += 2) {
        const RowPair rows{source.pixels + source.stride * y,
                           source.pixels + source.stride * (y + 1),
                           picture->data[0] + ptrdiff_t(picture->linesize[0]) * y,
                           picture->data[0] + ptrdiff_t(picture->linesize[0]) * (y + 1),
                           picture->data[1] + ptrdiff_t(picture->linesize[1]) * (y / 2),
                           picture->data[2] + ptrdiff_t(picture->linesize[2]) * (y / 2)};
        const int done = vectorised ? convertVectorised(rows, source.width) : 0;
        convertPortable(rows, done, source.width);
    }
}

}  // namespace vx::platform::linux_
