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
    RunLock(bool& running, QWidget* locked) : m_running(running), m_locked(locked) {
        m_running = true;
        m_locked->setEnabled(false);
    }
    ~RunLock() {
        m_locked->setEnabled(true);
        m_running = false;
    }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

private:
    bool& m_running;
    QWidget* m_locked;
};

// A link-looking label, underlined while the mouse is over it.
class LinkLabel : public QLabel {
public:
    LinkLabel(const QString& text, std::function<void()> activated, QWidget* parent)
        : QLabel(text, parent), m_activated(std::move(activated)) {
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
            m_activated();
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Space)
            m_activated();
        else
            QLabel::keyPressEvent(event);
    }

private:
    void setUnderline(bool on) {
        QFont underlined = font();
        underlined.setUnderline(on);
        setFont(underlined);
    }

    std::function<void()> m_activated;
};

} // namespace

TForm1::TForm1(const kelvora::ProgramPaths& paths, kelvora::SettingsStore& settings,
               Prompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                          Qt::WindowCloseButtonHint),
      m_paths(paths), m_settings(settings), m_prompts(prompts) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral(" Kelvora v 1.0"));
    setAccessibleName(windowTitle());
    // It opens at its own size and can be enlarged, not made smaller.
    setMinimumSize(kWindowSize);
    resize(kWindowSize);
    installHintHeading();

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(buildMainPage());
    m_pages->addWidget(buildSecondPage());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pages);

    m_form2 = new TForm2(this);
    m_form3 = new TForm3(this);
    m_form4 = new TForm4(m_settings, this);
    connect(m_form4, &TForm4::helpRequested, this, &TForm1::showHelp);
}

TForm1::~TForm1() = default;

