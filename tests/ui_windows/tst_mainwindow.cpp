// The main window driven through its real controls: start-up, configurations, destination,
// the run's checks, the wizard, help and accessibility.
#include "../ui_lists/GridDriver.h"
#include "FakePrompts.h"
#include "WindowTestSupport.h"
#include "ui/QtSettingsStore.h"
#include "ui/RuleListEditors.h"
#include "ui/Unit2.h"
#include "ui/WindowParts.h"
#include "ui/selrep.h"
#include "ui/wizard.h"
#include "ui/xyz1.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrlQuery>
#include <QtTest>

#include <memory>

namespace {

// A main window on a test program folder, after its start-up.
struct Harness {
    explicit Harness(const TestProgram& program) : window(program.paths, store, prompts) {
        window.startup();
    }
    QtSettingsStore store;
    FakePrompts prompts;
    TForm1 window;

    QVariant setting(const char* name) const {
        return QSettings(QStringLiteral("Morvane"), QStringLiteral("kelvora")).value(name);
    }
    QStringList blockNames() const {
        QStringList names;
        for (const kelvora::BlockRule& rule : window.blockList()->blockRules())
            names << QString::fromStdString(rule.blockPattern);
        return names;
    }
};

void storeSettings(std::initializer_list<std::pair<const char*, QVariant>> values) {
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("kelvora"));
    for (const auto& [name, value] : values)
        settings.setValue(name, value);
}

// What a screen reader's "Toggle" does: no click, only the control's state changes.
bool toggleAsScreenReader(QAbstractButton* control) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
    QAccessibleActionInterface* actions = accessible ? accessible->actionInterface() : nullptr;
    if (!actions || !actions->actionNames().contains(QAccessibleActionInterface::toggleAction()))
        return false;
    actions->doAction(QAccessibleActionInterface::toggleAction());
    return true;
}

const QByteArray kTwoRuleConfiguration = "2\r\nQty\r\nRef\r\n2\r\nWIN*\r\n0\r\nGLASS\r\nModel "
                                         "Space\r\nPUMP\r\n1\r\n*\r\nAny Space\r\nTAG\r\n2\r\n";

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void firstStartUsesDefaultsAndTheSamples();
    void startupAppliesStoredSettingsAndConfiguration();
    void saveThenExitAsksNothing();
    void exitAfterAnEditAsks();
    void loadReplacesTheRulesOrRefusesABrokenFile();
    void destinationFollowsOrStaysFree();
    void folderChangesAndAutoSelect();
    void createChecksExtensionAndBlocks();
    void wizardImportsWithBothOptions();
    void closeBoxRefusedPagesReportChoiceAndHelp();
    void everyControlHasAnAccessibleName();
    void hintsCarryTheirHeading();
    void screenReaderTogglesChangeTheSettings();
    void enlargedWindowGivesTheRoomToTheRuleLists();
    void columnPickListShowsTitlesAndKeepsNumbers();
    void createUsesAValueTypedButNotConfirmed();
    void exitAndSaveTakeAValueTypedButNotConfirmed();
};

