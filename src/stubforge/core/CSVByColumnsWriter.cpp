#include "stubforge/core/CSVUtils.h"

#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/ColumnDataType.h"
#include "stubforge/core/SizedWriters.h"
#include "stubforge/core/Utils.h"

#include "stubforge/core/FakeData.h"

#include "stubforge/core/WriterErrors.h"

#include "platform/Error.h"
#include "platform/OutputFile.h"

namespace stubforge::CSVUtils {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemplateColumnPrefix = "Column";

// Appends one record: the fields joined by "," and the line end. A record
// of one empty field is written as "" so that it does not read as a blank
// line, which CSV readers skip or take for a record without fields.
template <typename FieldAt>
void appendRecord(std::string& line, std::size_t fieldCount, FieldAt&& fieldAt) {
    line.clear();
    for (std::size_t index = 0; index < fieldCount; ++index) {
        if (index > 0) {
            line += ',';
        }
        line += quotedField(fieldAt(index));
    }
    if (line.empty()) {
        line = "\"\"";
    }
    line += '\n';
}

}  // namespace

std::string quotedField(std::string_view field) {
    if (field.find_first_of(",\"\n\r") == std::string_view::npos) {
        return std::string(field);
    }
    std::string quoted;
    quoted.reserve(field.size() + 2);
    quoted += '"';
    for (const char character : field) {
        if (character == '"') {
            quoted += '"';
        }
        quoted += character;
    }
    quoted += '"';
    return quoted;
}

fs::path generateCSVByColumns(std::int64_t columnCount, std::span<const CSVColumnTableRow> columns,
                              const GenerationContext& context) {
    if (columnCount < 1) {
        throw platform::Error(CSVUtilsError::invalidColumnCount,
                              "A CSV file needs at least one column, not " + std::to_string(columnCount) + ".");
    }
    const std::string fileName =
        "document_" + std::to_string(columnCount) + "columns_" + Utils::timestamp(context.clock()) + ".csv";
    const fs::path destination = detail::outputPath(context, fileName);
    platform::OutputFile file(destination, context.cancel());
    sham::Faker faker = makeFaker(context);

    const auto count = static_cast<std::size_t>(columnCount);
    // The rows count only when there is one per column; otherwise they are
    // set aside and the columns are numbered, with lorem words for values.
    const bool templateMode = columns.empty() || columns.size() != count;

    std::string line;
    if (templateMode) {
        appendRecord(line, count,
                     [](std::size_t index) { return std::string(kTemplateColumnPrefix) + std::to_string(index + 1); });
    } else {
        appendRecord(line, count, [&](std::size_t index) { return columns[index].columnName; });
    }
    file.write(line);

    for (int row = 0; row < kCSVDataRowCount; ++row) {
        if (templateMode) {
            appendRecord(line, count, [&](std::size_t) { return faker.lorem().word(); });
        } else {
            appendRecord(line, count, [&](std::size_t index) { return fakeCSVValue(columns[index].dataType, faker); });
        }
        file.write(line);
    }
    return closeFileHandle(file);
}

}  // namespace stubforge::CSVUtils
