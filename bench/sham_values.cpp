// Fake values per second over a round robin of the operations behind the 91
// column value types, on the shipped "en" data and one core.
//
//   bench-sham-values [--values N] [--seed S] [--locale-dir PATH]

#include "stubforge/core/ColumnDataType.h"

#include "sham/Config.h"
#include "sham/Faker.h"

#include "platform/Bundle.h"
#include "platform/Random.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using stubforge::CSVColumnDataType;

// The engine operation behind each column value type, as the writers call it.
struct Kind {
    std::string_view name;
    CSVColumnDataType type;
};

std::vector<Kind> kinds() {
    std::vector<Kind> table;
    for (const CSVColumnDataType type : stubforge::allCases<CSVColumnDataType>()) {
        table.push_back(Kind{stubforge::rawValue(type), type});
    }
    return table;
}

}  // namespace

int main(int argc, char** argv) {
    long long totalValues = 2'000'000;
    std::uint64_t seed = 1;
    sham::Config config = sham::Config::inResources(platform::Bundle::main().resourcePath());
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string_view option = argv[index];
        if (option == "--values") {
            totalValues = std::atoll(argv[index + 1]);
        } else if (option == "--seed") {
            seed = std::strtoull(argv[index + 1], nullptr, 10);
        } else if (option == "--locale-dir") {
            config = sham::Config::inFolder(argv[index + 1]);
        } else {
            std::fprintf(stderr, "usage: bench-sham-values [--values N] [--seed S] [--locale-dir PATH]\n");
            return 2;
        }
    }

    const std::vector<Kind> table = kinds();
    platform::SeededRandom random(seed);
    sham::Faker faker("en", config, random);

    std::vector<double> secondsPerKind(table.size());
    std::vector<long long> valuesPerKind(table.size());
    std::size_t bytes = 0;
    std::size_t emptyValues = 0;
    const auto start = std::chrono::steady_clock::now();
    constexpr int batch = 64;
    for (long long produced = 0; produced < totalValues;) {
        for (std::size_t kind = 0; kind < table.size() && produced < totalValues; ++kind) {
            const auto kindStart = std::chrono::steady_clock::now();
            for (int repeat = 0; repeat < batch; ++repeat) {
                const std::string value = stubforge::fakeJSONValue(table[kind].type, faker);
                bytes += value.size();
                emptyValues += value.empty();
            }
            secondsPerKind[kind] += std::chrono::duration<double>(std::chrono::steady_clock::now() - kindStart).count();
            valuesPerKind[kind] += batch;
            produced += batch;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long long produced = 0;
    for (const long long count : valuesPerKind) {
        produced += count;
    }

    std::printf("sham values: %zu kinds, %lld values in %.3f s\n", table.size(), produced, seconds);
    std::printf("  values per second: %.0f (target 500000)\n", static_cast<double>(produced) / seconds);
    std::printf("  mean value length: %.1f bytes; empty values: %zu\n",
                static_cast<double>(bytes) / static_cast<double>(produced), emptyValues);

    std::vector<std::size_t> order(table.size());
    for (std::size_t index = 0; index < order.size(); ++index) {
        order[index] = index;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
        return secondsPerKind[left] / static_cast<double>(valuesPerKind[left]) >
               secondsPerKind[right] / static_cast<double>(valuesPerKind[right]);
    });
    std::printf("  slowest kinds (ns per value):\n");
    for (std::size_t rank = 0; rank < 5 && rank < order.size(); ++rank) {
        const std::size_t kind = order[rank];
        std::printf("    %-36.*s %8.0f\n", static_cast<int>(table[kind].name.size()), table[kind].name.data(),
                    secondsPerKind[kind] / static_cast<double>(valuesPerKind[kind]) * 1e9);
    }
    return emptyValues == 0 ? 0 : 1;
}