void MainWindowTest::firstStartUsesDefaultsAndTheSamples() {
    TestProgram program;
    program.write("samples/b.dxf", drawing({}));
    program.write("samples/a.dxf", drawing({}));
    program.write("kelvora.ini", "missing.kvx\r\n");
    Harness h(program);

    QCOMPARE(h.prompts.informations,
             QStringList{QStringLiteral("Configuration file \"") +
                         QString::fromStdString(program.paths.configurationsFolder) +
                         "/missing.kvx\" not found, default values used instead"});
    QCOMPARE(h.window.configurationLabel()->text(), QStringLiteral("None"));
    QCOMPARE(h.window.configurationLabel()->accessibleName(),
             QStringLiteral("Configuration file in use: None"));
    QVERIFY(!h.window.blockList()->hasRules());
    QCOMPARE(h.window.rep3()->text(), QStringLiteral("xls"));
    QVERIFY(!h.window.alwaysShowReport()->isChecked());
    QVERIFY(!h.window.neverShowReport()->isChecked());
    QVERIFY(!h.window.autosel()->isChecked());
    // The shipped samples, the first drawing selected, the destination following them.
    const QString samples = program.path("samples");
    QCOMPARE(h.window.sh1()->selectedPath(), samples);
    QCOMPARE(h.window.folderLabel()->text(), samples);
    QCOMPARE(h.window.fl1()->count(), 2);
    QCOMPARE(h.window.fl1()->item(0)->text(), QStringLiteral("a.dxf"));
    QVERIFY(h.window.fl1()->item(0)->isSelected());
    QCOMPARE(h.window.selectionLabel()->text(), QStringLiteral("1 selected."));
    QVERIFY(h.window.createButton()->isEnabled());
    QVERIFY(h.window.followButton()->isChecked());
    QVERIFY(!h.window.browseButton()->isEnabled());
    QCOMPARE(h.window.rep1()->text(), samples);
    QCOMPARE(h.setting("locked").toInt(), 1);
    QCOMPARE(h.setting("autosel").toInt(), 0);
    QVERIFY(!h.window.configurationChanged());
}

void MainWindowTest::startupAppliesStoredSettingsAndConfiguration() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("drawings/x.dxf", drawing({}));
    program.write("drawings/y.DXF", drawing({}));
    program.write("drawings/notes.txt", "not a drawing");
    storeSettings({{"dxfpath", program.path("drawings")},
                   {"destpath", "/elsewhere"},
                   {"locked", 0},
                   {"autosel", 1},
                   {"showlog", 1},
                   {"extension", "csv"}});
    Harness h(program);

    QVERIFY(h.prompts.informations.isEmpty());
    QCOMPARE(h.window.configurationLabel()->text(), QStringLiteral("door.kvx"));
    QCOMPARE(h.blockNames(), QStringList{"DOOR*"});
    QCOMPARE(h.window.columnList()->titles(), kelvora::ColumnList{"Ref"});
    QCOMPARE(h.window.fl1()->count(), 2);
    QCOMPARE(h.window.selectionLabel()->text(), QStringLiteral("2 selected."));
    QCOMPARE(h.window.rep1()->text(), QStringLiteral("/elsewhere"));
    QVERIFY(h.window.browseButton()->isEnabled());
    QVERIFY(!h.window.followButton()->isChecked());
    QVERIFY(h.window.alwaysShowReport()->isChecked());
    QCOMPARE(h.window.rep3()->text(), QStringLiteral("csv"));
    QVERIFY(!h.window.configurationChanged());
    // The stored folder is shown in the tree once its parents have been read.
    h.window.show();
    FolderTree* tree = h.window.sh1();
    QTRY_VERIFY(tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()).center()));
    QVERIFY(tree->isExpanded(tree->currentIndex().parent()));
}

void MainWindowTest::saveThenExitAsksNothing() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    Harness h(program);
    h.window.columnList()->addButton()->click();
    QVERIFY(h.window.configurationChanged());

    h.prompts.chosenFiles.enqueue(program.path("configurations/new.kvx"));
    h.window.saveButton()->click();
    QCOMPARE(h.prompts.fileDialogs.size(), 1);
    QCOMPARE(h.prompts.fileDialogs[0].title, QStringLiteral("Save current configuration"));
    QCOMPARE(h.prompts.fileDialogs[0].directory,
             QString::fromStdString(program.paths.configurationsFolder));
    QCOMPARE(h.prompts.fileDialogs[0].defaultSuffix, QStringLiteral("kvx"));
    QCOMPARE(program.read("configurations/new.kvx"),
             QByteArray("2\r\nRef\r\nColumn Title\r\n1\r\nDOOR*\r\n1\r\n*\r\nAny Space\r\n"
                        "REF\r\n1\r\n"));
    QCOMPARE(program.read("kelvora.ini"), QByteArray("new.kvx\r\n"));
    QCOMPARE(h.window.configurationLabel()->text(), QStringLiteral("new.kvx"));
    QVERIFY(!h.window.configurationChanged());

    // A folder made moments before it is picked stays picked while the tree reads its parent.
    QDir(program.path("")).mkpath("other");
    h.window.sh1()->selectPath(program.path("other"));
    // Exit ends the program's event loop although the window refuses to be closed.
    h.window.show();
    h.window.endProgramOnExit();
    QTimer::singleShot(0, h.window.exitButton(), &QToolButton::click);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(h.prompts.questions.isEmpty());
    QCOMPARE(h.setting("dxfpath").toString(), program.path("other"));
    QCOMPARE(h.setting("destpath").toString(), program.path("other"));
}

