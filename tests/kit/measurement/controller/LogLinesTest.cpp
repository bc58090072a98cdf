// Holds the kit's log-line tables against each other and against the source
// tree: one code names one text, every line of a table is in its kAllLines,
// every table is known here, and no call writes its text inline.
#include "kit/core/LogLine.h"

#include "kit/core/network/NetworkLines.h"
#include "kit/measurement/controller/deeplinks/DeepLinkLines.h"
#include "kit/measurement/controller/experiments/ExperimentTexts.h"
#include "kit/measurement/controller/facade/FacadeLines.h"
#include "kit/measurement/controller/identity/IdentityTexts.h"
#include "kit/measurement/controller/measurement/BundlingTexts.h"
#include "kit/measurement/controller/measurement/UploadLines.h"
#include "kit/measurement/controller/measurement/EventEntryLines.h"
#include "kit/measurement/controller/measurement/LifecycleLines.h"
#include "kit/measurement/controller/measurement/MeasurementStartLines.h"
#include "kit/measurement/controller/measurement/OnDeviceConversionLines.h"
#include "kit/measurement/controller/measurement/RemoteConfigFetchLines.h"
#include "kit/measurement/controller/measurement/UserPropertiesLines.h"
#include "kit/measurement/controller/measurement/WritePipelineLines.h"
#include "kit/measurement/controller/purchases/PurchaseTexts.h"
#include "kit/measurement/controller/reporters/ReporterLines.h"
#include "kit/measurement/messages/ExperimentFlagLines.h"
#include "kit/measurement/messages/RemoteConfigLines.h"
#include "kit/measurement/support/AudienceLines.h"
#include "kit/measurement/support/ConditionalUserPropertyLines.h"
#include "kit/measurement/support/EventLines.h"
#include "kit/measurement/support/MonitorLines.h"
#include "kit/measurement/support/PersistedConfigLines.h"
#include "kit/measurement/support/SchedulingLines.h"
#include "kit/measurement/support/StorageLines.h"
#include "kit/measurement/support/ValidationLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using kit::log_lines::Line;
namespace fs = std::filesystem;

struct Table {
    std::string_view header;  // relative to the source tree
    std::span<const Line* const> lines;
};

namespace m = kit::measurement;

