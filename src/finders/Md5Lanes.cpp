#include "finders/Md5Lanes.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

using Word = std::uint32_t;
using Vec = Word __attribute__((vector_size(4 * Md5Lanes::kLanes)));

constexpr Word kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr int kShift[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// One 64-byte block of every lane of `Chains` vectors. A vector's steps wait on each other;
// two vectors' steps do not, so the second chain runs in the first one's gaps.
template <int Chains>
__attribute__((always_inline)) inline void rounds(Word *const *stateWords,
                                                  const char *const *blocks)
{
    // One row of words per lane, turned into one vector per word: rounds of pairing row i
    // with row i + n/2 transpose an n x n matrix.
    constexpr int n = Md5Lanes::kLanes;
    static_assert(n == 8 || n == 16);
    Vec w[Chains][16];
    for (int chain = 0; chain < Chains; ++chain) {
        for (int part = 0; part < 16 / n; ++part) {
            Vec r[n];
            for (int lane = 0; lane < n; ++lane) {
                std::memcpy(&r[lane], blocks[chain * n + lane] + 4 * n * part, sizeof(Vec));
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
                for (int i = 0; i < n; ++i)
                    r[lane][i] = __builtin_bswap32(r[lane][i]);
#endif
            }
            Vec low, high;
            for (int i = 0; i < n / 2; ++i) {
                low[2 * i] = i;
                low[2 * i + 1] = i + n;
                high[2 * i] = i + n / 2;
                high[2 * i + 1] = i + n / 2 + n;
            }
            for (int round = 0; round < (n == 8 ? 3 : 4); ++round) {
                Vec next[n];
                for (int i = 0; i < n / 2; ++i) {
                    next[2 * i] = __builtin_shuffle(r[i], r[i + n / 2], low);
                    next[2 * i + 1] = __builtin_shuffle(r[i], r[i + n / 2], high);
                }
                std::memcpy(r, next, sizeof r);
            }
            for (int i = 0; i < n; ++i)
                w[chain][n * part + i] = r[i];
        }
    }
    Vec state[Chains][4];
    for (int chain = 0; chain < Chains; ++chain)
        std::memcpy(state[chain], stateWords[chain], sizeof state[chain]);
    Vec a[Chains], b[Chains], c[Chains], d[Chains];
    for (int chain = 0; chain < Chains; ++chain) {
        a[chain] = state[chain][0];
        b[chain] = state[chain][1];
        c[chain] = state[chain][2];
        d[chain] = state[chain][3];
    }
#pragma GCC unroll 64
    for (int i = 0; i < 64; ++i) {
        const int s = kShift[(i / 16) * 4 + i % 4];
        const int g = i < 16   ? i
                      : i < 32 ? (5 * i + 1) % 16
                      : i < 48 ? (3 * i + 5) % 16
                               : (7 * i) % 16;
        for (int k = 0; k < Chains; ++k) {
            Vec f;
            if (i < 16)
                f = d[k] ^ (b[k] & (c[k] ^ d[k]));
            else if (i < 32)
                f = c[k] ^ (d[k] & (b[k] ^ c[k]));
            else if (i < 48)
                f = b[k] ^ c[k] ^ d[k];
            else
                f = c[k] ^ (b[k] | ~d[k]);
            const Vec x = a[k] + f + kSine[i] + w[k][g];
            a[k] = d[k];
            d[k] = c[k];
            c[k] = b[k];
            b[k] = b[k] + ((x << s) | (x >> (32 - s)));
        }
    }
    for (int chain = 0; chain < Chains; ++chain) {
        state[chain][0] += a[chain];
        state[chain][1] += b[chain];
        state[chain][2] += c[chain];
        state[chain][3] += d[chain];
        std::memcpy(stateWords[chain], state[chain], sizeof state[chain]);
    }
}

// The x86 build picks the widest vector unit at run time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__)
#define QUILLMAR_WIDEST_VECTORS                                                                    \
    __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define QUILLMAR_WIDEST_VECTORS
#endif

QUILLMAR_WIDEST_VECTORS void compress(Word *stateWords, const char *const *blocks)
{
    Word *const states[1] = {stateWords};
    rounds<1>(states, blocks);
}

// Two sets of lanes at once: `blocks` holds the first set's pointers, then the second's.
QUILLMAR_WIDEST_VECTORS void compressTwo(Word *first, Word *second, const char *const *blocks)
{
    Word *const states[2] = {first, second};
    rounds<2>(states, blocks);
}

} // namespace

// The MD5 state of every lane, fed whole blocks, then closed with the padding.
struct LaneState {
    alignas(64) Word words[4][Md5Lanes::kLanes];

