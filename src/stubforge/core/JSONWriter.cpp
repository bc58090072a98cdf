#include "stubforge/core/JSONWriter.h"

#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/ColumnDataType.h"
#include "stubforge/core/SizedWriters.h"
#include "stubforge/core/Utils.h"

#include "stubforge/core/FakeData.h"

#include "stubforge/core/WriterErrors.h"

#include "platform/Error.h"
#include "platform/OutputFile.h"
#include "platform/Value.h"

namespace stubforge {

namespace fs = std::filesystem;

namespace {

constexpr int kRecordIndent = 2;

}  // namespace

fs::path generateJSONFile(std::int64_t recordCount, std::span<const CSVColumnTableRow> fields,
                          const GenerationContext& context) {
    if (recordCount < 0) {
        throw platform::Error(JSONGeneratorError::invalidRecordCount,
                              "A JSON file cannot hold " + std::to_string(recordCount) + " records.");
    }
    const std::string fileName =
        "document_" + std::to_string(recordCount) + "rows_" + Utils::timestamp(context.clock()) + ".json";
    const fs::path destination = detail::outputPath(context, fileName);
    platform::OutputFile file(destination, context.cancel());
    sham::Faker faker = makeFaker(context);

    file.write("[");
    for (std::int64_t index = 0; index < recordCount; ++index) {
        platform::Value::Dictionary record;
        for (const CSVColumnTableRow& field : fields) {
            // Every field draws its value, so a later field of the same name
            // replaces the earlier value and the draws stay in field order.
            record.insert_or_assign(field.columnName, platform::Value(fakeJSONValue(field.dataType, faker)));
        }
        std::string text = platform::Value(std::move(record)).toJson(kRecordIndent);
        if (index + 1 < recordCount) {
            text += ',';
        }
        file.write(text);
    }
    file.write("]");
    return closeFileHandle(file);
}

}  // namespace stubforge
