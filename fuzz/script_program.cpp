// Builds program entity trees from the input bytes and runs them, twice,
// with a collection in between and the runtime dropped at the end.

#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/ScriptRuntime.h"
#include "kit/measurement/script/ScriptValues.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace {

using kit::measurement::MessageType;
using kit::measurement::NanoMessageInfo;
using kit::measurement::NanoMessageList;

class TreeBuilder {
public:
    TreeBuilder(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::vector<NanoMessageInfo> program() {
        std::vector<NanoMessageInfo> entities;
        std::size_t count = 1 + next() % 8;
        for (std::size_t index = 0; index < count && position_ < size_; ++index) {
            entities.push_back(entity(0));
        }
        return entities;
    }

private:
    static constexpr std::array<std::string_view, 12> names = {
        "a", "b", "x", "i", "f", "require", "runtime.counter", "internal.platform", "length", "toString",
        "getVersion", "hasOwnProperty"};
    static constexpr std::array<double, 12> numbers = {
        0, 1, 2, -1, 0.5, 1e19, 3000000000, 1e21, 999999, std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -0.0};

    std::uint8_t next() { return position_ < size_ ? data_[position_++] : 0; }

    NanoMessageInfo entity(int depth) {
        ++nodes_;
        NanoMessageInfo record(MessageType::RuntimeEntity);
        std::uint8_t choice = next();
        switch (choice % 10) {
            case 0:
                record.slots[0] = std::uint64_t{1};
                record.slots[3] = std::string(names[next() % names.size()]);
                break;
            case 1:
                record.slots[0] = std::uint64_t{2};
                record.slots[5] = std::bit_cast<std::uint64_t>(numbers[next() % numbers.size()]);
                break;
            case 2:
                record.slots[0] = std::uint64_t{3};
                record.slots[4] = std::uint64_t{next() & 1u};
                break;
            case 9:
                // Entities a server should never send.
                if (choice & 0x10) {
                    record.slots[0] = std::uint64_t{choice};
                } else if (choice & 0x20) {
                    record.slots[0] = std::uint64_t{4};
                }
                break;
            default: {
                record.slots[0] = std::uint64_t{4};
                std::uint8_t name = next();
                record.slots[2] = name < 200 ? std::to_string(name % 70) : std::string(names[name % names.size()]);
                std::size_t children = next() % 6;
                auto& list = std::get<NanoMessageList>(record.slots[1]);
                for (std::size_t child = 0; child < children && depth < 60 && nodes_ < 600; ++child) {
                    list.push_back(entity(depth + 1));
                }
                break;
            }
        }
        return record;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::size_t nodes_ = 0;
};

using namespace kit::measurement::script;

void runProgram(MSRPRuntime& runtime, const std::vector<NanoMessageInfo>& program) {
    // Most runs should not spend a million evaluations: start near the limit.
    runtime.resetInstructionCount();
    runtime.objectManager().executionState().instructionCount = limits::instructionLimit - 20000;
    ScriptError error;
    ValueRef result = runtime.executeStatements(program, error);
    if (!error) {
        ScriptError conversion;
        result->stringValueOrError(conversion);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TreeBuilder builder(data, size);
    std::vector<NanoMessageInfo> program = builder.program();
    {
        MSRPRuntime runtime;
        runtime.setModuleCreator([] { return ValueRef(); }, u"a");
        runProgram(runtime, program);
        runtime.collectGarbage();
        runProgram(runtime, program);
        runtime.collectGarbage();
    }
    return 0;
}
