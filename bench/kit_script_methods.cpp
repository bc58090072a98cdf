// Array and string method speed: ns per element for "indexOf", "join",
// "split" and "sort" without a comparator on 100,000 elements, and "sort" with
// a script comparator on 5,000 (aim: under 0.2 s; the instruction limit allows
// about 150,000 comparator calls).
#include "kit/measurement/script/MSRPArrayValue.h"
#include "kit/measurement/script/ScriptRuntime.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <utility>

namespace {

using namespace kit::measurement::script;

ValueRef text(std::u16string value) { return makeRef<MSRPStringValue>(std::move(value)); }

ValueRef statement(std::u16string name, ValueList arguments) {
    return makeRef<MSRPStatementValue>(std::move(name), std::move(arguments));
}

// (2 (15 receiver) method (7 arguments...))
ValueRef methodCall(std::u16string receiver, std::u16string method, ValueList arguments) {
    return statement(u"2", {statement(u"15", {text(std::move(receiver))}), text(std::move(method)),
                            statement(u"7", std::move(arguments))});
}

struct Timing {
    double seconds = 1e9;
    int errorCode = 0;
};

// The best of a few runs, each a fresh run of the runtime.
Timing best(MSRPRuntime& runtime, const ValueRef& program, int repetitions) {
    Timing timing;
    for (int repetition = 0; repetition < repetitions; ++repetition) {
        runtime.resetInstructionCount();
        ScriptError error;
        auto start = std::chrono::steady_clock::now();
        ValueRef result = runtime.executeValues(std::span<const ValueRef>(&program, 1), error);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        timing.seconds = std::min(timing.seconds, seconds);
        timing.errorCode = error ? error->code() : 0;
        result = nullptr;
        runtime.collectGarbage();
    }
    return timing;
}

void report(const char* name, const Timing& timing, std::size_t elements) {
    std::printf("%-34s %8.3f ms  %7.1f ns per element%s\n", name, timing.seconds * 1e3,
                timing.seconds * 1e9 / static_cast<double>(elements),
                timing.errorCode != 0 ? "  (ended with an error)" : "");
}

}  // namespace

int main() {
    constexpr std::size_t count = 100000;
    constexpr std::size_t comparatorCount = 5000;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> draw(0, 1e6);

    MSRPRuntime runtime;
    ValueList numbers;
    for (std::size_t position = 0; position < count; ++position) {
        numbers.push_back(makeRef<MSRPNumberValue>(std::floor(draw(random))));
    }
    runtime.globalScope().addValue(makeRef<MSRPArrayValue>(numbers), u"numbers");
    ValueList few(numbers.begin(), numbers.begin() + comparatorCount);
    runtime.globalScope().addValue(makeRef<MSRPArrayValue>(few), u"few");
    std::u16string list;
    for (std::size_t position = 0; position < count; ++position) {
        list += position == 0 ? u"abc" : u",abc";
    }
    runtime.globalScope().addValue(text(list), u"list");

    report("indexOf (missing value)", best(runtime, methodCall(u"numbers", u"indexOf", {text(u"missing")}), 5), count);
    report("join", best(runtime, methodCall(u"numbers", u"join", {text(u",")}), 5), count);
    report("split", best(runtime, methodCall(u"list", u"split", {text(u",")}), 5), count);
    // Each run sorts a fresh copy, so no run sees sorted input.
    ValueRef copyThenSort = statement(u"2", {methodCall(u"numbers", u"slice", {}), text(u"sort"), statement(u"7", {})});
    report("sort without a comparator", best(runtime, copyThenSort, 3), count);

    // function (x, y) { return x - y; }
    ValueRef comparator = statement(
        u"51",
        {text(u""), statement(u"7", {text(u"x"), text(u"y")}),
         statement(u"36", {statement(u"37", {statement(u"15", {text(u"x")}), statement(u"15", {text(u"y")})})})});
    ValueRef copyThenSortWith =
        statement(u"2", {methodCall(u"few", u"slice", {}), text(u"sort"), statement(u"7", {comparator})});
    Timing withComparator = best(runtime, copyThenSortWith, 3);
    report("sort with a script comparator", withComparator, comparatorCount);
    std::printf("sort of %zu with a script comparator: %.3f s (aim: under 0.2 s)\n", comparatorCount,
                withComparator.seconds);
    return 0;
}