QWidget* TForm1::buildMainPage() {
    auto* page = new QWidget(this);

    // Drawing folder and files.
    QGroupBox* files = group(QStringLiteral(" DXF Files "), page);
    m_sh1 = new FolderTree(files);
    m_sh1->setObjectName(QStringLiteral("sh1"));
    m_sh1->setAccessibleName(QStringLiteral("DXF Files folder"));
    m_fl1 = new QListWidget(files);
    m_fl1->setObjectName(QStringLiteral("fl1"));
    m_fl1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    setHint(m_fl1, QStringLiteral("Select files to process. Hold [Ctrl] key to select multiple "
                                  "files"));
    m_fl1->setAccessibleName(QStringLiteral("DXF files"));
    m_autosel = new QCheckBox(QStringLiteral("AutoSelect all files."), files);
    m_autosel->setObjectName(QStringLiteral("autosel"));
    setHint(m_autosel, QStringLiteral("Automaticaly select all DXF files in the directory"));
    m_folderLabel = new PathLabel(files);
    m_folderLabel->setAccessibleName(kFolderLabelName);
    m_selectionLabel = new QLabel(QStringLiteral("Files selected."), files);
    m_selectionLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_selectionLabel->setAccessibleName(kSelectionLabelName);
    m_sh1->setFixedHeight(kFileViewHeight);
    m_fl1->setFixedHeight(kFileViewHeight);

    auto* filesGrid = new QGridLayout(files);
    filesGrid->setContentsMargins(8, 4, 8, 6);
    filesGrid->setVerticalSpacing(4);
    filesGrid->addWidget(m_sh1, 0, 0);
    filesGrid->addWidget(m_fl1, 0, 1);
    filesGrid->addWidget(m_folderLabel, 1, 0);
    auto* selectionRow = new QHBoxLayout;
    selectionRow->addWidget(m_autosel);
    selectionRow->addWidget(m_selectionLabel, 1);
    filesGrid->addLayout(selectionRow, 1, 1);
    filesGrid->setColumnStretch(0, 1);
    filesGrid->setColumnStretch(1, 1);

    // Create, Exit and the second page.
    m_create =
        pictureButton(QStyle::SP_DialogApplyButton, QStringLiteral("Create Files..."), 40, page);
    m_create->setObjectName(QStringLiteral("BitBtn1"));
    m_create->setEnabled(false);
    m_exit = pictureButton(QStyle::SP_DialogCloseButton, QStringLiteral("Exit..."), 40, page);
    m_options = pictureButton(QStyle::SP_FileDialogInfoView, QStringLiteral("Options"), 40, page);
    for (QToolButton* button : {m_create, m_exit, m_options})
        button->setFixedSize(64, 60);
    auto* commands = new QVBoxLayout;
    commands->setContentsMargins(0, 8, 0, 0);
    commands->addWidget(m_create);
    commands->addWidget(m_exit);
    commands->addWidget(m_options);
    commands->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(files, 1);
    top->addLayout(commands);

    // Destination and extension.
    QGroupBox* destination =
        group(QStringLiteral(" Destination Directory for Excel or Text files  "), page);
    m_rep1 = new QLineEdit(destination);
    m_rep1->setObjectName(QStringLiteral("rep1"));
    m_rep1->setReadOnly(true);
    setHint(m_rep1, QStringLiteral("Resulting files will be created here"));
    m_rep1->setAccessibleName(captionName(destination->title()));
    m_browse =
        pictureButton(QStyle::SP_DirOpenIcon, QStringLiteral("Browse disk ..."), 16, destination);
    m_follow = pictureButton(QStyle::SP_FileDialogToParent,
                             QStringLiteral("Makes Destination Directory match DXF Files "
                                            "Directory"),
                             16, destination);
    m_follow->setCheckable(true);
    auto* extensionCaption = new QLabel(QStringLiteral("File Extension :"), destination);
    m_rep3 = new QLineEdit(QStringLiteral("xls"), destination);
    m_rep3->setObjectName(QStringLiteral("rep3"));
    m_rep3->setFixedWidth(56);
    setHint(m_rep3, QStringLiteral("File extension : xls will create an Excel file, xlsx an "
                                   "Office Open XML workbook, any other extension will create "
                                   "a Text file"));
    m_rep3->setAccessibleName(captionName(extensionCaption->text()));
    extensionCaption->setBuddy(m_rep3);
    auto* destinationRow = new QHBoxLayout(destination);
    destinationRow->setContentsMargins(8, 4, 8, 6);
    destinationRow->addWidget(m_rep1, 1);
    destinationRow->addWidget(m_browse);
    destinationRow->addWidget(m_follow);
    destinationRow->addSpacing(12);
    destinationRow->addWidget(extensionCaption);
    destinationRow->addWidget(m_rep3);

    // The two rule lists.
    QGroupBox* rules = group(QStringLiteral(" Blocks to process / Columns Title "), page);
    m_blocks = new BlockListEditor(rules);
    m_columns = new ColumnListEditor(rules);
    m_wizardButton = new QPushButton(QStringLiteral("Import Wizard"), rules);
    m_wizardButton->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    setHint(m_wizardButton,
            QStringLiteral("Use the Wizard to import blocks from a template DXF file"));
    auto* columnSide = new QVBoxLayout;
    columnSide->addWidget(m_columns, 1);
    columnSide->addWidget(m_wizardButton);
    auto* rulesRow = new QHBoxLayout(rules);
    rulesRow->setContentsMargins(8, 4, 8, 6);
    // The column list has at least the room its two columns need; the block list, whose
    // buttons carry longer captions and pictures, gets a little more of the width, and both
    // grow with the window.
    m_columns->setMinimumWidth(m_columns->grid()->minimumWidth() + 14);
    rulesRow->addWidget(m_blocks, 5);
    rulesRow->addLayout(columnSide, 4);

    // Configuration files.
    m_load = pictureButton(QStyle::SP_DialogOpenButton,
                           QStringLiteral("Load a configuration file."), 16, page);
    m_save = pictureButton(QStyle::SP_DialogSaveButton,
                           QStringLiteral("Save current configuration to file."), 16, page);
    auto* inUse = new QLabel(QStringLiteral("Configuration file in use :"), page);
    m_configuration = new QLabel(kNone, page);
    QFont bold = m_configuration->font();
    bold.setBold(true);
    m_configuration->setFont(bold);
    QPalette maroon = m_configuration->palette();
    maroon.setColor(QPalette::WindowText, QColor(0x80, 0x00, 0x00));
    m_configuration->setPalette(maroon);
    m_configuration->setAccessibleName(kConfigurationLabelName);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_load);
    bottom->addWidget(m_save);
    bottom->addSpacing(8);
    bottom->addWidget(inUse);
    bottom->addWidget(m_configuration, 1);

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(8, 6, 8, 6);
    column->setSpacing(4);
    column->addLayout(top);
    column->addWidget(destination);
    column->addWidget(rules, 1);
    column->addLayout(bottom);

    connect(m_sh1, &FolderTree::pathChanged, this, &TForm1::sh1Change);
    connect(m_fl1, &QListWidget::itemSelectionChanged, this, &TForm1::fl1SelectionChange);
    // The check boxes and the follow button answer their state, however it changes: a click,
    // a key or a screen reader's toggle.
    connect(m_autosel, &QCheckBox::toggled, this, &TForm1::autoselToggled);
    connect(m_follow, &QToolButton::toggled, this, &TForm1::setFollow);
    connect(m_browse, &QToolButton::clicked, this, &TForm1::browseClick);
    connect(m_create, &QToolButton::clicked, this, &TForm1::BitBtn1Click);
    connect(m_exit, &QToolButton::clicked, this, &TForm1::exitClick);
    connect(m_options, &QToolButton::clicked, this, [this] { m_pages->setCurrentIndex(1); });
    connect(m_wizardButton, &QPushButton::clicked, this, &TForm1::wizardClick);
    connect(m_load, &QToolButton::clicked, this, &TForm1::loadClick);
    connect(m_save, &QToolButton::clicked, this, &TForm1::saveClick);
    // Whatever changes the column list (an add, a remove, a move, a new title, a load) changes
    // what its grid shows: the pick lists of the attribute rules follow it.
    QAbstractItemModel* columnRows = m_columns->grid()->model();
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
                [this, setting](bool on) { kelvora::storeBool(m_settings, setting, on); });
        return box;
    };
    auto readingBox = [&](const QString& text, std::string_view setting, const QString& hint) {
        return settingBox(reading, text, setting, hint);
    };
    m_dynNames = readingBox(QStringLiteral("Read dynamic blocks under their own names"),
                            kelvora::kSettingDynNames,
                            QStringLiteral("Dynamic blocks stored as anonymous \"*U\" blocks are "
                                           "read under the dynamic block's name."));
    m_allLayouts =
        readingBox(QStringLiteral("Read the blocks of every layout"), kelvora::kSettingAllLayouts,
                   QStringLiteral("Inserts on every layout, not only the active one, "
                                  "are read as Paper Space."));
    m_minsertCopies = readingBox(QStringLiteral("Count every copy of a block array"),
                                 kelvora::kSettingMinsertCopies,
                                 QStringLiteral("An array insert (MINSERT) gives one row per "
                                                "copy instead of one row."));
    m_nested = readingBox(QStringLiteral("Read blocks nested in blocks"), kelvora::kSettingNested,
                          QStringLiteral("Blocks inside an inserted block give their own rows "
                                         "too."));
    auto* readingColumn = new QVBoxLayout(reading);
    for (QCheckBox* box : {m_dynNames, m_allLayouts, m_minsertCopies, m_nested})
        readingColumn->addWidget(box);

    // What a run writes, and whether its report is shown.
    QGroupBox* results = group(QStringLiteral(" Results "), page);
    m_textUtf8 = new QCheckBox(QStringLiteral("Write text results as UTF-8."), results);
    m_textUtf8->setObjectName(QStringLiteral("textutf8"));
    setHint(m_textUtf8, QStringLiteral("Comma-separated results get the drawings' texts decoded, "
                                       "as UTF-8 with a byte-order mark. Off: they keep the "
                                       "drawings' own bytes. Workbooks are always decoded."));
    m_textRaw = settingBox(
        results, QStringLiteral("Write values that look like formulas as read."),
        kelvora::kSettingTextRaw,
        QStringLiteral("Off: a value in a comma-separated result that begins with =, +, -, @ "
                       "(a minus before anything but a number) gets a leading apostrophe, so "
                       "that no spreadsheet program runs it as a formula. Workbooks store such "
                       "values as text in any case."));
    m_quantities = settingBox(
        results, QStringLiteral("Combine identical rows with a Quantity column"),
        kelvora::kSettingQuantities,
        QStringLiteral("Rows whose fields are all equal become one row, with a last column "
                       "\"Quantity\" counting the inserts it stands for."));
    m_numbers =
        settingBox(results, QStringLiteral("Store numbers as numbers"), kelvora::kSettingNumbers,
                   QStringLiteral("In XLS and XLSX results, values such as 12 or -3.5 "
                                  "become number cells; \"007\" or \"12 mm\" stay "
                                  "texts. Text results are unchanged."));
    m_combine = settingBox(results, QStringLiteral("One result for all drawings:"),
                           kelvora::kSettingCombine,
                           QStringLiteral("One file NAME.EXT in the destination folder: in "
                                          "workbooks a Summary worksheet, then a worksheet per "
                                          "drawing; in text results a first column Drawing."));
    m_combineName = new QLineEdit(results);
    m_combineName->setObjectName(QStringLiteral("combinename"));
    m_combineName->setAccessibleName(QStringLiteral("Name of the one result"));
    setHint(m_combineName, QStringLiteral("The name of the one result, without extension."));
    auto* after = new QLabel(QStringLiteral("After process:"), results);
    m_alwaysReport = new QRadioButton(QStringLiteral("Always show Report."), results);
    setHint(m_alwaysReport, QStringLiteral("The run report opens in the desktop's viewer at the "
                                           "end of every run."));
    m_neverReport = new QRadioButton(QStringLiteral("Never show Report."), results);
    setHint(m_neverReport, QStringLiteral("The run report is written but not opened. Errors and "
                                          "warnings of a run are told in any case."));
    m_reportChoice = new QButtonGroup(this);
    m_reportChoice->addButton(m_alwaysReport);
    m_reportChoice->addButton(m_neverReport);
    auto* resultsGrid = new QGridLayout(results);
    // The two choices of text results share a row, and so do the two report choices, so that
    // the page fits the window's smallest size.
    auto* textRow = new QHBoxLayout;
    textRow->addWidget(m_textUtf8);
    textRow->addSpacing(24);
    textRow->addWidget(m_textRaw, 1);
    resultsGrid->addLayout(textRow, 0, 0, 1, 3);
    resultsGrid->addWidget(m_quantities, 1, 0, 1, 3);
    resultsGrid->addWidget(m_numbers, 2, 0, 1, 3);
    auto* combineRow = new QHBoxLayout;
    combineRow->addWidget(m_combine);
    combineRow->addWidget(m_combineName, 1);
    resultsGrid->addLayout(combineRow, 3, 0, 1, 3);
    resultsGrid->addWidget(after, 4, 0);
    resultsGrid->addWidget(m_alwaysReport, 4, 1);
    resultsGrid->addWidget(m_neverReport, 4, 2);
    resultsGrid->setColumnStretch(2, 1);

    QGroupBox* support = group(QStringLiteral(" Additional Help and Support  "), page);
    auto* supportText = new QLabel(
        QStringLiteral("For any  help or support, please contact me by e-mail at this adress : "),
        support);
    supportText->setWordWrap(true);
    QUrl mail(QStringLiteral("mailto:") + kSupportAddress);
    mail.setQuery(QStringLiteral("subject=") + kSupportSubject);
    m_mail = new LinkLabel(
        kSupportAddress, [this, mail] { openDocument(mail); }, support);
    m_help = new QPushButton(QStringLiteral(" Show Help file"), support);
    m_help->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    m_help->setAccessibleName(captionName(m_help->text()));
    auto* supportGrid = new QGridLayout(support);
    supportGrid->addWidget(supportText, 0, 0, 1, 2);
    supportGrid->addWidget(m_mail, 1, 0);
    supportGrid->addWidget(m_help, 1, 1, Qt::AlignRight);

    QGroupBox* site = group(QStringLiteral(" Web site "), page);
    m_site = pictureButton(QStyle::SP_DriveNetIcon, QStringLiteral("Visit the Kelvora web site"),
                           32, site);
    auto* siteText =
        new QLabel(QStringLiteral("News, updates and sample configurations: ") + kWebSite, site);
    siteText->setWordWrap(true);
    auto* siteRow = new QHBoxLayout(site);
    siteRow->addWidget(m_site);
    siteRow->addWidget(siteText, 1);

    m_back = new QPushButton(QStringLiteral("Back to main window"), page);
    m_back->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    m_back->setAccessibleName(m_back->text());

    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);
    column->addWidget(reading);
    column->addWidget(results);
    column->addWidget(support);
    column->addWidget(site);
    column->addStretch();
    column->addWidget(m_back, 0, Qt::AlignRight);

    // The report choice is stored as it changes, however it changes.
    connect(m_alwaysReport, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            reportChoiceChange(true);
    });
    connect(m_neverReport, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            reportChoiceChange(false);
    });
    connect(m_combine, &QCheckBox::toggled, m_combineName, &QWidget::setEnabled);
    connect(m_combineName, &QLineEdit::textEdited, this, [this](const QString& name) {
        m_settings.writeText(kelvora::kSettingCombineName, toLocal(name));
    });
    connect(m_textUtf8, &QCheckBox::toggled, this,
            [this](bool on) { kelvora::storeBool(m_settings, kelvora::kSettingTextUtf8, on); });
    connect(m_help, &QPushButton::clicked, this, &TForm1::showHelp);
    connect(m_site, &QToolButton::clicked, this, [this] { openDocument(QUrl(kWebSite)); });
    connect(m_back, &QPushButton::clicked, this, [this] { m_pages->setCurrentIndex(0); });
    return page;
}

