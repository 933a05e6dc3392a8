#include "ui/xyz1.h"

#include "configuration/templateimport.h"
#include "engine/run.h"
#include "platform/filepaths.h"
#include "ui/Prompts.h"
#include "ui/RSItemListEditor.h"
#include "ui/RuleListEditors.h"
#include "ui/Unit2.h"
#include "ui/WindowParts.h"
#include "ui/selrep.h"
#include "ui/wizard.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <exception>
#include <functional>

using kelvora::RuleSet;

namespace {

const QString kChangedQuestion =
    QStringLiteral("Current configuration has changed, do you want to save it ?");
const QString kConfigurationFilter = QStringLiteral("KELVORA configuration files (*.kvx)");
const QString kSupportAddress = QStringLiteral("support@morvane.example");
const QString kSupportSubject = QStringLiteral("Kelvora support request");
const QString kWebSite = QStringLiteral("https://www.morvane.example/kelvora");
const QString kNone = QStringLiteral("None");
// Accessible names of the labels that show a value (the value follows the name).
const QString kFolderLabelName = QStringLiteral("Selected folder");
const QString kSelectionLabelName = QStringLiteral("Files selected");
const QString kConfigurationLabelName = QStringLiteral("Configuration file in use");
constexpr double kDialogAlpha = 200.0 / 255.0;
constexpr QSize kWindowSize(609, 559);
// Height of the folder tree and the file list: the rule lists below take what the window
// has beyond it.
constexpr int kFileViewHeight = 150;

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}
std::string toLocal(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

QToolButton* pictureButton(QStyle::StandardPixmap picture, const QString& hint, int size,
                           QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(picture));
    button->setIconSize(QSize(size, size));
    button->setAutoRaise(false);
    setHint(button, hint);
    return button;
}

QGroupBox* group(const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    box->setAccessibleName(captionName(title));
    return box;
}

// The errors and warnings of a run (the report's lines that start "*** Error" or
// "*** Warning"), each after the name of its drawing. Where the report only says that a
// drawing could not be opened or a result not written, the line says why.
struct RunProblems {
    QStringList lines;
    bool anyError = false;
};

RunProblems runProblems(const kelvora::RunOutcome& outcome) {
    RunProblems problems;
    bool fatalTold = outcome.fatalMessage.empty();
    for (const kelvora::DrawingOutcome& drawing : outcome.drawings) {
        const QString name = QFileInfo(fromLocal(drawing.inputPath)).fileName();
        auto add = [&](const std::string& text, bool error) {
            problems.lines << name + QStringLiteral(": ") + fromLocal(text);
            problems.anyError = problems.anyError || error;
            fatalTold = fatalTold || text == outcome.fatalMessage;
        };
        if (drawing.state.openFailed || !drawing.resultOpened) {
            add(drawing.error, true);
            continue;
        }
        for (const std::string& note : drawing.notes) {
            const bool error = note.starts_with("*** Error");
            if (!error && !note.starts_with("*** Warning"))
                continue;
            if (note == kelvora::kResultFailedLine && !drawing.error.empty()) {
                add(drawing.error, true);
                continue;
            }
            std::string_view text = note;
            text.remove_prefix(4);
            if (text.ends_with(" ***"))
                text.remove_suffix(4);
            add(std::string(text), error);
        }
    }
    // What ended the run without belonging to a drawing: a report that could not be saved,
    // a column that is no number.
    if (!fatalTold) {
        problems.lines << fromLocal(outcome.fatalMessage);
        problems.anyError = true;
    }
    if (!outcome.reportError.empty()) {
        problems.lines << fromLocal(outcome.reportError);
        problems.anyError = true;
    }
    return problems;
}

// Clears the running state and unlocks the window, also when a run ends by an exception.
class RunLock {
public:
    RunLock(bool& running, QWidget* locked) : running_(running), locked_(locked) {
        running_ = true;
        locked_->setEnabled(false);
    }
    ~RunLock() {
        locked_->setEnabled(true);
        running_ = false;
    }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    bool& running_;
    QWidget* locked_;
};

// A link-looking label, underlined while the mouse is over it.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, std::function<void()> activated, QWidget* parent)
        : QLabel(text, parent), activated_(std::move(activated)) {
        setCursor(Qt::PointingHandCursor);
        QPalette palette = this->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        setPalette(palette);
        setAccessibleName(text);
        setFocusPolicy(Qt::TabFocus);
    }

