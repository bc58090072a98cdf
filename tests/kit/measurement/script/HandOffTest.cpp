// The configuration's hand-off of its programs to event editing, through a
// stand-in for the configuration's parse that does what the real one must.

#include "EditingTestSupport.h"
#include "Process.h"
#include "kit/measurement/messages/MessageCodec.h"
#include "kit/measurement/messages/NanoMessage.h"
#include "kit/measurement/support/MSREvent.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace script_test {
namespace {

using kit::measurement::MSREvent;
using kit::measurement::MSREventEditingInstance;
using kit::measurement::MSREventEditingModules;
using kit::measurement::MSRPBMeasurementConfig;
using kit::measurement::MSRPBProgram;

// protoc's encoding of a text fixture of this folder.
std::vector<std::uint8_t> encodedFixture(const std::string& file) {
    using platform::testing::shellQuote;
    const std::filesystem::path output =
        std::filesystem::path(::testing::TempDir()) / ("fixture-" + std::to_string(::getpid()) + ".bin");
    const auto result = platform::testing::runCommand(
        std::string(PROTOC_EXECUTABLE) +
        " --encode=stubforge.measurement.MeasurementConfig --proto_path=" + shellQuote(MEASUREMENT_SCHEMA_DIR) + " " +
        shellQuote(std::string(MEASUREMENT_SCHEMA_DIR) + "/measurement.proto") + " < " +
        shellQuote(std::string(SCRIPT_FIXTURES_DIR) + "/" + file) + " > " + shellQuote(output.string()));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    std::ifstream stream(output, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), {});
    std::filesystem::remove(output);
    return bytes;
}

// Step 6 of the configuration's parse, as the configuration does it.
class ConfigurationParse {
public:
    void parse(std::span<const std::uint8_t> bytes) {
        std::optional<MSRPBMeasurementConfig> config = MSRPBMeasurementConfig::initWithBuffer(bytes);
        ASSERT_TRUE(config);
        const NanoMessageInfo& record = *config->messageInfo();
        settings_.clear();
        for (const NanoMessageInfo& setting : std::get<NanoMessageList>(record.slots[3])) {
            settings_[std::get<std::string>(setting.slots[0])] = std::get<std::string>(setting.slots[1]);
        }
        const NanoMessageList& programs = std::get<NanoMessageList>(record.slots[8]);
        if (programs.empty()) {
            // The server removed the program: it edits no further event.
            eventEditing_.reset();
            return;
        }
        MSREventEditingModules modules;
        modules.remoteConfigValue = [this](std::string_view key) -> std::optional<std::string> {
            auto found = settings_.find(std::string(key));
            return found == settings_.end() ? std::nullopt : std::optional<std::string>(found->second);
        };
        modules.appMetadata = [] { return Value::Dictionary{{"lmp_version", Value(std::int64_t{110900})}}; };
        std::shared_ptr<MSREventEditingInstance> editing = kit::measurement::makeEventEditingInstance(modules);
        ASSERT_TRUE(editing);
        auto loaded = editing->loadProgram(*MSRPBProgram::initWithMessageInfo(&programs.front()));
        auto& monitor = kit::measurement::MSRMeasurementMonitor();
        if (!loaded) {
            monitor.logWithLevel(1, 29026, "Failed to initiate event editing instance", loaded.error());
            eventEditing_.reset();
            return;
        }
        monitor.logWithLevel(7, 29027, "Loading Event Modification and Creation programs",
                             kit::measurement::MSRLogContexts{static_cast<std::int64_t>(programs.size())});
        eventEditing_ = std::move(editing);
    }
    MSREventEditingInstance* eventEditing() const { return eventEditing_.get(); }

private:
    std::map<std::string, std::string> settings_;
    std::shared_ptr<MSREventEditingInstance> eventEditing_;
};

