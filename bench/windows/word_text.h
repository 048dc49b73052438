// Text that compresses about as prose does (to half its size): words of a vocabulary of
// 4,096 in a fixed pseudo-random order. One MiB of it repeats, further apart than deflate looks
// back, so the repeats save nothing and the packer works through every byte at a text's pace.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace revertly::bench {

inline std::string WordText(std::size_t size) {
    constexpr std::size_t kPeriod = 1 << 20;
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::vector<std::string> vocabulary(4096);
    for (std::string& word : vocabulary) {
        for (std::uint32_t letters = 2 + next() % 8; letters > 0; --letters) {
            word += static_cast<char>('a' + next() % 26);
        }
    }
    std::string period;
    while (period.size() < kPeriod) {
        period += vocabulary[next() % vocabulary.size()] + ' ';
    }
    period.resize(kPeriod);
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        text.append(period, 0, std::min(kPeriod, size - text.size()));
    }
    return text;
}

}  // namespace revertly::bench
