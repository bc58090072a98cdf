#include "stubforge/ui/CSVColumnConfigurationView.h"

#include "stubforge/ui/Icons.h"
#include "stubforge/ui/RowsTableView.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace stubforge::ui {

TemplateChooser templateFileDialog(QFileDialog::Options options) {
    return [options](QWidget* parent) {
        return QFileDialog::getOpenFileName(parent, qt(texts::kImportCSVTemplate), QString(), qt(texts::kCSVFileFilter),
                                            nullptr, options);
    };
}

CSVColumnConfigurationView::CSVColumnConfigurationView(MainWindowState& state, QWidget* parent)
    : QWidget(parent),
      state_(&state),
      model_(RowsTableModel::accessTo<CSVColumnTableRow>(state.csvColumns()), qt(texts::kColumnName)) {
    setObjectName("csvColumnEditor");
    setFixedWidth(470);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new RowsTableView(model_, this);
    layout->addWidget(table_, 0, Qt::AlignHCenter);

    auto* buttons = new QHBoxLayout;
    auto* importButton = new QPushButton(qt(texts::kImportCSVTemplate), this);
    importButton->setObjectName("importTemplateButton");
    buttons->addWidget(importButton);
    // The help is a tooltip: it shows while the pointer rests on the icon
    // and goes when it leaves, so it can never be left showing the wrong way.
    auto* help = new QLabel(this);
    help->setObjectName("importHelp");
    help->setPixmap(symbolIcon(Icon::infoCircle).pixmap(16, 16));
    help->setToolTip(qt(texts::kImportHelp));
    buttons->addWidget(help);
    buttons->addStretch();
    addButton_ = new QPushButton(symbolIcon(Icon::plusCircleFill), qt(texts::kAddColumn), this);
    addButton_->setObjectName("addRowButton");
    buttons->addWidget(addButton_);
    layout->addLayout(buttons);

    failureLabel_ = failureLabel("importFailure", this);
    layout->addWidget(failureLabel_);

    connect(table_, &RowsTableView::removeRequested, this, [this](const UUID& id) { state_->removeColumn(id); });
    connect(addButton_, &QPushButton::clicked, this, [this] { state_->addColumn(); });
    connect(importButton, &QPushButton::clicked, this, &CSVColumnConfigurationView::importRequested);
    connect(&state, &MainWindowState::formChanged, this, &CSVColumnConfigurationView::updateButtons);
    connect(&state, &MainWindowState::generatingChanged, this, &CSVColumnConfigurationView::updateButtons);
    updateButtons();
}

void CSVColumnConfigurationView::showImportFailure(const QString& text) {
    failureLabel_->setText(text);
    failureLabel_->setVisible(!text.isEmpty());
}

void CSVColumnConfigurationView::updateButtons() { addButton_->setEnabled(state_->canAddColumn()); }

}  // namespace stubforge::ui
