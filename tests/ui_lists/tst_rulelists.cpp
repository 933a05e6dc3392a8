// The block list and the column list, driven as a user would drive them.
#include "GridDriver.h"
#include "ui/RuleListEditors.h"

#include <QAccessible>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

using kelvora::AttributeRule;
using kelvora::BlockRule;
using kelvora::RuleSet;

QStringList shownRows(TRSItemListEditor* grid) {
    QStringList rows;
    for (int row = 0; row < grid->ShownCount(); ++row) {
        rows << cellText(grid, row, 0) + "=" + cellText(grid, row, 1);
    }
    return rows;
}

void rightClick(TRSItemListEditor* grid, int row, int column) {
    const QRect rect = cellRect(grid, row, column);
    const QPoint pos(rect.right() - 4, rect.center().y());
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, grid->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(grid->viewport(), &event);
}

} // namespace

class TestRuleLists : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    BlockListEditor* blocks = nullptr;
    ColumnListEditor* columns = nullptr;
    TRSItemListEditor* grid = nullptr;

    void fill(const RuleSet& rules) { fillEditors(*blocks, *columns, rules); }

    RuleSet rules() const { return rulesFromEditors(*blocks, *columns); }

    static RuleSet threeAttributes() {
        RuleSet rules;
        rules.columns = {"Qty", "Ref"};
        rules.blockRules.push_back(
            {"DOOR*", "*", "Any Space", {{"A", "1"}, {"B", "2"}, {"C", "-1"}}});
        return rules;
    }

