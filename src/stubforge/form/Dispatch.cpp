#include "stubforge/form/Dispatch.h"

#include "stubforge/core/CSVUtils.h"
#include "stubforge/core/JSONWriter.h"
#include "stubforge/core/SizedWriters.h"
#include "stubforge/pdf/PDFWriters.h"

#include "platform/Error.h"

namespace stubforge {

namespace fs = std::filesystem;

namespace {

// A count typed in the form, or 1 when it does not parse.
std::int64_t countOrOne(std::string_view text) { return parseInteger(text).value_or(1); }

// The JSON writer takes its fields as column rows; each keeps its field's
// identity.
std::vector<CSVColumnTableRow> fieldsAsColumns(const JSONFieldsViewModel& model) {
    std::vector<CSVColumnTableRow> columns;
    columns.reserve(model.rows().size());
    for (const JSONFieldTableRow& field : model.rows()) {
        columns.push_back(CSVColumnTableRow{field.id, field.fieldName, field.dataType});
    }
    return columns;
}

}  // namespace

std::optional<GenerationRequest> startGeneration(const FormState& form) {
    GenerationRequest request{form, std::nullopt, std::nullopt};
    if (isPageRoad(form)) {
        request.pageCount = parseInteger(form.pageCountInput);
        if (!request.pageCount) {
            return std::nullopt;
        }
        return request;
    }
    request.sizeInMB = parseDouble(form.fileSizeInput);
    if (!request.sizeInMB) {
        return std::nullopt;
    }
    return request;
}

FormCheck checkForm(const FormState& form) {
    if (auto problem = formProblem(form)) {
        return FormProblem{std::move(*problem)};
    }
    if (auto request = startGeneration(form)) {
        return std::move(*request);
    }
    // The rules above parse the same numbers; this only guards against the
    // two drifting apart.
    return FormProblem{"The form's numbers do not parse."};
}

fs::path runGeneration(const GenerationRequest& request, const GenerationContext& context) {
    const FormState& form = request.form;
    if (request.pageCount) {
        return generatePDFByPageCount(*request.pageCount, form.pageCountInput, context);
    }
    const double size = request.sizeInMB.value_or(0.0);
    const std::string& sizeText = form.fileSizeInput;
    switch (form.selectedFileExtension) {
    case FileExtension::txt:
        return generateTXTFile(sizeText, size, context);
    case FileExtension::usdz:
        return USDZGenerator.generate(form.selectedContentSize, context);
    case FileExtension::csv:
        if (form.selectedCSVCriteria == CSVCriteria::byColumnCount) {
            return CSVUtils::generateCSVByColumns(countOrOne(form.columnCount), form.csvColumnsViewModel.rows(),
                                                  context);
        }
        return CSVGenerator.generate(sizeText, size, context);
    case FileExtension::pdf:
        return generatePDFBySize(sizeText, form.selectedContentType, form.selectedContentSize, size, context);
    case FileExtension::json:
        return generateJSONFile(countOrOne(form.jsonRowCount), fieldsAsColumns(form.jsonFieldsViewModel), context);
    case FileExtension::showAll:
        throw platform::Error(GenerationError::notAFileKind, "\"all\" is not a kind of file to generate.");
    default:
        break;
    }
    const BaseFileGenerator* generator = baseFileGenerator(form.selectedFileExtension);
    if (generator == nullptr) {
        throw platform::Error(GenerationError::noWriter, "No writer for this kind of file.");
    }
    return generator->generate(sizeText, size, context);
}

}  // namespace stubforge
