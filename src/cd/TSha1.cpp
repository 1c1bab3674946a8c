#include "cd/TSha1.h"

#include <vector>

namespace kestrune {

namespace {

constexpr std::uint32_t Rotl(std::uint32_t Value, int Bits)
{
    return (Value << Bits) | (Value >> (32 - Bits));
}

} // namespace

TSha1::TDigest TSha1::Of(std::string_view Text)
{
    std::vector<std::uint8_t> message(Text.begin(), Text.end());
    const std::uint64_t bitLength = static_cast<std::uint64_t>(Text.size()) * 8U;
    message.push_back(0x80);
    while (message.size() % 64 != 56)
        message.push_back(0);
    for (int shift = 56; shift >= 0; shift -= 8)
        message.push_back(static_cast<std::uint8_t>(bitLength >> shift));

    std::array<std::uint32_t, 5> h{0x67452301U, 0xEFCDAB89U, 0x98BADCFEU, 0x10325476U, 0xC3D2E1F0U};
    std::array<std::uint32_t, 80> w{};
    for (std::size_t block = 0; block < message.size(); block += 64) {
        for (std::size_t i = 0; i < 16; ++i) {
            const std::size_t at = block + i * 4;
            w[i] = (std::uint32_t{message[at]} << 24) | (std::uint32_t{message[at + 1]} << 16) |
                   (std::uint32_t{message[at + 2]} << 8) | std::uint32_t{message[at + 3]};
        }
        for (std::size_t i = 16; i < 80; ++i)
            w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (std::size_t i = 0; i < 80; ++i) {
            std::uint32_t f = 0, k = 0;
            if (i < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999U;
            } else if (i < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1U;
            } else if (i < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDCU;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6U;
            }
            const std::uint32_t next = Rotl(a, 5) + f + e + k + w[i];
            e = d;
            d = c;
            c = Rotl(b, 30);
            b = a;
            a = next;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    TDigest digest{};
    for (std::size_t i = 0; i < 5; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
    return digest;
}

} // namespace kestrune