void MainWindowTest::exitAfterAnEditAsks() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    Harness h(program);
    h.window.blockList()->addBlockButton()->click();
    QSignalSpy exited(&h.window, &TForm1::exitRequested);

    h.prompts.answers.enqueue(Answer::Cancel);
    h.window.exitButton()->click();
    QCOMPARE(h.prompts.questions,
             QStringList{"Current configuration has changed, do you want to save it ?"});
    QCOMPARE(exited.count(), 0);

    // Yes, then the save dialog is cancelled: the program goes on.
    h.prompts.answers.enqueue(Answer::Yes);
    h.window.exitButton()->click();
    QCOMPARE(h.prompts.fileDialogs.size(), 1);
    QCOMPARE(exited.count(), 0);
    QCOMPARE(program.read("kelvora.ini"), QByteArray("door.kvx\r\n"));

    h.prompts.answers.enqueue(Answer::No);
    h.window.exitButton()->click();
    QCOMPARE(exited.count(), 1);
    QCOMPARE(program.read("configurations/door.kvx"), kDoorConfiguration);
}

void MainWindowTest::loadReplacesTheRulesOrRefusesABrokenFile() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("configurations/two.kvx", kTwoRuleConfiguration);
    program.write("configurations/broken.kvx", "1\r\nRef\r\nmany\r\n");
    Harness h(program);

    h.prompts.chosenFiles.enqueue(program.path("configurations/two.kvx"));
    h.window.loadButton()->click();
    QVERIFY(h.prompts.questions.isEmpty());
    QCOMPARE(h.prompts.fileDialogs[0].title, QStringLiteral("Load a configuration"));
    QCOMPARE(h.blockNames(), (QStringList{"WIN*", "PUMP"}));
    QCOMPARE(h.window.columnList()->titles(), (kelvora::ColumnList{"Qty", "Ref"}));
    QCOMPARE(h.window.configurationLabel()->text(), QStringLiteral("two.kvx"));
    QCOMPARE(program.read("kelvora.ini"), QByteArray("two.kvx\r\n"));
    QVERIFY(!h.window.configurationChanged());

    h.prompts.chosenFiles.enqueue(program.path("configurations/broken.kvx"));
    h.window.loadButton()->click();
    QCOMPARE(h.prompts.errors.size(), 1);
    QVERIFY(h.prompts.errors[0].contains("broken.kvx"));
    QCOMPARE(h.blockNames(), (QStringList{"WIN*", "PUMP"}));
    QCOMPARE(h.window.configurationLabel()->text(), QStringLiteral("two.kvx"));

    // After an edit, Yes with a cancelled save keeps the current rules: no open dialog.
    h.window.blockList()->addBlockButton()->click();
    h.prompts.answers.enqueue(Answer::Yes);
    h.window.loadButton()->click();
    QCOMPARE(h.prompts.fileDialogs.size(), 3);
    QCOMPARE(h.blockNames(), (QStringList{"WIN*", "PUMP", "Block Name"}));
}

