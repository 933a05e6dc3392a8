// Runs started from the main window: the same results as the batch command, and Stop.
#include "FakePrompts.h"
#include "WindowTestSupport.h"
#include "ui/QtSettingsStore.h"
#include "ui/RuleListEditors.h"
#include "ui/Unit2.h"
#include "ui/wizard.h"
#include "ui/xyz1.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> reportLines(const QString& path) {
    QList<QByteArray> lines = readFile(path).split('\n');
    for (QByteArray& line : lines)
        line = line.chopped(line.endsWith('\r') ? 1 : 0);
    return lines;
}

// The shipped samples and sample configuration in the test program's folder; returns the
// drawing names in name order.
QStringList installSamples(TestProgram& program) {
    const QStringList samples =
        QDir(KELVORA_SAMPLES).entryList({QStringLiteral("*.dxf")}, QDir::Files, QDir::Name);
    for (const QString& name : samples)
        program.write("samples/" + name, readFile(QStringLiteral(KELVORA_SAMPLES "/") + name));
    program.useConfiguration("sample.kvx",
                             readFile(QStringLiteral(KELVORA_CONFIGURATIONS "/sample.kvx")));
    return samples;
}

// The main window started on the program's files, every drawing of its list selected.
struct StartedWindow {
    explicit StartedWindow(const TestProgram& program) : window(program.paths, store, prompts) {
        window.startup();
        tick(window.autosel());
    }
    QtSettingsStore store;
    FakePrompts prompts;
    TForm1 window;
};

} // namespace

class RunTest : public QObject {
    Q_OBJECT
private slots:
    void windowRunMatchesTheBatchCommand_data();
    void windowRunMatchesTheBatchCommand();
    void stopEndsALargeRunAndTheWindowStaysLockedMeanwhile();
    void aWorkbookThatCannotBeSavedIsToldAndTheRunGoesOn();
    void readingChoicesAreStoredReportedAndKept();
    void resultChoicesAreStoredReportedAndKept();
    void aMissingDrawingIsToldWithItsReason();
    void drawingsThatGiveOneResultNameAreRefusedBeforeTheRun();
    void aCutTextIsToldAndTheLabelShowsThePlace();
};

void RunTest::windowRunMatchesTheBatchCommand_data() {
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<bool>("raw");
    QTest::newRow("text") << QStringLiteral("csv") << false << false;
    QTest::newRow("text as UTF-8, raw") << QStringLiteral("csv") << true << true;
    QTest::newRow("workbook") << QStringLiteral("xls") << false << false;
}

void RunTest::windowRunMatchesTheBatchCommand() {
    QFETCH(QString, extension);
    QFETCH(bool, utf8);
    QFETCH(bool, raw);
    TestProgram program;
    const QStringList samples = installSamples(program);
    QVERIFY(samples.size() >= 2);
    const QString configuration = QStringLiteral(KELVORA_CONFIGURATIONS "/sample.kvx");

    // A first start: the samples and the sample configuration, results beside the samples.
    QtSettingsStore store;
    FakePrompts prompts;
    TForm1 window(program.paths, store, prompts);
    window.startup();
    QVERIFY(prompts.informations.isEmpty());
    tick(window.autosel());
    window.rep3()->setText(extension);
    window.alwaysShowReport()->click();
    window.textUtf8()->setChecked(utf8); // as a screen reader would: no click
    QCOMPARE(store.readInt("textutf8"), std::optional<int>(utf8 ? 1 : 0));
    window.textRaw()->setChecked(raw);
    QCOMPARE(store.readInt("textraw"), std::optional<int>(raw ? 1 : 0));
    window.createButton()->click();
    QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join('\n')));
    QVERIFY(prompts.informations.isEmpty()); // a run that went well says nothing
    QVERIFY(!window.running());
    QVERIFY(!window.form2()->isVisible());
    const QString report = QString::fromStdString(program.paths.reportFile);
    QCOMPARE(prompts.opened, QList<QUrl>{QUrl::fromLocalFile(report)});

    QDir(program.path("")).mkpath("batch");
    QProcess batch;
    QStringList arguments{"-q",
                          "-c",
                          configuration,
                          "-o",
                          program.path("batch"),
                          "-e",
                          extension,
                          "--report",
                          program.path("batch.log"),
                          "--text-encoding",
                          utf8 ? "utf-8" : "as-read"};
    if (raw)
        arguments << "--text-raw";
    for (const QString& name : samples)
        arguments << program.path("samples/" + name);
    batch.start(KELVORA_BATCH, arguments);
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 0);

    for (const QString& name : samples) {
        const QString result = QFileInfo(name).completeBaseName() + "." + extension;
        const QByteArray fromWindow = program.read("samples/" + result);
        QVERIFY2(!fromWindow.isEmpty(), qPrintable(result));
        QCOMPARE(fromWindow, program.read("batch/" + result));
        QCOMPARE(fromWindow.startsWith("\xEF\xBB\xBF"), utf8);
    }
    // The same report apart from its date and the destination.
    QList<QByteArray> windowReport = reportLines(report);
    QList<QByteArray> batchReport = reportLines(program.path("batch.log"));
    QCOMPARE(windowReport.size(), batchReport.size());
    QCOMPARE(windowReport[4], "  File type : " + extension.toUtf8());
    windowReport.remove(0, 4);
    batchReport.remove(0, 4);
    QCOMPARE(windowReport, batchReport);
}