void TForm1::startup() {
    const kelvora::Settings settings = kelvora::loadSettings(m_settings);

    const kelvora::StartupConfiguration start = kelvora::loadStartupConfiguration(m_paths);
    if (start.rules) {
        fillEditors(*m_blocks, *m_columns, *start.rules);
        showConfigurationInUse(fromLocal(start.fileName));
    } else {
        if (!start.message.empty())
            m_prompts.information(this, fromLocal(start.message));
        showConfigurationInUse(kNone);
    }
    m_remembered = kelvora::getconf(currentRules());

    // The size it had, within the desktop; never smaller than its own.
    if (settings.windowsize) {
        QSize size(settings.windowsize->width, settings.windowsize->height);
        if (const QScreen* desktop = screen())
            size = size.boundedTo(desktop->availableGeometry().size());
        resize(size.expandedTo(minimumSize()));
    }

    m_rep3->setText(fromLocal(settings.extension));
    if (settings.showlog)
        (*settings.showlog ? m_alwaysReport : m_neverReport)->setChecked(true);
    m_textUtf8->setChecked(settings.textutf8);
    m_textRaw->setChecked(settings.textraw);
    m_dynNames->setChecked(settings.dynnames);
    m_allLayouts->setChecked(settings.alllayouts);
    m_minsertCopies->setChecked(settings.minsertcopies);
    m_nested->setChecked(settings.nested);
    m_quantities->setChecked(settings.quantities);
    m_numbers->setChecked(settings.numbers);
    m_combine->setChecked(settings.combine);
    m_combineName->setText(fromLocal(settings.combinename));
    m_combineName->setEnabled(settings.combine);

    // Without a stored folder the shipped samples are shown, so a first start has an example.
    QString folder = fromLocal(settings.dxfpath);
    if (folder.isEmpty())
        folder = fromLocal(m_paths.programFolder) + QStringLiteral("samples");
    if (!m_sh1->selectPath(folder))
        sh1Change(QString());
    m_rep1->setText(fromLocal(settings.destpath));
    // Checking runs the handlers only on a change; they are run here in any case, which
    // does no harm: they only show the state and store it again.
    m_follow->setChecked(settings.locked);
    setFollow(settings.locked);
    m_autosel->setChecked(settings.autosel);
    autoselToggled();
}

