#include "DatabaseSupport.h"

#include "kit/measurement/messages/NanoMessageAccess.h"

namespace kit::measurement::database {

using platform::Expected;

const platform::Value* column(const MSRRecord& row, std::string_view name) {
    const auto found = row.find(name);
    if (found == row.end() || found->second.isNull()) {
        return nullptr;
    }
    return &found->second;
}

std::optional<std::int64_t> integerColumn(const MSRRecord& row, std::string_view name) {
    const platform::Value* value = column(row, name);
    return value != nullptr ? value->asInteger() : std::nullopt;
}

std::optional<double> doubleColumn(const MSRRecord& row, std::string_view name) {
    const platform::Value* value = column(row, name);
    return value != nullptr ? value->asDouble() : std::nullopt;
}

const std::string* textColumn(const MSRRecord& row, std::string_view name) {
    const platform::Value* value = column(row, name);
    return value != nullptr ? value->asString() : nullptr;
}

const platform::Value::Data* dataColumn(const MSRRecord& row, std::string_view name) {
    const platform::Value* value = column(row, name);
    return value != nullptr ? value->asData() : nullptr;
}

Expected<bool> flagForQuery(MSRSqliteStore& store, std::string_view query, const MSRParameterValues& parameters,
                            MSRStatementReuse reuse) {
    auto number = store.numberForQuery(query, parameters, reuse);
    if (!number) {
        return platform::unexpected(number.error());
    }
    return *number && (*number)->asInteger().value_or(0) != 0;
}

Expected<std::int64_t> countForQuery(MSRSqliteStore& store, std::string_view query,
                                     const MSRParameterValues& parameters) {
    auto number = store.numberForQuery(query, parameters);
    if (!number) {
        return platform::unexpected(number.error());
    }
    return *number ? (*number)->asInteger().value_or(0) : 0;
}

platform::Value storedValue(const MSRValue& value) {
    if (const std::string* text = value.stringValue()) {
        return platform::Value(*text);
    }
    if (value.isDouble()) {
        return platform::Value(value.doubleValue());
    }
    return platform::Value(value.int64Value());
}

Expected<MSREvent> eventFromStoredData(const platform::Value* stored) {
    const platform::Value::Data* bytes = stored != nullptr ? stored->asData() : nullptr;
    if (bytes == nullptr) {
        return failure(MSRErrorCode::invalidState,
                       "Failed to convert data to an event. Data must be a NSData instance");
    }
    auto proto = MSRPBEvent::initWithBuffer(*bytes);
    if (!proto) {
        return failure(MSRErrorCode::invalidState, "Failed to parse event from data");
    }
    auto event = MSREvent::initWithEventProto(*proto);
    if (!event) {
        return failure(MSRErrorCode::invalidState, "Failed to initialize event from proto data");
    }
    return std::move(*event);
}

std::optional<NanoBytes> storedEventData(const MSREvent& event) { return event.protoEvent().protoBuffer(); }

Expected<RowIDCondition> rowIDCondition(const std::vector<std::int64_t>& rowIDs) {
    if (rowIDs.empty()) {
        return failure(MSRErrorCode::databaseFailure, "Received empty row IDs to process");
    }
    RowIDCondition result;
    std::string placeholders = "?";
    placeholders.reserve(2 * rowIDs.size());
    for (std::size_t index = 1; index < rowIDs.size(); ++index) {
        placeholders += ",?";
    }
    result.condition = "rowid IN (" + placeholders + ")";
    result.parameters.reserve(rowIDs.size());
    for (const std::int64_t rowID : rowIDs) {
        result.parameters.emplace_back(rowID);
    }
    return result;
}

}  // namespace kit::measurement::database
