#pragma once

#include "stubforge/core/RowModels.h"

#include <QAbstractTableModel>

#include <functional>
#include <memory>

namespace stubforge::ui {

// The table behind the column and field editors: "No.", the name, the
// Faker value type and a remove button, over a CSV column or JSON field
// list. Edits go straight to the list; the list's changes come back as the
// table's own signals.
class RowsTableModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { numberColumn, nameColumn, typeColumn, removeColumn };
    static constexpr int kColumns = 4;
    // The row's value type as a position in the list of all types.
    static constexpr int kTypeIndexRole = Qt::UserRole + 1;

    // What the table needs of one kind of list.
    struct Access {
        std::function<std::size_t()> size;
        std::function<std::string(std::size_t)> name;
        std::function<void(std::size_t, std::string)> setName;
        std::function<CSVColumnDataType(std::size_t)> dataType;
        std::function<void(std::size_t, CSVColumnDataType)> setDataType;
        std::function<UUID(std::size_t)> id;
        std::function<std::uint64_t(RowsObserver)> observe;
        std::function<void(std::uint64_t)> stopObserving;
    };

    template <typename Row>
    static Access accessTo(RowsModel<Row>& model) {
        return Access{
            [&model] { return model.rows().size(); },
            [&model](std::size_t row) { return RowTraits<Row>::name(model.rows()[row]); },
            [&model](std::size_t row, std::string name) { model.setName(row, std::move(name)); },
            [&model](std::size_t row) { return model.rows()[row].dataType; },
            [&model](std::size_t row, CSVColumnDataType type) { model.setDataType(row, type); },
            [&model](std::size_t row) { return model.rows()[row].id; },
            [&model](RowsObserver observer) { return model.observe(std::move(observer)); },
            [&model](std::uint64_t id) { model.stopObserving(id); },
        };
    }

    RowsTableModel(Access access, QString nameTitle, QObject* parent = nullptr);
    ~RowsTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    UUID idAt(int row) const;

private:
    void willChange(const RowsChange& change);
    void didChange(const RowsChange& change);

    Access access_;
    QString nameTitle_;
    std::uint64_t observer_ = 0;
};

}  // namespace stubforge::ui