void MainWindowTest::destinationFollowsOrStaysFree() {
    TestProgram program;
    QDir(program.path("")).mkpath("a");
    QDir(program.path("")).mkpath("b");
    Harness h(program);
    TForm1& w = h.window;

    w.sh1()->selectPath(program.path("a"));
    QCOMPARE(w.rep1()->text(), program.path("a"));
    w.followButton()->click();
    QCOMPARE(h.setting("locked").toInt(), 0);
    QVERIFY(w.browseButton()->isEnabled());
    QCOMPARE(w.rep1()->text(), program.path("a"));
    w.sh1()->selectPath(program.path("b"));
    QCOMPARE(w.rep1()->text(), program.path("a"));

    // Cancelling the chooser changes nothing, even with another folder picked in it.
    double alphaDuringDialog = 0;
    QString firstShown;
    QTimer::singleShot(0, w.form3(), [&] {
        alphaDuringDialog = w.windowOpacity();
        firstShown = w.form3()->tree()->selectedPath();
        w.form3()->tree()->selectPath(program.path("b"));
        w.form3()->cancelButton()->click();
    });
    w.browseButton()->click();
    QCOMPARE(w.rep1()->text(), program.path("a"));
    QCOMPARE(firstShown, program.path("a"));
    QCOMPARE(qRound(alphaDuringDialog * 255), 200);
    QCOMPARE(w.windowOpacity(), 1.0);

    QTimer::singleShot(0, w.form3(), [&] { w.form3()->selectButton()->click(); });
    w.browseButton()->click();
    QCOMPARE(w.rep1()->text(), program.path("b"));

    w.sh1()->selectPath(program.path("a"));
    w.followButton()->click();
    QCOMPARE(h.setting("locked").toInt(), 1);
    QCOMPARE(w.rep1()->text(), program.path("a"));
    QVERIFY(!w.browseButton()->isEnabled());
}

void MainWindowTest::folderChangesAndAutoSelect() {
    TestProgram program;
    QDir(program.path("")).mkpath("empty");
    for (const char* name : {"p1.dxf", "p2.dxf", "p3.dxf"})
        program.write(QStringLiteral("three/") + name, drawing({}));
    Harness h(program);
    TForm1& w = h.window;

    w.sh1()->selectPath(program.path("empty"));
    QCOMPARE(w.fl1()->count(), 0);
    QVERIFY(!w.createButton()->isEnabled());
    QCOMPARE(w.selectionLabel()->text(), QStringLiteral("0 selected."));

    w.sh1()->selectPath(program.path("three"));
    QVERIFY(w.createButton()->isEnabled());
    QCOMPARE(w.selectionLabel()->text(), QStringLiteral("1 selected."));
    tick(w.autosel());
    QCOMPARE(w.selectionLabel()->text(), QStringLiteral("3 selected."));
    QCOMPARE(h.setting("autosel").toInt(), 1);

    w.sh1()->selectPath(program.path("empty"));
    w.sh1()->selectPath(program.path("three"));
    QCOMPARE(w.fl1()->selectedItems().size(), 3);

    // No folder selected: nothing to process.
    w.sh1()->setCurrentIndex(QModelIndex());
    QCOMPARE(w.fl1()->count(), 0);
    QVERIFY(!w.createButton()->isEnabled());
}

void MainWindowTest::createChecksExtensionAndBlocks() {
    TestProgram program;
    program.write("samples/a.dxf", drawing({{"DOOR1"}}));
    Harness h(program);
    TForm1& w = h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QString extensionMessage =
        QStringLiteral("     Enter a valid file extension please.     ");

    for (const QString& extension : {QStringLiteral(" \t "), QStringLiteral(" . ")}) {
        h.prompts.errors.clear();
        w.rep3()->setText(extension);
        w.createButton()->setFocus();
        w.createButton()->click();
        QCOMPARE(h.prompts.errors, QStringList{extensionMessage});
        QTRY_VERIFY(w.rep3()->hasFocus());
    }
    h.prompts.errors.clear();
    w.rep3()->setText(QStringLiteral(" csv "));
    w.createButton()->click();
    QCOMPARE(h.prompts.errors,
             QStringList{QStringLiteral("     Select blocks to process please.     ")});
    // Nothing ran and nothing was stored.
    QVERIFY(!QFileInfo::exists(QString::fromStdString(program.paths.reportFile)));
    QCOMPARE(h.setting("extension").toString(), QStringLiteral("xls"));
}

