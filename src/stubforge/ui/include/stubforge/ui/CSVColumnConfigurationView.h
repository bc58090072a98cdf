#pragma once

#include "stubforge/ui/MainWindowState.h"
#include "stubforge/ui/RowsTableModel.h"

#include "platform/Log.h"

#include <QFileDialog>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace stubforge::ui {

class RowsTableView;

// Asks the user for a CSV template; an empty path when they cancel.
using TemplateChooser = std::function<QString(QWidget* parent)>;

// The program's chooser: a file dialog over CSV files, titled as the
// import button. `options` reach the dialog (a test asks for Qt's own).
TemplateChooser templateFileDialog(QFileDialog::Options options = {});

// The template import's file chooser, and the log its failures go to
// besides the panel.
struct TemplateImport {
    TemplateChooser choose;
    platform::LogSink* log = nullptr;
};

// The CSV column editor: the table, the template import with its help
// tooltip, and "Add column".
class CSVColumnConfigurationView final : public QWidget {
    Q_OBJECT
public:
    explicit CSVColumnConfigurationView(MainWindowState& state, QWidget* parent = nullptr);

    // Shows why the last template import failed under the buttons; an
    // empty text hides the line.
    void showImportFailure(const QString& text);

signals:
    // "Import CSV template" was pressed; the panel runs the import, since
    // the file dialog may close the popover this editor lives in.
    void importRequested();

private:
    void updateButtons();

    MainWindowState* state_;
    RowsTableModel model_;
    RowsTableView* table_;
    QPushButton* addButton_;
    QLabel* failureLabel_;
};

}  // namespace stubforge::ui
