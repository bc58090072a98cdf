// The CSV and JSON panels: counts and tables in step within the bounds
// Generate accepts, the editors' buttons, and the template import.
#include "UiTestSupport.h"

#include "stubforge/ui/CSVConfigurationView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/JSONConfigurationView.h"
#include "stubforge/ui/RowsTableModel.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/Texts.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <fstream>

namespace stubforge::ui {
namespace {

template <typename Widget>
Widget* shown(QWidget& root, const QString& name) {
    for (Widget* widget : root.findChildren<Widget*>(name)) {
        if (widget->isVisibleTo(root.window())) {
            return widget;
        }
    }
    return nullptr;
}

// Puts the whole text in at once, as a paste does: typed key by key, "300"
// passes through "3" and "30" on the way.
void pasteInto(QWidget& root, const QString& name, const QString& text) {
    auto* field = shown<QLineEdit>(root, name);
    QVERIFY2(field != nullptr, qPrintable(name));
    field->setText(text);
}

std::vector<std::string> columnNames(const MainWindowState& state) {
    std::vector<std::string> names;
    for (const auto& row : state.form().csvColumnsViewModel.rows()) {
        names.push_back(row.columnName);
    }
    return names;
}

void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A template whose header gives no usable columns, and what the panel says.
struct Refusal {
    const char* name;
    std::string bytes;
    const char* message;
};

std::vector<Refusal> refusedTemplates() {
    std::string tooMany;
    for (int column = 1; column <= 300; ++column) {
        tooMany += (column > 1 ? "," : "") + std::string("c") + std::to_string(column);
    }
    return {
        {"empty.csv", "", "Error reading CSV file: the file has no header row"},
        {"blank-first-line.csv", "\n1,2\n", "Error reading CSV file: the first line, the header, is empty"},
        {"wide.csv", tooMany + "\n",
         "Error reading CSV file: the header has 300 names; a table has at most 250 columns"},
    };
}

QFileDialog* shownFileDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

// Answers the next file dialog as a person does: puts a path into its file
// name field and presses Open. The dialog appears only once the import's
// queued call runs, inside a loop of its own, so this polls from a timer,
// which that loop serves too. Past the ceiling it rejects whatever dialog is
// open, so the test fails instead of waiting forever.
class FileDialogAnswer final : public QObject {
public:
    FileDialogAnswer(QString path, std::chrono::milliseconds ceiling) : path_(std::move(path)), ceiling_(ceiling) {
        timer_.setInterval(20);
        connect(&timer_, &QTimer::timeout, this, &FileDialogAnswer::poll);
        clock_.start();
        timer_.start();
    }

    bool finished() const { return !timer_.isActive(); }
    // Empty once the path was typed and Open pressed.
    const QString& problem() const { return problem_; }

private:
    void poll() {
        QFileDialog* dialog = shownFileDialog();
        if (dialog == nullptr) {
            if (clock_.elapsed() > ceiling_.count()) {
                giveUp("no file dialog was shown", nullptr);
            }
            return;
        }
        auto* field = dialog->findChild<QLineEdit*>("fileNameEdit");
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
        QPushButton* open = buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
        if (field == nullptr || open == nullptr) {
            giveUp("the file dialog has no file name field or Open button", dialog);
            return;
        }
        timer_.stop();
        // Pasted whole: typed key by key, each folder on the way is
        // selected as it completes, and Open then enters the first one.
        field->setFocus();
        field->setText(path_);
        // A completion list over the field would take the click for itself.
        if (field->completer() != nullptr && field->completer()->popup() != nullptr) {
            field->completer()->popup()->hide();
        }
        QTest::mouseClick(open, Qt::LeftButton);
        if (dialog->isVisible()) {
            giveUp("the file dialog stayed open after Open", dialog);
        }
    }

    void giveUp(const QString& why, QFileDialog* dialog) {
        timer_.stop();
        problem_ = why;
        if (dialog != nullptr) {
            dialog->reject();
        }
    }