// Every table of the kit. A new `<Concern>Lines.h` gets its row here.
const Table kTables[] = {
    {"src/kit/core/network/NetworkLines.h", kit::network_lines::kAllLines},
    {"src/kit/measurement/messages/ExperimentFlagLines.h", m::experiment_flag_lines::kAllLines},
    {"src/kit/measurement/messages/RemoteConfigLines.h", m::remote_config_line::kAllLines},
    {"src/kit/measurement/support/AudienceLines.h", m::audience_lines::kAllLines},
    {"src/kit/measurement/support/ConditionalUserPropertyLines.h", m::conditional_property_lines::kAllLines},
    {"src/kit/measurement/support/EventLines.h", m::event_lines::kAllLines},
    {"src/kit/measurement/support/MonitorLines.h", m::monitor_lines::kAllLines},
    {"src/kit/measurement/support/PersistedConfigLines.h", m::persisted_config_lines::kAllLines},
    {"src/kit/measurement/support/SchedulingLines.h", m::scheduling_lines::kAllLines},
    {"src/kit/measurement/support/StorageLines.h", m::storage_lines::kAllLines},
    {"src/kit/measurement/support/ValidationLines.h", m::validation_lines::kAllLines},
    {"src/kit/measurement/controller/deeplinks/DeepLinkLines.h", m::deep_link_lines::kAllLines},
    {"src/kit/measurement/controller/experiments/ExperimentTexts.h", m::experiment_text::kAllLines},
    {"src/kit/measurement/controller/facade/FacadeLines.h", m::facade_lines::kAllLines},
    {"src/kit/measurement/controller/identity/IdentityTexts.h", m::identity_texts::kAllLines},
    {"src/kit/measurement/controller/purchases/PurchaseTexts.h", m::purchase_texts::kAllLines},
    {"src/kit/measurement/controller/reporters/ReporterLines.h", m::reporter_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/BundlingTexts.h", m::bundling_texts::kAllLines},
    {"src/kit/measurement/controller/measurement/UploadLines.h", m::upload_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/EventEntryLines.h", m::event_entry_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/LifecycleLines.h", m::lifecycle_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/MeasurementStartLines.h", m::start_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/OnDeviceConversionLines.h", m::on_device_conversion_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/RemoteConfigFetchLines.h", m::remote_config_fetch_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/UserPropertiesLines.h", m::user_properties_lines::kAllLines},
    {"src/kit/measurement/controller/measurement/WritePipelineLines.h", m::write_pipeline_lines::kAllLines},
};

// Codes that name a family of lines on purpose: one check logging the cause
// it found. Any text beyond those listed is a second text for the code.
const std::map<std::uint64_t, std::set<std::string_view>> kCodeFamilies = {
    {13000,
     {" must be of type NSString", " is too long. The maximum supported length is ",
      " is too short. The minimum supported length is "}},
    {13001, {" is required and can't be nil", " is required and can't be empty"}},
    {13013,
     {"Nested array parameters are not allowed. Name",
      "Only ecommerce events are allowed to contain array parameters. Invalid ecommerce name",
      " is an invalid ecommerce items. The name of array parameters for ecommerce should be \"items\". Invalid "
      "parameter name",
      "Array parameter has too many items. The maximum number of supported items is 200. Invalid array size"}},
};

fs::path sourceRoot() {
    const char* root = std::getenv("STUBFORGE_SOURCE_DIR");
    return root != nullptr && root[0] != '\0' ? fs::path(root) : fs::path();
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<fs::path> kitSources(const fs::path& root) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root / "src" / "kit")) {
        const auto extension = entry.path().extension();
        if (entry.is_regular_file() && (extension == ".h" || extension == ".cpp")) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string relativeName(const fs::path& path, const fs::path& root) {
    return fs::relative(path, root).generic_string();
}

// Skips a string or character literal starting at `at`; answers the index after it.
std::size_t skipLiteral(std::string_view text, std::size_t at) {
    const char quote = text[at];
    std::size_t i = at + 1;
    while (i < text.size() && text[i] != quote) {
        i += text[i] == '\\' ? 2 : 1;
    }
    return i + 1;
}

// The top-level arguments of the call whose parentheses open just before `at`.
std::vector<std::string_view> callArguments(std::string_view text, std::size_t at) {
    std::vector<std::string_view> arguments;
    int depth = 1;
    std::size_t start = at;
    std::size_t i = at;
    while (i < text.size() && depth > 0) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            i = skipLiteral(text, i);
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            ++depth;
        } else if (c == ')' || c == ']' || c == '}') {
            if (--depth == 0) {
                arguments.push_back(text.substr(start, i - start));
            }
        } else if (c == ',' && depth == 1) {
            arguments.push_back(text.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    return arguments;
}

// Whether a message argument spells text of its own: a string literal outside
// any braced list (a braced list holds the values filling a text).
bool writesTextInline(std::string_view argument) {
    int braces = 0;
    for (std::size_t i = 0; i < argument.size();) {
        const char c = argument[i];
        if (c == '"') {
            if (braces == 0) {
                return true;
            }
            i = skipLiteral(argument, i);
            continue;
        }
        if (c == '\'') {
            i = skipLiteral(argument, i);
            continue;
        }
        braces += c == '{' ? 1 : c == '}' ? -1 : 0;
        ++i;
    }
    return false;
}

// The `file:line` of every logWithLevel call of `text` with its message written inline.
std::vector<std::string> inlineLines(std::string_view text, const std::string& name) {
    std::vector<std::string> found;
    constexpr std::string_view kCall = "logWithLevel(";
    for (std::size_t at = text.find(kCall); at != std::string_view::npos; at = text.find(kCall, at + 1)) {
        const auto arguments = callArguments(text, at + kCall.size());
        if (arguments.size() >= 3 && writesTextInline(arguments[2])) {
            const auto line = std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(at), '\n') + 1;
            found.push_back(name + ":" + std::to_string(line));
        }
    }
    return found;
}

TEST(LogLinesTest, OneCodeNamesOneText) {
    std::map<std::uint64_t, std::set<std::string_view>> texts;
    std::map<std::uint64_t, std::vector<std::string_view>> where;
    for (const Table& table : kTables) {
        for (const Line* line : table.lines) {
            texts[line->code].insert(line->text);
            where[line->code].push_back(table.header);
        }
    }
    for (const auto& [code, seen] : texts) {
        if (seen.size() < 2) {
            continue;
        }
        const auto family = kCodeFamilies.find(code);
        for (std::string_view text : seen) {
            EXPECT_TRUE(family != kCodeFamilies.end() && family->second.contains(text))
                << "code " << code << " carries several texts, among them \"" << text
                << "\" (tables: " << where[code].front() << ", " << where[code].back() << ")";
        }
    }
}

TEST(LogLinesTest, EveryLineOfATableIsInItsList) {
    const fs::path root = sourceRoot();
    ASSERT_FALSE(root.empty()) << "STUBFORGE_SOURCE_DIR is not set";
    const std::regex definition(R"(inline\s+constexpr\s+Line\s+(\w+)\s*\{)");
    const std::regex list(R"(kAllLines\[\]\s*=\s*\{([^}]*)\})");
    for (const Table& table : kTables) {
        SCOPED_TRACE(std::string(table.header));
        const std::string text = readFile(root / table.header);
        ASSERT_FALSE(text.empty()) << "table not found";
        std::set<std::string> defined;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), definition); it != std::sregex_iterator(); ++it) {
            defined.insert((*it)[1].str());
        }
        std::smatch listed;
        ASSERT_TRUE(std::regex_search(text, listed, list)) << "no kAllLines";
        std::set<std::string> inList;
        const std::string entries = listed[1].str();
        const std::regex entry(R"(&\s*(\w+))");
        for (auto it = std::sregex_iterator(entries.begin(), entries.end(), entry); it != std::sregex_iterator();
             ++it) {
            EXPECT_TRUE(inList.insert((*it)[1].str()).second) << "listed twice: " << (*it)[1].str();
        }
        EXPECT_EQ(defined, inList);
        EXPECT_EQ(defined.size(), table.lines.size());
    }
}

