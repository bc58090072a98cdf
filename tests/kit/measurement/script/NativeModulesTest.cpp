#include "EditingTestSupport.h"
#include "ScriptTestSupport.h"
#include "kit/measurement/script/MSRPNativeModules.h"

#include <gtest/gtest.h>

namespace script_test {
namespace {

using kit::measurement::MSREventEditingModules;
using kit::measurement::script::makeScriptEventEditing;

class NativeModules : public CaptureMonitorTest {
protected:
    NativeModules() {
        MSREventEditingModules modules;
        modules.remoteConfigValue = [](std::string_view key) -> std::optional<std::string> {
            if (key == "measurement.limit") {
                return "10";
            }
            return std::nullopt;
        };
        modules.appMetadata = [] { return platform::Value::Dictionary{{"lmp_version", Value(std::int64_t{110900})}}; };
        editing_ = makeScriptEventEditing(std::move(modules));
    }
    std::string run(std::string_view program) { return script_test::run(editing_->runtime(), program).text(); }
    std::vector<CaptureServices::Line> scriptLines() { return services().linesWithCode(24005); }

private:
    std::shared_ptr<MSRPEventEditing> editing_;
};

constexpr const char* logger = R"((41 "l") (3 "l" (require "internal.logger")) )";

TEST_F(NativeModules, LogLevelsMapToMonitorLevels) {
    struct Case {
        const char* call;
        int level;
    };
    const Case cases[] = {
        {R"((2 (15 "l") "log" (7 "one")))", 6},
        {R"((2 (15 "l") "log" (7 4 "m")))", 6},
        {R"((2 (15 "l") "log" (7 2.9 "m")))", 8},
        {R"((2 (15 "l") "log" (7 3 "m")))", 7},
        {R"((2 (15 "l") "log" (7 5 "m")))", 4},
        {R"((2 (16 (15 "l") "silent") "log" (7 5 "m")))", 5},
        {R"((2 (16 (15 "l") "unmonitored") "log" (7 5 "m")))", 3},
        {R"((2 (15 "l") "log" (7 6 "m")))", 1},
        {R"((2 (16 (15 "l") "silent") "log" (7 6 "m")))", 2},
        {R"((2 (16 (15 "l") "unmonitored") "log" (7 6 "m")))", 0},
        {R"((2 (2 (15 "l") "silent" (7)) "log" (7 -7 "m")))", 6},
    };
    for (const Case& entry : cases) {
        EXPECT_EQ(run(std::string(logger) + entry.call), "undefined") << entry.call;
    }
    std::vector<CaptureServices::Line> lines = scriptLines();
    ASSERT_EQ(lines.size(), std::size(cases));
    for (std::size_t index = 0; index < lines.size(); ++index) {
        EXPECT_EQ(lines[index].level, cases[index].level) << cases[index].call;
    }
    EXPECT_EQ(lines[0].message, "one");
    EXPECT_TRUE(lines[0].contexts.empty());
}

TEST_F(NativeModules, ContextsAndMessagesArriveAsWritten) {
    EXPECT_EQ(run(std::string(logger) + R"((2 (15 "l") "log" (7 4 "%s%n%@" "a" 2 true "ignored")))"), "undefined");
    std::vector<CaptureServices::Line> lines = scriptLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "%s%n%@");
    EXPECT_EQ(lines[0].contexts, (std::vector<std::string>{"a", "2", "true"}));
}

TEST_F(NativeModules, LoggingChecksItsArguments) {
    EXPECT_EQ(run(std::string(logger) + R"((2 (15 "l") "log" (7)))"), "error:9");
    EXPECT_EQ(run(std::string(logger) + R"((2 (15 "l") "log" (7 (2 (15 "l") "nothing" (7)) "m")))"), "error:17");
    EXPECT_EQ(run(std::string(logger) + R"((l 1 2))"), "undefined");
    EXPECT_EQ(run(std::string(logger) + R"((20 (2 (15 "l") "silent" (7)) (16 (15 "l") "silent")))"), "true");
    EXPECT_TRUE(scriptLines().empty());
}

TEST_F(NativeModules, SettingsAnswerTextOrTheDefault) {
    const std::string store = R"((41 "c") (3 "c" (require "internal.remoteConfig")) )";
    EXPECT_EQ(run(store + R"((2 (15 "c") "getValue" (7 "measurement.limit" 0)))"), "s:10");
    EXPECT_EQ(run(store + R"((2 (15 "c") "getValue" (7 "missing" 42)))"), "n:42");
    EXPECT_EQ(run(store + R"((2 (15 "c") "getValue" (7 "missing" (8 "k" 1))))"), "map{k=n:1}");
    EXPECT_EQ(run(store + R"((2 (15 "c") "getValue" (7 "missing")))"), "error:9");
    EXPECT_EQ(run(store + R"((c))"), "undefined");
}

TEST_F(NativeModules, AppMetadataIsANewMapOfTheFacts) {
    const std::string metadata = R"((41 "m") (3 "m" (require "internal.appMetadata")) )";
    EXPECT_EQ(run(metadata + R"((16 (m) "platform"))"), "s:macos");
    EXPECT_EQ(run(metadata + R"((16 (m) "lmp_version"))"), "n:110900");
    EXPECT_EQ(run(metadata + R"((2 (m) "hasOwnProperty" (7 "app_version")))"), "false");
    EXPECT_EQ(run(metadata + R"((2 (m) "hasOwnProperty" (7 "package_name")))"), "true");
    EXPECT_EQ(run(metadata + R"((20 (m) (m)))"), "false");
}

TEST(ObjectProvider, ConvertsPlatformObjects) {
    struct Case {
        Value object;
        const char* expected;
    };
    const Case cases[] = {
        {Value(), "null"},
        {Value(true), "true"},
        {Value(std::int64_t{7}), "n:7"},
        {Value(std::string("caf\xC3\xA9\xFF")), "s:caf\xC3\xA9\xEF\xBF\xBD"},
        {Value(Value::Array{Value(1), Value(Value::Dictionary{{"k", Value("v")}})}), "[n:1,map{k=s:v}]"},
        {Value(Value::Data{1, 2}), "error:13"},
        {Value(Value::Array{Value(Value::Date{})}), "error:13"},
    };
    for (const Case& entry : cases) {
        MSRPRuntime runtime;
        runtime.setModuleCreator(
            [&entry] {
                return ValueRef(
                    makeRef<kit::measurement::script::MSRPObjectProvider>(u"facts", [&entry] { return entry.object; }));
            },
            u"facts");
        EXPECT_EQ(run(runtime, R"((41 "f") (3 "f" (require "facts")) (f))").text(), entry.expected);
    }
}

}  // namespace
}  // namespace script_test
