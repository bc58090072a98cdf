// Script runtime speed. A counting loop run to the instruction limit gives
// the time per evaluation (aim: a million evaluations under 0.3 s), and one
// collection over 100,000 live containers (aim: under 20 ms).
#include "BenchTiming.h"
#include "ScriptEntities.h"

#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/ScriptRuntime.h"

#include <bit>
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace {

using bench::peakResidentMegabytes;
using bench::secondsFor;

using kit::measurement::MessageType;
using kit::measurement::NanoMessageInfo;
using kit::measurement::NanoMessageList;
using namespace kit::measurement::script;

using bench::number;
using bench::text;

NanoMessageInfo boolean(bool value) {
    NanoMessageInfo entity(MessageType::RuntimeEntity);
    entity.slots[0] = std::uint64_t{3};
    entity.slots[4] = std::uint64_t{value ? 1u : 0u};
    return entity;
}

template <typename... Children>
NanoMessageInfo statement(std::string name, Children&&... children) {
    NanoMessageInfo entity(MessageType::RuntimeEntity);
    entity.slots[0] = std::uint64_t{4};
    entity.slots[2] = std::move(name);
    auto& list = std::get<NanoMessageList>(entity.slots[1]);
    (list.push_back(std::forward<Children>(children)), ...);
    return entity;
}

}  // namespace

int main() {
    // i = i + 1 in a loop until the limit: each iteration reads, adds, assigns.
    std::vector<NanoMessageInfo> loop;
    loop.push_back(statement("41", text("i")));
    loop.push_back(statement("3", text("i"), number(0)));
    loop.push_back(statement("42", boolean(true),
                             statement("3", text("i"), statement("0", statement("15", text("i")), number(1))),
                             boolean(false), statement("46")));
    MSRPRuntime runtime;
    ScriptError error;
    double loopSeconds = secondsFor([&] { runtime.executeStatements(loop, error); });
    int evaluations = runtime.getInstructionCount();
    std::printf("evaluations to the limit: %d (error %d)\n", evaluations, error ? error->code() : 0);
    std::printf("loop: %.3f s, %.1f ns per evaluation (aim: under 300 ns)\n", loopSeconds,
                loopSeconds * 1e9 / evaluations);

    // 100,000 live maps, each holding a small array, kept in one array.
    std::vector<NanoMessageInfo> build;
    build.push_back(statement("41", text("keep"), text("n")));
    build.push_back(statement("3", text("keep"), statement("7")));
    build.push_back(statement("3", text("n"), number(0)));
    build.push_back(statement("42", statement("23", statement("15", text("n")), number(50000)),
                              statement("3", text("n"), statement("0", statement("15", text("n")), number(1))),
                              boolean(false),
                              statement("46", statement("43", statement("15", text("keep")), statement("15", text("n")),
                                                        statement("8", text("a"), statement("7", number(1)))))));
    runtime.resetInstructionCount();
    error.reset();
    runtime.executeStatements(build, error);
    std::size_t tracked = runtime.objectManager().trackedObjects().size();
    double collectionSeconds = secondsFor([&] { runtime.collectGarbage(); });
    std::printf("collection over %zu live containers: %.2f ms (aim: under 20 ms for 100,000)\n", tracked,
                collectionSeconds * 1e3);
    return 0;
}