void MainWindowTest::wizardImportsWithBothOptions() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("template.dxf", drawing({{"Door", "0", {{"REF", "1"}, {"REF", "2"}}},
                                           {"*U12", "0", {{"TAG", "x"}}},
                                           {"Plain"},
                                           {"DOOR", "0", {{"OTHER", "y"}}}}));
    program.write("plain.dxf", drawing({{"Plain"}}));
    Harness h(program);
    TForm1& w = h.window;
    TForm4* wizard = w.form4();

    double alphaDuringDialog = 0;
    QTimer::singleShot(0, wizard, [&] {
        alphaDuringDialog = w.windowOpacity();
        wizard->proceedButton()->click();
    });
    h.prompts.chosenFiles.enqueue(program.path("template.dxf"));
    w.wizardButton()->click();
    QCOMPARE(qRound(alphaDuringDialog * 255), 200);
    QCOMPARE(w.windowOpacity(), 1.0);
    QCOMPARE(h.blockNames(), QStringList{"Door"});
    QCOMPARE(w.blockList()->blockRules()[0].attributes.size(), std::size_t(2));
    QCOMPARE(w.columnList()->titles(), kelvora::ColumnList{"Ref"});
    QVERIFY(w.configurationChanged());

    QTimer::singleShot(0, wizard, [&] {
        tick(wizard->anonymousBox());
        tick(wizard->withoutAttributesBox());
        wizard->proceedButton()->click();
    });
    h.prompts.chosenFiles.enqueue(program.path("template.dxf"));
    w.wizardButton()->click();
    QCOMPARE(h.blockNames(), (QStringList{"Door", "*U12", "Plain"}));
    QCOMPARE(h.setting("importanonymous").toInt(), 1);
    QCOMPARE(h.setting("importblknonatt").toInt(), 1);

    // Layer and position columns: appended titles, each filled by its field in every rule.
    QTimer::singleShot(0, wizard, [&] {
        tick(wizard->fieldColumnsBox());
        wizard->proceedButton()->click();
    });
    h.prompts.chosenFiles.enqueue(program.path("template.dxf"));
    w.wizardButton()->click();
    QCOMPARE(h.setting("importfields").toInt(), 1);
    QCOMPARE(w.columnList()->titles(), (kelvora::ColumnList{"Ref", "Layer", "Layout", "X", "Y"}));
    const std::vector<kelvora::AttributeRule> plain = w.blockList()->blockRules()[2].attributes;
    QCOMPARE(plain.size(), std::size_t(4));
    QCOMPARE(plain[0], (kelvora::AttributeRule{"{LAYER}", "2"}));
    QCOMPARE(plain[3], (kelvora::AttributeRule{"{Y}", "5"}));
    QTimer::singleShot(0, wizard, [&] {
        tick(wizard->fieldColumnsBox());
        wizard->proceedButton()->click();
    });
    h.prompts.chosenFiles.enqueue(program.path("template.dxf"));
    w.wizardButton()->click();

    // A template that cannot be opened leaves the rules.
    QTimer::singleShot(0, wizard, [&] { wizard->proceedButton()->click(); });
    h.prompts.chosenFiles.enqueue(program.path("missing.dxf"));
    w.wizardButton()->click();
    QCOMPARE(h.prompts.errors, QStringList{"Error, file is used by another application."});
    QCOMPARE(h.blockNames(), (QStringList{"Door", "*U12", "Plain"}));

    // Without the option, a template of blocks without attributes empties the list.
    QTimer::singleShot(0, wizard, [&] {
        tick(wizard->withoutAttributesBox());
        wizard->proceedButton()->click();
    });
    h.prompts.chosenFiles.enqueue(program.path("plain.dxf"));
    w.wizardButton()->click();
    QCOMPARE(h.prompts.informations,
             QStringList{"The DXF file does not contain blocks matching the criteria."});
    QVERIFY(!w.blockList()->hasRules());
}

