#include "EditingTestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>

namespace script_test {
namespace {

// A parameter with its kind: "i:5", "d:2.7", "s:text", "b:true", "[…]", "{k=…}".
std::string describeParameter(const Value& value) {
    std::ostringstream text;
    if (value.isInteger()) {
        text << "i:" << *value.asInteger();
    } else if (value.isDouble()) {
        text << "d:" << *value.asDouble();
    } else if (value.isString()) {
        text << "s:" << *value.asString();
    } else if (value.isBool()) {
        text << "b:" << (*value.asBool() ? "true" : "false");
    } else if (const auto* list = value.asArray()) {
        text << "[";
        for (std::size_t index = 0; index < list->size(); ++index) {
            text << (index ? "," : "") << describeParameter((*list)[index]);
        }
        text << "]";
    } else if (const auto* dictionary = value.asDictionary()) {
        text << "{";
        bool first = true;
        for (const auto& [key, entry] : *dictionary) {
            text << (first ? "" : ",") << key << "=" << describeParameter(entry);
            first = false;
        }
        text << "}";
    } else {
        text << "?";
    }
    return text.str();
}

// "name@timestamp{parameters}".
std::string describeEvent(const MSRPEvent& event) {
    std::ostringstream text;
    text << event.name() << "@" << event.timestamp()
         << describeParameter(Value(platform::Value::Dictionary(event.parameters())));
    return text.str();
}

const MSRPEvent inputEvent("purchase", 100.5,
                           {{"i", Value(std::int64_t{5})},
                            {"d", Value(5.5)},
                            {"_x", Value(std::int64_t{1})},
                            {"_err", Value("bad")},
                            {"s", Value("text")}});

struct Handled {
    std::string load;
    std::string result;  // "true", "false" or the error
    bool hasEdits = false;
    std::string output;
    std::vector<std::string> created;
};

Handled handle(const std::string& registrations, const MSRPEvent& event = inputEvent, const std::string& prelude = "") {
    MSRPEventEditing editing;
    Handled handled;
    handled.load = loadText(editing, registrationProgram(registrations, prelude));
    auto result = editing.handleEvent(event);
    handled.result = result ? (*result ? "true" : "false") : errorText(result.error());
    handled.hasEdits = editing.hasEdits();
    handled.output = describeEvent(editing.outputEvent());
    for (const MSRPEvent& created : editing.eventsToLog()) {
        handled.created.push_back(describeEvent(created));
    }
    return handled;
}

std::vector<std::int64_t> editPriorities(const std::string& registrations) {
    MSRPEventEditing editing;
    EXPECT_EQ(loadText(editing, registrationProgram(registrations)), "ok");
    std::vector<std::int64_t> priorities;
    for (const auto& [priority, function] : editing.callbackHandler().editCallbacks()) {
        priorities.push_back(priority);
    }
    return priorities;
}

// A callback that appends `mark` to the event name and keeps the change.
std::string appending(std::string_view mark, std::string_view priority) {
    return callback(
        "edit",
        call("setEventName", R"((0 )" + call("getEventName") + R"( ")" + std::string(mark) + R"("))") + " (36 0)",
        priority);
}

TEST(EventEditingPriorities, TakenPrioritiesMovePastTheLargest) {
    const std::string keep = "(36 0)";
    EXPECT_EQ(editPriorities(callback("edit", keep, "5") + callback("edit", keep, "5") + callback("edit", keep, "5")),
              (std::vector<std::int64_t>{5, 6, 7}));
    EXPECT_EQ(editPriorities(callback("edit", keep, "10") + callback("edit", keep, "3") + callback("edit", keep, "3")),
              (std::vector<std::int64_t>{3, 10, 11}));
    EXPECT_EQ(editPriorities(callback("edit", keep)), (std::vector<std::int64_t>{1000}));
    EXPECT_EQ(editPriorities(callback("edit", keep, "4294967297")), (std::vector<std::int64_t>{1}));
    EXPECT_EQ(editPriorities(callback("edit", keep, "2.9") + callback("edit", keep, "-2.9")),
              (std::vector<std::int64_t>{-2, 2}));
}

TEST(EventEditingPriorities, RunInAscendingOrder) {
    EXPECT_EQ(handle(appending("a", "0") + appending("b", "-1")).output.substr(0, 11), "purchaseba@");
    // The largest 32-bit priority taken twice: both run, the first one first.
    Handled largest = handle(appending("a", "2147483647") + appending("b", "2147483647"));
    EXPECT_EQ(largest.result, "true");
    EXPECT_EQ(largest.output.substr(0, 11), "purchaseab@");
}

TEST(EventEditingPriorities, TheThousandthRegistrationIsTheLast) {
    std::string registrations;
    for (int index = 0; index < 999; ++index) {
        registrations += callback(index % 2 ? "edit" : "create", "(36 0)");
    }
    MSRPEventEditing editing;
    EXPECT_EQ(loadText(editing, registrationProgram(registrations + callback("create", "(36 0)"))), "ok");
    MSRPEventEditing full;
    EXPECT_EQ(
        loadText(full, registrationProgram(registrations + callback("create", "(36 0)") + callback("edit", "(36 0)"))),
        "editing:4");
    EXPECT_EQ(full.callbackHandler().editCallbacks().size() + full.callbackHandler().createCallbacks().size(), 1000u);
}

TEST(EventEditingResults, OnlyZeroAndOneStyleResultsKeepChanges) {
    const std::string change = call("setParamValue", R"("s" "changed")");
    const std::string observer =
        callback("edit", call("setParamValue", R"("seen" )" + call("getParamValue", R"("s")")) + " (36 0)", "20");
    struct Case {
        const char* ending;
        const char* seen;
    };
    const Case cases[] = {
        {"", "s:text"},                 // no return: the last value, a string
        {"(36)", "s:text"},             // return of undefined
        {"(36 2)", "s:text"},           // undone
        {"(36 -1)", "s:text"},          // undone
        {"(36 4294967295)", "s:text"},  // -1 modulo 2^32
        {R"((36 "1"))", "s:text"},      // not a number
        {"(36 0)", "s:changed"},
        {"(36 1)", "s:changed"},
        {"(36 7)", "s:changed"},
    };
    for (const Case& entry : cases) {
        Handled handled = handle(callback("edit", change + " " + entry.ending, "10") + observer);
        EXPECT_NE(handled.output.find("seen=" + std::string(entry.seen)), std::string::npos)
            << entry.ending << " " << handled.output;
        EXPECT_EQ(handled.result, "true") << entry.ending;
    }
}

TEST(EventEditingResults, AnUntouchedEventIsNoEdit) {
    Handled handled = handle(callback("edit", call("getParams") + " (36 1)") + callback("create", "(36 1)"));
    EXPECT_EQ(handled.result, "false");
    EXPECT_FALSE(handled.hasEdits);
    EXPECT_TRUE(handled.created.empty());
}

TEST(EventEditingCoercion, NewValuesFitTheParameterTheyReplace) {
    std::string sets;
    for (const char* name : {"i", "d", "_x", "_err", "s", "fresh"}) {
        sets += call("setParamValue", "\"" + std::string(name) + "\" 2.7") + " ";
    }
    Handled handled = handle(callback("edit", sets + "(36 1)"));
    EXPECT_EQ(handled.result, "true");
    EXPECT_EQ(handled.output, "purchase@100.5{_err=i:2,_x=i:1,d=d:2.7,fresh=d:2.7,i=i:2,s=s:2.7}");
}

TEST(EventEditingCoercion, CreatedEventsFitTheInputAndTruncateTimestamps) {
    Handled handled = handle(callback("create", R"((log "made" 12.9 (8 "i" 9.9 "d" 9.9 "n" true "t" "x")))"
                                                R"( (log "early" -3.5 (8 "gone" (45))))"));
    EXPECT_EQ(handled.result, "true");
    EXPECT_FALSE(handled.hasEdits);
    ASSERT_EQ(handled.created.size(), 2u);
    EXPECT_EQ(handled.created[0], "made@12{d=d:9.9,i=i:9,n=d:1,t=s:x}");
    EXPECT_EQ(handled.created[1], "early@-3{}");
}

TEST(EventEditingCoercion, AnIntegerBecomingADoubleIsAnEdit) {
    const MSRPEvent event("e", 1, {{"n", Value(std::int64_t{3})}});
    Handled handled = handle(
        callback("edit", call("setParamValue", R"("n" (45))") + " " + call("setParamValue", R"("n" 3)") + " (36 1)"),
        event);
    EXPECT_EQ(handled.output, "e@1{n=d:3}");
    EXPECT_TRUE(handled.hasEdits);
    // Setting the integer again through the coercion keeps it an integer.
    Handled same = handle(callback("edit", call("setParamValue", R"("n" 3)") + " (36 1)"), event);
    EXPECT_EQ(same.output, "e@1{n=i:3}");
    EXPECT_FALSE(same.hasEdits);
    EXPECT_EQ(same.result, "false");
}

TEST(EventEditingCoercion, ARemovedParameterIsAnEdit) {
    Handled handled = handle(callback("edit", call("setParamValue", R"("s" (45))") + " (36 1)"));
    EXPECT_EQ(handled.result, "true");
    EXPECT_TRUE(handled.hasEdits);
    EXPECT_EQ(handled.output.find("s=s:text"), std::string::npos);
}

TEST(EventEditingAccess, CallbacksReadTheOutputEvent) {
    Handled reads = handle(
        callback("edit", call("setParamValue", R"("name" )" + call("getEventName")) + " " +
                             call("setParamValue", R"("time" )" + call("getTimestamp")) + " " +
                             call("setParamValue", R"("copy" (16 )" + call("getParams") + R"( "list"))") + " " +
                             call("setParamValue", R"("none" )" + call("getParamValue", R"("absent")")) + " (36 1)"),
        MSRPEvent("ev", 7.25, {{"list", Value(Value::Array{Value(1), Value(true)})}}));
    EXPECT_EQ(reads.result, "true");
    EXPECT_EQ(reads.output, "ev@7.25{copy=[d:1,d:1],list=[i:1,b:true],name=s:ev,time=d:7.25}");
}

TEST(EventEditingAccess, TextsCrossAsUtf8) {
    Handled handled = handle(
        callback(
            "edit",
            call("setEventName", std::string(R"((0 "a" (0 (2 ")") + "\xF0\x9F\x98\x80" + R"(" "charAt" (7 0)) "b")))") +
                " " + call("setParamValue", R"("t" (0 )" + call("getParamValue", R"("bad")") + R"( "\u00E9"))") +
                " (36 1)"),
        MSRPEvent("e", 1, {{"bad", Value(std::string("x\xFFy"))}}));
    EXPECT_EQ(handled.result, "true");
    EXPECT_EQ(handled.output,
              "a\xEF\xBF\xBD"
              "b@1{bad=s:x\xFFy,t=s:x\xEF\xBF\xBDy\xC3\xA9}");
}

TEST(EventEditingAccess, ArgumentsAreCheckedAfterEvaluation) {
    EXPECT_EQ(handle(callback("edit", call("setEventName", "(44)"))).result, "script:10");
    EXPECT_EQ(handle(callback("edit", call("setEventName", "(45)"))).result, "script:10");
    EXPECT_EQ(handle(callback("edit", call("getEventName", "1"))).result, "script:9");
    EXPECT_EQ(handle(callback("edit", call("setParamValue", R"("a")"))).result, "script:9");
    EXPECT_EQ(handle(callback("edit", call("getParamValue", R"("a" "b")"))).result, "script:9");
    EXPECT_EQ(handle(callback("edit", R"((log "a" 1 5))")).result, "script:10");
    EXPECT_EQ(handle(callback("edit", R"((log "a" 1))")).result, "script:9");
    // A failing callback stops the event: the output is the input again.
    Handled failed = handle(callback("edit", call("setEventName", R"("renamed")") + " (36 0)", "1") +
                            callback("edit", call("setEventName", "(45)"), "2"));
    EXPECT_EQ(failed.result, "script:10");
    EXPECT_EQ(failed.output.substr(0, 9), "purchase@");
}

TEST(EventEditingErrors, LoadingFailures) {
    struct Case {
        std::string instructions;
        std::vector<Activity> activities;
        const char* expected;
    };
    const std::string reg = R"((41 "reg") (3 "reg" (require "internal.registerCallback")) )";
    const Case cases[] = {
        {reg + R"((50 "rule" (7) (reg 0 (51 "" (7)) (8))))", {{"rule", "(8)"}}, "editing:2"},
        {reg + R"((50 "rule" (7) (reg 0 (51 "" (7)) (8 "type" "Edit"))))", {{"rule", "(8)"}}, "editing:3"},
        {reg + R"((36 1))", {{"rule", "(8)"}}, "editing:5"},
        {reg + R"((50 "rule" (7)))", {{"rule", "5"}}, "editing:6"},
        {reg, {{"missing", "(8)"}}, "editing:7"},
        {reg + R"((41 "rule") (3 "rule" 5))", {{"rule", "(8)"}}, "editing:7"},
        {reg + R"((50 "rule" (7) (reg 0 1 (8 "type" "edit"))))", {{"rule", "(8)"}}, "script:10"},
        {reg + R"((50 "rule" (7) (reg 0 (51 "" (7)) 5)))", {{"rule", "(8)"}}, "script:10"},
        {reg + R"((50 "rule" (7) (reg 0 (51 "" (7)))))", {{"rule", "(8)"}}, "script:9"},
        {reg + R"((50 "rule" (7) (reg 0 (51 "" (7)) (8 "type" "edit" "priority" (8 "valueOf" 1)))))",
         {{"rule", "(8)"}},
         "ok"},
        {R"({t=9})", {}, "script:12"},
        {R"({t=4})", {}, "script:14"},
    };
    for (const Case& entry : cases) {
        MSRPEventEditing editing;
        EXPECT_EQ(loadText(editing, makeProgram(entry.instructions, entry.activities)), entry.expected)
            << entry.instructions;
    }
}

TEST(EventEditingErrors, AProgramEndingInReturnRegistersNoRule) {
    MSRPEventEditing editing;
    EXPECT_EQ(loadText(editing, makeProgram(R"((41 "reg") (3 "reg" (require "internal.registerCallback"))
        (50 "rule" (7) (reg 0 (51 "" (7)) (8 "type" "edit"))) (36))",
                                            {{"rule", "(8)"}})),
              "editing:5");
    EXPECT_TRUE(editing.callbackHandler().editCallbacks().empty());
}

// Faults the editing had to be mended for.

TEST(EventEditingMends, ACallbackRegisteredDuringAnEventRunsFromTheNextOne) {
    MSRPEventEditing editing;
    const std::string late = callback("edit", call("setParamValue", R"("late" 1)") + " (36 1)");
    ASSERT_EQ(loadText(editing, registrationProgram(callback("edit", late + " (36 1)"))), "ok");
    ASSERT_TRUE(editing.handleEvent(MSRPEvent("a", 1, {})));
    EXPECT_FALSE(editing.outputEvent().hasParameterName("late"));
    EXPECT_EQ(editing.callbackHandler().editCallbacks().size(), 2u);
    ASSERT_TRUE(editing.handleEvent(MSRPEvent("b", 1, {})));
    EXPECT_TRUE(editing.outputEvent().hasParameterName("late"));
}

TEST(EventEditingMends, ContainersHoldingThemselvesDoNotConvert) {
    const std::string cyclicMap = R"((41 "m") (3 "m" (8)) (43 (15 "m") "self" (15 "m")) )";
    const std::string cyclicArray = R"((41 "a") (3 "a" (7 1)) (2 (15 "a") "push" (7 (15 "a"))) )";
    EXPECT_EQ(handle(callback("edit", cyclicMap + call("setParamValue", R"("p" (15 "m"))"))).result, "script:10");
    EXPECT_EQ(handle(callback("edit", cyclicArray + call("setParamValue", R"("p" (15 "a"))"))).result, "script:10");
    EXPECT_EQ(handle(callback("create", cyclicMap + R"((log "n" 1 (15 "m")))")).result, "script:10");
    // Sharing without a cycle converts.
    Handled shared = handle(callback(
        "edit", R"((41 "m") (3 "m" (8 "k" 1)) )" + call("setParamValue", R"("p" (7 (15 "m") (15 "m")))") + " (36 1)"));
    EXPECT_EQ(shared.result, "true");
    EXPECT_NE(shared.output.find("p=[{k=d:1},{k=d:1}]"), std::string::npos);
    // Nesting past the depth bound, built without recursion.
    const std::string deep = R"((41 "a" "i") (3 "a" (7)) (3 "i" 0)
        (42 (23 (15 "i") 1100) (3 "i" (0 (15 "i") 1)) false (46 (3 "a" (7 (15 "a"))))) )";
    EXPECT_EQ(handle(callback("edit", deep + call("setParamValue", R"("p" (15 "a"))"))).result, "script:10");
}

TEST(EventEditingMends, CreatedEventsAreBounded) {
    auto creating = [](int count) {
        return callback("create", R"((41 "i") (3 "i" 0) (42 (23 (15 "i") )" + std::to_string(count) +
                                      R"() (3 "i" (0 (15 "i") 1)) false (46 (log "made" 1 (8 "n" (15 "i"))))))");
    };
    Handled thousand = handle(creating(1000));
    EXPECT_EQ(thousand.result, "true");
    EXPECT_EQ(thousand.created.size(), 1000u);
    Handled more = handle(creating(1001));
    EXPECT_EQ(more.result, "script:18");
    EXPECT_TRUE(more.created.empty());
    // Large texts exhaust the work meter long before the count.
    const std::string large = R"((41 "s" "i") (3 "s" "x") (3 "i" 0)
        (42 (23 (15 "i") 20) (3 "i" (0 (15 "i") 1)) false (46 (3 "s" (0 (15 "s") (15 "s"))))) (3 "i" 0)
        (42 (23 (15 "i") 200) (3 "i" (0 (15 "i") 1)) false (46 (log "big" 1 (8 "t" (15 "s"))))))";
    EXPECT_EQ(handle(callback("create", large)).result, "script:18");
}