void TForm1::endProgramOnExit() {
    // Not QCoreApplication::quit: it first asks every window to close, which this one refuses.
    connect(this, &TForm1::exitRequested, this, [] { QCoreApplication::exit(0); });
}

void TForm1::sh1Change(const QString& path) {
    m_fl1->clear();
    m_listFolder = path;
    if (path.isEmpty()) {
        m_create->setEnabled(false);
    } else {
        QDir folder(path);
        folder.setNameFilters({QStringLiteral("*.dxf")});
        folder.setFilter(QDir::Files);
        folder.setSorting(QDir::Name | QDir::IgnoreCase);
        m_fl1->addItems(folder.entryList());
        m_create->setEnabled(m_fl1->count() > 0);
        if (m_fl1->count() > 0)
            m_fl1->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
        if (m_autosel->isChecked())
            m_fl1->selectAll();
    }
    if (m_follow->isChecked())
        m_rep1->setText(path);
    fl1SelectionChange();
    showLabelValue(m_folderLabel, kFolderLabelName, path);
}

void TForm1::fl1SelectionChange() {
    showLabelValue(m_selectionLabel, kSelectionLabelName,
                   QString::number(m_fl1->selectedItems().size()) + QStringLiteral(" selected."));
}

void TForm1::autoselToggled() {
    if (m_autosel->isChecked())
        m_fl1->selectAll();
    fl1SelectionChange();
    kelvora::storeBool(m_settings, kelvora::kSettingAutoSel, m_autosel->isChecked());
}

