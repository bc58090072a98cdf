#include "stubforge/ui/GenerationForm.h"

#include "stubforge/form/Dispatch.h"
#include "stubforge/ui/JSONConfigurationView.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <variant>

namespace stubforge::ui {

namespace {

// The first label's text stands 5 + 12 points in from the pane's edge.
constexpr int kTrailingMargin = 17;

template <typename Option>
QComboBox* picker(const QString& objectName, int width, Option current, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(objectName);
    box->setFixedWidth(width);
    for (const auto& entry : OptionTable<Option>::cases) {
        box->addItem(qt(entry.rawValue));
    }
    box->setCurrentIndex(static_cast<int>(current));
    return box;
}

template <typename Option>
Option optionAt(int position) {
    return allCases<Option>()[static_cast<std::size_t>(position)];
}

}  // namespace

GenerationForm::GenerationForm(MainWindowState& state, TemplateImport templateImport, QWidget* parent)
    : QWidget(parent), state_(&state), templateImport_(std::move(templateImport)) {
    setObjectName("generationForm");
    layout_ = new QHBoxLayout(this);
    // Generate keeps its place at the trailing edge for every kind, as far
    // from the window's edge as the first label's text is from the sidebar.
    layout_->setContentsMargins(5, 8, kTrailingMargin, 8);
    layout_->setSpacing(0);
    generateButton_ = new QPushButton(qt(texts::kGenerate), this);
    generateButton_->setObjectName("generateButton");
    generateButton_->setDefault(true);
    connect(generateButton_, &QPushButton::clicked, this, &GenerationForm::generateClicked);
    layout_->addWidget(generateButton_);
    connect(&state, &MainWindowState::layoutChanged, this, &GenerationForm::rebuild);
    connect(&state, &MainWindowState::formChanged, this, &GenerationForm::refresh);
    connect(&state, &MainWindowState::generatingChanged, this, &GenerationForm::refresh);
    rebuild();
}

void GenerationForm::rebuild() {
    if (rows_ != nullptr) {
        // The change may come from a control inside the old rows.
        rows_->hide();
        rows_->deleteLater();
    }
    rows_ = new QWidget(this);
    auto* row = new QHBoxLayout(rows_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kFormRowSpacing);
    const FormState& form = state_->form();
    MainWindowState* state = state_;
    bool panelFillsRow = false;

    auto addSizeField = [&] {
        row->addWidget(formLabel(texts::kFileSizeInMB, rows_));
        auto* field = numberField("fileSizeInput", 85, rows_);
        field->setText(QString::fromStdString(form.fileSizeInput));
        row->addWidget(field);
        connect(field, &QLineEdit::textChanged, rows_,
                [state](const QString& text) { state->setFileSizeInput(text.toStdString()); });
        connect(state_, &MainWindowState::formChanged, field,
                [state, field] { showText(*field, state->form().fileSizeInput); });
    };
    auto addContentSize = [&] {
        row->addWidget(formLabel(texts::kContentSize, rows_));
        auto* box = picker("contentSizePicker", 85, form.selectedContentSize, rows_);
        row->addWidget(box);
        connect(box, &QComboBox::activated, rows_,
                [state](int position) { state->setContentSize(optionAt<ContentSize>(position)); });
    };

    switch (form.selectedFileExtension) {
    case FileExtension::pdf: {
        row->addWidget(formLabel(texts::kContentType, rows_));
        auto* type = picker("contentTypePicker", 140, form.selectedContentType, rows_);
        row->addWidget(type);
        connect(type, &QComboBox::activated, rows_,
                [state](int position) { state->setContentType(optionAt<ContentType>(position)); });
        if (form.selectedContentType == ContentType::dummy) {
            row->addWidget(formLabel(texts::kGenerateBy, rows_));
            auto* mode = picker("generateByPicker", 100, form.selectedPDFGenerationMode, rows_);
            row->addWidget(mode);
            connect(mode, &QComboBox::activated, rows_,
                    [state](int position) { state->setPDFGenerationMode(optionAt<PDFGenerationMode>(position)); });
            if (form.selectedPDFGenerationMode == PDFGenerationMode::byPages) {
                row->addWidget(formLabel(texts::kPageCount, rows_));
                auto* field = numberField("pageCountInput", 85, rows_);
                field->setText(QString::fromStdString(form.pageCountInput));
                row->addWidget(field);
                connect(field, &QLineEdit::textChanged, rows_,
                        [state](const QString& text) { state->setPageCountInput(text.toStdString()); });
            } else {
                addSizeField();
            }
        } else {
            addContentSize();
        }
        break;
    }
    case FileExtension::usdz:
        addContentSize();
        break;
    case FileExtension::csv:
        // The panel takes the free room: its failure line shows there.
        csvPanel_ = new CSVConfigurationView(*state_, templateImport_, rows_);
        row->addWidget(csvPanel_, 1);
        panelFillsRow = true;
        break;
    case FileExtension::json:
        jsonPanel_ = new JSONConfigurationView(*state_, rows_);
        row->addWidget(jsonPanel_);
        break;
    case FileExtension::showAll:
        break;
    default:
        addSizeField();
        break;
    }
    row->addSpacing(12);
    if (!panelFillsRow) {
        row->addStretch();
    }
    layout_->insertWidget(0, rows_, 1);
    rows_->show();
    refresh();
}

void GenerationForm::refresh() {
    const bool ready = std::holds_alternative<GenerationRequest>(checkForm(state_->form()));
    generateButton_->setEnabled(ready && !state_->isGenerating());
}

}  // namespace stubforge::ui
