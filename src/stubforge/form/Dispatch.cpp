#include "stubforge/form/Dispatch.h"

#include "stubforge/core/SizedWriters.h"

#include "platform/Error.h"

#include <cerrno>

namespace stubforge {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void notBuiltYet(std::string_view what) {
    throw platform::Error("Generation", ENOSYS, std::string(what) + " cannot be generated yet.");
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

fs::path runGeneration(const GenerationRequest& request, const GenerationContext& context) {
    const FormState& form = request.form;
    if (request.pageCount) {
        notBuiltYet("A PDF by page count");
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
            notBuiltYet("A CSV file by columns");
        }
        return CSVGenerator.generate(sizeText, size, context);
    case FileExtension::pdf:
        notBuiltYet("A PDF by size");
    case FileExtension::json:
        notBuiltYet("A JSON file");
    case FileExtension::showAll:
        throw platform::Error("Generation", EINVAL, "\"all\" is not a kind of file to generate.");
    default:
        break;
    }
    const BaseFileGenerator* generator = baseFileGenerator(form.selectedFileExtension);
    if (generator == nullptr) {
        throw platform::Error("Generation", EINVAL, "No writer for this kind of file.");
    }
    return generator->generate(sizeText, size, context);
}

}  // namespace stubforge