void RunTest::stopEndsALargeRunAndTheWindowStaysLockedMeanwhile() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    QList<TestInsert> inserts;
    for (int i = 0; i < 150000; ++i)
        inserts.append({"DOOR" + QByteArray::number(i % 7), "0", {{"REF", QByteArray::number(i)}}});
    program.write("samples/big1.dxf", drawing(inserts));
    program.write("samples/big2.dxf", drawing(inserts.mid(0, 10)));

    QtSettingsStore store;
    FakePrompts prompts;
    TForm1 window(program.paths, store, prompts);
    window.startup();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    tick(window.autosel());
    window.rep3()->setText("csv");

    // Once the run has read part of the drawing: try to start other commands, then Stop.
    bool lockedDuringRun = false;
    bool progressShown = false;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, &window, [&] {
        if (window.form2()->progressBar()->value() <= 0)
            return;
        poll.stop();
        progressShown = window.form2()->isVisible() &&
                        window.form2()->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        lockedDuringRun = window.running() && !window.pages()->isEnabled();
        window.loadButton()->click();
        window.createButton()->click();
        window.blockList()->addBlockButton()->click();
        QTest::mouseClick(window.form2()->stopButton(), Qt::LeftButton);
    });
    poll.start();
    window.createButton()->click();

    QVERIFY(progressShown);
    QVERIFY(lockedDuringRun);
    QVERIFY(prompts.fileDialogs.isEmpty());
    QCOMPARE(window.blockList()->blockRules().size(), std::size_t(1));
    QVERIFY(!window.running());
    QVERIFY(window.pages()->isEnabled());
    QVERIFY(!window.form2()->isVisible());

    const QList<QByteArray> report = reportLines(QString::fromStdString(program.paths.reportFile));
    QVERIFY(report.contains(program.path("samples/big1.dxf").toUtf8()));
    QVERIFY(!report.contains(program.path("samples/big2.dxf").toUtf8()));
    QCOMPARE(report.at(report.size() - 2), QByteArray("Process aborted"));
    // The text result keeps the rows written before the Stop.
    const int rows = program.read("samples/big1.csv").count('\n') - 1;
    QVERIFY2(rows > 0 && rows < inserts.size(), qPrintable(QString::number(rows)));
}

void RunTest::aWorkbookThatCannotBeSavedIsToldAndTheRunGoesOn() {
    TestProgram program;
    const QStringList samples = installSamples(program);
    QVERIFY(samples.size() >= 2);
    // A folder where the first workbook should go.
    const QString blocked = QFileInfo(samples[0]).completeBaseName() + ".xls";
    QVERIFY(QDir(program.path("samples")).mkdir(blocked));

    StartedWindow started(program);
    TForm1& window = started.window;
    FakePrompts& prompts = started.prompts;
    window.rep3()->setText(QStringLiteral("xls"));
    window.createButton()->click();
    QCOMPARE(prompts.errors.size(), 1);
    QVERIFY2(prompts.errors[0].contains(blocked), qPrintable(prompts.errors[0]));
    for (const QString& name : samples.mid(1)) {
        const QString result = QFileInfo(name).completeBaseName() + ".xls";
        QVERIFY2(QFileInfo(program.path("samples/" + result)).isFile(), qPrintable(result));
    }
}

// An array insert of DOOR1, three columns and two rows.
const char* const kDoorArray = "0\r\nSECTION\r\n2\r\nENTITIES\r\n0\r\nINSERT\r\n8\r\n0\r\n"
                               "100\r\nAcDbMInsertBlock\r\n2\r\nDOOR1\r\n70\r\n3\r\n71\r\n"
                               "2\r\n0\r\nENDSEC\r\n0\r\nEOF\r\n";

