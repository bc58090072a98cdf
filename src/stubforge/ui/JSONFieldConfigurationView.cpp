#include "stubforge/ui/JSONFieldConfigurationView.h"

#include "stubforge/ui/Icons.h"
#include "stubforge/ui/RowsTableView.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace stubforge::ui {

JSONFieldConfigurationView::JSONFieldConfigurationView(MainWindowState& state, QWidget* parent)
    : QWidget(parent),
      state_(&state),
      model_(RowsTableModel::accessTo<JSONFieldTableRow>(state.jsonFields()), qt(texts::kFieldName)) {
    setObjectName("jsonFieldEditor");
    setFixedWidth(470);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new RowsTableView(model_, this);
    layout->addWidget(table_, 0, Qt::AlignHCenter);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    addButton_ = new QPushButton(symbolIcon(Icon::plusCircleFill), qt(texts::kAddField), this);
    addButton_->setObjectName("addRowButton");
    buttons->addWidget(addButton_);
    layout->addLayout(buttons);

    connect(table_, &RowsTableView::removeRequested, this, [this](const UUID& id) { state_->removeField(id); });
    connect(addButton_, &QPushButton::clicked, this, [this] { state_->addField(); });
    connect(&state, &MainWindowState::formChanged, this, &JSONFieldConfigurationView::updateButtons);
    updateButtons();
}

void JSONFieldConfigurationView::updateButtons() { addButton_->setEnabled(state_->canAddField()); }

}  // namespace stubforge::ui
