#pragma once

#include "stubforge/core/Options.h"
#include "stubforge/core/RowModels.h"
#include "stubforge/core/Sizes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The generation form without any widgets: its values, the rule that
// enables Generate, and the parsing the dispatch uses. The window binds its
// controls to a FormState; the test driver fills one from its options.
namespace stubforge {

inline constexpr std::int64_t MAX_COLUMN_COUNT = 250;
inline constexpr std::int64_t kMaxPageCount = 1000;
inline constexpr std::int64_t kMaxJSONRowCount = 500;
inline constexpr std::int64_t kMaxJSONFieldCount = 100;
// The largest count the CSV panel resizes its table to as the count is typed.
inline constexpr std::int64_t kMaxColumnTableRows = 1000;

struct FormState {
    FileExtension selectedFileExtension = FileExtension::pdf;
    std::string fileSizeInput = "1";
    ContentType selectedContentType = ContentType::dummy;
    ContentSize selectedContentSize = ContentSize::small;
    PDFGenerationMode selectedPDFGenerationMode = PDFGenerationMode::bySize;
    std::string pageCountInput = "2";
    CSVCriteria selectedCSVCriteria = CSVCriteria::byColumnCount;
    std::string columnCount = "5";
    std::string jsonRowCount = "5";
    std::string jsonFieldCount = "5";
    // The column and field tables; copying a form copies their rows (not
    // their observers), so a request holds the rows as they were.
    CSVColumnsViewModel csvColumnsViewModel;
    JSONFieldsViewModel jsonFieldsViewModel;
};

// An optional sign and decimal digits, nothing else, within 64 bits.
std::optional<std::int64_t> parseInteger(std::string_view text);

// One whole number as the C library reads it in the C locale; leading white
// space, an empty text or anything left over fails.
std::optional<double> parseDouble(std::string_view text);

// True on the page road: a dummy PDF by page count.
bool isPageRoad(const FormState& form);

// The first rule the form breaks, in words, or nothing when Generate may be
// pressed.
std::optional<std::string> formProblem(const FormState& form);

inline bool isFormValid(const FormState& form) { return !formProblem(form).has_value(); }

// What the window does each time its content appears: brings the column
// table to the typed column count and the field table to the typed field
// count. A count that does not parse, or lies outside what the panels
// accept as they are typed into (1 to 1000 columns, 1 to 100 fields),
// leaves its table alone, so a stray count cannot make millions of rows.
void bringTablesToTypedCounts(FormState& form);

}  // namespace stubforge