protected:
    void enterEvent(QEnterEvent*) override { setUnderline(true); }
    void leaveEvent(QEvent*) override { setUnderline(false); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            activated_();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Space)
            activated_();
        else
            QLabel::keyPressEvent(event);
    }

private:
    void setUnderline(bool on) {
        QFont underlined = font();
        underlined.setUnderline(on);
        setFont(underlined);
    }

    std::function<void()> activated_;
};

} // namespace

TForm1::TForm1(const kelvora::ProgramPaths& paths, kelvora::SettingsStore& settings,
               Prompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      paths_(paths), settings_(settings), prompts_(prompts) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" Kelvora v 1.0"));
    setAccessibleName(windowTitle());
    // It opens at its own size and can be enlarged, not made smaller.
    setMinimumSize(kWindowSize);
    resize(kWindowSize);
    installHintHeading();

    pages_ = new QStackedWidget(this);
    pages_->addWidget(buildMainPage());
    pages_->addWidget(buildSecondPage());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pages_);

    form2_ = new TForm2(this);
    form3_ = new TForm3(this);
    form4_ = new TForm4(settings_, this);
    connect(form4_, &TForm4::helpRequested, this, &TForm1::showHelp);
}

TForm1::~TForm1() = default;

QWidget* TForm1::buildMainPage() {
    auto* page = new QWidget(this);

    // Drawing folder and files.
    QGroupBox* files = group(QStringLiteral(" DXF Files "), page);
    sh1_ = new FolderTree(files);
    sh1_->setObjectName(QStringLiteral("sh1"));
    sh1_->setAccessibleName(QStringLiteral("DXF Files folder"));
    fl1_ = new QListWidget(files);
    fl1_->setObjectName(QStringLiteral("fl1"));
    fl1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHint(fl1_, QStringLiteral("Select files to process. Hold [Ctrl] key to select multiple "
                                 "files"));
    fl1_->setAccessibleName(QStringLiteral("DXF files"));
    autosel_ = new QCheckBox(QStringLiteral("AutoSelect all files."), files);
    autosel_->setObjectName(QStringLiteral("autosel"));
    setHint(autosel_, QStringLiteral("Automaticaly select all DXF files in the directory"));
    folderLabel_ = new PathLabel(files);
    folderLabel_->setAccessibleName(kFolderLabelName);
    selectionLabel_ = new QLabel(QStringLiteral("Files selected."), files);
    selectionLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    selectionLabel_->setAccessibleName(kSelectionLabelName);
    sh1_->setFixedHeight(kFileViewHeight);
    fl1_->setFixedHeight(kFileViewHeight);

    auto* filesGrid = new QGridLayout(files);
    filesGrid->setContentsMargins(8, 4, 8, 6);
    filesGrid->setVerticalSpacing(4);
    filesGrid->addWidget(sh1_, 0, 0);
    filesGrid->addWidget(fl1_, 0, 1);
    filesGrid->addWidget(folderLabel_, 1, 0);
    auto* selectionRow = new QHBoxLayout;
    selectionRow->addWidget(autosel_);
    selectionRow->addWidget(selectionLabel_, 1);
    filesGrid->addLayout(selectionRow, 1, 1);
    filesGrid->setColumnStretch(0, 1);
    filesGrid->setColumnStretch(1, 1);

    // Create, Exit and the second page.
    create_ =
        pictureButton(QStyle::SP_DialogApplyButton, QStringLiteral("Create Files..."), 40, page);
    create_->setObjectName(QStringLiteral("BitBtn1"));
    create_->setEnabled(false);
    exit_ = pictureButton(QStyle::SP_DialogCloseButton, QStringLiteral("Exit..."), 40, page);
    options_ = pictureButton(QStyle::SP_FileDialogInfoView, QStringLiteral("Options"), 40, page);
    for (QToolButton* button : {create_, exit_, options_})
        button->setFixedSize(64, 60);
    auto* commands = new QVBoxLayout;
    commands->setContentsMargins(0, 8, 0, 0);
    commands->addWidget(create_);
    commands->addWidget(exit_);
    commands->addWidget(options_);
    commands->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(files, 1);
    top->addLayout(commands);

    // Destination and extension.
    QGroupBox* destination =
        group(QStringLiteral(" Destination Directory for Excel or Text files  "), page);
    rep1_ = new QLineEdit(destination);
    rep1_->setObjectName(QStringLiteral("rep1"));
    rep1_->setReadOnly(true);
    setHint(rep1_, QStringLiteral("Resulting files will be created here"));
    rep1_->setAccessibleName(captionName(destination->title()));
    browse_ =
        pictureButton(QStyle::SP_DirOpenIcon, QStringLiteral("Browse disk ..."), 16, destination);
    follow_ = pictureButton(QStyle::SP_FileDialogToParent,
                            QStringLiteral("Makes Destination Directory match DXF Files "
                                           "Directory"),
                            16, destination);
    follow_->setCheckable(true);
    auto* extensionCaption = new QLabel(QStringLiteral("File Extension :"), destination);
    rep3_ = new QLineEdit(QStringLiteral("xls"), destination);
    rep3_->setObjectName(QStringLiteral("rep3"));
    rep3_->setFixedWidth(56);
    setHint(rep3_, QStringLiteral("File extension : xls will create an Excel file, xlsx an "
                                  "Office Open XML workbook, any other extension will create "
                                  "a Text file"));
    rep3_->setAccessibleName(captionName(extensionCaption->text()));
    extensionCaption->setBuddy(rep3_);
    auto* destinationRow = new QHBoxLayout(destination);
    destinationRow->setContentsMargins(8, 4, 8, 6);
    destinationRow->addWidget(rep1_, 1);
    destinationRow->addWidget(browse_);
    destinationRow->addWidget(follow_);
    destinationRow->addSpacing(12);
    destinationRow->addWidget(extensionCaption);
    destinationRow->addWidget(rep3_);

    // The two rule lists.
    QGroupBox* rules = group(QStringLiteral(" Blocks to process / Columns Title "), page);
    blocks_ = new BlockListEditor(rules);
    columns_ = new ColumnListEditor(rules);
    wizardButton_ = new QPushButton(QStringLiteral("Import Wizard"), rules);
    wizardButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    setHint(wizardButton_,
            QStringLiteral("Use the Wizard to import blocks from a template DXF file"));
    auto* columnSide = new QVBoxLayout;
    columnSide->addWidget(columns_, 1);
    columnSide->addWidget(wizardButton_);
    auto* rulesRow = new QHBoxLayout(rules);
    rulesRow->setContentsMargins(8, 4, 8, 6);
    // The column list has at least the room its two columns need; the block list, whose
    // buttons carry longer captions and pictures, gets a little more of the width, and both
    // grow with the window.
    columns_->setMinimumWidth(columns_->grid()->minimumWidth() + 14);
    rulesRow->addWidget(blocks_, 5);
    rulesRow->addLayout(columnSide, 4);

    // Configuration files.
    load_ = pictureButton(QStyle::SP_DialogOpenButton, QStringLiteral("Load a configuration file."),
                          16, page);
    save_ = pictureButton(QStyle::SP_DialogSaveButton,
                          QStringLiteral("Save current configuration to file."), 16, page);
    auto* inUse = new QLabel(QStringLiteral("Configuration file in use :"), page);
    configuration_ = new QLabel(kNone, page);
    QFont bold = configuration_->font();
    bold.setBold(true);
    configuration_->setFont(bold);
    QPalette maroon = configuration_->palette();
    maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    configuration_->setPalette(maroon);
    configuration_->setAccessibleName(kConfigurationLabelName);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(load_);
    bottom->addWidget(save_);
    bottom->addSpacing(8);
    bottom->addWidget(inUse);
    bottom->addWidget(configuration_, 1);

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(4);
    column->addLayout(top);
    column->addWidget(destination);
    column->addWidget(rules, 1);
    column->addLayout(bottom);

    connect(sh1_, &FolderTree::pathChanged, this, &TForm1::sh1Change);
    connect(fl1_, &QListWidget::itemSelectionChanged, this, &TForm1::fl1SelectionChange);
    // The check boxes and the follow button answer their state, however it changes: a click,
    // a key or a screen reader's toggle.
    connect(autosel_, &QCheckBox::toggled, this, &TForm1::autoselToggled);
    connect(follow_, &QToolButton::toggled, this, &TForm1::setFollow);
    connect(browse_, &QToolButton::clicked, this, &TForm1::browseClick);
    connect(create_, &QToolButton::clicked, this, &TForm1::BitBtn1Click);
    connect(exit_, &QToolButton::clicked, this, &TForm1::exitClick);
    connect(options_, &QToolButton::clicked, this, [this] { pages_->setCurrentIndex(1); });
    connect(wizardButton_, &QPushButton::clicked, this, &TForm1::wizardClick);
    connect(load_, &QToolButton::clicked, this, &TForm1::loadClick);
    connect(save_, &QToolButton::clicked, this, &TForm1::saveClick);
    // Whatever changes the column list (an add, a remove, a move, a new title, a load) changes
    // what its grid shows: the pick lists of the attribute rules follow it.
    QAbstractItemModel* columnRows = columns_->grid()->model();
    connect(columnRows, &QAbstractItemModel::dataChanged, this, &TForm1::showColumnChoices);
    connect(columnRows, &QAbstractItemModel::rowsRemoved, this, &TForm1::showColumnChoices);
    return page;
}

