// The progress window, the destination chooser, the wizard dialog and the settings store,
// each on its own.
#include "WindowTestSupport.h"
#include "ui/QtSettingsStore.h"
#include "ui/Unit2.h"
#include "ui/WindowParts.h"
#include "ui/selrep.h"
#include "ui/wizard.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class DialogTest : public QObject {
    Q_OBJECT
private slots:
    void settingsStoreKeepsNamesAndTypes();
    void progressWindowCannotBeClosedAndStopIsSeenAtThePump();
    void progressBarCopesWithHugeDrawings();
    void destinationChooserSelectsOnlyFolders();
    void wizardStoresOptionsAtOnceEvenWhenCancelled();
};

void DialogTest::settingsStoreKeepsNamesAndTypes() {
    TestProgram program;
    {
        QtSettingsStore store;
        QVERIFY(!store.readInt("locked"));
        QVERIFY(!store.readText("extension"));
        const kelvora::Settings defaults = kelvora::loadSettings(store);
        QCOMPARE(defaults.extension, std::string("xls"));
        QVERIFY(defaults.locked);
        QVERIFY(!defaults.showlog);
        store.writeText("destpath", "/tmp/a, b");
    }
    // Booleans are the integers 0 and 1 under the organisation and application names.
    QSettings raw(QStringLiteral("Morvane"), QStringLiteral("kelvora"));
    QCOMPARE(raw.value("locked").toInt(), 1);
    QCOMPARE(raw.value("autosel").toInt(), 0);
    QCOMPARE(raw.value("extension").toString(), QStringLiteral("xls"));
    QVERIFY(!raw.contains("showlog"));
    raw.setValue("autosel", "not a number");
    raw.sync();
    QtSettingsStore again;
    QCOMPARE(again.readText("destpath").value(), std::string("/tmp/a, b"));
    QVERIFY(!again.readInt("autosel"));
}

void DialogTest::progressWindowCannotBeClosedAndStopIsSeenAtThePump() {
    TForm2 progress;
    QCOMPARE(progress.windowTitle(), QStringLiteral(" Processing"));
    QCOMPARE(progress.size(), QSize(359, 92));
    // No title bar: nothing a window manager could put minimise, maximise or close on.
    const Qt::WindowFlags flags = progress.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
    for (const Qt::WindowType button : {Qt::WindowMinimizeButtonHint, Qt::WindowMaximizeButtonHint,
                                        Qt::WindowCloseButtonHint, Qt::WindowSystemMenuHint})
        QVERIFY(!flags.testFlag(button));
    progress.showProgress();
    QCOMPARE(progress.label()->text(), QStringLiteral("Process"));
    QVERIFY(!progress.close());
    QTest::keyClick(&progress, Qt::Key_Escape);
    QVERIFY(progress.isVisible());

    progress.setLabel("Processing plan.dxf (3 of 30)");
    QCOMPARE(progress.label()->text(), QStringLiteral("Processing plan.dxf (3 of 30)"));
    // Screen readers read what the label shows.
    QCOMPARE(QAccessible::queryAccessibleInterface(progress.label())->text(QAccessible::Name),
             progress.label()->text());
    // A click waits in the event queue until the run pumps.
    QTimer::singleShot(0, progress.stopButton(), &QPushButton::click);
    QVERIFY(!progress.abortRequested());
    QElapsedTimer waited;
    waited.start();
    while (!progress.abortRequested() && waited.elapsed() < 2000)
        progress.pump();
    QVERIFY(progress.abortRequested());
    progress.clearAbort();
    QVERIFY(!progress.abortRequested());
    progress.hideProgress();
    QVERIFY(!progress.isVisible());
}

void DialogTest::progressBarCopesWithHugeDrawings() {
    TForm2 progress;
    progress.setRange(40'000'000'000LL);
    progress.setPosition(20'000'000'000LL);
    QVERIFY(progress.progressBar()->maximum() > 0);
    QCOMPARE(progress.progressBar()->value(), progress.progressBar()->maximum() / 2);
    progress.setRange(1000);
    progress.setPosition(250);
    QCOMPARE(progress.progressBar()->maximum(), 1000);
    QCOMPARE(progress.progressBar()->value(), 250);
}

void DialogTest::destinationChooserSelectsOnlyFolders() {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("out");
    TForm3 chooser;
    QCOMPARE(chooser.size(), QSize(396, 419));
    QVERIFY(!chooser.selectButton()->isEnabled());
    QVERIFY(chooser.tree()->selectPath(dir.filePath("out")));
    QCOMPARE(chooser.pathLabel()->text(), dir.filePath("out"));
    QVERIFY(chooser.selectButton()->isEnabled());
    // Only the folders' names are shown, and only they are offered to screen readers.
    QCOMPARE(QAccessible::queryAccessibleInterface(chooser.tree())->tableInterface()->columnCount(),
             1);
    QVERIFY(!chooser.tree()->selectPath(dir.filePath("missing")));
    QCOMPARE(chooser.pathLabel()->text(), dir.filePath("out"));

    chooser.tree()->setCurrentIndex(QModelIndex());
    QVERIFY(!chooser.selectButton()->isEnabled());
    QCOMPARE(chooser.chosenPath(), QString());

    chooser.tree()->selectPath(dir.filePath("out"));
    QTimer::singleShot(0, chooser.selectButton(), &QPushButton::click);
    QCOMPARE(chooser.exec(), int(QDialog::Accepted));
    QCOMPARE(chooser.chosenPath(), dir.filePath("out"));
    // The tree keeps its selection for the next opening.
    QTimer::singleShot(0, chooser.cancelButton(), &QPushButton::click);
    QCOMPARE(chooser.exec(), int(QDialog::Rejected));
    QCOMPARE(chooser.tree()->selectedPath(), dir.filePath("out"));
}

void DialogTest::wizardStoresOptionsAtOnceEvenWhenCancelled() {
    kelvora::MemorySettingsStore store;
    store.ints["importanonymous"] = 1;
    store.ints["importblknonatt"] = 0;
    TForm4 wizard(store);
    QCOMPARE(wizard.size(), QSize(471, 236));
    QSignalSpy help(&wizard, &TForm4::helpRequested);
    QTimer::singleShot(0, &wizard, [&] {
        QVERIFY(wizard.anonymousBox()->isChecked());
        QVERIFY(!wizard.withoutAttributesBox()->isChecked());
        tick(wizard.withoutAttributesBox());
        tick(wizard.anonymousBox());
        QVERIFY(!wizard.fieldColumnsBox()->isChecked());
        tick(wizard.fieldColumnsBox());
        wizard.helpButton()->click();
        wizard.cancelButton()->click();
    });
    QCOMPARE(wizard.exec(), int(QDialog::Rejected));
    QCOMPARE(store.ints["importblknonatt"], 1);
    QCOMPARE(store.ints["importanonymous"], 0);
    QCOMPARE(store.ints["importfields"], 1);
    QCOMPARE(help.count(), 1);

    // The next opening shows the stored options.
    store.ints["importanonymous"] = 1;
    QTimer::singleShot(0, wizard.proceedButton(), &QPushButton::click);
    QCOMPARE(wizard.exec(), int(QDialog::Accepted));
    QVERIFY(wizard.anonymousBox()->isChecked());
}

QTEST_MAIN(DialogTest)
#include "tst_dialogs.moc"
