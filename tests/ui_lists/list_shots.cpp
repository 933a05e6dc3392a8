// Writes pictures of the block list and the column list holding a few rules into a folder,
// so that a person can check glyphs, indentation, colours and hints:
//   kelvora_list_shots <folder>   (run with QT_QPA_PLATFORM=offscreen)
#include "ui/RSItemListEditor.h"
#include "ui/RuleListEditors.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

namespace {

kelvora::RuleSet sampleRules() {
    kelvora::RuleSet rules;
    rules.columns = {"Qty", "Reference", "Description of the part as long as a sentence"};
    rules.blockRules.push_back({"DOOR*", "*", "Any Space", {{"REF", "2"}, {"QTY", "1"}}});
    rules.blockRules.push_back({"WINDOW, WIN-?", "A-GLAZ*", "Model Space", {{"DESC", "3"}}});
    return rules;
}

// The widget with its popups painted over it where they lie on the screen.
QImage grabWithPopups(QWidget* widget, const QList<QWidget*>& popups) {
    QImage image = widget->grab().toImage();
    QRect area = image.rect();
    for (QWidget* popup : popups) {
        if (popup->isVisible()) {
            area |= QRect(widget->mapFromGlobal(popup->pos()), popup->size());
        }
    }
    QImage canvas(area.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.drawImage(-area.topLeft(), image);
    for (QWidget* popup : popups) {
        if (popup->isVisible()) {
            painter.drawImage(widget->mapFromGlobal(popup->pos()) - area.topLeft(),
                              popup->grab().toImage());
        }
    }
    return canvas;
}

void save(const QImage& image, const QDir& folder, const QString& name) {
    image.save(folder.filePath(name));
}

QPoint cellCentre(TRSItemListEditor* grid, int row, int column) {
    return grid->visualRect(grid->model()->index(row, column)).center();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));

    QWidget window;
    window.setStyleSheet(QStringLiteral("QWidget { background: palette(window); }"));
    BlockListEditor blocks(&window);
    ColumnListEditor columns(&window);
    blocks.setGeometry(8, 8, 290, 260);
    columns.setGeometry(306, 8, 260, 260);
    window.resize(574, 276);
    fillEditors(blocks, columns, sampleRules());
    TRSItemListEditor* grid = blocks.grid();
    // The first block expanded down to its columns, the second collapsed.
    grid->ExpandAll(grid->Items()[0]);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 0, 1));
    grid->CommitEdit();
    QApplication::processEvents();
    save(blocks.grab().toImage(), folder, QStringLiteral("blocklist.png"));
    save(columns.grab().toImage(), folder, QStringLiteral("columnlist.png"));

    // The space pick list open on the first block's "Space" row.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 1));
    if (QLineEdit* editor = grid->InplaceEditor()) {
        QTest::keyClick(editor, Qt::Key_F4);
        QApplication::processEvents();
        save(grabWithPopups(&blocks, {grid->PickListPopup()}), folder,
             QStringLiteral("blocklist-picklist.png"));
        QTest::keyClick(grid->PickListPopup(), Qt::Key_Escape);
    }

    // The column list showing a title that does not fit in full.
    TRSItemListEditor* titles = columns.grid();
    QTest::mouseMove(titles->viewport(), cellCentre(titles, 2, 1));
    QApplication::processEvents();
    save(grabWithPopups(&columns, {titles->ItemHintWindow()}), folder,
         QStringLiteral("columnlist-hint.png"));
    return 0;
}