void RunTest::readingChoicesAreStoredReportedAndKept() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/plan.dxf", kDoorArray);
    // A template whose only block with attributes is inside another block.
    program.write("template.dxf",
                  "0\r\nSECTION\r\n2\r\nBLOCKS\r\n0\r\nBLOCK\r\n2\r\nOUTER\r\n"
                  "0\r\nINSERT\r\n66\r\n1\r\n2\r\nINNER\r\n0\r\nATTRIB\r\n1\r\n7\r\n"
                  "2\r\nREF\r\n0\r\nSEQEND\r\n0\r\nENDBLK\r\n0\r\nENDSEC\r\n0\r\n"
                  "SECTION\r\n2\r\nENTITIES\r\n0\r\nINSERT\r\n2\r\nOUTER\r\n0\r\n"
                  "ENDSEC\r\n0\r\nEOF\r\n");
    const QString report = QString::fromStdString(program.paths.reportFile);
    const QStringList names{"dynnames", "alllayouts", "minsertcopies", "nested"};
    // The boxes' states, found by their object names, and the stored settings of those names.
    auto states = [&](TForm1& window, kelvora::SettingsStore& store) {
        QList<bool> checked, stored;
        for (const QString& name : names) {
            checked.append(window.findChild<QCheckBox*>(name)->isChecked());
            stored.append(store.readInt(name.toStdString()) == 1);
        }
        return std::pair(checked, stored);
    };
    const QList<bool> defaults{true, true, true, false};
    const QList<bool> onlyNested{false, false, false, true};

    QtSettingsStore store;
    FakePrompts prompts;
    {
        TForm1 window(program.paths, store, prompts);
        window.startup();
        window.rep3()->setText(QStringLiteral("csv"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.optionsButton(), Qt::LeftButton);
        const QList<QCheckBox*> boxes{window.dynamicNamesBox(), window.allLayoutsBox(),
                                      window.minsertCopiesBox(), window.nestedBox()};
        QVERIFY(boxes[3]->isVisible());
        QCOMPARE(states(window, store), std::pair(defaults, defaults));

        window.createButton()->click();
        QList<QByteArray> lines = reportLines(report);
        QVERIFY(lines.size() > 5);
        QCOMPARE(lines[5], QByteArray("  Also read : dynamic blocks under their own names, the "
                                      "blocks of every layout, every copy of a block array"));
        QVERIFY(lines.contains("Number of Blocks matching criteria : 6"));

        for (QCheckBox* box : boxes)
            tick(box);
        QCOMPARE(states(window, store), std::pair(onlyNested, onlyNested));
        window.createButton()->click();
        lines = reportLines(report);
        QVERIFY(lines.size() > 5);
        QCOMPARE(lines[5], QByteArray("  Also read : blocks nested in blocks"));
        QVERIFY(lines.contains("Number of Blocks matching criteria : 1"));

        // The template import reads the drawing the same way.
        QTimer::singleShot(0, window.form4(), [&] { window.form4()->proceedButton()->click(); });
        prompts.chosenFiles.enqueue(program.path("template.dxf"));
        window.wizardButton()->click();
        QCOMPARE(window.blockList()->blockRules().size(), std::size_t(1));
        QCOMPARE(window.blockList()->blockRules()[0].blockPattern, "INNER");
        QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join('\n')));
    }
    // A new start shows the choices stored.
    QtSettingsStore restartedStore;
    TForm1 restarted(program.paths, restartedStore, prompts);
    restarted.startup();
    QCOMPARE(states(restarted, restartedStore), std::pair(onlyNested, onlyNested));
}

void RunTest::resultChoicesAreStoredReportedAndKept() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/plan.dxf", kDoorArray); // one row counting six
    const QString report = QString::fromStdString(program.paths.reportFile);
    QtSettingsStore store;
    FakePrompts prompts;
    {
        TForm1 window(program.paths, store, prompts);
        window.startup();
        window.rep3()->setText(QStringLiteral("csv"));
        tick(window.autosel());
        window.neverShowReport()->click();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.optionsButton(), Qt::LeftButton);
        QVERIFY(window.quantitiesBox()->isVisible());
        QVERIFY(!window.quantitiesBox()->isChecked());
        QVERIFY(!window.numbersBox()->isChecked());
        window.createButton()->click();
        QVERIFY(!reportLines(report).join('\n').contains("Results"));
        QCOMPARE(readFile(program.path("samples/plan.csv")).count('\n'), 7);

        tick(window.quantitiesBox());
        tick(window.numbersBox());
        QCOMPARE(store.readInt("quantities"), std::optional<int>(1));
        QCOMPARE(store.readInt("numbers"), std::optional<int>(1));
        window.createButton()->click();
        QVERIFY(reportLines(report).contains("  Results : identical rows combined with a "
                                             "Quantity column, numbers stored as numbers"));
        QVERIFY(readFile(program.path("samples/plan.csv")).endsWith("DOOR1,,6\r\n"));

        // One result, under the name typed beside the box.
        QVERIFY(!window.combineName()->isEnabled());
        tick(window.combineBox());
        QVERIFY(window.combineName()->isEnabled());
        window.combineName()->selectAll();
        QTest::keyClicks(window.combineName(), QStringLiteral("Job"));
        QCOMPARE(store.readText("combinename"), std::optional<std::string>("Job"));
        window.createButton()->click();
        QCOMPARE(readFile(program.path("samples/Job.csv")),
                 QByteArray("Drawing,Block Name,Ref,Quantity\r\nplan.dxf,DOOR1,,6\r\n"));
    }
    QtSettingsStore restartedStore;
    TForm1 restarted(program.paths, restartedStore, prompts);
    restarted.startup();
    QVERIFY(restarted.quantitiesBox()->isChecked());
    QVERIFY(restarted.numbersBox()->isChecked());
    QVERIFY(restarted.combineBox()->isChecked());
    QCOMPARE(restarted.combineName()->text(), QStringLiteral("Job"));
    QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join('\n')));
}