QWidget* TForm1::buildSecondPage() {
    auto* page = new QWidget(this);

    // How drawings are read; each box is stored as soon as it changes.
    QGroupBox* reading = group(QStringLiteral(" Reading drawings "), page);
    auto settingBox = [this](QGroupBox* parent, const QString& text, std::string_view setting,
                             const QString& hint) {
        auto* box = new QCheckBox(text, parent);
        box->setObjectName(QString::fromLatin1(setting.data(), qsizetype(setting.size())));
        setHint(box, hint);
        connect(box, &QCheckBox::toggled, this,
                [this, setting](bool on) { kelvora::storeBool(settings_, setting, on); });
        return box;
    };
    auto readingBox = [&](const QString& text, std::string_view setting, const QString& hint) {
        return settingBox(reading, text, setting, hint);
    };
    dynNames_ = readingBox(QStringLiteral("Read dynamic blocks under their own names"),
                           kelvora::kSettingDynNames,
                           QStringLiteral("Dynamic blocks stored as anonymous \"*U\" blocks are "
                                          "read under the dynamic block's name."));
    allLayouts_ =
        readingBox(QStringLiteral("Read the blocks of every layout"), kelvora::kSettingAllLayouts,
                   QStringLiteral("Inserts on every layout, not only the active one, "
                                  "are read as Paper Space."));
    minsertCopies_ = readingBox(QStringLiteral("Count every copy of a block array"),
                                kelvora::kSettingMinsertCopies,
                                QStringLiteral("An array insert (MINSERT) gives one row per "
                                               "copy instead of one row."));
    nested_ = readingBox(QStringLiteral("Read blocks nested in blocks"), kelvora::kSettingNested,
                         QStringLiteral("Blocks inside an inserted block give their own rows "
                                        "too."));
    auto* readingColumn = new QVBoxLayout(reading);
    for (QCheckBox* box : {dynNames_, allLayouts_, minsertCopies_, nested_})
        readingColumn->addWidget(box);

    // What a run writes, and whether its report is shown.
    QGroupBox* results = group(QStringLiteral(" Results "), page);
    textUtf8_ = new QCheckBox(QStringLiteral("Write text results as UTF-8."), results);
    textUtf8_->setObjectName(QStringLiteral("textutf8"));
    setHint(textUtf8_, QStringLiteral("Comma-separated results get the drawings' texts decoded, "
                                      "as UTF-8 with a byte-order mark. Off: they keep the "
                                      "drawings' own bytes. Workbooks are always decoded."));
    textRaw_ = settingBox(
        results, QStringLiteral("Write values that look like formulas as read."),
        kelvora::kSettingTextRaw,
        QStringLiteral("Off: a value in a comma-separated result that begins with =, +, -, @ "
                       "(a minus before anything but a number) gets a leading apostrophe, so "
                       "that no spreadsheet program runs it as a formula. Workbooks store such "
                       "values as text in any case."));
    quantities_ = settingBox(
        results, QStringLiteral("Combine identical rows with a Quantity column"),
        kelvora::kSettingQuantities,
        QStringLiteral("Rows whose fields are all equal become one row, with a last column "
                       "\"Quantity\" counting the inserts it stands for."));
    numbers_ =
        settingBox(results, QStringLiteral("Store numbers as numbers"), kelvora::kSettingNumbers,
                   QStringLiteral("In XLS and XLSX results, values such as 12 or -3.5 "
                                  "become number cells; \"007\" or \"12 mm\" stay "
                                  "texts. Text results are unchanged."));
    combine_ = settingBox(results, QStringLiteral("One result for all drawings:"),
                          kelvora::kSettingCombine,
                          QStringLiteral("One file NAME.EXT in the destination folder: in "
                                         "workbooks a Summary worksheet, then a worksheet per "
                                         "drawing; in text results a first column Drawing."));
    combineName_ = new QLineEdit(results);
    combineName_->setObjectName(QStringLiteral("combinename"));
    combineName_->setAccessibleName(QStringLiteral("Name of the one result"));
    setHint(combineName_, QStringLiteral("The name of the one result, without extension."));
    auto* after = new QLabel(QStringLiteral("After process:"), results);
    alwaysReport_ = new QRadioButton(QStringLiteral("Always show Report."), results);
    setHint(alwaysReport_, QStringLiteral("The run report opens in the desktop's viewer at the "
                                          "end of every run."));
    neverReport_ = new QRadioButton(QStringLiteral("Never show Report."), results);
    setHint(neverReport_, QStringLiteral("The run report is written but not opened. Errors and "
                                         "warnings of a run are told in any case."));
    reportChoice_ = new QButtonGroup(this);
    reportChoice_->addButton(alwaysReport_);
    reportChoice_->addButton(neverReport_);
    auto* resultsGrid = new QGridLayout(results);
    // The two choices of text results share a row, and so do the two report choices, so that
    // the page fits the window's smallest size.
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(textUtf8_);
    textRow->addSpacing(24);
    textRow->addWidget(textRaw_, 1);
    resultsGrid->addLayout(textRow, 0, 0, 1, 3);
    resultsGrid->addWidget(quantities_, 1, 0, 1, 3);
    resultsGrid->addWidget(numbers_, 2, 0, 1, 3);
    auto* combineRow = new QHBoxLayout;
    combineRow->addWidget(combine_);
    combineRow->addWidget(combineName_, 1);
    resultsGrid->addLayout(combineRow, 3, 0, 1, 3);
    resultsGrid->addWidget(after, 4, 0);
    resultsGrid->addWidget(alwaysReport_, 4, 1);
    resultsGrid->addWidget(neverReport_, 4, 2);
    resultsGrid->setColumnStretch(2, 1);

    QGroupBox* support = group(QStringLiteral(" Additional Help and Support  "), page);
    auto* supportText = new QLabel(
        QStringLiteral("For any  help or support, please contact me by e-mail at this adress : "),
        support);
    supportText->setWordWrap(true);
    QUrl mail(QStringLiteral("mailto:") + kSupportAddress);
    mail.setQuery(QStringLiteral("subject=") + kSupportSubject);
    mail_ = new LinkLabel(
        kSupportAddress, [this, mail] { openDocument(mail); }, support);
    help_ = new QPushButton(QStringLiteral(" Show Help file"), support);
    help_->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    help_->setAccessibleName(captionName(help_->text()));
    auto* supportGrid = new QGridLayout(support);
    supportGrid->addWidget(supportText, 0, 0, 1, 2);
    supportGrid->addWidget(mail_, 1, 0);
    supportGrid->addWidget(help_, 1, 1, Qt::AlignRight);

    QGroupBox* site = group(QStringLiteral(" Web site "), page);
    site_ = pictureButton(QStyle::SP_DriveNetIcon, QStringLiteral("Visit the Kelvora web site"), 32,
                          site);
    auto* siteText =
        new QLabel(QStringLiteral("News, updates and sample configurations: ") + kWebSite, site);
    siteText->setWordWrap(true);
    auto* siteRow = new QHBoxLayout(site);
    siteRow->addWidget(site_);
    siteRow->addWidget(siteText, 1);

    back_ = new QPushButton(QStringLiteral("Back to main window"), page);
    back_->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    back_->setAccessibleName(back_->text());

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);
    column->addWidget(reading);
    column->addWidget(results);
    column->addWidget(support);
    column->addWidget(site);
    column->addStretch();
    column->addWidget(back_, 0, Qt::AlignRight);

    // The report choice is stored as it changes, however it changes.
    connect(alwaysReport_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            reportChoiceChange(true);
    });
    connect(neverReport_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            reportChoiceChange(false);
    });
    connect(combine_, &QCheckBox::toggled, combineName_, &QWidget::setEnabled);
    connect(combineName_, &QLineEdit::textEdited, this, [this](const QString& name) {
        settings_.writeText(kelvora::kSettingCombineName, toLocal(name));
    });
    connect(textUtf8_, &QCheckBox::toggled, this,
            [this](bool on) { kelvora::storeBool(settings_, kelvora::kSettingTextUtf8, on); });
    connect(help_, &QPushButton::clicked, this, &TForm1::showHelp);
    connect(site_, &QToolButton::clicked, this, [this] { openDocument(QUrl(kWebSite)); });
    connect(back_, &QPushButton::clicked, this, [this] { pages_->setCurrentIndex(0); });
    return page;
}