TEST(LogLinesTest, EveryTableOfTheKitIsKnown) {
    const fs::path root = sourceRoot();
    ASSERT_FALSE(root.empty()) << "STUBFORGE_SOURCE_DIR is not set";
    std::set<std::string, std::less<>> known;
    for (const Table& table : kTables) {
        known.insert(std::string(table.header));
    }
    for (const fs::path& file : kitSources(root)) {
        const std::string name = relativeName(file, root);
        const bool namedAsTable = file.filename().string().ends_with("Lines.h") && file.filename() != "LogLines.h";
        const bool definesLines = readFile(file).find("inline constexpr Line ") != std::string::npos;
        if (namedAsTable || definesLines) {
            EXPECT_TRUE(known.contains(name)) << name << " is a table this test does not hold";
        }
    }
}

TEST(LogLinesTest, NoCallWritesItsTextInline) {
    const fs::path root = sourceRoot();
    ASSERT_FALSE(root.empty()) << "STUBFORGE_SOURCE_DIR is not set";
    std::vector<std::string> inlineCalls;
    for (const fs::path& file : kitSources(root)) {
        const std::string name = relativeName(file, root);
        const auto found = inlineLines(readFile(file), name);
        inlineCalls.insert(inlineCalls.end(), found.begin(), found.end());
    }
    EXPECT_TRUE(inlineCalls.empty()) << "log lines written inline: " << ::testing::PrintToString(inlineCalls);
}

TEST(LogLinesTest, TheScanFindsInlineTexts) {
    struct Case {
        std::string_view source;
        std::size_t found;
    };
    const Case cases[] = {
        {R"(monitor().logWithLevel(1, 2, "text");)", 1},
        {"monitor().logWithLevel(\n    1, 2,\n    \"split \"\n    \"text\", context);", 1},
        {R"(monitor().logWithLevel(1, 2, withWord(type, " suffix"));)", 1},
        {R"(LMUNetwork_logWithLevel(3, 4, "network text");)", 1},
        {R"(monitor().logWithLevel(line.level, line.code, line.text, "context");)", 0},
        {R"(monitor().logWithLevel(line.level, line.code, format(line.text, {Argument(x ? "YES" : "NO")}));)", 0},
        {R"(void logWithLevel(int level, std::uint64_t code, std::string_view message);)", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(inlineLines(c.source, "f").size(), c.found) << c.source;
    }
}

}  // namespace