void MainWindowTest::closeBoxRefusedPagesReportChoiceAndHelp() {
    TestProgram program;
    Harness h(program);
    TForm1& w = h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());

    w.optionsButton()->click();
    QCOMPARE(w.pages()->currentIndex(), 1);
    w.alwaysShowReport()->click();
    QCOMPARE(h.setting("showlog").toInt(), 1);
    w.neverShowReport()->click();
    QCOMPARE(h.setting("showlog").toInt(), 0);

    // A missing help page is reported; the program goes on.
    w.helpButton()->click();
    QCOMPARE(h.prompts.informations.size(), 1);
    QVERIFY(h.prompts.opened.isEmpty());
    program.write("help_kelvora.html", "<html></html>");
    w.helpButton()->click();
    emit w.form4()->helpRequested();
    const QUrl help = QUrl::fromLocalFile(program.path("help_kelvora.html"));
    QCOMPARE(h.prompts.opened, (QList<QUrl>{help, help}));

    QTest::mouseClick(w.mailLink(), Qt::LeftButton);
    const QUrl mail = h.prompts.opened.last();
    QCOMPARE(mail.scheme(), QStringLiteral("mailto"));
    QCOMPARE(QUrlQuery(mail).queryItemValue("subject"), QStringLiteral("Kelvora support request"));
    // Without a program for the document the user is told where it is.
    h.prompts.desktopOpens = false;
    w.helpButton()->click();
    QCOMPARE(h.prompts.informations.size(), 2);
    QVERIFY(h.prompts.informations.last().contains(program.path("help_kelvora.html")));

    w.backButton()->click();
    QCOMPARE(w.pages()->currentIndex(), 0);
}

void MainWindowTest::everyControlHasAnAccessibleName() {
    TestProgram program;
    Harness h(program);
    const QList<QWidget*> windows{&h.window, h.window.form2(), h.window.form3(), h.window.form4()};
    for (QWidget* window : windows) {
        QCOMPARE(window->accessibleName(), window->windowTitle());
        for (QWidget* control : window->findChildren<QWidget*>()) {
            const bool isControl = qobject_cast<QAbstractButton*>(control) ||
                                   qobject_cast<QLineEdit*>(control) ||
                                   qobject_cast<QAbstractItemView*>(control);
            // A view's header, corner button and cell editors are parts of the view.
            bool partOfView = false;
            for (QWidget* up = control->parentWidget(); up != window; up = up->parentWidget())
                partOfView = partOfView || qobject_cast<QAbstractItemView*>(up);
            if (!isControl || partOfView || control->window() != window)
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            QVERIFY2(accessible && !accessible->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(control->metaObject()->className() + QStringLiteral(" ") +
                                control->toolTip()));
        }
    }
    QCOMPARE(h.window.createButton()->accessibleName(), QStringLiteral("Create Files..."));
    QCOMPARE(h.window.createButton()->toolTip(), QStringLiteral("Create Files..."));
}

void MainWindowTest::hintsCarryTheirHeading() {
    TestProgram program;
    Harness h(program);
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    const auto askHint = [](QWidget* widget) {
        const QPoint inside = widget->rect().center();
        QHelpEvent help(QEvent::ToolTip, inside, widget->mapToGlobal(inside));
        QApplication::sendEvent(widget, &help);
    };
    askHint(h.window.createButton());
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("<b>Information</b><br>Create Files..."));
    // The lists show their own hints; these get the heading too.
    QToolTip::hideText();
    QAbstractItemView* columns = h.window.columnList()->findChild<QAbstractItemView*>();
    QVERIFY(columns);
    askHint(columns->viewport());
    QTRY_VERIFY(
        QToolTip::text().startsWith(QStringLiteral("<b>Information</b><br>The Column List")));
}

