#include "stubforge/ui/MainWindow.h"

#include "stubforge/core/Utils.h"
#include "stubforge/ui/FolderView.h"
#include "stubforge/ui/GenerationForm.h"
#include "stubforge/ui/Icons.h"
#include "stubforge/ui/Palettes.h"
#include "stubforge/ui/Sidebar.h"
#include "stubforge/ui/StatusRow.h"
#include "stubforge/ui/Texts.h"
#include "stubforge/ui/Widgets.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QLayout>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>
#include <variant>

namespace stubforge::ui {

namespace {

// `over` laid on `base` at `amount` (0: base, 1: over).
QColor blend(const QColor& base, const QColor& over, double amount) {
    return QColor::fromRgbF(static_cast<float>(base.redF() + (over.redF() - base.redF()) * amount),
                            static_cast<float>(base.greenF() + (over.greenF() - base.greenF()) * amount),
                            static_cast<float>(base.blueF() + (over.blueF() - base.blueF()) * amount));
}

// The toolbar's buttons in the window's own colours: the pin and the
// scheme switch show "on" as a quiet raised tile with the glyph in the text
// colour, whatever the style would fill a checked button with.
QString toolbarStyleSheet(const QPalette& palette) {
    const QColor window = palette.color(QPalette::Window);
    const QColor text = palette.color(QPalette::ButtonText);
    return QString(
               "QToolButton { color: %1; border: 1px solid transparent; border-radius: 5px; padding: 3px; }"
               "QToolButton:hover { background: %2; }"
               "QToolButton:checked { background: %3; border-color: %4; }"
               "QToolButton:pressed { background: %4; }")
        .arg(text.name(), blend(window, text, 0.10).name(), blend(window, text, 0.18).name(),
             blend(window, text, 0.35).name());
}

}  // namespace

WindowServices WindowServices::standard(AnalyticsSink& analytics) {
    return WindowServices{
        &platform::UserDefaults::standard(),
        &platform::Bundle::main(),
        &platform::systemClock(),
        &platform::systemRandom(),
        &platform::standardLogSink(),
        &analytics,
        [](const GenerationRequest& request, const GenerationContext& context) {
            return runGeneration(request, context);
        },
        [](const QUrl& url) { return QDesktopServices::openUrl(url); },
        [](const QList<QUrl>& urls) { return showItemsInFileManager(urls); },
        templateFileDialog(),
        [](QWidget* parent) { return QFileDialog::getExistingDirectory(parent); },
    };
}

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      settings_(*services_.defaults),
      controller_(
          GenerationServices{services_.clock, services_.random, services_.defaults, services_.bundle, services_.log},
          services_.writer) {
    setObjectName("mainWindow");
    setWindowTitle(qt(texts::kWindowTitle));
    setWindowIcon(applicationIcon());

    auto* content = new QWidget(this);
    content->setObjectName("content");
    content->setFixedSize(kContentSize);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, content);
    split->setChildrenCollapsible(false);
    contentLayout->addWidget(split);

    sidebar_ = new Sidebar(versionText(), split);
    split->addWidget(sidebar_);

    auto* detail = new QWidget(split);
    auto* detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 0);
    detailLayout->setSpacing(0);
    formRow_ = new QWidget(detail);
    formRow_->setFixedHeight(48 + 16);
    auto* formLayout = new QHBoxLayout(formRow_);
    formLayout->setContentsMargins(0, 0, 0, 0);
    form_ = new GenerationForm(state_, TemplateImport{services_.chooseTemplate, services_.log}, formRow_);
    formLayout->addWidget(form_);
    detailLayout->addWidget(formRow_);
    folderView_ = new FolderView(state_, settings_,
                                 FolderServices{services_.log, services_.openUrl, services_.revealFiles}, detail);
    detailLayout->addWidget(folderView_, 1);
    statusRow_ = new StatusRow(state_, settings_, *services_.log, detail);
    detailLayout->addWidget(statusRow_);
    split->addWidget(detail);
    // The sidebar keeps one width whatever the form asks for, so the file
    // list and the form do not jump as the kind changes.
    sidebar_->setFixedWidth(kSidebarWidth);
    setCentralWidget(content);

    toolbar_ = addToolBar(QString());
    toolbar_->setObjectName("toolbar");
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->toggleViewAction()->setVisible(false);
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    auto* spacer = new QWidget(toolbar_);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolbar_->addWidget(spacer);
    showOutputFolderAction_ = toolbar_->addAction(qt(texts::kShowInFileManager));
    showOutputFolderAction_->setObjectName("showOutputFolder");
    if (auto* button = toolbar_->widgetForAction(showOutputFolderAction_)) {
        static_cast<QToolButton*>(button)->setToolButtonStyle(Qt::ToolButtonTextOnly);
    }
    stayOnTopAction_ = toolbar_->addAction(QString());
    stayOnTopAction_->setObjectName(qt(texts::kStayOnTopKey));
    stayOnTopAction_->setCheckable(true);
    darkModeAction_ = toolbar_->addAction(QString());
    darkModeAction_->setObjectName(qt(texts::kIsDarkModeKey));
    darkModeAction_->setCheckable(true);

    // The whole window is fixed, not only its content.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(showOutputFolderAction_, &QAction::triggered, this, &MainWindow::showOutputFolder);
    connect(stayOnTopAction_, &QAction::triggered, this, [this] { settings_.setStayOnTop(!settings_.stayOnTop()); });
    connect(darkModeAction_, &QAction::triggered, this, [this] { settings_.setDarkMode(!settings_.isDarkMode()); });
    connect(&settings_, &SettingsAdapter::stayOnTopChanged, this, &MainWindow::applyStayOnTop);
    connect(&settings_, &SettingsAdapter::isDarkModeChanged, this, &MainWindow::applyColorScheme);
    connect(&settings_, &SettingsAdapter::folderViewReloadTriggerChanged, this, &MainWindow::pulseFolderReload);
    connect(sidebar_, &Sidebar::selectionChanged, this, [this](FileExtension extension) {
        state_.setFileExtension(extension);
        formRow_->setVisible(extension != FileExtension::showAll);
    });
    connect(sidebar_, &Sidebar::feedbackRequested, this, &MainWindow::sendFeedback);
    connect(form_, &GenerationForm::generateClicked, this, &MainWindow::handleGenerateClick);
    connect(&controller_, &GenerationController::failed, this, [this](const QString& message) {
        statusRow_->showFailure(message);
        services_.log->log("org.stubforge.ui", "Generation", platform::LogType::error,
                           (qt(texts::kGenerationFailed) + message).toStdString());
    });
    connect(&controller_, &GenerationController::finished, this, &MainWindow::finishGeneration);

    sidebar_->select(state_.form().selectedFileExtension);
    applyStayOnTop(settings_.stayOnTop());
    applyColorScheme(settings_.isDarkMode());
}