void TForm1::setFollow(bool follow) {
    kelvora::storeBool(m_settings, kelvora::kSettingLocked, follow);
    m_follow->setIcon(
        style()->standardIcon(follow ? QStyle::SP_FileDialogToParent : QStyle::SP_FileLinkIcon));
    if (follow)
        m_rep1->setText(m_sh1->selectedPath());
    m_browse->setEnabled(!follow);
}

void TForm1::setDialogAlpha(bool dialogOpen) {
    setWindowOpacity(dialogOpen ? kDialogAlpha : 1.0);
}

void TForm1::browseClick() {
    // The first opening starts at the current destination; later ones keep their own choice.
    if (m_form3->tree()->selectedPath().isEmpty())
        m_form3->tree()->selectPath(m_rep1->text());
    setDialogAlpha(true);
    if (m_form3->exec() == QDialog::Accepted)
        m_rep1->setText(m_form3->chosenPath());
    m_browse->repaint();
    setDialogAlpha(false);
}

void TForm1::showColumnChoices() {
    // "-1" (not written), then each column's number with its title: "3 — Width". Picking one
    // stores the number only.
    const TRSItemProps& rows = m_columns->grid()->Items();
    kelvora::ColumnChoices choices{"-1"};
    for (int i = 0; i < rows.Count(); ++i) {
        const QString title = rows[i]->Values().front().trimmed();
        QString entry = QString::number(i + 1);
        if (!title.isEmpty())
            entry += QStringLiteral(" \u2014 ") + title;
        choices.push_back(entry.toStdString());
    }
    m_blocks->reinitlistecol(choices);
}

