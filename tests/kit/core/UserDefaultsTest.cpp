#include "KitTestSupport.h"
#include "Process.h"
#include "kit/core/MainBundle.h"
#include "kit/core/UserDefaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

namespace kit {
namespace {

using platform::Value;
using platform::testing::readFile;
using platform::testing::runCommand;
using platform::testing::shellQuote;
using ::testing::ElementsAre;
using testing::KitTest;

class UserDefaultsTest : public KitTest {
protected:
    UserDefaultsTest() { HLOLoggerEnsureSetUp(); }
};

TEST_F(UserDefaultsTest, AnEmptyKeyIsRefusedWithAWarning) {
    LMUUserDefaults defaults("kit.tests");
    EXPECT_EQ(defaults.objectForKey(""), std::nullopt);
    defaults.setObject(Value("value"), "");
    const auto entries = drainLog();
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_EQ(entries[0].line,
              "11.9.0 - <LumenUtilities>[I-LMU000001] Cannot get object for invalid user default key.");
    EXPECT_EQ(entries[0].subsystem, "com.lumen.utilities.logger");
    EXPECT_EQ(entries[0].category, "<LumenUtilities>");
    EXPECT_EQ(entries[0].type, platform::LogType::notice);
    EXPECT_EQ(entries[1].line,
              "11.9.0 - [LumenUtilities/UserDefaults][I-LMU000002] Cannot set object for invalid user default key.");
    EXPECT_TRUE(platform::UserDefaults("kit.tests").dictionaryRepresentation().empty());
}

TEST_F(UserDefaultsTest, ValuesAPlistCannotHoldAreRefusedAndTheSuiteStaysAsItWas) {
    LMUUserDefaults defaults("kit.tests");
    defaults.setObject(Value("kept"), "key");
    const auto file = platform::UserDefaults("kit.tests").filePath();
    const std::string before = readFile(file);
    ASSERT_FALSE(before.empty());
    const Value::Date farPast = Value::Date(std::chrono::sys_days(std::chrono::year(1800) / 1 / 1).time_since_epoch());
    const struct {
        const char* name;
        Value value;
    } rows[] = {
        {"a null in an array", Value(Value::Array{Value(1), Value()})},
        {"a null in a dictionary", Value(Value::Dictionary{{"a", Value(1)}, {"b", Value()}})},
        {"a null deep down", Value(Value::Array{Value(Value::Dictionary{{"x", Value(Value::Array{Value()})}})})},
        {"a date outside the file's range", Value(Value::Array{Value(farPast)})},
        {"text with a NUL", Value(Value::Dictionary{{"a", Value(std::string("a\0b", 3))}})},
        {"a key with a NUL", Value(Value::Dictionary{{std::string("a\0b", 3), Value(1)}})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        defaults.setObject(row.value, "key");
        const auto lines = drainLines();
        ASSERT_EQ(lines.size(), 1U);
        EXPECT_THAT(lines[0], ::testing::StartsWith("11.9.0 - [LumenUtilities/UserDefaults][I-LMU000003] Cannot set "
                                                    "invalid object to user defaults. Must be a string, number, "
                                                    "array, dictionary, date, or data. Value: "));
        EXPECT_EQ(readFile(file), before);
        EXPECT_EQ(defaults.objectForKey("key"), Value("kept"));
    }
}

TEST_F(UserDefaultsTest, PlistValuesAreStoredForOtherReaders) {
    LMUUserDefaults defaults("kit.tests");
    const Value nested(Value::Dictionary{{"list", Value(Value::Array{Value(1), Value("two"), Value(3.5)})},
                                         {"data", Value(Value::Data{1, 2, 3})},
                                         {"flag", Value(false)}});
    defaults.setObject(nested, "nested");
    defaults.setInteger(42, "integer");
    defaults.setFloat(1.5F, "float");
    defaults.setDouble(2.25, "double");
    defaults.setBool(true, "bool");
    defaults.setObject(Value("text"), "string");
    EXPECT_TRUE(drainLines().empty());

    LMUUserDefaults again("kit.tests");
    EXPECT_EQ(again.objectForKey("nested"), nested);
    EXPECT_EQ(again.integerForKey("integer"), 42);
    EXPECT_FLOAT_EQ(again.floatForKey("float"), 1.5F);
    EXPECT_DOUBLE_EQ(again.doubleForKey("double"), 2.25);
    EXPECT_TRUE(again.boolForKey("bool"));
    EXPECT_EQ(again.stringForKey("string"), "text");
    EXPECT_EQ(again.arrayForKey("nested"), std::nullopt);
    EXPECT_EQ(again.dictionaryForKey("nested"), *nested.asDictionary());
    EXPECT_EQ(again.integerForKey("missing"), 0);
    EXPECT_FALSE(again.boolForKey("missing"));

    const auto read =
        runCommand("plistutil -i " + shellQuote(platform::UserDefaults("kit.tests").filePath().string()) + " -f xml");
    EXPECT_EQ(read.exitCode, 0);
    EXPECT_NE(read.output.find("<string>two</string>"), std::string::npos) << read.output;

    defaults.setObject(std::nullopt, "string");
    defaults.removeObjectForKey("integer");
    defaults.setObject(Value(), "double");
    EXPECT_EQ(again.objectForKey("string"), std::nullopt);
    EXPECT_EQ(again.objectForKey("integer"), std::nullopt);
    EXPECT_EQ(again.objectForKey("double"), std::nullopt);
}

TEST_F(UserDefaultsTest, NoSuiteNameMeansTheStandardSuite) {
    LMUUserDefaults::standardUserDefaults().setObject(Value("shared"), "key");
    EXPECT_EQ(LMUUserDefaults().objectForKey("key"), Value("shared"));
    EXPECT_EQ(LMUUserDefaults(std::string()).objectForKey("key"), Value("shared"));
    EXPECT_EQ(kit::standardDefaults().object("key"), Value("shared"));
    EXPECT_EQ(LMUUserDefaults("other").objectForKey("key"), std::nullopt);
}

TEST_F(UserDefaultsTest, AFailedWriteIsLoggedNotThrown) {
    // The settings folder's place is taken by a file, so no suite can be written.
    platform::testing::writeFile(root() / "config", "not a folder");
    LMUUserDefaults defaults("kit.tests");
    EXPECT_NO_THROW(defaults.setObject(Value("value"), "key"));
    const auto lines = drainLines();
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_THAT(lines[0], ::testing::StartsWith("11.9.0 - [LumenUtilities/UserDefaults][I-LMU000004] Cannot save "
                                                "user defaults. Error: "));
}

}  // namespace
}  // namespace kit