MainWindow::~MainWindow() {
    cancelGeneration();
    // The views hold the state, settings and row models, which are members
    // and so would go before the child widgets do.
    delete takeCentralWidget();
}

QString MainWindow::versionText() const {
    return qt(texts::kVersionPrefix) + QString::fromStdString(services_.bundle->shortVersion()) + " (" +
           QString::fromStdString(services_.bundle->buildNumber()) + ")";
}

void MainWindow::handleGenerateClick() {
    services_.analytics->logEventWithName(
        texts::kGenerateClickEvent,
        {{std::string(texts::kFileTypeParameter), std::string(rawValue(state_.form().selectedFileExtension))},
         {std::string(texts::kAppVersionParameter), versionText().toStdString()}});
    state_.setReloadFolderView(false);
    startGeneration();
}

void MainWindow::startGeneration() {
    if (controller_.isRunning()) {
        return;
    }
    FormCheck check = checkForm(state_.form());
    auto* request = std::get_if<GenerationRequest>(&check);
    if (request == nullptr) {
        return;
    }
    statusRow_->clearFailure();
    state_.setGenerating(true);
    controller_.start(std::move(*request));
}

void MainWindow::finishGeneration() {
    state_.setGenerating(false);
    state_.setReloadFolderView(true);
}

void MainWindow::cancelGeneration() {
    controller_.cancelAndWait();
    state_.setGenerating(false);
}

void MainWindow::showOutputFolder() {
    // The writers' folder, so the file manager shows where the next file goes.
    const std::filesystem::path folder = Utils::outputFolderURL(*services_.defaults, *services_.log).folder;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        return;
    }
    services_.openUrl(QUrl::fromLocalFile(QString::fromStdString(folder.string())));
}

void MainWindow::sendFeedback() {
    const QString subject = qt(texts::kFeedbackSubjectPrefix) +
                            QString::fromStdString(services_.bundle->shortVersion()) + " (" +
                            QString::fromStdString(services_.bundle->buildNumber()) + ")";
    const QByteArray encoded =
        "mailto:" + QByteArray(texts::kFeedbackAddress.data(), static_cast<qsizetype>(texts::kFeedbackAddress.size())) +
        "?subject=" + QUrl::toPercentEncoding(subject);
    const QUrl url = QUrl::fromEncoded(encoded, QUrl::StrictMode);
    if (url.isValid()) {
        services_.openUrl(url);
    }
}

void MainWindow::updateToolbarLook() {
    const QPalette& colours = palette();
    const QColor ink = colours.color(QPalette::ButtonText);
    stayOnTopAction_->setIcon(drawnIcon(stayOnTopAction_->isChecked() ? Icon::pinFill : Icon::pin, ink));
    darkModeAction_->setIcon(drawnIcon(darkModeAction_->isChecked() ? Icon::moonFill : Icon::sunMaxFill, ink));
    // On the buttons, not the bar: a style sheet on the bar would repaint
    // the bar itself in the sheet's defaults.
    const QString sheet = toolbarStyleSheet(colours);
    for (QAction* action : {showOutputFolderAction_, stayOnTopAction_, darkModeAction_}) {
        if (QWidget* button = toolbar_->widgetForAction(action)) {
            button->setStyleSheet(sheet);
        }
    }
}

void MainWindow::applyStayOnTop(bool on) {
    stayOnTopAction_->setChecked(on);
    updateToolbarLook();
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) {
        return;
    }
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing a window's flags hides it.
    if (visible) {
        show();
    }
}

void MainWindow::applyColorScheme(bool dark) {
    darkModeAction_->setChecked(dark);
    setPalette(dark ? darkPalette() : lightPalette());
    updateToolbarLook();
}

void MainWindow::pulseFolderReload() {
    state_.setReloadFolderView(true);
    QTimer::singleShot(100, this, [this] { state_.setReloadFolderView(false); });
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    state_.bringTablesToTypedCounts();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    cancelGeneration();
    QMainWindow::closeEvent(event);
}

}  // namespace stubforge::ui
