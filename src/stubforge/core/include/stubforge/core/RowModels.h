#pragma once

#include "stubforge/core/ColumnDataType.h"
#include "stubforge/core/UUID.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The CSV column and JSON field lists that the configuration panels edit
// and the record writers read. Plain models: the window adapts them to its
// toolkit through the change callbacks.
namespace stubforge {

// One CSV column. Rows are told apart by `id` alone: two rows with the same
// name and type are different rows, and a renamed row is still the same row.
// Whoever makes a row gives it its identity (the models draw one).
struct CSVColumnTableRow {
    UUID id;
    std::string columnName;
    CSVColumnDataType dataType = CSVColumnDataType::streetAddress;

    friend bool operator==(const CSVColumnTableRow& left, const CSVColumnTableRow& right) {
        return left.id == right.id;
    }
};

// One JSON field: the key of every record and the kind of its value.
struct JSONFieldTableRow {
    UUID id;
    std::string fieldName;
    CSVColumnDataType dataType = CSVColumnDataType::streetAddress;
};

// One change of a model's rows. For `inserted`, `removed` and `edited`,
// `first` and `count` give the rows concerned (positions before a removal,
// after an insertion); `replaced` swaps the whole list and `count` is the
// new number of rows.
struct RowsChange {
    enum class Kind { inserted, removed, edited, replaced };
    Kind kind;
    std::size_t first = 0;
    std::size_t count = 0;
};

// Told of every change, before it takes effect (rows as they were) and
// after. Either callback may be empty.
struct RowsObserver {
    std::function<void(const RowsChange&)> willChange;
    std::function<void(const RowsChange&)> didChange;
};

template <typename Row>
struct RowTraits;

template <>
struct RowTraits<CSVColumnTableRow> {
    static constexpr std::string_view namePrefix = "Column";
    static std::string& name(CSVColumnTableRow& row) { return row.columnName; }
    static const std::string& name(const CSVColumnTableRow& row) { return row.columnName; }
};

template <>
struct RowTraits<JSONFieldTableRow> {
    static constexpr std::string_view namePrefix = "Field";
    static std::string& name(JSONFieldTableRow& row) { return row.fieldName; }
    static const std::string& name(const JSONFieldTableRow& row) { return row.fieldName; }
};

// An ordered list of rows with the operations the panels use. A new model
// holds one row, "Column1" or "Field1", of type streetAddress. The rows it
// makes draw their identities from the source it is given, which must
// outlive the model and its copies. Used from one thread (the window's); no
// locks.
template <typename Row>
class RowsModel {
public:
    using ObserverID = std::uint64_t;

    explicit RowsModel(platform::RandomSource& random = platform::systemRandom());
    // A copy holds the same rows but none of the observers, which watch the
    // model they were added to; assigning announces a replacement to the
    // target's own observers.
    RowsModel(const RowsModel& other);
    RowsModel(RowsModel&& other) noexcept;
    RowsModel& operator=(const RowsModel& other);
    RowsModel& operator=(RowsModel&& other);
    ~RowsModel() = default;

    const std::vector<Row>& rows() const { return rows_; }
    // Replaces the whole list (the template import does this); may leave it
    // empty.
    void setRows(std::vector<Row> rows);

    // Appends a row named "Column"/"Field" and the current count plus one,
    // of type streetAddress. The name may repeat an existing one.
    void addRow();

    // The most rows updateRowCount adds up to, as many as the panels accept
    // as a count is typed. It guards against a stray huge count (up to
    // INT64_MAX) adding rows until memory runs out.
    static constexpr std::int64_t maximumRowCount = 1000;

    // Brings the count to max(count, 1): adds rows with addRow, or removes
    // rows from the end, one change per row; nothing when already there.
    // Adds no rows past `maximumRowCount`, and removes none for a count
    // above it, so a longer list set by setRows is left as it is.
    void updateRowCount(std::int64_t count);

    // Removes the row at `index`; nothing when there is none.
    void removeRow(std::size_t index);

    // Edits one row's name or type; nothing when there is no such row.
    void setName(std::size_t index, std::string name);
    void setDataType(std::size_t index, CSVColumnDataType dataType);

    // The position of the first row with identity `id`.
    std::optional<std::size_t> indexOf(const UUID& id) const;

    ObserverID observe(RowsObserver observer);
    void stopObserving(ObserverID id);

private:
    void announce(std::function<void(const RowsObserver&)> call) const;
    template <typename Change>
    void change(const RowsChange& what, Change&& apply);

    platform::RandomSource* random_;
    std::vector<Row> rows_;
    std::vector<std::pair<ObserverID, RowsObserver>> observers_;
    ObserverID nextObserver_ = 1;
};

class CSVColumnsViewModel final : public RowsModel<CSVColumnTableRow> {
public:
    using RowsModel::RowsModel;
};

class JSONFieldsViewModel final : public RowsModel<JSONFieldTableRow> {
public:
    using RowsModel::RowsModel;
};

extern template class RowsModel<CSVColumnTableRow>;
extern template class RowsModel<JSONFieldTableRow>;

}  // namespace stubforge