    QString path_;
    std::chrono::milliseconds ceiling_;
    QTimer timer_;
    QElapsedTimer clock_;
    QString problem_;
};

}  // namespace

class PanelsTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        world_ = std::make_unique<testing::UiWorld>();
        window_ = std::make_unique<MainWindow>(world_->services());
        window_->show();
    }
    void cleanup() {
        window_.reset();
        world_.reset();
    }

    void typedColumnCountsResizeOnlyWithinWhatGenerateTakes() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        struct Case {
            const char* text;
            std::size_t rows;
            bool moreEnabled;
        };
        const Case cases[] = {
            {"3", 3, true},  {"0", 3, false},    {"-3", 3, false},    {"abc", 3, false},    {" 5", 3, false},
            {"+7", 7, true}, {"250", 250, true}, {"300", 250, false}, {"1001", 250, false}, {"1", 1, true},
        };
        for (const Case& item : cases) {
            pasteInto(*window_, "columnCount", item.text);
            QVERIFY2(state.form().csvColumnsViewModel.rows().size() == item.rows, item.text);
            QVERIFY2(shown<QPushButton>(*window_, "moreButton")->isEnabled() == item.moreEnabled, item.text);
        }
        // Leaving the column controls writes the table's count back.
        pasteInto(*window_, "columnCount", "abc");
        state.setCSVCriteria(CSVCriteria::bySize);
        QCOMPARE(state.form().columnCount, std::string("1"));
    }

    void columnEditorAddsAndRemovesWithinBounds() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "columnCount", "3");
        CSVConfigurationView* panel = window_->form().csvPanel();
        QVERIFY(panel != nullptr);
        QTest::mouseClick(shown<QPushButton>(*window_, "moreButton"), Qt::LeftButton);
        CSVColumnConfigurationView* editor = panel->editor();
        QVERIFY(editor != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(editor->isVisible(), testing::kEventCeilingMs);
        auto* table = editor->findChild<QTableView*>();
        QCOMPARE(table->model()->rowCount(), 3);
        QCOMPARE(table->model()->headerData(1, Qt::Horizontal).toString(), QString("Column Name"));
        QCOMPARE(table->model()->headerData(2, Qt::Horizontal).toString(), QString("Faker Value Type"));

        // Every row offers all 91 value types.
        auto* picker =
            qobject_cast<QComboBox*>(table->indexWidget(table->model()->index(0, RowsTableModel::typeColumn)));
        QVERIFY(picker != nullptr);
        QCOMPARE(picker->count(), 91);
        QCOMPARE(picker->currentText(), QString("Address - Street Address"));
        picker->setCurrentIndex(picker->findText("Internet - Email"));
        emit picker->activated(picker->currentIndex());
        QCOMPARE(rawValue(state.form().csvColumnsViewModel.rows()[0].dataType), std::string_view("Internet - Email"));

        // Removing the middle row closes up the numbers; a new row takes the next number.
        auto removeButton = [&](int row) {
            return qobject_cast<QToolButton*>(
                table->indexWidget(table->model()->index(row, RowsTableModel::removeColumn)));
        };
        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"Column1", "Column3"}));
        QCOMPARE(table->model()->index(1, RowsTableModel::numberColumn).data().toString(), QString("2"));
        QCOMPARE(state.form().columnCount, std::string("2"));
        auto* add = editor->findChild<QPushButton*>("addRowButton");
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"Column1", "Column3", "Column3"}));
        QCOMPARE(state.form().columnCount, std::string("3"));

        // The last row cannot be removed.
        QTest::mouseClick(removeButton(2), Qt::LeftButton);
        QTest::mouseClick(removeButton(1), Qt::LeftButton);
        QCOMPARE(table->model()->rowCount(), 1);
        QVERIFY(!removeButton(0)->isEnabled());

        // "Add column" stops at 250.
        pasteInto(*window_, "columnCount", "249");
        QVERIFY(add->isEnabled());
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(state.form().csvColumnsViewModel.rows().size(), std::size_t{250});
        QVERIFY(!add->isEnabled());
        state.addColumn();
        QCOMPARE(state.form().csvColumnsViewModel.rows().size(), std::size_t{250});
        QCOMPARE(state.form().columnCount, std::string("250"));
    }

    void templateImportReplacesTheColumns() {
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "columnCount", "4");
        window_->form().csvPanel()->toggleEditor();
        CSVColumnConfigurationView* editor = window_->form().csvPanel()->editor();
        QVERIFY(editor != nullptr);
        auto* failure = editor->findChild<QLabel*>("importFailure");

        // A header that gives no usable columns is a failure the panel
        // shows; the rows stay.
        for (const Refusal& refusal : refusedTemplates()) {
            const auto path = world_->root() / refusal.name;
            writeFile(path, refusal.bytes);
            world_->templatePath = QString::fromStdString(path.string());
            QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(failure->text(), QString(refusal.message), testing::kEventCeilingMs);
            QVERIFY2(state.form().csvColumnsViewModel.rows().size() == 4, refusal.name);
            QCOMPARE(state.form().columnCount, std::string("4"));
            QVERIFY2(failure->isVisibleTo(editor), refusal.name);
            failure->clear();
        }

        const auto header = world_->root() / "people.csv";
        writeFile(header, "id,name,email\n1,Ann,ann@example.org\n");
        world_->templatePath = QString::fromStdString(header.string());
        QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(columnNames(state), (std::vector<std::string>{"id", "name", "email"}),
                                  testing::kEventCeilingMs);
        for (const auto& row : state.form().csvColumnsViewModel.rows()) {
            QCOMPARE(rawValue(row.dataType), std::string_view("Address - Street Address"));
        }
        QCOMPARE(state.form().columnCount, std::string("3"));
        QVERIFY(!failure->isVisibleTo(editor));
        QCOMPARE(editor->findChild<QTableView*>()->model()->rowCount(), 3);

        // Cancelling the chooser changes nothing.
        world_->templatePath.clear();
        QTest::mouseClick(editor->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
        QCOMPARE(columnNames(state), (std::vector<std::string>{"id", "name", "email"}));
    }

    // The program's own chooser, as Qt's dialog, answered by typing the path:
    // the reason for a refusal is still in the window once the dialog and
    // the popover it may close are gone.
    void templateImportFailureShowsAfterTheFileDialogCloses() {
        world_ = std::make_unique<testing::UiWorld>();
        WindowServices services = world_->services();
        services.chooseTemplate = templateFileDialog(QFileDialog::DontUseNativeDialog);
        window_ = std::make_unique<MainWindow>(std::move(services));
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get(), testing::kEventCeilingMs));
        window_->sidebar().select(FileExtension::csv);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "columnCount", "4");
        CSVConfigurationView* panel = window_->form().csvPanel();
        QVERIFY(panel != nullptr);
        auto* failure = panel->findChild<QLabel*>("templateImportFailure");
        QVERIFY(failure != nullptr);

        for (const Refusal& refusal : refusedTemplates()) {
            const auto path = world_->root() / refusal.name;
            writeFile(path, refusal.bytes);
            if (panel->editor() == nullptr || !panel->editor()->isVisible()) {
                QTest::mouseClick(shown<QPushButton>(*window_, "moreButton"), Qt::LeftButton);
            }
            QVERIFY(panel->editor() != nullptr);
            QTRY_VERIFY_WITH_TIMEOUT(panel->editor()->isVisible(), 60'000);

            FileDialogAnswer answer(QString::fromStdString(path.string()), std::chrono::seconds(60));
            QTest::mouseClick(panel->editor()->findChild<QPushButton*>("importTemplateButton"), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(answer.finished(), 90'000);
            QVERIFY2(answer.problem().isEmpty(), qPrintable(answer.problem()));
            QTRY_VERIFY_WITH_TIMEOUT(shownFileDialog() == nullptr && failure->isVisible(), 60'000);
            QCOMPARE(failure->text(), QString(refusal.message));
            QVERIFY2(state.form().csvColumnsViewModel.rows().size() == 4, refusal.name);
            QCOMPARE(state.form().columnCount, std::string("4"));
        }
    }

    void importHelpIsATooltip() {
        window_->sidebar().select(FileExtension::csv);
        window_->form().csvPanel()->toggleEditor();
        auto* help = window_->form().csvPanel()->editor()->findChild<QLabel*>("importHelp");
        QVERIFY(help != nullptr);
        QCOMPARE(help->toolTip(), QString::fromUtf8(texts::kImportHelp.data()));
    }

    void fieldEditorStopsAtOneHundred() {
        window_->sidebar().select(FileExtension::json);
        MainWindowState& state = window_->state();
        pasteInto(*window_, "jsonFieldCount", "100");
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QVERIFY(shown<QPushButton>(*window_, "moreButton")->isEnabled());
        pasteInto(*window_, "jsonFieldCount", "101");
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QVERIFY(!shown<QPushButton>(*window_, "moreButton")->isEnabled());
        pasteInto(*window_, "jsonFieldCount", "99");
        window_->form().jsonPanel()->toggleEditor();
        JSONFieldConfigurationView* editor = window_->form().jsonPanel()->editor();
        QVERIFY(editor != nullptr);
        QCOMPARE(editor->findChild<QTableView*>()->model()->headerData(1, Qt::Horizontal).toString(),
                 QString("Field Name"));
        auto* add = editor->findChild<QPushButton*>("addRowButton");
        QCOMPARE(add->text(), QString("Add field"));
        QTest::mouseClick(add, Qt::LeftButton);
        QCOMPARE(state.form().jsonFieldsViewModel.rows().size(), std::size_t{100});
        QCOMPARE(state.form().jsonFieldCount, std::string("100"));
        QVERIFY(!add->isEnabled());
        // Any record count is kept as typed; only Generate judges it.
        pasteInto(*window_, "jsonRowCount", "");
        QCOMPARE(state.form().jsonRowCount, std::string(""));
    }

    void countsAreLockedWhileGenerating() {
        window_->sidebar().select(FileExtension::json);
        window_->state().setGenerating(true);
        QVERIFY(!shown<QLineEdit>(*window_, "jsonRowCount")->isEnabled());
        QVERIFY(!shown<QLineEdit>(*window_, "jsonFieldCount")->isEnabled());
        QVERIFY(!shown<QPushButton>(*window_, "moreButton")->isEnabled());
        QVERIFY(!window_->form().generateButton()->isEnabled());
        window_->sidebar().select(FileExtension::csv);
        QVERIFY(!shown<QLineEdit>(*window_, "columnCount")->isEnabled());
        QVERIFY(shown<QComboBox>(*window_, "csvCriteriaPicker")->isEnabled());
        window_->state().setGenerating(false);
        QVERIFY(shown<QLineEdit>(*window_, "columnCount")->isEnabled());
    }

private:
    std::unique_ptr<testing::UiWorld> world_;
    std::unique_ptr<MainWindow> window_;
};

}  // namespace stubforge::ui

QTEST_MAIN(stubforge::ui::PanelsTest)
#include "PanelsTest.moc"