    LaneState()
    {
        const Word init[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < Md5Lanes::kLanes; ++k)
                words[r][k] = init[r];
    }

    // `blocks` 64-byte blocks from each lane's bytes.
    void feed(const char *const *lane, qint64 blocks)
    {
        const char *at[Md5Lanes::kLanes];
        for (qint64 n = 0; n < blocks; ++n) {
            for (int k = 0; k < Md5Lanes::kLanes; ++k)
                at[k] = lane[k] + 64 * n;
            compress(&words[0][0], at);
        }
    }

    // The last `rest` (under 64) bytes of each lane, the 0x80 marker and the length in
    // bits: one or two more blocks.
    void finish(const char *const *lane, int rest, qint64 length)
    {
        const int finalBlocks = rest < 56 ? 1 : 2;
        char last[Md5Lanes::kLanes][128];
        const char *at[Md5Lanes::kLanes];
        for (int k = 0; k < Md5Lanes::kLanes; ++k) {
            std::memset(last[k], 0, sizeof last[k]);
            if (rest > 0)
                std::memcpy(last[k], lane[k], size_t(rest));
            last[k][rest] = char(0x80);
            const quint64 bits = quint64(length) * 8;
            for (int i = 0; i < 8; ++i)
                last[k][finalBlocks * 64 - 8 + i] = char(bits >> (8 * i));
        }
        for (int b = 0; b < finalBlocks; ++b) {
            for (int k = 0; k < Md5Lanes::kLanes; ++k)
                at[k] = last[k] + 64 * b;
            compress(&words[0][0], at);
        }
    }

    void write(int count, char *out) const
    {
        for (int k = 0; k < count; ++k)
            for (int r = 0; r < 4; ++r)
                for (int i = 0; i < 4; ++i)
                    out[16 * k + 4 * r + i] = char(words[r][k] >> (8 * i));
    }
};

void Md5Lanes::digests(const char *const *messages, int count, qint64 length, char *out)
{
    if (count < 1)
        return;
    count = qMin(count, kLanes);
    // Lanes without a message repeat the first one.
    const char *lane[kLanes];
    for (int k = 0; k < kLanes; ++k)
        lane[k] = messages[k < count ? k : 0];
    LaneState state;
    const qint64 whole = length / 64;
    state.feed(lane, whole);
    for (int k = 0; k < kLanes; ++k)
        lane[k] += whole * 64;
    state.finish(lane, int(length % 64), length);
    state.write(count, out);
}

void Md5Lanes::digests(int count, qint64 length, const Reader &read, char *out, bool *ok,
                       char *buffer)
{
    if (count < 1)
        return;
    count = qMin(count, kMessages);
    const int chains = count > kLanes ? 2 : 1;
    std::unique_ptr<char[]> owned;
    if (!buffer) {
        owned.reset(new char[size_t(kPiece * kLanes * chains)]);
        buffer = owned.get();
    }
    const char *lane[kMessages];
    for (int k = 0; k < kLanes * chains; ++k) // lanes without a message repeat the first one's
        lane[k] = buffer + kPiece * (k < count ? k : 0);
    for (int k = 0; k < count; ++k)
        ok[k] = true;
    LaneState state[2];
    const auto feed = [&](const char *const *from, qint64 blocks) {
        const char *at[kMessages];
        for (qint64 b = 0; b < blocks; ++b) {
            for (int k = 0; k < kLanes * chains; ++k)
                at[k] = from[k] + 64 * b;
            if (chains == 2)
                compressTwo(&state[0].words[0][0], &state[1].words[0][0], at);
            else
                compress(&state[0].words[0][0], at);
        }
    };
    const auto finish = [&](const char *const *rest, qint64 n) {
        for (int chain = 0; chain < chains; ++chain)
            state[chain].finish(rest + kLanes * chain, int(n % 64), length);
    };
    for (qint64 offset = 0; offset < length; offset += kPiece) {
        const qint64 n = qMin(kPiece, length - offset);
        for (int k = 0; k < count; ++k) {
            if (ok[k] && !read(k, offset, n, buffer + kPiece * k))
                ok[k] = false;
        }
        feed(lane, n / 64);
        if (n < kPiece) {
            const char *rest[kMessages];
            for (int k = 0; k < kLanes * chains; ++k)
                rest[k] = lane[k] + n / 64 * 64;
            finish(rest, n);
        }
    }
    if (length % kPiece == 0)
        finish(lane, 0);
    state[0].write(qMin(count, kLanes), out);
    if (chains == 2)
        state[1].write(count - kLanes, out + 16 * kLanes);
}