void RunTest::aMissingDrawingIsToldWithItsReason() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/a.dxf", drawing({{"DOOR1", "0", {{"REF", "1"}}}}));
    program.write("samples/b.dxf", drawing({}));
    StartedWindow started(program);
    TForm1& window = started.window;
    FakePrompts& prompts = started.prompts;
    window.neverShowReport()->click();
    QVERIFY(QFile::remove(program.path("samples/b.dxf")));
    window.createButton()->click();

    QCOMPARE(prompts.errors.size(), 1);
    const QString message = prompts.errors[0];
    QVERIFY2(message.contains("b.dxf: Cannot open drawing") &&
                 message.contains("No such file or directory") && !message.contains("a.dxf"),
             qPrintable(message));
    QVERIFY(prompts.opened.isEmpty());
    QVERIFY(reportLines(QString::fromStdString(program.paths.reportFile))
                .contains("*** Error, file is used by another application ***"));
}

void RunTest::drawingsThatGiveOneResultNameAreRefusedBeforeTheRun() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/plan.dxf", drawing({{"DOOR1", "0", {{"REF", "1"}}}}));
    program.write("samples/plan.DXF", drawing({{"DOOR2", "0", {{"REF", "2"}}}}));
    StartedWindow started(program);
    TForm1& window = started.window;
    FakePrompts& prompts = started.prompts;
    window.createButton()->click();

    QCOMPARE(prompts.errors.size(), 1);
    QVERIFY2(prompts.errors[0].contains("/plan.DXF' and '") &&
                 prompts.errors[0].contains("/plan.dxf' would both give the result"),
             qPrintable(prompts.errors[0]));
    QVERIFY(!QFile::exists(program.path("samples/plan.xls")));
    QVERIFY(!QFile::exists(QString::fromStdString(program.paths.reportFile)));
}

void RunTest::aCutTextIsToldAndTheLabelShowsThePlace() {
    TestProgram program;
    program.useConfiguration("door.kvx", kDoorConfiguration);
    program.write("samples/a.dxf", drawing({{"DOOR1", "0", {{"REF", QByteArray(40000, 'x')}}}}));
    program.write("samples/b.dxf", drawing({{"DOOR2", "0", {{"REF", "2"}}}}));
    StartedWindow started(program);
    TForm1& window = started.window;
    FakePrompts& prompts = started.prompts;
    // What the progress label shows, and what screen readers are told, each time it is painted.
    QStringList shown;
    struct PaintWatch : QObject {
        QStringList& shown;
        PaintWatch(QStringList& list) : shown(list) {}
        bool eventFilter(QObject* watched, QEvent* event) override {
            auto* label = static_cast<QLabel*>(watched);
            const QString seen = label->text() + " / " + label->accessibleName();
            if (event->type() == QEvent::Paint && !shown.contains(seen))
                shown << seen;
            return false;
        }
    } watch(shown);
    window.form2()->label()->installEventFilter(&watch);
    window.createButton()->click();

    QVERIFY2(shown.contains("Processing a.dxf (1 of 2) / Processing a.dxf (1 of 2)"),
             qPrintable(shown.join('\n')));
    QVERIFY(shown.contains("Processing b.dxf (2 of 2) / Processing b.dxf (2 of 2)"));
    QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join('\n')));
    QCOMPARE(prompts.informations.size(), 1);
    QVERIFY2(prompts.informations[0].contains(
                 "a.dxf: Warning, 1 texts longer than 32767 characters were cut"),
             qPrintable(prompts.informations[0]));
    QVERIFY(!prompts.informations[0].contains("b.dxf"));
}

QTEST_MAIN(RunTest)
#include "tst_run.moc"
