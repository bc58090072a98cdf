#include "stubforge/core/RowModels.h"

#include <algorithm>
#include <utility>

namespace stubforge {

namespace {

template <typename Row>
Row makeRow(std::size_t position, platform::RandomSource& random) {
    Row row;
    row.id = UUID::random(random);
    RowTraits<Row>::name(row) = std::string(RowTraits<Row>::namePrefix) + std::to_string(position);
    return row;
}

}  // namespace

template <typename Row>
RowsModel<Row>::RowsModel(platform::RandomSource& random) : random_(&random) {
    rows_.push_back(makeRow<Row>(1, *random_));
}

template <typename Row>
RowsModel<Row>::RowsModel(const RowsModel& other) : random_(other.random_), rows_(other.rows_) {}

template <typename Row>
RowsModel<Row>::RowsModel(RowsModel&& other) noexcept : random_(other.random_), rows_(std::move(other.rows_)) {}

template <typename Row>
RowsModel<Row>& RowsModel<Row>::operator=(const RowsModel& other) {
    if (this != &other) {
        setRows(other.rows_);
    }
    return *this;
}

template <typename Row>
RowsModel<Row>& RowsModel<Row>::operator=(RowsModel&& other) {
    if (this != &other) {
        setRows(std::move(other.rows_));
    }
    return *this;
}

template <typename Row>
void RowsModel<Row>::announce(std::function<void(const RowsObserver&)> call) const {
    // A copy, so an observer may stop observing from its own callback.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        call(observer);
    }
}

template <typename Row>
template <typename Change>
void RowsModel<Row>::change(const RowsChange& what, Change&& apply) {
    announce([&](const RowsObserver& observer) {
        if (observer.willChange) {
            observer.willChange(what);
        }
    });
    apply();
    announce([&](const RowsObserver& observer) {
        if (observer.didChange) {
            observer.didChange(what);
        }
    });
}

template <typename Row>
void RowsModel<Row>::setRows(std::vector<Row> rows) {
    const RowsChange what{RowsChange::Kind::replaced, 0, rows.size()};
    change(what, [&] { rows_ = std::move(rows); });
}

template <typename Row>
void RowsModel<Row>::addRow() {
    const std::size_t count = rows_.size();
    Row row = makeRow<Row>(count + 1, *random_);
    change(RowsChange{RowsChange::Kind::inserted, count, 1}, [&] { rows_.push_back(std::move(row)); });
}

template <typename Row>
void RowsModel<Row>::updateRowCount(std::int64_t count) {
    const auto maximum = static_cast<std::size_t>(maximumRowCount);
    auto target = static_cast<std::uint64_t>(count > 1 ? count : 1);
    if (target > rows_.size()) {
        target = std::min<std::uint64_t>(target, std::max(rows_.size(), maximum));
    }
    while (rows_.size() < target) {
        addRow();
    }
    while (rows_.size() > target) {
        change(RowsChange{RowsChange::Kind::removed, rows_.size() - 1, 1}, [&] { rows_.pop_back(); });
    }
}

template <typename Row>
void RowsModel<Row>::removeRow(std::size_t index) {
    if (index >= rows_.size()) {
        return;
    }
    change(RowsChange{RowsChange::Kind::removed, index, 1},
           [&] { rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index)); });
}

template <typename Row>
void RowsModel<Row>::setName(std::size_t index, std::string name) {
    if (index >= rows_.size()) {
        return;
    }
    change(RowsChange{RowsChange::Kind::edited, index, 1},
           [&] { RowTraits<Row>::name(rows_[index]) = std::move(name); });
}

template <typename Row>
void RowsModel<Row>::setDataType(std::size_t index, CSVColumnDataType dataType) {
    if (index >= rows_.size()) {
        return;
    }
    change(RowsChange{RowsChange::Kind::edited, index, 1}, [&] { rows_[index].dataType = dataType; });
}

template <typename Row>
std::optional<std::size_t> RowsModel<Row>::indexOf(const UUID& id) const {
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        if (rows_[index].id == id) {
            return index;
        }
    }
    return std::nullopt;
}

template <typename Row>
typename RowsModel<Row>::ObserverID RowsModel<Row>::observe(RowsObserver observer) {
    const ObserverID id = nextObserver_++;
    observers_.emplace_back(id, std::move(observer));
    return id;
}

template <typename Row>
void RowsModel<Row>::stopObserving(ObserverID id) {
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

template class RowsModel<CSVColumnTableRow>;
template class RowsModel<JSONFieldTableRow>;

}  // namespace stubforge