void MainWindowTest::screenReaderTogglesChangeTheSettings() {
    TestProgram program;
    for (const char* name : {"a.dxf", "b.dxf", "c.dxf"})
        program.write(QStringLiteral("samples/") + name, drawing({}));
    Harness h(program);
    TForm1& w = h.window;

    QVERIFY(toggleAsScreenReader(w.autosel()));
    QVERIFY(w.autosel()->isChecked());
    QCOMPARE(w.selectionLabel()->text(), QStringLiteral("3 selected."));
    QCOMPARE(h.setting("autosel").toInt(), 1);

    QVERIFY(toggleAsScreenReader(w.followButton()));
    QVERIFY(!w.followButton()->isChecked());
    QCOMPARE(h.setting("locked").toInt(), 0);
    QVERIFY(w.browseButton()->isEnabled());
    QVERIFY(toggleAsScreenReader(w.followButton()));
    QCOMPARE(h.setting("locked").toInt(), 1);
    QVERIFY(!w.browseButton()->isEnabled());

    QVERIFY(toggleAsScreenReader(w.alwaysShowReport()));
    QCOMPARE(h.setting("showlog").toInt(), 1);
    QVERIFY(toggleAsScreenReader(w.neverShowReport()));
    QVERIFY(!w.alwaysShowReport()->isChecked());
    QCOMPARE(h.setting("showlog").toInt(), 0);
}

void MainWindowTest::enlargedWindowGivesTheRoomToTheRuleLists() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    Harness h(program);
    TForm1& w = h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(609, 559));
    QCOMPARE(w.minimumSize(), QSize(609, 559));
    const QList<QWidget*> controls{
        w.sh1(),          w.fl1(),          w.autosel(),       w.rep1(),
        w.browseButton(), w.followButton(), w.rep3(),          w.blockList(),
        w.columnList(),   w.wizardButton(), w.loadButton(),    w.saveButton(),
        w.createButton(), w.exitButton(),   w.optionsButton(), w.configurationLabel()};
    auto placeOf = [&w](QWidget* control) {
        return QRect(control->mapTo(&w, QPoint(0, 0)), control->size());
    };
    const QSize blocks = w.blockList()->size();
    const QSize columns = w.columnList()->size();
    const QRect tree = placeOf(w.sh1());
    const QRect create = placeOf(w.createButton());
    const QRect extension = placeOf(w.rep3());
    const QRect load = placeOf(w.loadButton());

    w.resize(780, 590);
    QTRY_COMPARE(w.size(), QSize(780, 590));
    QTRY_VERIFY(w.blockList()->height() == blocks.height() + 31);
    QVERIFY(w.blockList()->width() > blocks.width() && w.columnList()->width() > columns.width());
    QCOMPARE(w.columnList()->height(), columns.height() + 31);
    QCOMPARE(placeOf(w.sh1()).height(), tree.height());
    QCOMPARE(placeOf(w.createButton()), create.translated(171, 0));
    QCOMPARE(placeOf(w.rep3()), extension.translated(171, 0));
    QCOMPARE(placeOf(w.loadButton()), load.translated(0, 31));
    for (int i = 0; i < controls.size(); ++i)
        for (int j = i + 1; j < controls.size(); ++j)
            QVERIFY2(!placeOf(controls[i]).intersects(placeOf(controls[j])),
                     qPrintable(QString("%1 and %2").arg(i).arg(j)));
    QCOMPARE(h.setting("windowsize").toString(), QStringLiteral("780x590"));

    QtSettingsStore restartedStore;
    TForm1 restarted(program.paths, restartedStore, h.prompts);
    restarted.startup();
    QCOMPARE(restarted.size(), QSize(780, 590));
}