class HandOff : public CaptureMonitorTest {
protected:
    HandOff() { kit::measurement::script::installScriptEventEditing(); }
    ~HandOff() override { kit::measurement::installEventEditingFactory(nullptr); }
};

TEST_F(HandOff, TheFirstProgramLoadsAndReadsTheSettings) {
    ConfigurationParse configuration;
    configuration.parse(encodedFixture("editing_config.txtpb"));
    ASSERT_NE(configuration.eventEditing(), nullptr);
    std::vector<CaptureServices::Line> loaded = services().linesWithCode(29027);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].count, 2);
    EXPECT_TRUE(services().linesWithCode(29026).empty());

    std::optional<MSREvent> event =
        MSREvent::initWithOrigin("app", true, "level_up", 1700000000.5, 0, {{"score", Value(std::int64_t{3})}});
    ASSERT_TRUE(event);
    auto handled = configuration.eventEditing()->handleEvent(event->editEvent());
    ASSERT_TRUE(handled);
    EXPECT_TRUE(*handled);
    EXPECT_TRUE(configuration.eventEditing()->hasEdits());
    const kit::measurement::MSRPEvent& output = configuration.eventEditing()->outputEvent();
    EXPECT_FALSE(output.hasParameterName("second"));
    // The setting's text "10" reads as a number when it becomes a parameter.
    EXPECT_EQ(*output.parameterForName("limit"), Value(10.0));

    std::optional<MSREvent> written = MSREvent::eventFromEditEvent(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->name(), "_vs");
    EXPECT_EQ(written->origin(), "auto");
    EXPECT_EQ(written->timestamp(), 1700000000.5);
}

TEST_F(HandOff, AFailingProgramLeavesNoInstance) {
    ConfigurationParse configuration;
    configuration.parse(encodedFixture("editing_config.txtpb"));
    ASSERT_NE(configuration.eventEditing(), nullptr);
    configuration.parse(encodedFixture("failing_config.txtpb"));
    EXPECT_EQ(configuration.eventEditing(), nullptr);
    std::vector<CaptureServices::Line> failed = services().linesWithCode(29026);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, 1);
}

TEST_F(HandOff, AConfigurationWithoutProgramsDropsTheInstance) {
    ConfigurationParse configuration;
    configuration.parse(encodedFixture("editing_config.txtpb"));
    ASSERT_NE(configuration.eventEditing(), nullptr);
    configuration.parse(encodedFixture("plain_config.txtpb"));
    EXPECT_EQ(configuration.eventEditing(), nullptr);
}

TEST_F(HandOff, NothingIsMadeWithoutTheFactory) {
    kit::measurement::installEventEditingFactory(nullptr);
    EXPECT_EQ(kit::measurement::makeEventEditingInstance({}), nullptr);
}

// The fuzz target's editing seeds stay programs that load and edit, so the
// fuzzer starts from deep paths.
TEST_F(HandOff, FuzzSeedsLoadAndEdit) {
    for (const char* seed : {"editing-rename", "editing-create", "editing-items"}) {
        std::ifstream stream(std::string(FUZZ_CORPUS_DIR) + "/" + seed, std::ios::binary);
        std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(stream)), {});
        ASSERT_GT(bytes.size(), 1u) << seed;
        std::optional<MSRPBProgram> program = MSRPBProgram::initWithBuffer(std::span(bytes).subspan(1));
        ASSERT_TRUE(program) << seed;
        auto editing = kit::measurement::script::makeScriptEventEditing({});
        ASSERT_TRUE(editing->loadProgram(*program)) << seed;
        auto handled = editing->handleEvent(
            MSRPEvent("purchase", 5,
                      {{"level", Value(std::int64_t{2})}, {"items", Value(Value::Array{Value(Value::Dictionary{})})}}));
        ASSERT_TRUE(handled) << seed << " " << errorText(handled.error());
        EXPECT_TRUE(*handled) << seed;
    }
}

}  // namespace
}  // namespace script_test