void TForm1::startup() {
    const kelvora::Settings settings = kelvora::loadSettings(settings_);

    const kelvora::StartupConfiguration start = kelvora::loadStartupConfiguration(paths_);
    if (start.rules) {
        fillEditors(*blocks_, *columns_, *start.rules);
        showConfigurationInUse(fromLocal(start.fileName));
    } else {
        if (!start.message.empty())
            prompts_.information(this, fromLocal(start.message));
        showConfigurationInUse(kNone);
    }
    remembered_ = kelvora::getconf(currentRules());

    // The size it had, within the desktop; never smaller than its own.
    if (settings.windowsize) {
        QSize size(settings.windowsize->width, settings.windowsize->height);
        if (const QScreen* desktop = screen())
            size = size.boundedTo(desktop->availableGeometry().size());
        resize(size.expandedTo(minimumSize()));
    }

    rep3_->setText(fromLocal(settings.extension));
    if (settings.showlog)
        (*settings.showlog ? alwaysReport_ : neverReport_)->setChecked(true);
    textUtf8_->setChecked(settings.textutf8);
    textRaw_->setChecked(settings.textraw);
    dynNames_->setChecked(settings.dynnames);
    allLayouts_->setChecked(settings.alllayouts);
    minsertCopies_->setChecked(settings.minsertcopies);
    nested_->setChecked(settings.nested);
    quantities_->setChecked(settings.quantities);
    numbers_->setChecked(settings.numbers);
    combine_->setChecked(settings.combine);
    combineName_->setText(fromLocal(settings.combinename));
    combineName_->setEnabled(settings.combine);

    // Without a stored folder the shipped samples are shown, so a first start has an example.
    QString folder = fromLocal(settings.dxfpath);
    if (folder.isEmpty())
        folder = fromLocal(paths_.programFolder) + QStringLiteral("samples");
    if (!sh1_->selectPath(folder))
        sh1Change(QString());
    rep1_->setText(fromLocal(settings.destpath));
    // Checking runs the handlers only on a change; they are run here in any case, which
    // does no harm: they only show the state and store it again.
    follow_->setChecked(settings.locked);
    setFollow(settings.locked);
    autosel_->setChecked(settings.autosel);
    autoselToggled();
}

