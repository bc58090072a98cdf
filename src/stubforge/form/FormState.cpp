#include "stubforge/form/FormState.h"

#include <locale.h>
#include <cctype>
#include <charconv>
#include <clocale>
#include <cstdlib>

namespace stubforge {

std::optional<std::int64_t> parseInteger(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') {
            return std::nullopt;
        }
    }
    if (text.empty() || (text.size() == 1 && text.front() == '-')) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return std::nullopt;
    }
    const std::string copy(text);
    // strtod_l with the C locale, so "." is the decimal point whatever the
    // process locale says.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    char* end = nullptr;
    const double value = strtod_l(copy.c_str(), &end, cLocale);
    if (end != copy.c_str() + copy.size()) {
        return std::nullopt;
    }
    return value;
}

bool isPageRoad(const FormState& form) {
    return form.selectedFileExtension == FileExtension::pdf && form.selectedContentType == ContentType::dummy &&
           form.selectedPDFGenerationMode != PDFGenerationMode::bySize;
}

namespace {

bool inRange(std::optional<std::int64_t> value, std::int64_t low, std::int64_t high) {
    return value && *value >= low && *value <= high;
}

}  // namespace

std::optional<std::string> formProblem(const FormState& form) {
    if (form.selectedFileExtension == FileExtension::showAll) {
        return "Choose a kind of file to generate.";
    }
    if (isPageRoad(form)) {
        if (!inRange(parseInteger(form.pageCountInput), 1, kMaxPageCount)) {
            return "The page count must be a whole number from 1 to 1000.";
        }
    } else {
        const auto size = parseDouble(form.fileSizeInput);
        if (!size || !(*size >= MIN_FILE_SIZE_MB) || !(*size <= MAX_FILE_SIZE_MB)) {
            return "The file size must be a number of megabytes from 0.01 to 50000.";
        }
    }
    if (form.selectedFileExtension == FileExtension::csv &&
        !inRange(parseInteger(form.columnCount), 1, MAX_COLUMN_COUNT)) {
        return "The column count must be a whole number from 1 to 250.";
    }
    if (form.selectedFileExtension == FileExtension::json) {
        if (!inRange(parseInteger(form.jsonRowCount), 0, kMaxJSONRowCount)) {
            return "The record count must be a whole number from 0 to 500.";
        }
        if (!inRange(parseInteger(form.jsonFieldCount), 1, kMaxJSONFieldCount)) {
            return "The field count must be a whole number from 1 to 100.";
        }
    }
    return std::nullopt;
}

void bringTablesToTypedCounts(FormState& form) {
    // The models cap what they add; the panels' bounds must lie within it.
    static_assert(kMaxColumnTableRows <= CSVColumnsViewModel::maximumRowCount);
    static_assert(kMaxJSONFieldCount <= JSONFieldsViewModel::maximumRowCount);
    if (const auto columns = parseInteger(form.columnCount); inRange(columns, 1, kMaxColumnTableRows)) {
        form.csvColumnsViewModel.updateRowCount(*columns);
    }
    if (const auto fields = parseInteger(form.jsonFieldCount); inRange(fields, 1, kMaxJSONFieldCount)) {
        form.jsonFieldsViewModel.updateRowCount(*fields);
    }
}

}  // namespace stubforge
