#include "EditingTestSupport.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace script_test {
namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool measuresMemory = false;
#else
constexpr bool measuresMemory = true;
#endif

// Statements that make the global "s" a text of `length` units of \u00e9
// (non-ASCII, so no two pieces of it share a value), doubling it.
std::string textOfLength(std::size_t length) {
    std::string statements = R"((3 "s" "\u00e9"))"
                             R"( (42 (23 (0 (16 (15 "s") "length") (16 (15 "s") "length")) )" +
                             std::to_string(length + 1) + R"() 0 false (46 (3 "s" (0 (15 "s") (15 "s"))))))";
    return statements + R"( (3 "s" (0 (15 "s") (2 (15 "s") "substring" (7 0 (37 )" + std::to_string(length) +
           R"( (16 (15 "s") "length")))))))";
}

// keep[k] = value; k += 1
std::string keepValue(const std::string& value) {
    return R"((43 (15 "keep") (15 "k") )" + value + R"() (3 "k" (0 (15 "k") 1)))";
}

struct Attack {
    const char* name;
    std::string statements;  // run for each event named "attack"
    int expectedCode;
    int maximumEvents;  // the attack events sent before it must have stopped
};

struct Ending {
    int code = 0;            // the error of the stopped event, 0 for none
    int events = 0;          // attack events handled
    std::string normal;      // the result of the normal event after it
    long peakKilobytes = 0;  // of the process that ran it
};

// One editing instance: the attack's callback runs on events named
// "attack"; on any other it writes the parameter "ok". Attack events are
// sent until one fails, then one normal event.
Ending runAttack(const Attack& attack) {
    MSRPEventEditing editing;
    std::string body = R"((22 (20 )" + call("getEventName") + R"( "attack") (46 )" + attack.statements + R"() (46 )" +
                       call("setParamValue", R"("ok" "yes")") + R"()) (36 0))";
    std::string prelude = R"((41 "keep" "k" "s" "p" "first") (3 "keep" (7)) (3 "k" 0) (3 "first" (8))
                             (3 "p" (15 "first")))";
    Ending ending;
    if (loadText(editing, registrationProgram(callback("edit", body), prelude)) != "ok") {
        ending.normal = "not loaded";
        return ending;
    }
    while (ending.events < attack.maximumEvents && ending.code == 0) {
        ++ending.events;
        auto result = editing.handleEvent(MSRPEvent("attack", 1, {}));
        if (!result) {
            ending.code = result.error().code();
        }
    }
    auto normal = editing.handleEvent(MSRPEvent("normal", 1, {}));
    if (!normal) {
        ending.normal = errorText(normal.error());
    } else {
        const auto& parameters = editing.outputEvent().parameters();
        auto found = parameters.find("ok");
        ending.normal = found != parameters.end() && found->second.asString() ? *found->second.asString() : "unedited";
    }
    return ending;
}

// Runs the attack in a child process whose peak resident size starts from
// what it holds when it begins: the parent's freed heap is trimmed and the
// high-water mark reset first.
Ending runAttackInChild(const Attack& attack) {
    if (!measuresMemory) {
        return runAttack(attack);
    }
    int channel[2];
    if (pipe(channel) != 0) {
        ADD_FAILURE() << "no pipe";
        return {};
    }
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        Ending ending = runAttack(attack);
        std::string line =
            std::to_string(ending.code) + " " + std::to_string(ending.events) + " " + ending.normal + "\n";
        ssize_t written = write(channel[1], line.data(), line.size());
        _exit(written == static_cast<ssize_t>(line.size()) ? 0 : 1);
    }
    close(channel[1]);
    std::string line;
    char buffer[256];
    ssize_t got;
    while ((got = read(channel[0], buffer, sizeof buffer)) > 0) {
        line.append(buffer, static_cast<std::size_t>(got));
    }
    close(channel[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Ending ending;
    char normal[64] = {};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(line.c_str(), "%d %d %63s", &ending.code, &ending.events, normal) != 3) {
        ADD_FAILURE() << attack.name << ": the child ended abnormally (" << status << ") with \"" << line << "\"";
    }
    ending.normal = normal;
    ending.peakKilobytes = usage.ru_maxrss;
    return ending;
}