void TForm1::endProgramOnExit() {
    // Not QCoreApplication::quit: it first asks every window to close, which this one refuses.
    connect(this, &TForm1::exitRequested, this, [] { QCoreApplication::exit(0); });
}

void TForm1::sh1Change(const QString& path) {
    fl1_->clear();
    listFolder_ = path;
    if (path.isEmpty()) {
        create_->setEnabled(false);
    } else {
        QDir folder(path);
        folder.setNameFilters({QStringLiteral("*.dxf")});
        folder.setFilter(QDir::Files);
        folder.setSorting(QDir::Name | QDir::IgnoreCase);
        fl1_->addItems(folder.entryList());
        create_->setEnabled(fl1_->count() > 0);
        if (fl1_->count() > 0)
            fl1_->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        if (autosel_->isChecked())
            fl1_->selectAll();
    }
    if (follow_->isChecked())
        rep1_->setText(path);
    fl1SelectionChange();
    showLabelValue(folderLabel_, kFolderLabelName, path);
}

void TForm1::fl1SelectionChange() {
    showLabelValue(selectionLabel_, kSelectionLabelName,
                   QString::number(fl1_->selectedItems().size()) + QStringLiteral(" selected."));
}

void TForm1::autoselToggled() {
    if (autosel_->isChecked())
        fl1_->selectAll();
    fl1SelectionChange();
    kelvora::storeBool(settings_, kelvora::kSettingAutoSel, autosel_->isChecked());
}