TEST(EventEditingState, ProgramStateOutlivesEvents) {
    MSRPEventEditing editing;
    ASSERT_EQ(loadText(editing, registrationProgram(
                                    callback("edit", R"((3 "count" (0 (15 "count") 1)) )" +
                                                         call("setParamValue", R"("n" (15 "count"))") + " (36 1)"),
                                    R"((41 "count") (3 "count" 0))")),
              "ok");
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(editing.handleEvent(MSRPEvent("a", 1, {})));
        EXPECT_EQ(*editing.outputEvent().parameterForName("n"), Value(static_cast<double>(round)));
    }
}

TEST(EventEquality, ComparesBothSidesByValue) {
    const MSRPEvent base("e", 1, {{"n", Value(std::int64_t{3})}, {"l", Value(Value::Array{Value(std::int64_t{1})})}});
    MSRPEvent same("e", 1 + 1e-17, {{"n", Value(std::int64_t{3})}, {"l", Value(Value::Array{Value(1.0)})}});
    EXPECT_TRUE(same.isEqualToEvent(base));
    MSRPEvent doubled = base;
    doubled.parameters()["n"] = Value(3.0);
    EXPECT_FALSE(doubled.isEqualToEvent(base));
    MSRPEvent removed = base;
    removed.parameters().erase("n");
    EXPECT_FALSE(removed.isEqualToEvent(base));
    EXPECT_FALSE(base.isEqualToEvent(removed));
    MSRPEvent later = base;
    later.setTimestamp(1 + 1e-9);
    EXPECT_FALSE(later.isEqualToEvent(base));
}

}  // namespace
}  // namespace script_test
