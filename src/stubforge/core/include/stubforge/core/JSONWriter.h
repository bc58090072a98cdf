#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/RowModels.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace stubforge {

// document_<r>rows_<timestamp>.json: a JSON array of `recordCount` objects,
// written "[", the records joined by ",", "]". Each record maps every
// field's name to a fakeJSONValue of its type (a JSON string), keys sorted,
// pretty-printed by the platform serialiser. When two fields share a name
// the later one's value stands, so each record holds one key per name.
// Returns the path written; throws platform::Error (a negative count is
// refused before anything is written) and leaves no file on failure.
std::filesystem::path generateJSONFile(std::int64_t recordCount, std::span<const CSVColumnTableRow> fields,
                                       const GenerationContext& context);

}  // namespace stubforge