RuleSet TForm1::currentRules() const {
    return rulesFromEditors(*m_blocks, *m_columns);
}

bool TForm1::configurationChanged() const {
    return !kelvora::sameConfiguration(m_remembered, kelvora::getconf(currentRules()));
}

void TForm1::BitBtn1Click() {
    commitEdits(*m_blocks, *m_columns);
    if (m_running)
        return;
    const std::string extension = kelvora::trimExtension(toLocal(m_rep3->text()));
    if (!kelvora::validExtension(extension)) {
        m_prompts.error(this, fromLocal(std::string(kelvora::kInvalidExtensionMessage)));
        m_rep3->setFocus();
        return;
    }
    if (!m_blocks->hasRules()) {
        m_prompts.error(this, fromLocal(std::string(kelvora::kNoBlocksMessage)));
        return;
    }
    m_settings.writeText(kelvora::kSettingExtension, extension);

    kelvora::RunInputs inputs;
    inputs.extension = extension;
    inputs.rules = currentRules();
    inputs.sourceFolder = toLocal(m_listFolder);
    inputs.destinationFolder = toLocal(m_rep1->text());
    for (int row = 0; row < m_fl1->count(); ++row)
        if (m_fl1->item(row)->isSelected())
            inputs.files.push_back(toLocal(m_fl1->item(row)->text()));
    inputs.reportPath = m_paths.reportFile;
    inputs.textForm =
        m_textUtf8->isChecked() ? kelvora::TextForm::Decoded : kelvora::TextForm::AsRead;
    inputs.reading = readingChoices();
    inputs.results.quantities = m_quantities->isChecked();
    inputs.results.numbers = m_numbers->isChecked();
    inputs.results.textRaw = m_textRaw->isChecked();
    if (m_combine->isChecked()) {
        // An emptied name box gives the default name rather than separate results.
        inputs.results.combine = kelvora::trimExtension(toLocal(m_combineName->text()));
        if (inputs.results.combine.empty())
            inputs.results.combine = kelvora::Settings().combinename;
    }
    if (const std::string clash = kelvora::resultNameClash(inputs); !clash.empty()) {
        m_prompts.error(this, fromLocal(clash) + QStringLiteral(".\n\nNothing was written. Choose "
                                                                "one of them for this run."));
        return;
    }

    kelvora::RunOutcome outcome;
    {
        RunLock lock(m_running, m_pages);
        try {
            outcome = kelvora::runBatch(inputs, *m_form2);
        } catch (const std::exception& failure) {
            outcome.fatalMessage = failure.what();
        }
        m_form2->hideProgress();
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
            m_prompts.error(this, message);
        else
            m_prompts.information(this, message);
    }
    if (m_alwaysReport->isChecked() && outcome.reportSaved)
        openDocument(QUrl::fromLocalFile(fromLocal(outcome.reportPath)));
}

