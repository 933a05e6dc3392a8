// The tree grid editor on its own, driven by mouse and key events.
#include "GridDriver.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QFontDatabase>
#include <QLabel>
#include <QScrollBar>
#include <QtTest>

namespace {

TRSItemProp* addItem(TRSItemProps& items, const QString& name, const QString& value) {
    TRSItemProp* item = items.Add();
    item->SetName(name);
    item->SetValue(value);
    return item;
}

} // namespace

class TestItemListEditor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TRSItemListEditor> grid;

    void show() {
        grid->resize(260, 200);
        grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(grid.get()));
    }

private slots:
    void init() { grid = std::make_unique<TRSItemListEditor>(); }
    void cleanup() { grid.reset(); }

    void fontsAreInstalled() { QVERIFY(!QFontDatabase::families().isEmpty()); }

    void glyphClickExpandsAndCollapses() {
        TRSItemProp* a = addItem(grid->Items(), "A", "1");
        TRSItemProp* b = addItem(a->Items(), "B", "2");
        addItem(b->Items(), "C", "3");
        TRSItemProp* d = addItem(grid->Items(), "D", "4");
        show();
        QCOMPARE(grid->ShownCount(), 2);
        QCOMPARE(grid->RowIndex(b), -1);
        QCOMPARE(grid->RowIndex(d), 1);
        QVERIFY(!grid->GlyphRect(0).isEmpty());
        QVERIFY(grid->GlyphRect(1).isEmpty());

        clickCell(grid.get(), 1, 1); // D current
        QCOMPARE(grid->Selected(), d);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->GlyphRect(0).center());
        QVERIFY(a->Expanded());
        QCOMPARE(grid->ShownCount(), 3);
        QCOMPARE(grid->RowIndex(b), 1);
        QCOMPARE(grid->Selected(), d); // the glyph does nothing else
        // B is one level deeper: its glyph sits one indent further right.
        QCOMPARE(grid->GlyphRect(1).left() - grid->GlyphRect(0).left(), grid->Indent());

        // Elsewhere in the caption cell: that row's value cell becomes current.
        const QRect caption = cellRect(grid.get(), 1, 0);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          QPoint(caption.right() - 3, caption.center().y()));
        QCOMPARE(grid->Selected(), b);
        QCOMPARE(grid->currentIndex().column(), 1);
        QVERIFY(!b->Expanded());

        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->GlyphRect(0).center());
        QVERIFY(!a->Expanded());
        QCOMPARE(grid->ShownCount(), 2);
    }

    void expandedNeedsAChild() {
        TRSItemProp* a = addItem(grid->Items(), "A", "");
        grid->Expand(a);
        QVERIFY(!a->Expanded());
        TRSItemProp* child = addItem(a->Items(), "child", "");
        QVERIFY(a->Expanded());
        QCOMPARE(grid->RowIndex(child), 1);
        QCOMPARE(grid->AllItemCount(), 2);
        // Hidden items have no row, and neither have their descendants.
        a->SetVisible(false);
        QCOMPARE(grid->ShownCount(), 0);
        QCOMPARE(grid->RowIndex(child), -1);
    }

    void selectItemExpandsAncestors() {
        TRSItemProp* a = addItem(grid->Items(), "A", "");
        TRSItemProp* b = addItem(a->Items(), "B", "");
        TRSItemProp* c = addItem(b->Items(), "C", "");
        show();
        grid->SelectItem(c);
        QVERIFY(a->Expanded());
        QVERIFY(b->Expanded());
        QCOMPARE(grid->Selected(), c);
        QCOMPARE(c->PathName(), QString("A.B.C"));
        QCOMPARE(c->Level(), 2);
    }

    void pickListCouplesEditStyle() {
        TRSItemProp* item = addItem(grid->Items(), "A", "");
        item->SetPickList({"x", "y"});
        QCOMPARE(item->EditStyle(), esPickList);
        item->SetPickList({});
        QCOMPARE(item->EditStyle(), esSimple);
        item->SetEditStyle(esEllipsis);
        item->SetPickList({"x"});
        QCOMPARE(item->EditStyle(), esEllipsis);
    }

    void dropDownSizeAndChoice() {
        TRSItemProp* parent = addItem(grid->Items(), "P", "");
        TRSItemProp* small = addItem(parent->Items(), "small", "beta");
        small->SetPickList({"Alpha", "Beta", "Gamma"});
        TRSItemProp* large = addItem(parent->Items(), "large", "");
        QStringList many;
        for (int i = 0; i < 20; ++i) {
            many << QString("entry %1").arg(i);
        }
        large->SetPickList(many);
        grid->Expand(parent);
        QString askedFor;
        grid->OnGetPickList = [&](TRSItemListEditor*, const QString& name, QStringList&) {
            askedFor = name;
        };
        int validations = 0;
        grid->OnValidate = [&](TRSItemListEditor*, TRSItemProp*, int column) {
            ++validations;
            QCOMPARE(column, 1);
        };
        show();

        clickCell(grid.get(), 1, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Down, Qt::AltModifier);
        TRSPickListPopup* popup = grid->PickListPopup();
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(askedFor, QString("P.small"));
        QCOMPARE(popup->height(), 3 * popup->sizeHintForRow(0) + 4);
        QCOMPARE(popup->currentRow(), 1); // "beta" selects "Beta"
        QVERIFY(popup->width() >= editor->width());

        // Escape closes it without a change.
        QTest::keyClick(popup, Qt::Key_Escape);
        QVERIFY(!popup->isVisible());
        QCOMPARE(small->Value(), QString("beta"));
        QCOMPARE(validations, 0);

        // Choosing an entry stores and commits it.
        QTest::keyClick(editor, Qt::Key_F4);
        QVERIFY(popup->isVisible());
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QTRY_COMPARE(small->Values().front(), QString("Gamma"));
        QCOMPARE(validations, 1);

        clickCell(grid.get(), 2, 1);
        editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_F4);
        popup = grid->PickListPopup();
        QVERIFY(popup && popup->isVisible());
        QCOMPARE(popup->height(), 8 * popup->sizeHintForRow(0) + 4);
        QCOMPARE(popup->currentRow(), -1); // empty text selects nothing
        // A click on an entry chooses it.
        const QRect third = popup->visualItemRect(popup->item(2));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, third.center());
        QTRY_COMPARE(large->Values().front(), QString("entry 2"));
        QCOMPARE(validations, 2);
    }

    void doubleClickCyclesWithoutHandler() {
        TRSItemProp* item = addItem(grid->Items(), "A", "two");
        item->SetPickList({"one", "two", "three"});
        int validations = 0;
        grid->OnValidate = [&](TRSItemListEditor*, TRSItemProp*, int) { ++validations; };
        show();
        clickCell(grid.get(), 0, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        const QPoint middle = editor->rect().center() - QPoint(10, 0);
        QTest::mouseDClick(editor, Qt::LeftButton, {}, middle);
        QTRY_COMPARE(item->Values().front(), QString("three"));
        QCOMPARE(validations, 1);
        QTest::mouseDClick(editor, Qt::LeftButton, {}, middle);
        QTRY_COMPARE(item->Values().front(), QString("one"));
        QCOMPARE(validations, 2);

        // With a handler the double click goes to it and the entries stay.
        int handled = 0;
        grid->OnDblClick = [&](TRSItemListEditor*, const QPoint&) { ++handled; };
        QTest::mouseDClick(editor, Qt::LeftButton, {}, middle);
        QCOMPARE(handled, 1);
        QCOMPARE(item->Values().front(), QString("one"));
        QCOMPARE(validations, 2);
    }

    void ellipsisButtonAndDoubleClick() {
        TRSItemProp* item = addItem(grid->Items(), "A", "file");
        item->SetEditStyle(esEllipsis);
        int pressed = 0;
        item->OnEditButtonClick = [&](TRSItemProp* sender) {
            QCOMPARE(sender, item);
            ++pressed;
        };
        show();
        clickCell(grid.get(), 0, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(pressed, 1);
        QTest::mouseDClick(editor, Qt::LeftButton, {}, QPoint(5, editor->height() / 2));
        QCOMPARE(pressed, 2);
        // A read-only item ignores the double click.
        item->SetReadOnly(true);
        QTest::mouseDClick(editor, Qt::LeftButton, {}, QPoint(5, editor->height() / 2));
        QCOMPARE(pressed, 2);
    }

    void valueReadsLikeTheCell() {
        TRSItemProp* a = addItem(grid->Items(), "A", "x  ");
        TRSItemProp* b = addItem(grid->Items(), "B", "first\nsecond");
        show();
        QCOMPARE(b->Values(), QStringList{"first"}); // one line per value column
        clickCell(grid.get(), 1, 1);
        QCOMPARE(a->Value(), QString("x")); // another item: trailing blanks go
        clickCell(grid.get(), 0, 1);
        QCOMPARE(a->Value(), QString("x  ")); // the current item: the cell's line as it is
        a->SetValue("y ");
        QCOMPARE(cellText(grid.get(), 0, 1), QString("y "));
    }

    void enterCommitsAndEscapeReverts() {
        TRSItemProp* item = addItem(grid->Items(), "A", "old");
        QList<int> validated;
        grid->OnValidate = [&](TRSItemListEditor*, TRSItemProp* which, int column) {
            QCOMPARE(which, item);
            validated << column;
        };
        show();
        clickCell(grid.get(), 0, 1);
        QLineEdit* editor = grid->InplaceEditor();
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, "er");
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(editor->text(), QString("old"));
        QCOMPARE(editor->selectedText(), QString("old"));
        QCOMPARE(item->Values().front(), QString("old"));
        QVERIFY(validated.isEmpty());

        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, "er");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(item->Values().front(), QString("older"));
        QCOMPARE(validated, QList<int>{1});

        // A commit without a change raises nothing.
        clickCell(grid.get(), 0, 1);
        QVERIFY(grid->InplaceEditor());
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Return);
        QTest::qWait(20);
        QCOMPARE(validated.size(), 1);
    }

    void blankRowIsDeletedOnLeavingOrEscape() {
        addItem(grid->Items(), "A", "1");
        TRSItemProp* blank = addItem(grid->Items(), "", "  ");
        TRSItemProp* c = addItem(grid->Items(), "C", "3");
        addItem(grid->Items(), "", "");
        show();
        clickCell(grid.get(), 1, 1);
        QCOMPARE(grid->Selected(), blank);
        clickCell(grid.get(), 2, 1);
        QTRY_COMPARE(grid->ShownCount(), 3);
        QCOMPARE(grid->Selected(), c);
        QCOMPARE(grid->currentIndex().row(), 1); // the move lands one row higher

        // Escape with no pending edit removes the current blank row.
        clickCell(grid.get(), 2, 1);
        QVERIFY(grid->InplaceEditor());
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
        QCOMPARE(grid->ShownCount(), 2);
        QCOMPARE(grid->Selected(), c);

        // A row with a caption is never blank.
        grid->SetDeleteBlanks(true);
        clickCell(grid.get(), 0, 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Escape);
        QCOMPARE(grid->ShownCount(), 2);
    }

    void ctrlKeysMoveAndDelete() {
        TRSItemProp* a = addItem(grid->Items(), "A", "");
        addItem(a->Items(), "A1", "");
        grid->Expand(a);
        addItem(grid->Items(), "B", "");
        TRSItemProp* c = addItem(grid->Items(), "C", "");
        show();
        clickCell(grid.get(), 1, 1);
        QTest::keyClick(grid->InplaceEditor(), Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(grid->Selected(), c);
        QTest::keyClick(grid.get(), Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(grid->Selected(), a);

        // Without propDelete Ctrl+Delete does nothing.
        QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid->AllItemCount(), 4);
        grid->SetPropertyOptions(propDelete);
        QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid->AllItemCount(), 2); // A with its child
        QCOMPARE(grid->ShownCount(), 2);
        QCOMPARE(grid->Items()[0]->Name(), QString("B"));

        // Deleting the last row while it is current moves the current row up first.
        grid->SelectItem(c);
        grid->DeleteItemRow(grid->RowIndex(c) + 1);
        QCOMPARE(grid->ShownCount(), 1);
        QCOMPARE(grid->Selected()->Name(), QString("B"));
    }

    void itemHintShowsWhatDoesNotFit() {
        grid->SetShowItemHintStyle(shValueOnly);
        addItem(grid->Items(), "1", "short");
        addItem(grid->Items(), "2", QString(60, QChar('w')));
        show();
        QTest::mouseMove(grid->viewport(), cellRect(grid.get(), 0, 1).center());
        QVERIFY(!grid->ItemHintWindow()->isVisible());
        QTest::mouseMove(grid->viewport(), cellRect(grid.get(), 1, 1).center());
        QTRY_VERIFY(grid->ItemHintWindow()->isVisible());
        QCOMPARE(grid->ItemHintWindow()->text(), QString(60, QChar('w')));
        QCOMPARE(grid->ItemHintWindow()->pos(),
                 grid->viewport()->mapToGlobal(cellRect(grid.get(), 1, 1).topLeft()));

        // The block list's style shows no item hints at all.
        grid->SetShowItemHintStyle(shNone);
        QTest::mouseMove(grid->viewport(), cellRect(grid.get(), 1, 1).center() + QPoint(1, 0));
        QVERIFY(!grid->ItemHintWindow()->isVisible());
    }

    void columnWidthsFollowTheOptions() {
        grid->SetColWidths(94, 164);
        show();
        const int client = grid->viewport()->width() - 2;
        QCOMPARE(grid->columnWidth(0), 94);
        QCOMPARE(grid->columnWidth(1), client - 94);
        grid->SetDisplayOptions(doColumnTitles | doAutoColResize);
        QCOMPARE(grid->columnWidth(0), client / 2);
        QCOMPARE(grid->columnWidth(0) + grid->columnWidth(1), client);
    }

    void cellsAreAccessible() {
        grid->SetTitleCaptions({"Column", "Column Title"});
        TRSItemProp* a = addItem(grid->Items(), "Block (1 Att.)", "DOOR*");
        addItem(a->Items(), "Layer name", "*");
        show();
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(grid.get());
        QVERIFY(iface && iface->tableInterface());
        QAccessibleTableInterface* table = iface->tableInterface();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QString("Block (1 Att.)"));
        QCOMPARE(table->cellAt(0, 1)->text(QAccessible::Name), QString("DOOR*"));
        QCOMPARE(table->columnDescription(1), QString("Column Title"));
        QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Description), QString("collapsed"));

        // Every cell of a row tells whether it can be expanded and is; the action toggles it.
        QVERIFY(table->cellAt(0, 1)->state().expandable);
        QVERIFY(!table->cellAt(0, 1)->state().expanded);
        QAccessibleActionInterface* actions = table->cellAt(0, 1)->actionInterface();
        QVERIFY(actions);
        actions->doAction(QAccessibleActionInterface::toggleAction());
        QVERIFY(a->Expanded());
        QCOMPARE(table->rowCount(), 2);
        QVERIFY(table->cellAt(0, 0)->state().expanded);
        QVERIFY(!table->cellAt(1, 1)->state().expandable);
        QCOMPARE(table->cellAt(1, 1)->text(QAccessible::Name), QString("*"));

        // While a cell is edited its editor is in the tree, under the table, named after the
        // column.
        clickCell(grid.get(), 1, 1);
        QAccessibleInterface* editor = QAccessible::queryAccessibleInterface(grid->InplaceEditor());
        QVERIFY(editor);
        QCOMPARE(editor->text(QAccessible::Name), QString("Column Title"));
        QAccessibleInterface* child = editor;
        while (child != iface) {
            QAccessibleInterface* parent = child->parent();
            QVERIFY(parent);
            QCOMPARE(parent->child(parent->indexOfChild(child)), child);
            child = parent;
        }
        QCOMPARE(iface->focusChild(), editor);
    }

    void modelKeepsTheItemModelContract() {
        QAbstractItemModel* model = grid->model();
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        show();
        QCOMPARE(model->flags(QModelIndex()), Qt::NoItemFlags);
        QVERIFY(!model->data(model->index(5, 0)).isValid());

        TRSItemProp* a = addItem(grid->Items(), "A", "1");
        TRSItemProp* b = addItem(a->Items(), "B", "2");
        addItem(b->Items(), "C", "3");
        TRSItemProp* d = addItem(grid->Items(), "D", "4");
        grid->ExpandAll(a);
        QCOMPARE(grid->ShownCount(), 4);
        clickCell(grid.get(), 2, 1);
        grid->Collapse(b);
        addItem(b->Items(), "C2", "");
        grid->Expand(b);
        QCOMPARE(grid->ShownCount(), 5);
        d->SetVisible(false);
        grid->Items().BeginUpdate();
        for (const char* name : {"E", "F"}) {
            addItem(a->Items(), name, "");
        }
        grid->Items().EndUpdate();
        QCOMPARE(grid->ShownCount(), 6);
        QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier); // without propDelete
        a->Items().Delete(0);
        QCOMPARE(grid->ShownCount(), 3);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->GlyphRect(0).center());
        QCOMPARE(grid->ShownCount(), 1);
        grid->Items().Clear();
        QCOMPARE(model->rowCount(), 0);
    }
};

QTEST_MAIN(TestItemListEditor)
#include "tst_itemlisteditor.moc"