void TForm1::setFollow(bool follow) {
    kelvora::storeBool(settings_, kelvora::kSettingLocked, follow);
    follow_->setIcon(
        style()->standardIcon(follow ? QStyle::SP_FileDialogToParent : QStyle::SP_FileLinkIcon));
    if (follow)
        rep1_->setText(sh1_->selectedPath());
    browse_->setEnabled(!follow);
}

void TForm1::setDialogAlpha(bool dialogOpen) {
    setWindowOpacity(dialogOpen ? kDialogAlpha : 1.0);
}

void TForm1::browseClick() {
    // The first opening starts at the current destination; later ones keep their own choice.
    if (form3_->tree()->selectedPath().isEmpty())
        form3_->tree()->selectPath(rep1_->text());
    setDialogAlpha(true);
    if (form3_->exec() == QDialog::Accepted)
        rep1_->setText(form3_->chosenPath());
    browse_->repaint();
    setDialogAlpha(false);
}

void TForm1::showColumnChoices() {
    // "-1" (not written), then each column's number with its title: "3 — Width". Picking one
    // stores the number only.
    const TRSItemProps& rows = columns_->grid()->Items();
    kelvora::ColumnChoices choices{"-1"};
    for (int i = 0; i < rows.Count(); ++i) {
        const QString title = rows[i]->Values().front().trimmed();
        QString entry = QString::number(i + 1);
        if (!title.isEmpty())
            entry += QStringLiteral(" \u2014 ") + title;
        choices.push_back(entry.toStdString());
    }
    blocks_->reinitlistecol(choices);
}