TEST(ScriptMemoryBudget, AttacksStopWithinMemoryAndTheNextEventRuns) {
    const Attack attacks[] = {
        {"keeping the pieces of split(\"\") of 2^19 units",
         textOfLength(std::size_t{1} << 19) + R"( (42 true 0 false (46 )" +
             keepValue(R"((2 (15 "s") "split" (7 "")))") + "))",
         18, 1},
        {"doubling a string and keeping copies",
         R"((3 "s" "ab") (42 (23 (16 (15 "s") "length") 524288) 0 false (46 )" + keepValue(R"((15 "s"))") +
             R"( (3 "s" (0 (15 "s") (15 "s"))))) (42 true 0 false (46 )" + keepValue(R"((0 (15 "s") "x"))") + "))",
         18, 1},
        {"arrays of a million slots of strings",
         textOfLength(1000000) + R"( (42 true 0 false (46 )" + keepValue(R"((2 (15 "s") "split" (7 "")))") + "))", 18,
         1},
        {"small objects in a cycle, kept across events",
         R"((41 "i") (3 "i" 0) (42 (23 (15 "i") 40000) (3 "i" (0 (15 "i") 1)) false)"
         R"( (46 (3 "p" (8 "n" (15 "p"))))) (43 (15 "first") "n" (15 "p")))",
         18, 40},
        {"numbers kept across events",
         R"((41 "i") (3 "i" 0) (42 (23 (15 "i") 60000) (3 "i" (0 (15 "i") 1)) false (46 )" +
             keepValue(R"((0 (15 "i") 0.5))") + "))",
         18, 100},
        {"for-of over a 2^20-unit text",
         textOfLength(std::size_t{1} << 20) + R"( (66 "c" (15 "s") (46 )" + keepValue(R"((15 "c"))") + "))", 18, 1},
        {"for-in over a 2^20-unit text",
         textOfLength(std::size_t{1} << 20) + R"( (55 "c" (15 "s") (46 )" + keepValue(R"((15 "c"))") + "))", 18, 1},
        {"an array longer than the slot limit", R"((43 (15 "keep") "length" 1000001))", 11, 1},
    };
    for (const Attack& attack : attacks) {
        Ending ending = runAttackInChild(attack);
        EXPECT_EQ(ending.code, attack.expectedCode) << attack.name << " after " << ending.events << " events";
        EXPECT_EQ(ending.normal, "yes") << attack.name;
        if (measuresMemory) {
            EXPECT_LT(ending.peakKilobytes, 128 * 1024) << attack.name << ": peak resident size in KiB";
        }
    }
}

TEST(ScriptMemoryBudget, ProgramStateWithinTheBudgetSurvivesEvents) {
    // A program that keeps a little per event keeps all of it: starting over
    // is only for state beyond the budget.
    MSRPEventEditing editing;
    std::string body = R"((3 "k" (0 (15 "k") 1)) )" + call("setParamValue", R"("count" (15 "k"))") + " (36 0)";
    ASSERT_EQ(loadText(editing, registrationProgram(callback("edit", body), R"((41 "k") (3 "k" 0))")), "ok");
    for (int event = 1; event <= 3; ++event) {
        auto result = editing.handleEvent(MSRPEvent("e", 1, {}));
        ASSERT_TRUE(result);
        const auto& parameters = editing.outputEvent().parameters();
        ASSERT_TRUE(parameters.contains("count"));
        EXPECT_EQ(parameters.at("count").asInteger().value_or(-1), event);
    }
}

}  // namespace
}  // namespace script_test
