#pragma once

#include "stubforge/form/FormState.h"

#include <QObject>
#include <QString>

#include <string>

namespace stubforge::ui {

// Bounds of the table editors' own buttons and typed counts: the bounds the
// form check accepts, so the tables never grow past what Generate takes.
inline constexpr std::int64_t kMaxEditorColumns = MAX_COLUMN_COUNT;
inline constexpr std::int64_t kMaxEditorFields = kMaxJSONFieldCount;

// The main window's view state: the form every view binds to, and the two
// flags that tie a generation to the file list. Lives on the window's
// thread; a generation takes a copy of the form.
class MainWindowState final : public QObject {
    Q_OBJECT
public:
    explicit MainWindowState(QObject* parent = nullptr);
    ~MainWindowState() override;

    const FormState& form() const { return form_; }

    // A change of file kind resets the size, the page count and the PDF
    // mode, as a new choice in the sidebar does.
    void setFileExtension(FileExtension extension);
    void setContentType(ContentType type);
    void setContentSize(ContentSize size);
    void setPDFGenerationMode(PDFGenerationMode mode);
    void setPageCountInput(const std::string& text);
    void setFileSizeInput(const std::string& text);
    void setCSVCriteria(CSVCriteria criteria);
    // Typing a count resizes the table when the count lies in 1…250.
    void setColumnCount(const std::string& text);
    void setJSONRowCount(const std::string& text);
    // Typing a count resizes the table when the count lies in 1…100.
    void setJSONFieldCount(const std::string& text);

    CSVColumnsViewModel& csvColumns() { return form_.csvColumnsViewModel; }
    JSONFieldsViewModel& jsonFields() { return form_.jsonFieldsViewModel; }

    // The editors' buttons; each writes the resulting count back as text.
    bool canAddColumn() const;
    void addColumn();
    void removeColumn(const UUID& id);
    // One row per name; refuses (and changes nothing) an empty list or more
    // names than the table takes.
    bool replaceColumns(const std::vector<std::string>& names);
    bool canAddField() const;
    void addField();
    void removeField(const UUID& id);

    // The appear action: brings both tables to the typed counts.
    void bringTablesToTypedCounts();

    bool isGenerating() const { return isGenerating_; }
    void setGenerating(bool generating);
    bool reloadFolderView() const { return reloadFolderView_; }
    void setReloadFolderView(bool reload);

signals:
    // Any value of the form changed, rows included.
    void formChanged();
    // The set of rows the form shows changed (kind, content type, mode,
    // criteria).
    void layoutChanged();
    void generatingChanged(bool generating);
    void reloadFolderViewChanged(bool reload);

private:
    bool showsColumnEditor() const;
    void writeBackColumnCount();

    FormState form_;
    bool isGenerating_ = false;
    bool reloadFolderView_ = false;
    CSVColumnsViewModel::ObserverID columnsObserver_ = 0;
    JSONFieldsViewModel::ObserverID fieldsObserver_ = 0;
};

}  // namespace stubforge::ui