RuleSet TForm1::currentRules() const {
    return rulesFromEditors(*blocks_, *columns_);
}

bool TForm1::configurationChanged() const {
    return !kelvora::sameConfiguration(remembered_, kelvora::getconf(currentRules()));
}

void TForm1::BitBtn1Click() {
    commitEdits(*blocks_, *columns_);
    if (running_)
        return;
    const std::string extension = kelvora::trimExtension(toLocal(rep3_->text()));
    if (!kelvora::validExtension(extension)) {
        prompts_.error(this, fromLocal(std::string(kelvora::kInvalidExtensionMessage)));
        rep3_->setFocus();
        return;
    }
    if (!blocks_->hasRules()) {
        prompts_.error(this, fromLocal(std::string(kelvora::kNoBlocksMessage)));
        return;
    }
    settings_.writeText(kelvora::kSettingExtension, extension);

    kelvora::RunInputs inputs;
    inputs.extension = extension;
    inputs.rules = currentRules();
    inputs.sourceFolder = toLocal(listFolder_);
    inputs.destinationFolder = toLocal(rep1_->text());
    for (int row = 0; row < fl1_->count(); ++row)
        if (fl1_->item(row)->isSelected())
            inputs.files.push_back(toLocal(fl1_->item(row)->text()));
    inputs.reportPath = paths_.reportFile;
    inputs.textForm =
        textUtf8_->isChecked() ? kelvora::TextForm::Decoded : kelvora::TextForm::AsRead;
    inputs.reading = readingChoices();
    inputs.results.quantities = quantities_->isChecked();
    inputs.results.numbers = numbers_->isChecked();
    inputs.results.textRaw = textRaw_->isChecked();
    if (combine_->isChecked()) {
        // An emptied name box gives the default name rather than separate results.
        inputs.results.combine = kelvora::trimExtension(toLocal(combineName_->text()));
        if (inputs.results.combine.empty())
            inputs.results.combine = kelvora::Settings().combinename;
    }
    if (const std::string clash = kelvora::resultNameClash(inputs); !clash.empty()) {
        prompts_.error(this, fromLocal(clash) + QStringLiteral(".\n\nNothing was written. Choose "
                                                               "one of them for this run."));
        return;
    }

    kelvora::RunOutcome outcome;
    {
        RunLock lock(running_, pages_);
        try {
            outcome = kelvora::runBatch(inputs, *form2_);
        } catch (const std::exception& failure) {
            outcome.fatalMessage = failure.what();
        }
        form2_->hideProgress();
    }
    // A run that did not go well says so in one message at its end, whatever the report
    // choice, so that a drawing left out or a result cut short is never taken for done. A
    // run that went well says nothing.
    const RunProblems problems = runProblems(outcome);
    if (!problems.lines.isEmpty()) {
        QString message = (problems.anyError ? QStringLiteral("The run ended with errors:")
                                             : QStringLiteral("The run ended with warnings:")) +
                          QStringLiteral("\n\n") + problems.lines.join(QLatin1Char('\n'));
        if (outcome.reportSaved)
            message +=
                QStringLiteral("\n\nThe report has the details: ") + fromLocal(outcome.reportPath);
        if (problems.anyError)
            prompts_.error(this, message);
        else
            prompts_.information(this, message);
    }
    if (alwaysReport_->isChecked() && outcome.reportSaved)
        openDocument(QUrl::fromLocalFile(fromLocal(outcome.reportPath)));
}