private slots:
    void init() {
        window = std::make_unique<QWidget>();
        blocks = new BlockListEditor(window.get());
        columns = new ColumnListEditor(window.get());
        blocks->setGeometry(0, 0, 290, 300);
        columns->setGeometry(300, 0, 260, 300);
        QObject::connect(columns, &ColumnListEditor::choicesChanged, blocks,
                         &BlockListEditor::reinitlistecol);
        grid = blocks->grid();
        window->resize(570, 310);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    void startsEmptyAndDisabled() {
        QVERIFY(!grid->isEnabled());
        QVERIFY(!blocks->hasRules());
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (0)"));
        QCOMPARE(grid->TitleCaptions(1), QString("Value"));
        QVERIFY(blocks->addBlockButton()->isEnabled());
        QVERIFY(!blocks->removeBlockButton()->isEnabled());
        QVERIFY(!blocks->addAttributeButton()->isEnabled());
        QVERIFY(!blocks->removeAttributeButton()->isEnabled());
        QVERIFY(!columns->grid()->isEnabled());
        QCOMPARE(columns->grid()->TitleCaptions(0), QString("Column"));
        QCOMPARE(columns->grid()->TitleCaptions(1), QString("Column Title"));
        QVERIFY(!columns->removeButton()->isEnabled());
    }

    void addingABlockShowsItsDefaultsExpanded() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QCOMPARE(shownRows(grid),
                 QStringList({"Block (1 Att.)=Block Name", "Layer name=*", "Space=Any Space",
                              "Attribute 1=Attribute Name", "Column=-1"}));
        QVERIFY(grid->isEnabled());
        QVERIFY(blocks->hasRules());
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (1)"));
        QCOMPARE(grid->Selected(), grid->Items()[0]);
        QVERIFY(blocks->removeBlockButton()->isEnabled());
        QVERIFY(blocks->addAttributeButton()->isEnabled());
        QVERIFY(!blocks->removeAttributeButton()->isEnabled());
        const BlockRule expected{"Block Name", "*", "Any Space", {{"Attribute Name", "-1"}}};
        QCOMPARE(rules().blockRules, std::vector<BlockRule>{expected});

        // A second attribute goes to the current block and becomes current.
        QTest::mouseClick(blocks->addAttributeButton(), Qt::LeftButton);
        QCOMPARE(grid->Items()[0]->Name(), QString("Block (2 Att.)"));
        QCOMPARE(grid->Selected()->Name(), QString("Attribute 2"));
        QVERIFY(grid->Selected()->Expanded());
        QVERIFY(blocks->removeAttributeButton()->isEnabled());
        QVERIFY(!blocks->removeBlockButton()->isEnabled());
    }

    void removingTheFirstOfThreeAttributesRenumbers() {
        fill(threeAttributes());
        grid->ExpandAll(grid->Items()[0]);
        clickCell(grid, rowOf(grid, "Attribute 1"), 0);
        QVERIFY(blocks->removeAttributeButton()->isEnabled());
        QTest::mouseClick(blocks->removeAttributeButton(), Qt::LeftButton);
        TRSItemProp* block = grid->Items()[0];
        QCOMPARE(block->Name(), QString("Block (2 Att.)"));
        QCOMPARE(block->Items()[2]->Name(), QString("Attribute 1"));
        QCOMPARE(block->Items()[2]->Value(), QString("B"));
        QCOMPARE(block->Items()[3]->Name(), QString("Attribute 2"));
        // The next attribute moved into the current row.
        QCOMPARE(grid->Selected(), block->Items()[2]);
        QVERIFY(blocks->removeAttributeButton()->isEnabled());
        QCOMPARE(rules().blockRules[0].attributes,
                 std::vector<AttributeRule>({{"B", "2"}, {"C", "-1"}}));
    }

    void removingTheLastBlockDisablesTheList() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QTest::mouseClick(blocks->removeBlockButton(), Qt::LeftButton);
        QVERIFY(!grid->isEnabled());
        QVERIFY(!blocks->hasRules());
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (0)"));
        QVERIFY(!blocks->removeBlockButton()->isEnabled());
        QVERIFY(!blocks->addAttributeButton()->isEnabled());

        // Emptying the lists for a load leaves them in the same state.
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QTest::mouseClick(columns->addButton(), Qt::LeftButton);
        blocks->clear();
        columns->clear();
        QVERIFY(!grid->isEnabled());
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (0)"));
        QVERIFY(!blocks->removeBlockButton()->isEnabled());
        QVERIFY(!columns->grid()->isEnabled());
        QVERIFY(!columns->removeButton()->isEnabled());
        QCOMPARE(columns->choices(), kelvora::ColumnChoices({"-1"}));
    }

    void typingIntoASpaceCellChangesNothing() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        const int space = rowOf(grid, "Space");
        clickCell(grid, space, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, "x M");
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClick(editor, Qt::Key_Home);
        QTest::keyClick(editor, Qt::Key_Delete);
        // Neither way of pasting gets a text in.
        QApplication::clipboard()->setText(QStringLiteral("LAYX"));
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Insert, Qt::ShiftModifier);
        QCOMPARE(editor->text(), QString("Any Space"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTest::qWait(20);
        QCOMPARE(cellText(grid, space, 1), QString("Any Space"));
        // The layer row is free text.
        clickCell(grid, rowOf(grid, "Layer name"), 1);
        typeIntoEditor(grid, "WALLS");
        QTRY_COMPARE(rules().blockRules[0].layerPattern, std::string("WALLS"));
    }

    void leavingTheListCommitsTheEdit() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QSignalSpy edits(blocks, &BlockListEditor::edited);
        clickCell(grid, 0, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(editor, "DOOR*");
        // No Enter: a click on another control takes the focus and commits.
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QTRY_COMPARE(rules().blockRules.size(), std::size_t(2));
        QCOMPARE(rules().blockRules[0].blockPattern, std::string("DOOR*"));
        QVERIFY(edits.count() >= 2);
    }

    void pastedLineBreaksNeverReachARule() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        QGuiApplication::clipboard()->setText("DOOR\nWINDOW");
        clickCell(grid, 0, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(rules().blockRules[0].blockPattern != "Block Name");
        QVERIFY(rules().blockRules[0].blockPattern.find_first_of("\r\n") == std::string::npos);
    }

    void columnCellsTakeOnlyColumnNumbers_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("zero") << "0"
                              << "-1";
        QTest::newRow("negative") << "-5"
                                  << "-1";
        QTest::newRow("word") << "abc"
                              << "-1";
        QTest::newRow("letter") << "x"
                                << "-1";
        QTest::newRow("trailing blank") << "2 "
                                        << "-1";
        QTest::newRow("past the titles") << "12"
                                         << "12";
        QTest::newRow("hexadecimal") << "$A"
                                     << "$A";
    }
    void columnCellsTakeOnlyColumnNumbers() {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        fill(threeAttributes());
        grid->ExpandAll(grid->Items()[0]);
        clickCell(grid, rowOf(grid, "Column"), 1);
        typeIntoEditor(grid, typed);
        QTRY_COMPARE(QString::fromStdString(rules().blockRules[0].attributes[0].column), kept);
    }

    void pickListDoubleClickDoesNotCycle() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        for (const QString caption : {"Space", "Column"}) {
            const int row = rowOf(grid, caption);
            const QString before = cellText(grid, row, 1);
            clickCell(grid, row, 1);
            QLineEdit* editor = grid->InplaceEditor();
            QVERIFY(editor);
            QTest::mouseDClick(editor, Qt::LeftButton, {}, QPoint(10, editor->height() / 2));
            QTest::qWait(20);
            QCOMPARE(cellText(grid, row, 1), before);
        }
        // A double click on a caption toggles the current row's children.
        TRSItemProp* block = grid->Items()[0];
        const QRect caption = cellRect(grid, 0, 0);
        const QPoint onText(caption.right() - 4, caption.center().y());
        // (A widget receives a double click as press, release, double click.)
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, onText);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, onText);
        QVERIFY(!block->Expanded());
        QCOMPARE(grid->ShownCount(), 1);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, onText);
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, onText);
        QVERIFY(block->Expanded());
    }

    void choosingASpaceFromItsList() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        clickCell(grid, rowOf(grid, "Space"), 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down, Qt::AltModifier);
        TRSPickListPopup* popup = grid->PickListPopup();
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->count(), 3);
        QCOMPARE(popup->height(), 3 * popup->sizeHintForRow(0) + 4);
        QVERIFY(!grid->ShowHint()); // hints are off while the list is open
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QTRY_COMPARE(rules().blockRules[0].space, std::string("Model Space"));
        QVERIFY(grid->ShowHint());
    }

    void ctrlDeleteTakesWholeRulesOnly() {
        RuleSet two = threeAttributes();
        two.blockRules.push_back({"WINDOW", "GLASS", "Paper Space", {{"W", "1"}}});
        fill(two);
        QSignalSpy edits(blocks, &BlockListEditor::edited);

        // On layer, space and column rows it does nothing.
        grid->ExpandAll(grid->Items()[0]);
        for (const QString caption : {"Layer name", "Space", "Column"}) {
            clickCell(grid, rowOf(grid, caption), 0);
            QTest::keyClick(grid->InplaceEditor(), Qt::Key_Delete, Qt::ControlModifier);
        }
        QCOMPARE(rules(), two);
        QCOMPARE(edits.count(), 0);

        // On an attribute row it removes that rule and renumbers.
        clickCell(grid, rowOf(grid, "Attribute 2"), 0);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid->Items()[0]->Name(), QString("Block (2 Att.)"));
        QCOMPARE(rules().blockRules[0].attributes,
                 std::vector<AttributeRule>({{"A", "1"}, {"C", "-1"}}));

        // On a block row it removes the block with everything under it.
        clickCell(grid, 0, 0);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(rules().blockRules, std::vector<BlockRule>{two.blockRules[1]});
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (1)"));
        QCOMPARE(grid->ShownCount(), 1);
        QVERIFY(blocks->removeBlockButton()->isEnabled());
        QVERIFY(edits.count() >= 2);
    }

    void contextMenusOnCaptions() {
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        rightClick(grid, rowOf(grid, "Space"), 0);
        QTRY_VERIFY(blocks->spaceMenu()->isVisible());
        QTest::keyClick(blocks->spaceMenu(), Qt::Key_P);
        QTRY_COMPARE(rules().blockRules[0].space, std::string("Paper Space"));

        rightClick(grid, rowOf(grid, "Attribute 1"), 0);
        QTRY_VERIFY(blocks->attributeMenu()->isVisible());
        QCOMPARE(grid->Selected()->Name(), QString("Attribute 1"));
        QTest::keyClick(blocks->attributeMenu(), Qt::Key_C); // &Collapse
        QTRY_VERIFY(!grid->Selected()->Expanded());

        rightClick(grid, 0, 0);
        QTRY_VERIFY(blocks->blockMenu()->isVisible());
        QTest::keyClick(blocks->blockMenu(), Qt::Key_A); // &Add Attribute
        QTRY_COMPARE(rules().blockRules[0].attributes.size(), std::size_t(2));

        // No menu on "Layer name" captions, nor on pick-list values.
        rightClick(grid, rowOf(grid, "Layer name"), 0);
        rightClick(grid, rowOf(grid, "Space"), 1);
        QTest::qWait(20);
        for (QMenu* menu : {blocks->spaceMenu(), blocks->blockMenu(), blocks->attributeMenu()}) {
            QVERIFY(!menu->isVisible());
        }
    }

    void keysOpenRulesAndTheirMenus() {
        fill(threeAttributes());
        TRSItemProp* block = grid->Items()[0];
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        QCOMPARE(grid->Selected(), block);
        QTest::keyClick(grid, Qt::Key_Right);
        QVERIFY(block->Expanded());
        QCOMPARE(grid->ShownCount(), 6);
        QTest::keyClick(grid, Qt::Key_Right); // into its first child, and back
        QCOMPARE(grid->Selected()->Name(), QString("Layer name"));
        QTest::keyClick(grid, Qt::Key_Left);
        QCOMPARE(grid->Selected(), block);
        QVERIFY(blocks->removeBlockButton()->isEnabled());
        for (const Qt::Key key :
             {Qt::Key_Minus, Qt::Key_Plus, Qt::Key_Left, Qt::Key_Return, Qt::Key_Enter}) {
            const bool expanded = block->Expanded();
            QTest::keyClick(grid, key, key == Qt::Key_Plus ? Qt::KeypadModifier : Qt::NoModifier);
            QCOMPARE(block->Expanded(), !expanded);
        }
        QVERIFY(!grid->InplaceEditor());
        QTest::keyClick(grid, Qt::Key_Menu);
        QTRY_VERIFY(blocks->blockMenu()->isVisible());
        QTest::keyClick(blocks->blockMenu(), Qt::Key_X); // E&xpand All
        QTRY_VERIFY(block->Items()[2]->Expanded());

        // On a row without children "-" is typed: it starts an edit.
        grid->SelectItem(grid->ShownItem(rowOf(grid, "Column")));
        QTest::keyClick(grid, Qt::Key_Minus);
        QVERIFY(grid->InplaceEditor());
        QCOMPARE(grid->InplaceEditor()->text(), QString("-"));

        // In a cell's editor the menu keys open the row's menu, or the editor's own.
        clickCell(grid, rowOf(grid, "Space"), 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Menu);
        QTRY_VERIFY(blocks->spaceMenu()->isVisible());
        QTest::keyClick(blocks->spaceMenu(), Qt::Key_M);
        QTRY_COMPARE(rules().blockRules[0].space, std::string("Model Space"));
        clickCell(grid, rowOf(grid, "Layer name"), 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()));
        QCOMPARE(QApplication::activePopupWidget()->parent(), grid->InplaceEditor());
        QApplication::activePopupWidget()->close();
        // What is typed stays while the menu takes rows away.
        clickCell(grid, 0, 1);
        QTest::keyClicks(grid->InplaceEditor(), "WIN*");
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(blocks->blockMenu()->isVisible());
        QTest::keyClick(blocks->blockMenu(), Qt::Key_C); // &Collapse
        QTRY_VERIFY(!block->Expanded());
        blocks->commitEdit();
        QCOMPARE(rules().blockRules[0].blockPattern, std::string("WIN*"));
    }

    void cellHintsFollowTheRow() {
        fill(threeAttributes());
        grid->ExpandAll(grid->Items()[0]);
        const auto centre = [&](const QString& caption, int column) {
            return cellRect(grid, rowOf(grid, caption), column).center();
        };
        const QString wildcards = " You can use Wildcards (* and ?). Enter * for any name";
        const QList<std::pair<QPoint, QString>> expected = {
            {centre("Space", 1), "Select in which Space the block must reside"},
            {centre("Column", 0), "Enter a column number. Enter -1 to ignore this attribute"},
            {centre("Block (3 Att.)", 0), "Enter a block name." + wildcards},
            {centre("Layer name", 1), "Enter a layer name." + wildcards},
            {centre("Attribute 2", 1), "Enter an attribute name." + wildcards},
            {QPoint(10, grid->viewport()->height() - 3),
             "The Block List : Add blocks to be processed here"}};
        for (const auto& [pos, hint] : expected) {
            QTest::mouseMove(grid->viewport(), pos);
            QTRY_COMPARE(grid->toolTip(), hint);
        }
    }

    void columnListCommands() {
        QSignalSpy choices(columns, &ColumnListEditor::choicesChanged);
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(columns->addButton(), Qt::LeftButton);
        }
        TRSItemListEditor* list = columns->grid();
        QCOMPARE(shownRows(list),
                 QStringList({"1=Column Title", "2=Column Title", "3=Column Title"}));
        QCOMPARE(columns->choices(), kelvora::ColumnChoices({"-1", "1", "2", "3"}));
        QCOMPARE(choices.count(), 3);
        QVERIFY(list->isEnabled());

        // Retitle to A, B, C by typing.
        for (int row = 0; row < 3; ++row) {
            clickCell(list, row, 1);
            typeIntoEditor(list, QString(QChar('A' + row)));
            QTRY_COMPARE(cellText(list, row, 1), QString(QChar('A' + row)));
        }
        // Moving with the arrow keys brings the buttons up to date too.
        clickCell(list, 0, 1);
        QVERIFY(!columns->upButton()->isEnabled());
        QTest::keyClick(list->InplaceEditor(), Qt::Key_Down);
        QCOMPARE(list->currentIndex().row(), 1);
        QVERIFY(columns->upButton()->isEnabled());
        QVERIFY(columns->downButton()->isEnabled());
        QVERIFY(columns->downButton()->isEnabled());
        QTest::mouseClick(columns->upButton(), Qt::LeftButton);
        QCOMPARE(columns->titles(), kelvora::ColumnList({"B", "A", "C"}));
        QCOMPARE(list->currentIndex().row(), 0);
        QVERIFY(!columns->upButton()->isEnabled());
        QTest::mouseClick(columns->downButton(), Qt::LeftButton);
        QTest::mouseClick(columns->downButton(), Qt::LeftButton);
        QCOMPARE(columns->titles(), kelvora::ColumnList({"A", "C", "B"}));
        QCOMPARE(list->currentIndex().row(), 2);
        QVERIFY(!columns->downButton()->isEnabled());
        QCOMPARE(shownRows(list), QStringList({"1=A", "2=C", "3=B"}));

        // Removing renumbers, hands the shorter choices on and never moves an attribute's
        // column.
        QTest::mouseClick(blocks->addBlockButton(), Qt::LeftButton);
        clickCell(grid, rowOf(grid, "Column"), 1);
        typeIntoEditor(grid, "3");
        QTRY_COMPARE(rules().blockRules[0].attributes[0].column, std::string("3"));
        clickCell(list, 0, 1);
        QTest::mouseClick(columns->removeButton(), Qt::LeftButton);
        QCOMPARE(shownRows(list), QStringList({"1=C", "2=B"}));
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(grid->ShownItem(rowOf(grid, "Column"))->PickList(), QStringList({"-1", "1", "2"}));
        QCOMPARE(rules().blockRules[0].attributes[0].column, std::string("3"));

        // Ctrl+Delete removes the way the button does.
        clickCell(list, 1, 1);
        QTest::keyClick(list->InplaceEditor(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(shownRows(list), QStringList({"1=C"}));
        QCOMPARE(columns->choices(), kelvora::ColumnChoices({"-1", "1"}));
        QTest::mouseClick(columns->removeButton(), Qt::LeftButton);
        QCOMPARE(list->ShownCount(), 0);
        QVERIFY(!list->isEnabled());
        QVERIFY(!columns->removeButton()->isEnabled());
        QCOMPARE(columns->choices(), kelvora::ColumnChoices({"-1"}));
    }

    void rulesSurviveTheEditorsUnchanged() {
        RuleSet original;
        original.columns = {"Qty", "  padded title  ", "",
                            "Gr\xc3\xb6\xc3\x9f"
                            "e",
                            "Ma\xdf (cp1252 \x80)"};
        original.blockRules.push_back(
            {"DOOR*, D-??", "A-DOOR", "Paper Space", {{"REF", "2"}, {"QTY", "1"}, {"X", "12"}}});
        original.blockRules.push_back({"WINDOW", "*", "Model Space", {}});
        original.blockRules.push_back({"T\xe9te ", " * ", "Any Space", {{"*", "-1"}}});
        fill(original);
        QCOMPARE(rules(), original);
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (3)"));
        QCOMPARE(grid->Items()[1]->Name(), QString("Block (0 Att.)"));
        QCOMPARE(columns->grid()->Items()[4]->Values().front(),
                 QString("Ma\u00df (cp1252 \u20ac)"));
        QCOMPARE(grid->Items()[2]->Values().front(), QString("T\u00e9te "));

        // Filling again replaces everything; an edited text is stored as UTF-8, the
        // untouched ones keep their bytes.
        fill(original);
        QCOMPARE(rules(), original);
        clickCell(grid, 0, 1);
        typeIntoEditor(grid, QString("T\u00fcr*"));
        RuleSet edited = original;
        edited.blockRules[0].blockPattern = "T\xc3\xbcr*";
        QTRY_COMPARE(rules(), edited);

        fill(RuleSet{});
        QCOMPARE(rules(), RuleSet{});
        QVERIFY(!grid->isEnabled());
        QVERIFY(!columns->grid()->isEnabled());
        QCOMPARE(grid->TitleCaptions(0), QString("Blocks (0)"));
    }

    void everyControlHasAName() {
        const QList<QWidget*> controls = {grid,
                                          blocks->addBlockButton(),
                                          blocks->removeBlockButton(),
                                          blocks->addAttributeButton(),
                                          blocks->removeAttributeButton(),
                                          columns->grid(),
                                          columns->addButton(),
                                          columns->removeButton(),
                                          columns->upButton(),
                                          columns->downButton()};
        QSet<QString> names;
        for (QWidget* control : controls) {
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
            QVERIFY(iface);
            const QString name = iface->text(QAccessible::Name);
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(control->metaObject()->className()));
            names.insert(name);
        }
        QCOMPARE(names.size(), controls.size()); // none ambiguous
        QCOMPARE(blocks->removeAttributeButton()->accessibleName(),
                 QString("Remove this attribute"));
    }
};

QTEST_MAIN(TestRuleLists)
#include "tst_rulelists.moc"
