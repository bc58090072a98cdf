#include "stubforge/ui/MainWindowState.h"

namespace stubforge::ui {

MainWindowState::MainWindowState(QObject* parent) : QObject(parent) {
    RowsObserver observer;
    observer.didChange = [this](const RowsChange&) { emit formChanged(); };
    columnsObserver_ = form_.csvColumnsViewModel.observe(observer);
    fieldsObserver_ = form_.jsonFieldsViewModel.observe(observer);
}

MainWindowState::~MainWindowState() {
    form_.csvColumnsViewModel.stopObserving(columnsObserver_);
    form_.jsonFieldsViewModel.stopObserving(fieldsObserver_);
}

bool MainWindowState::showsColumnEditor() const {
    return form_.selectedFileExtension == FileExtension::csv && form_.selectedCSVCriteria == CSVCriteria::byColumnCount;
}

void MainWindowState::writeBackColumnCount() {
    // Leaving the column controls discards a typed count never applied.
    form_.columnCount = std::to_string(form_.csvColumnsViewModel.rows().size());
}

void MainWindowState::setFileExtension(FileExtension extension) {
    if (extension == form_.selectedFileExtension) {
        return;
    }
    if (showsColumnEditor()) {
        writeBackColumnCount();
    }
    form_.selectedFileExtension = extension;
    form_.fileSizeInput = "1";
    form_.pageCountInput = "2";
    form_.selectedPDFGenerationMode = PDFGenerationMode::bySize;
    emit layoutChanged();
    emit formChanged();
}

void MainWindowState::setContentType(ContentType type) {
    if (type == form_.selectedContentType) {
        return;
    }
    form_.selectedContentType = type;
    emit layoutChanged();
    emit formChanged();
}

void MainWindowState::setContentSize(ContentSize size) {
    form_.selectedContentSize = size;
    emit formChanged();
}

void MainWindowState::setPDFGenerationMode(PDFGenerationMode mode) {
    if (mode == form_.selectedPDFGenerationMode) {
        return;
    }
    form_.selectedPDFGenerationMode = mode;
    emit layoutChanged();
    emit formChanged();
}

void MainWindowState::setPageCountInput(const std::string& text) {
    form_.pageCountInput = text;
    emit formChanged();
}

void MainWindowState::setFileSizeInput(const std::string& text) {
    form_.fileSizeInput = text;
    emit formChanged();
}

void MainWindowState::setCSVCriteria(CSVCriteria criteria) {
    if (criteria == form_.selectedCSVCriteria) {
        return;
    }
    if (showsColumnEditor()) {
        writeBackColumnCount();
    }
    form_.selectedCSVCriteria = criteria;
    emit layoutChanged();
    emit formChanged();
}

void MainWindowState::setColumnCount(const std::string& text) {
    form_.columnCount = text;
    const auto count = parseInteger(text);
    if (count && *count >= 1 && *count <= kMaxEditorColumns) {
        form_.csvColumnsViewModel.updateRowCount(*count);
    }
    emit formChanged();
}

void MainWindowState::setJSONRowCount(const std::string& text) {
    form_.jsonRowCount = text;
    emit formChanged();
}

void MainWindowState::setJSONFieldCount(const std::string& text) {
    form_.jsonFieldCount = text;
    const auto count = parseInteger(text);
    if (count && *count >= 1 && *count <= kMaxEditorFields) {
        form_.jsonFieldsViewModel.updateRowCount(*count);
    }
    emit formChanged();
}

bool MainWindowState::canAddColumn() const {
    return static_cast<std::int64_t>(form_.csvColumnsViewModel.rows().size()) < kMaxEditorColumns;
}

void MainWindowState::addColumn() {
    if (!canAddColumn()) {
        return;
    }
    form_.csvColumnsViewModel.addRow();
    writeBackColumnCount();
    emit formChanged();
}

void MainWindowState::removeColumn(const UUID& id) {
    const auto index = form_.csvColumnsViewModel.indexOf(id);
    if (!index) {
        return;
    }
    form_.csvColumnsViewModel.removeRow(*index);
    writeBackColumnCount();
    emit formChanged();
}

bool MainWindowState::replaceColumns(const std::vector<std::string>& names) {
    if (names.empty() || static_cast<std::int64_t>(names.size()) > kMaxEditorColumns) {
        return false;
    }
    std::vector<CSVColumnTableRow> rows;
    rows.reserve(names.size());
    for (const std::string& name : names) {
        rows.push_back(
            CSVColumnTableRow{UUID::random(platform::systemRandom()), name, CSVColumnDataType::streetAddress});
    }
    form_.csvColumnsViewModel.setRows(std::move(rows));
    writeBackColumnCount();
    emit formChanged();
    return true;
}

bool MainWindowState::canAddField() const {
    return static_cast<std::int64_t>(form_.jsonFieldsViewModel.rows().size()) < kMaxEditorFields;
}

void MainWindowState::addField() {
    if (!canAddField()) {
        return;
    }
    form_.jsonFieldsViewModel.addRow();
    form_.jsonFieldCount = std::to_string(form_.jsonFieldsViewModel.rows().size());
    emit formChanged();
}

void MainWindowState::removeField(const UUID& id) {
    const auto index = form_.jsonFieldsViewModel.indexOf(id);
    if (!index) {
        return;
    }
    form_.jsonFieldsViewModel.removeRow(*index);
    form_.jsonFieldCount = std::to_string(form_.jsonFieldsViewModel.rows().size());
    emit formChanged();
}

void MainWindowState::bringTablesToTypedCounts() {
    stubforge::bringTablesToTypedCounts(form_);
    emit formChanged();
}

void MainWindowState::setGenerating(bool generating) {
    if (generating == isGenerating_) {
        return;
    }
    isGenerating_ = generating;
    emit generatingChanged(generating);
}

void MainWindowState::setReloadFolderView(bool reload) {
    if (reload == reloadFolderView_) {
        return;
    }
    reloadFolderView_ = reload;
    emit reloadFolderViewChanged(reload);
}

}  // namespace stubforge::ui