bool TForm1::changeQuestion() {
    if (!configurationChanged())
        return true;
    switch (m_prompts.question(this, kChangedQuestion)) {
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
    commitEdits(*m_blocks, *m_columns);
    if (m_running)
        return false;
    const std::optional<QString> path = m_prompts.saveFileName(
        this, {QStringLiteral("Save current configuration"), kConfigurationFilter,
               fromLocal(m_paths.configurationsFolder), QStringLiteral("kvx")});
    if (!path)
        return false;
    std::string error;
    if (!kelvora::saveConfiguration(toLocal(*path), currentRules(), error)) {
        m_prompts.error(this, fromLocal(error));
        return false;
    }
    useConfiguration(kelvora::fileNameOf(toLocal(*path)));
    return true;
}

void TForm1::loadClick() {
    commitEdits(*m_blocks, *m_columns);
    if (m_running || !changeQuestion())
        return;
    const std::optional<QString> path = m_prompts.openFileName(
        this, {QStringLiteral("Load a configuration"), kConfigurationFilter,
               fromLocal(m_paths.configurationsFolder), QStringLiteral("kvx")});
    if (!path)
        return;
    const kelvora::LoadedConfiguration loaded = kelvora::loadconf(toLocal(*path));
    if (!loaded.rules) {
        m_prompts.error(this, fromLocal(loaded.error));
        return;
    }
    fillEditors(*m_blocks, *m_columns, *loaded.rules);
    useConfiguration(kelvora::fileNameOf(toLocal(*path)));
}

// After a save or a load: the file becomes the configuration in use, is remembered for the
// next start and is the new reference for change detection.
void TForm1::useConfiguration(const std::string& fileName) {
    showConfigurationInUse(fromLocal(fileName));
    std::string error;
    if (!kelvora::rememberLastConfiguration(m_paths, fileName, error))
        m_prompts.error(this, fromLocal(error));
    m_remembered = kelvora::getconf(currentRules());
}

void TForm1::showConfigurationInUse(const QString& name) {
    showLabelValue(m_configuration, kConfigurationLabelName, name);
}

void TForm1::exitClick() {
    commitEdits(*m_blocks, *m_columns);
    if (m_running || !changeQuestion())
        return;
    m_settings.writeText(kelvora::kSettingDxfPath, toLocal(m_sh1->selectedPath()));
    m_settings.writeText(kelvora::kSettingDestPath, toLocal(m_rep1->text()));
    emit exitRequested();
}

void TForm1::wizardClick() {
    commitEdits(*m_blocks, *m_columns);
    if (m_running)
        return;
    setDialogAlpha(true);
    if (m_form4->exec() == QDialog::Accepted) {
        m_form4->hide();
        gowizard();
    }
    setDialogAlpha(false);
}

void TForm1::gowizard() {
    const std::optional<QString> path = m_prompts.openFileName(
        this, {QStringLiteral("Select a template DXF file"), QStringLiteral("DXF files (*.dxf)"),
               m_listFolder, QString()});
    if (!path)
        return;
    const kelvora::Settings settings = kelvora::loadSettings(m_settings);
    const kelvora::TemplateImportResult imported = kelvora::importTemplate(
        toLocal(*path), {settings.importanonymous, settings.importblknonatt, readingChoices()});
    if (!imported.opened) {
        m_prompts.error(this, fromLocal(imported.error));
        return;
    }
    RuleSet rules = currentRules();
    rules.blockRules = imported.blockRules;
    if (settings.importfields)
        kelvora::addLayerAndPositionColumns(rules);
    fillEditors(*m_blocks, *m_columns, rules);
    if (imported.blockRules.empty())
        m_prompts.information(this, fromLocal(std::string(kelvora::kTemplateNoBlocksMessage)));
}

void TForm1::showHelp() {
    const QString help = fromLocal(m_paths.helpFile);
    if (!QFileInfo::exists(help)) {
        m_prompts.information(this, QStringLiteral("The help file \"") + help +
                                        QStringLiteral("\" was not found."));
        return;
    }
    openDocument(QUrl::fromLocalFile(help));
}

void TForm1::openDocument(const QUrl& document) {
    if (!m_prompts.openUrl(document))
        m_prompts.information(this, QStringLiteral("No program was found to open \"") +
                                        document.toDisplayString(QUrl::PreferLocalFile) +
                                        QStringLiteral("\"."));
}

void TForm1::reportChoiceChange(bool show) {
    kelvora::storeBool(m_settings, kelvora::kSettingShowLog, show);
}

kelvora::ReadingChoices TForm1::readingChoices() const {
    kelvora::ReadingChoices reading;
    reading.dynamicNames = m_dynNames->isChecked();
    reading.allLayouts = m_allLayouts->isChecked();
    reading.minsertCopies = m_minsertCopies->isChecked();
    reading.nested = m_nested->isChecked();
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
    m_settings.writeText(kelvora::kSettingWindowSize,
                         kelvora::windowSizeText({event->size().width(), event->size().height()}));
}
