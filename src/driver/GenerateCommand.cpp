#include "Commands.h"
#include "Options.h"
#include "Output.h"

#include "stubforge/form/Dispatch.h"

#include "platform/Error.h"

#include <array>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>
#include <vector>

namespace driver {

namespace {

constexpr std::array<std::string_view, 11> kOptions = {
    "--ext",      "--size",    "--pages", "--content", "--mode", "--form",
    "--criteria", "--columns", "--rows",  "--fields",  "--seed",
};
constexpr std::array<std::string_view, 2> kRepeatable = {"--column", "--field"};
constexpr std::array<std::string_view, 1> kFlags = {"--help"};

int refuse(const std::string& message) { return complain(message, 1); }

// Sets `target` from option `name` when given, by raw value.
template <typename Option>
bool setOption(const Options& options, std::string_view name, Option& target, std::string& error) {
    const std::string* text = options.get(name);
    if (text == nullptr) {
        return true;
    }
    const auto value = stubforge::fromRawValue<Option>(*text);
    if (!value) {
        error = "Unknown value \"" + *text + "\" for " + std::string(name) + ".";
        return false;
    }
    target = *value;
    return true;
}

void setText(const Options& options, std::string_view name, std::string& target) {
    if (const std::string* text = options.get(name)) {
        target = *text;
    }
}

// "Name=<raw value>" of --column and --field: the name is everything before
// the last "=" (raw values hold none), so a name may itself hold "=".
struct RowOption {
    std::string name;
    stubforge::CSVColumnDataType dataType;
};

std::optional<std::vector<RowOption>> rowOptions(const Options& options, std::string_view option, std::string& error) {
    std::vector<RowOption> rows;
    for (const std::string& text : options.all(option)) {
        const std::size_t split = text.rfind('=');
        if (split == std::string::npos) {
            error = std::string(option) + " \"" + text + "\" is not Name=<value type>.";
            return std::nullopt;
        }
        const std::string typeText = text.substr(split + 1);
        const auto dataType = stubforge::fromRawValue<stubforge::CSVColumnDataType>(typeText);
        if (!dataType) {
            error = "Unknown value type \"" + typeText + "\" for " + std::string(option) + ".";
            return std::nullopt;
        }
        rows.push_back(RowOption{text.substr(0, split), *dataType});
    }
    return rows;
}

// The panels' rows: the given ones replace the model's initial row, in
// order, each with a fresh identity as the panel gives it. Without a typed count, their number is the typed count.
template <typename Model>
void applyRows(const std::vector<RowOption>& given, Model& model, bool countTyped, std::string& countText) {
    if (given.empty()) {
        return;
    }
    using Row = std::remove_cvref_t<decltype(model.rows().front())>;
    std::vector<Row> rows;
    for (const RowOption& option : given) {
        Row row;
        row.id = stubforge::UUID::random(platform::systemRandom());
        stubforge::RowTraits<Row>::name(row) = option.name;
        row.dataType = option.dataType;
        rows.push_back(std::move(row));
    }
    model.setRows(std::move(rows));
    if (!countTyped) {
        countText = std::to_string(given.size());
    }
}

}  // namespace

int runGenerate(std::span<const std::string_view> arguments) {
    std::string error;
    const auto options = Options::parse(arguments, kOptions, kRepeatable, kFlags, error);
    if (!options) {
        complain("stubforge-driver generate: " + error, 2);
        return usageError("generate");
    }
    if (options->has("--help")) {
        return writeResult(usage("generate", true));
    }
    if (!options->has("--ext")) {
        complain("stubforge-driver generate: --ext is required", 2);
        return usageError("generate");
    }

    // Fill the form as the window would: every option sets one field, the
    // rest keep the window's initial values.
    stubforge::FormState form;
    if (!setOption(*options, "--ext", form.selectedFileExtension, error) ||
        !setOption(*options, "--content", form.selectedContentType, error) ||
        !setOption(*options, "--mode", form.selectedPDFGenerationMode, error) ||
        !setOption(*options, "--form", form.selectedContentSize, error) ||
        !setOption(*options, "--criteria", form.selectedCSVCriteria, error)) {
        return refuse(error);
    }
    setText(*options, "--size", form.fileSizeInput);
    setText(*options, "--pages", form.pageCountInput);
    setText(*options, "--columns", form.columnCount);
    setText(*options, "--rows", form.jsonRowCount);
    setText(*options, "--fields", form.jsonFieldCount);

    // The tables as the panels would leave them, then brought to the typed
    // counts as when the window's content appears.
    const auto columns = rowOptions(*options, "--column", error);
    if (!columns) {
        return refuse(error);
    }
    const auto fields = rowOptions(*options, "--field", error);
    if (!fields) {
        return refuse(error);
    }
    applyRows(*columns, form.csvColumnsViewModel, options->has("--columns"), form.columnCount);
    applyRows(*fields, form.jsonFieldsViewModel, options->has("--fields"), form.jsonFieldCount);
    stubforge::bringTablesToTypedCounts(form);

    const stubforge::FormCheck check = stubforge::checkForm(form);
    if (const auto* problem = std::get_if<stubforge::FormProblem>(&check)) {
        return refuse(problem->message);
    }
    const auto& request = std::get<stubforge::GenerationRequest>(check);

    auto seeded = seededSource(*options);
    if (!seeded) {
        return refuse("The seed must be a whole number.");
    }
    const stubforge::GenerationContext standard = stubforge::GenerationContext::standard();
    const stubforge::GenerationContext context(standard.clock(), *seeded ? **seeded : standard.random(),
                                               standard.defaults(), standard.bundle());
    try {
        const auto path = stubforge::runGeneration(request, context);
        return writeResult(path.string() + "\n");
    } catch (const platform::Error& failure) {
        return refuse(failure.what());
    } catch (const std::exception& failure) {
        return refuse(failure.what());
    }
}

}  // namespace driver
