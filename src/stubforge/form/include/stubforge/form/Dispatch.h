#pragma once

#include "stubforge/form/FormState.h"

#include "stubforge/core/GenerationContext.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace stubforge {

// The dispatch's own refusals (domain "Generation"); a writer's failure
// passes in the writer's domain.
enum class GenerationError {
    notAFileKind = 1,  // "all" stands for every kind, not one to generate
    noWriter = 2,      // no writer makes this kind of file
};
constexpr std::string_view errorDomain(GenerationError) { return "Generation"; }

// One generation, fixed at the click: a copy of the form and the one number
// parsed from it (the page count on the page road, else the size in MB).
struct GenerationRequest {
    FormState form;
    std::optional<std::int64_t> pageCount;
    std::optional<double> sizeInMB;
};

// Why a form cannot be generated from, in words.
struct FormProblem {
    std::string message;
};

// The one decision behind the Generate button: either the request a click
// starts, or the first rule the form breaks. The window enables Generate
// exactly when this gives a request, and a click dispatches that request,
// so a click is never silently dropped.
using FormCheck = std::variant<GenerationRequest, FormProblem>;
FormCheck checkForm(const FormState& form);

// The dispatch's parse step: nothing when the page count or size does not
// parse, in which case no generation starts.
std::optional<GenerationRequest> startGeneration(const FormState& form);

// Runs the one writer the request's file kind calls for, returning the path
// of the file written. Throws platform::Error when the writer fails.
std::filesystem::path runGeneration(const GenerationRequest& request, const GenerationContext& context);

}  // namespace stubforge
