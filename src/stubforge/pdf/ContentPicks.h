#pragma once

#include "stubforge/pdf/DocumentSupport.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The random picks the content documents make from their word lists.
namespace stubforge::content {

// An integer from `lowest` to `highest`, both ends included.
inline int randomInt(platform::RandomSource& random, int lowest, int highest) {
    return lowest + static_cast<int>(randomIntBelow(random, static_cast<std::uint64_t>(highest - lowest + 1)));
}

inline std::string randomNumberText(platform::RandomSource& random, int lowest, int highest) {
    return std::to_string(randomInt(random, lowest, highest));
}

// Fisher–Yates from the front: position i swaps with one of i … n − 1.
template <typename T>
void shuffle(std::vector<T>& items, platform::RandomSource& random) {
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const std::size_t j = i + static_cast<std::size_t>(randomIntBelow(random, items.size() - i));
        std::swap(items[i], items[j]);
    }
}

// `count` distinct entries of `list` in random order (all of them when the
// list is shorter).
template <typename T>
std::vector<T> pickSome(std::vector<T> items, std::size_t count, platform::RandomSource& random) {
    shuffle(items, random);
    if (items.size() > count) {
        items.resize(count);
    }
    return items;
}

inline std::vector<std::string> pickSome(std::span<const std::string_view> list, std::size_t count,
                                         platform::RandomSource& random) {
    return pickSome(std::vector<std::string>(list.begin(), list.end()), count, random);
}

inline std::string pickOne(std::span<const std::string_view> list, platform::RandomSource& random) {
    return std::string(list[static_cast<std::size_t>(randomIntBelow(random, list.size()))]);
}

}  // namespace stubforge::content
