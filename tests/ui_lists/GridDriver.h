// Real mouse and key events on a TRSItemListEditor's cells.
#pragma once

#include "ui/RSItemListEditor.h"

#include <QTest>

inline QRect cellRect(TRSItemListEditor* grid, int row, int column) {
    return grid->visualRect(grid->model()->index(row, column));
}

// A click in a cell, away from any glyph.
inline void clickCell(TRSItemListEditor* grid, int row, int column,
                      Qt::MouseButton button = Qt::LeftButton) {
    const QRect rect = cellRect(grid, row, column);
    QTest::mouseClick(grid->viewport(), button, Qt::NoModifier,
                      QPoint(rect.right() - 4, rect.center().y()));
}

inline int rowOf(TRSItemListEditor* grid, const QString& caption) {
    for (int row = 0; row < grid->ShownCount(); ++row) {
        if (grid->ShownItem(row)->Name() == caption) {
            return row;
        }
    }
    return -1;
}

// Replaces the text of the open in-place editor by typing, then presses Enter.
inline void typeIntoEditor(TRSItemListEditor* grid, const QString& text) {
    QLineEdit* editor = grid->InplaceEditor();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Backspace);
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, editor, Qt::Key(c.toUpper().unicode()), QString(c),
                            Qt::NoModifier);
    }
    QTest::keyClick(editor, Qt::Key_Return);
}

inline QString cellText(TRSItemListEditor* grid, int row, int column) {
    return grid->model()->index(row, column).data().toString();
}
