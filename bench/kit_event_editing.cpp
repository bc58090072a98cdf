// Event editing speed: events per second through a program of 10 edit and 2
// create callbacks, each event's collection included (aim: at least 20,000).
#include "BenchTiming.h"
#include "ScriptEntities.h"

#include "kit/measurement/messages/NanoMessageInfo.h"
#include "kit/measurement/script/MSRPEventEditing.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace {

using kit::measurement::MessageType;
using kit::measurement::MSRPEvent;
using kit::measurement::NanoMessageInfo;
using kit::measurement::NanoMessageList;
using platform::Value;

using bench::number;
using bench::text;

NanoMessageInfo statement(std::string name, std::vector<NanoMessageInfo> children = {}) {
    NanoMessageInfo entity(MessageType::RuntimeEntity);
    entity.slots[0] = std::uint64_t{4};
    entity.slots[2] = std::move(name);
    auto& list = std::get<NanoMessageList>(entity.slots[1]);
    for (NanoMessageInfo& child : children) {
        list.push_back(std::move(child));
    }
    return entity;
}

template <typename... Children>
std::vector<NanoMessageInfo> list(Children&&... children) {
    std::vector<NanoMessageInfo> entities;
    (entities.push_back(std::forward<Children>(children)), ...);
    return entities;
}

NanoMessageInfo read(std::string name) { return statement("15", list(text(std::move(name)))); }

// e.<method>(arguments…)
NanoMessageInfo eventCall(std::string method, std::vector<NanoMessageInfo> arguments = {}) {
    return statement("2", list(read("e"), text(std::move(method)), statement("7", std::move(arguments))));
}

// reg(0, function (e) { body…; return result; }, { type: type })
NanoMessageInfo registration(const char* type, NanoMessageInfo body, double result) {
    auto function = statement(
        "51", list(text(""), statement("7", list(text("e"))), std::move(body), statement("36", list(number(result)))));
    return statement("reg", list(number(0), std::move(function), statement("8", list(text("type"), text(type)))));
}

NanoMessageInfo program() {
    NanoMessageInfo record(MessageType::Program);
    auto& instructions = std::get<NanoMessageList>(record.slots[0]);
    instructions.push_back(statement("41", list(text("reg"), text("log"))));
    instructions.push_back(
        statement("3", list(text("reg"), statement("require", list(text("internal.registerCallback"))))));
    instructions.push_back(statement("3", list(text("log"), statement("require", list(text("internal.eventLogger"))))));
    std::vector<NanoMessageInfo> rule = list(text("rule"), statement("7", list(text("r"))));
    for (int index = 0; index < 10; ++index) {
        auto sum = statement("0", list(eventCall("getParamValue", list(text("value"))), number(index)));
        rule.push_back(registration(
            "edit", eventCall("setParamValue", list(text("p" + std::to_string(index)), std::move(sum))), 1));
    }
    for (int index = 0; index < 2; ++index) {
        auto name = statement("0", list(eventCall("getEventName"), text("_copy")));
        rule.push_back(registration(
            "create", statement("log", list(std::move(name), eventCall("getTimestamp"), eventCall("getParams"))), 0));
    }
    instructions.push_back(statement("50", std::move(rule)));
    auto activities = std::make_unique<NanoMessageInfo>(MessageType::OgtActivities);
    NanoMessageInfo activity(MessageType::OgtActivity);
    activity.slots[0] = std::string("rule");
    std::get<NanoMessageList>(activity.slots[1]).push_back(statement("8"));
    std::get<NanoMessageList>(activities->slots[0]).push_back(std::move(activity));
    record.slots[1] = std::move(activities);
    return record;
}

}  // namespace

int main() {
    kit::measurement::script::MSRPEventEditing editing;
    if (!editing.loadProgram(program())) {
        std::fprintf(stderr, "the program did not load\n");
        return EXIT_FAILURE;
    }
    const MSRPEvent event(
        "purchase", 1700000000.5,
        {{"value", Value(9.99)},
         {"currency", Value("EUR")},
         {"quantity", Value(std::int64_t{2})},
         {"_o", Value("app")},
         {"items", Value(Value::Array{Value(Value::Dictionary{{"item_id", Value("a")}, {"price", Value(1.5)}}),
                                      Value(Value::Dictionary{{"item_id", Value("b")}, {"price", Value(2.5)}})})}});
    constexpr int events = 20'000;
    std::size_t created = 0;
    bool failed = false;
    const double seconds = bench::secondsFor([&] {
        for (int round = 0; round < events; ++round) {
            auto handled = editing.handleEvent(event);
            failed = failed || !handled || !*handled;
            created += editing.eventsToLog().size();
        }
    });
    if (failed || created != 2u * events) {
        std::fprintf(stderr, "the program did not edit every event\n");
        return EXIT_FAILURE;
    }
    std::printf("event editing: %d events in %.3f s, %.0f events/s (aim: at least 20000), peak %.1f MB\n", events,
                seconds, events / seconds, bench::peakResidentMegabytes());
    return EXIT_SUCCESS;
}