void MainWindowTest::columnPickListShowsTitlesAndKeepsNumbers() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    Harness h(program);
    TForm1& w = h.window;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    TRSItemListEditor* grid = w.blockList()->grid();
    grid->ExpandAll(grid->Items()[0]);
    QTest::mouseClick(w.columnList()->addButton(), Qt::LeftButton);

    clickCell(grid, rowOf(grid, "Column"), 1);
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down, Qt::AltModifier);
    TRSPickListPopup* popup = grid->PickListPopup();
    QVERIFY(popup && popup->isVisible());
    QStringList entries;
    for (int row = 0; row < popup->count(); ++row)
        entries << popup->item(row)->text();
    QCOMPARE(entries, (QStringList{"-1", "1 \u2014 Ref", "2 \u2014 Column Title"}));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {},
                      popup->visualItemRect(popup->item(2)).center());
    QTRY_COMPARE(w.blockList()->blockRules()[0].attributes[0].column, std::string("2"));
    QCOMPARE(cellText(grid, rowOf(grid, "Column"), 1), QStringLiteral("2"));

    // Opened again, the list shows the stored number's entry as the current one.
    clickCell(grid, rowOf(grid, "Column"), 1);
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down, Qt::AltModifier);
    popup = grid->PickListPopup(); // the popup belongs to the new in-place editor
    QTRY_VERIFY(popup && popup->isVisible());
    QCOMPARE(popup->currentRow(), 2);
}

// Clicks the value cell of a rule list's row and types a new value, without Enter: the cell
// keeps the focus, as it does when a command button is clicked next.
static void typeWithoutEnter(TRSItemListEditor* grid, int row, const QString& text) {
    clickCell(grid, row, 1);
    QVERIFY(grid->InplaceEditor());
    QTest::keyClick(grid->InplaceEditor(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(grid->InplaceEditor(), text);
}

void MainWindowTest::createUsesAValueTypedButNotConfirmed() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/plan.dxf",
                  drawing({{"DOOR1", "0", {{"REF", "D-1"}}}, {"NODOOR", "0", {{"REF", "N-1"}}}}));
    Harness h(program);
    h.window.rep3()->setText(QStringLiteral("csv"));
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    typeWithoutEnter(h.window.blockList()->grid(), 0, QStringLiteral("NODOOR"));
    QTest::mouseClick(h.window.createButton(), Qt::LeftButton);
    const QByteArray result = program.read("samples/plan.csv");
    QVERIFY2(result.contains("N-1") && !result.contains("D-1"),
             qPrintable(result + h.prompts.errors.join('\n')));
}

void MainWindowTest::exitAndSaveTakeAValueTypedButNotConfirmed() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    Harness h(program);
    h.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&h.window));
    TRSItemListEditor* grid = h.window.blockList()->grid();
    QSignalSpy exited(&h.window, &TForm1::exitRequested);

    typeWithoutEnter(grid, 0, QStringLiteral("NODOOR"));
    h.prompts.answers.enqueue(Answer::Cancel);
    QTest::mouseClick(h.window.exitButton(), Qt::LeftButton);
    QCOMPARE(h.prompts.questions,
             QStringList{"Current configuration has changed, do you want to save it ?"});
    QCOMPARE(exited.count(), 0);

    // Save writes a value typed just before it; Exit then has nothing to ask.
    typeWithoutEnter(grid, 0, QStringLiteral("WINDOW"));
    h.prompts.chosenFiles.enqueue(program.path("configurations/new.kvx"));
    QTest::mouseClick(h.window.saveButton(), Qt::LeftButton);
    QVERIFY(program.read("configurations/new.kvx").contains("\r\nWINDOW\r\n"));
    QTest::mouseClick(h.window.exitButton(), Qt::LeftButton);
    QCOMPARE(h.prompts.questions.size(), 1);
    QCOMPARE(exited.count(), 1);
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