bool TForm1::changeQuestion() {
    if (!configurationChanged())
        return true;
    switch (prompts_.question(this, kChangedQuestion)) {
    case Answer::Yes:
        return saveClick();
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

bool TForm1::saveClick() {
    commitEdits(*blocks_, *columns_);
    if (running_)
        return false;
    const std::optional<QString> path = prompts_.saveFileName(
        this, {QStringLiteral("Save current configuration"), kConfigurationFilter,
               fromLocal(paths_.configurationsFolder), QStringLiteral("kvx")});
    if (!path)
        return false;
    std::string error;
    if (!kelvora::saveConfiguration(toLocal(*path), currentRules(), error)) {
        prompts_.error(this, fromLocal(error));
        return false;
    }
    useConfiguration(kelvora::fileNameOf(toLocal(*path)));
    return true;
}

void TForm1::loadClick() {
    commitEdits(*blocks_, *columns_);
    if (running_ || !changeQuestion())
        return;
    const std::optional<QString> path = prompts_.openFileName(
        this, {QStringLiteral("Load a configuration"), kConfigurationFilter,
               fromLocal(paths_.configurationsFolder), QStringLiteral("kvx")});
    if (!path)
        return;
    const kelvora::LoadedConfiguration loaded = kelvora::loadconf(toLocal(*path));
    if (!loaded.rules) {
        prompts_.error(this, fromLocal(loaded.error));
        return;
    }
    fillEditors(*blocks_, *columns_, *loaded.rules);
    useConfiguration(kelvora::fileNameOf(toLocal(*path)));
}

// After a save or a load: the file becomes the configuration in use, is remembered for the
// next start and is the new reference for change detection.
void TForm1::useConfiguration(const std::string& fileName) {
    showConfigurationInUse(fromLocal(fileName));
    std::string error;
    if (!kelvora::rememberLastConfiguration(paths_, fileName, error))
        prompts_.error(this, fromLocal(error));
    remembered_ = kelvora::getconf(currentRules());
}

void TForm1::showConfigurationInUse(const QString& name) {
    showLabelValue(configuration_, kConfigurationLabelName, name);
}

void TForm1::exitClick() {
    commitEdits(*blocks_, *columns_);
    if (running_ || !changeQuestion())
        return;
    settings_.writeText(kelvora::kSettingDxfPath, toLocal(sh1_->selectedPath()));
    settings_.writeText(kelvora::kSettingDestPath, toLocal(rep1_->text()));
    emit exitRequested();
}

void TForm1::wizardClick() {
    commitEdits(*blocks_, *columns_);
    if (running_)
        return;
    setDialogAlpha(true);
    if (form4_->exec() == QDialog::Accepted) {
        form4_->hide();
        gowizard();
    }
    setDialogAlpha(false);
}

void TForm1::gowizard() {
    const std::optional<QString> path =
        prompts_.openFileName(this, {QStringLiteral("Select a template DXF file"),
                                     QStringLiteral("DXF files (*.dxf)"), listFolder_, QString()});
    if (!path)
        return;
    const kelvora::Settings settings = kelvora::loadSettings(settings_);
    const kelvora::TemplateImportResult imported = kelvora::importTemplate(
        toLocal(*path), {settings.importanonymous, settings.importblknonatt, readingChoices()});
    if (!imported.opened) {
        prompts_.error(this, fromLocal(imported.error));
        return;
    }
    RuleSet rules = currentRules();
    rules.blockRules = imported.blockRules;
    if (settings.importfields)
        kelvora::addLayerAndPositionColumns(rules);
    fillEditors(*blocks_, *columns_, rules);
    if (imported.blockRules.empty())
        prompts_.information(this, fromLocal(std::string(kelvora::kTemplateNoBlocksMessage)));
}

void TForm1::showHelp() {
    const QString help = fromLocal(paths_.helpFile);
    if (!QFileInfo::exists(help)) {
        prompts_.information(this, QStringLiteral("The help file \"") + help +
                                       QStringLiteral("\" was not found."));
        return;
    }
    openDocument(QUrl::fromLocalFile(help));
}

void TForm1::openDocument(const QUrl& document) {
    if (!prompts_.openUrl(document))
        prompts_.information(this, QStringLiteral("No program was found to open \"") +
                                       document.toDisplayString(QUrl::PreferLocalFile) +
                                       QStringLiteral("\"."));
}

void TForm1::reportChoiceChange(bool show) {
    kelvora::storeBool(settings_, kelvora::kSettingShowLog, show);
}

kelvora::ReadingChoices TForm1::readingChoices() const {
    kelvora::ReadingChoices reading;
    reading.dynamicNames = dynNames_->isChecked();
    reading.allLayouts = allLayouts_->isChecked();
    reading.minsertCopies = minsertCopies_->isChecked();
    reading.nested = nested_->isChecked();
    return reading;
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->ignore();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A maximised window keeps the size it will come back to.
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    settings_.writeText(kelvora::kSettingWindowSize,
                        kelvora::windowSizeText({event->size().width(), event->size().height()}));
}
