// The configuration's hand-off of its programs to event editing: the remote
// configuration's own parse over a fake store, with the script runtime as
// the event-editing factory.

#include "EditingTestSupport.h"
#include "RemoteConfigTestSupport.h"
#include "kit/measurement/support/MSREvent.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace script_test {
namespace {

using kit::measurement::MSREvent;
using kit::measurement::MSRPBProgram;
using kit::measurement::MSRRemoteConfig;
using kit::measurement::testing::CaptureMonitor;
using kit::measurement::testing::measurementConfig;
using kit::measurement::testing::MonitorLine;
using kit::measurement::testing::readText;

// A configuration fixture of this folder; they all belong to this app.
constexpr std::string_view kFixtureAppID = "1:1234567890:linux:00ff";

kit::measurement::MSRPBMeasurementConfig fixture(const std::string& file) {
    return measurementConfig(readText(std::filesystem::path(SCRIPT_FIXTURES_DIR) / file));
}

// The runtime's own lines go to the capture engine monitor, not the
// process's default one.
class HandOff : public CaptureMonitorTest {
protected:
    HandOff() { kit::measurement::script::installScriptEventEditing(); }

    // A configuration of the fixtures' app over an empty fake store.
    std::shared_ptr<MSRRemoteConfig> makeConfiguration() {
        auto made = MSRRemoteConfig::initWithAppID(kFixtureAppID, store_, nullptr,
                                                   std::make_shared<kit::measurement::testing::FakeManager>());
        EXPECT_TRUE(made);
        monitor_->drain();
        return made;
    }
    // The fixture fetched and applied as the server's answer.
    static void serve(MSRRemoteConfig& configuration, const std::string& file) {
        ASSERT_TRUE(configuration.updateMeasurementConfig(fixture(file))) << file;
    }
    CaptureMonitor& monitor() { return *monitor_; }

private:
    std::shared_ptr<CaptureMonitor> monitor_ = std::make_shared<CaptureMonitor>();
    kit::measurement::testing::RemoteConfigSeams seams_{monitor_};
    std::shared_ptr<kit::measurement::testing::FakeStore> store_ =
        std::make_shared<kit::measurement::testing::FakeStore>();
};

TEST_F(HandOff, TheFirstProgramLoadsAndReadsTheSettings) {
    auto configuration = makeConfiguration();
    serve(*configuration, "editing_config.txtpb");
    auto editing = configuration->eventEditing();
    ASSERT_NE(editing, nullptr);
    const std::vector<MonitorLine> lines = monitor().drain();
    std::vector<MonitorLine> loaded;
    for (const MonitorLine& line : lines) {
        EXPECT_NE(line.code, 29026u) << line.message;
        if (line.code == 29027) {
            loaded.push_back(line);
        }
    }
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].level, 7);
    ASSERT_EQ(loaded[0].values.size(), 1u);
    EXPECT_EQ(std::get<std::int64_t>(loaded[0].values[0]), 2);  // both programs counted, the first loaded

    std::optional<MSREvent> event =
        MSREvent::initWithOrigin("app", true, "level_up", 1700000000.5, 0, {{"score", Value(std::int64_t{3})}});
    ASSERT_TRUE(event);
    auto handled = editing->handleEvent(event->editEvent());
    ASSERT_TRUE(handled);
    EXPECT_TRUE(*handled);
    EXPECT_TRUE(editing->hasEdits());
    const kit::measurement::MSRPEvent& output = editing->outputEvent();
    // The second program never ran.
    EXPECT_FALSE(output.hasParameterName("second"));
    // "internal.remoteConfig" answers the configuration's setting; its text
    // "10" reads as a number when it becomes a parameter.
    EXPECT_EQ(*output.parameterForName("limit"), Value(10.0));

    std::optional<MSREvent> written = MSREvent::eventFromEditEvent(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->name(), "_vs");
    EXPECT_EQ(written->origin(), "auto");
    EXPECT_EQ(written->timestamp(), 1700000000.5);
}

TEST_F(HandOff, AFailingProgramLeavesNoInstance) {
    auto configuration = makeConfiguration();
    serve(*configuration, "editing_config.txtpb");
    ASSERT_NE(configuration->eventEditing(), nullptr);
    monitor().drain();
    serve(*configuration, "failing_config.txtpb");
    EXPECT_EQ(configuration->eventEditing(), nullptr);
    const std::vector<MonitorLine> failed = monitor().drainWithCode(29026);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].level, 1);
    ASSERT_EQ(failed[0].values.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<platform::Error>(failed[0].values[0]));
}

TEST_F(HandOff, AConfigurationWithoutProgramsKeepsTheInstance) {
    auto configuration = makeConfiguration();
    serve(*configuration, "editing_config.txtpb");
    const auto loaded = configuration->eventEditing();
    ASSERT_NE(loaded, nullptr);
    serve(*configuration, "plain_config.txtpb");
    EXPECT_EQ(configuration->eventEditing(), loaded);
    // Parsed directly, as when a stored configuration loads, it keeps it too.
    configuration->parseRemoteConfigFromMeasurementConfig(fixture("plain_config.txtpb"));
    EXPECT_EQ(configuration->eventEditing(), loaded);
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
