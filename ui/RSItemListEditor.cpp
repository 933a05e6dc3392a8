#include "ui/RSItemListEditor.h"

#include <QAbstractTableModel>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

namespace {

// 9 by 9 two-colour glyph: a black square outline with a bar, and a cross for "plus".
QPixmap makeGlyph(bool plus) {
    QPixmap pixmap(9, 9);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, 8, 8);
    painter.drawLine(2, 4, 6, 4);
    if (plus) {
        painter.drawLine(4, 2, 4, 6);
    }
    return pixmap;
}

// A small down arrow for the drop-down button.
QIcon dropDownIcon() {
    QPixmap pixmap(9, 9);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const QPoint arrow[3] = {QPoint(1, 3), QPoint(8, 3), QPoint(4, 7)};
    painter.drawPolygon(arrow, 3);
    return QIcon(pixmap);
}

QIcon ellipsisIcon() {
    QPixmap pixmap(11, 9);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    for (int x : {1, 5, 9}) {
        painter.fillRect(x, 6, 2, 2, Qt::black);
    }
    return QIcon(pixmap);
}

// The list's font: the classic dialog font at 11 pixels where it exists, else the
// platform's current font at that size.
QFont listFont(bool bold = false) {
    QFont font = QFontDatabase::families().contains(QStringLiteral("MS Sans Serif"))
                     ? QFont(QStringLiteral("MS Sans Serif"))
                     : QGuiApplication::font();
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

QString removeTrailingBlanks(QString text) {
    while (!text.isEmpty() && text.back().unicode() <= 32) {
        text.chop(1);
    }
    return text;
}

} // namespace

// ---------------------------------------------------------------------------------------
// The shown rows as a table model: data row r shows shown item r.

class TRSShownRowsModel : public QAbstractTableModel {
public:
    explicit TRSShownRowsModel(TRSItemListEditor* grid) : QAbstractTableModel(grid), grid_(grid) {}

    const std::vector<TRSItemProp*>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : grid_->ColCount();
    }

    // The item of a cell of this model, or none for any other index.
    const TRSItemProp* itemAt(const QModelIndex& index) const {
        if (!index.isValid() || index.model() != this || index.row() >= rowCount({}) ||
            index.column() >= columnCount({})) {
            return nullptr;
        }
        return rows_[static_cast<std::size_t>(index.row())];
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const TRSItemProp* item = itemAt(index);
        if (!item) {
            return {};
        }
        const bool caption = index.column() == 0;
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return caption ? item->Name() : item->Values().front();
        case Qt::FontRole:
            return caption ? item->Font().font : item->ValueFont().font;
        case Qt::ForegroundRole:
            return caption ? item->Font().color : item->ValueFont().color;
        case Qt::AccessibleDescriptionRole:
            if (caption && item->Items().Count() > 0) {
                return item->Expanded() ? QStringLiteral("expanded") : QStringLiteral("collapsed");
            }
            return {};
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount({})) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
            return grid_->TitleCaptions(section);
        case Qt::FontRole:
            return grid_->TitleCaptionFont().font;
        case Qt::ForegroundRole:
            return grid_->TitleCaptionFont().color;
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        const TRSItemProp* item = itemAt(index);
        if (!item) {
            return Qt::NoItemFlags;
        }
        Qt::ItemFlags flags = Qt::ItemIsSelectable;
        if (item->Enabled()) {
            flags |= Qt::ItemIsEnabled;
        }
        const bool editableColumn = index.column() > 0 || (grid_->PropertyOptions() & propEdit);
        if (editableColumn && !item->ReadOnly()) {
            flags |= Qt::ItemIsEditable;
        }
        return flags;
    }

    // Replaces the rows, telling the view only about the block that changed, so that the
    // current row stays on its item.
    void setRows(const std::vector<TRSItemProp*>& rows) {
        const std::size_t oldCount = rows_.size();
        const std::size_t newCount = rows.size();
        std::size_t prefix = 0;
        while (prefix < oldCount && prefix < newCount && rows_[prefix] == rows[prefix]) {
            ++prefix;
        }
        std::size_t suffix = 0;
        while (suffix < oldCount - prefix && suffix < newCount - prefix &&
               rows_[oldCount - 1 - suffix] == rows[newCount - 1 - suffix]) {
            ++suffix;
        }
        if (oldCount - prefix - suffix > 0) {
            beginRemoveRows({}, static_cast<int>(prefix), static_cast<int>(oldCount - suffix - 1));
            rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(prefix),
                        rows_.end() - static_cast<std::ptrdiff_t>(suffix));
            endRemoveRows();
        }
        if (newCount - prefix - suffix > 0) {
            beginInsertRows({}, static_cast<int>(prefix), static_cast<int>(newCount - suffix - 1));
            rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(prefix),
                         rows.begin() + static_cast<std::ptrdiff_t>(prefix),
                         rows.end() - static_cast<std::ptrdiff_t>(suffix));
            endInsertRows();
        }
        if (!rows_.empty()) {
            emit dataChanged(index(0, 0), index(rowCount({}) - 1, columnCount({}) - 1));
        }
    }

    void rowChanged(int row) { emit dataChanged(index(row, 0), index(row, columnCount({}) - 1)); }
    void titlesChanged() { emit headerDataChanged(Qt::Horizontal, 0, columnCount({}) - 1); }

private:
    TRSItemListEditor* grid_;
    std::vector<TRSItemProp*> rows_;
};

// ---------------------------------------------------------------------------------------
// The title row, drawn like the cells: text 2 pixels in from the top-left corner.

class TRSTitleRow : public QHeaderView {
public:
    explicit TRSTitleRow(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

private:
    // A title wider than its column (the fonts at hand may be wider than the ones the widths
    // were chosen for) is drawn up to a quarter smaller rather than cut.
    static QFont fitted(QFont font, const QString& text, int width) {
        const bool pixels = font.pixelSize() > 0;
        const qreal full = pixels ? font.pixelSize() : font.pointSizeF();
        for (qreal size = full; size > full * 0.75; size -= full / 16) {
            if (QFontMetricsF(font).horizontalAdvance(text) <= width) {
                break;
            }
            if (pixels) {
                font.setPixelSize(static_cast<int>(size - full / 16));
            } else {
                font.setPointSizeF(size - full / 16);
            }
        }
        return font;
    }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int section) const override {
        painter->save();
        painter->setClipRect(rect);
        painter->fillRect(rect, palette().brush(QPalette::Button));
        painter->setPen(palette().color(QPalette::Mid));
        painter->drawLine(rect.topRight(), rect.bottomRight());
        painter->drawLine(rect.bottomLeft(), rect.bottomRight());
        const QAbstractItemModel* titles = model();
        const QString text = titles->headerData(section, Qt::Horizontal).toString();
        const QRect area = rect.adjusted(2, 2, -1, 0);
        painter->setFont(
            fitted(titles->headerData(section, Qt::Horizontal, Qt::FontRole).value<QFont>(), text,
                   area.width()));
        painter->setPen(
            titles->headerData(section, Qt::Horizontal, Qt::ForegroundRole).value<QColor>());
        painter->drawText(area, Qt::AlignLeft | Qt::AlignTop, text);
        painter->restore();
    }
};

// ---------------------------------------------------------------------------------------
// Drawing of the cells and the in-place editors.

class TRSItemDelegate : public QStyledItemDelegate {
public:
    explicit TRSItemDelegate(TRSItemListEditor* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const TRSItemProp* item = grid_->ShownItem(index.row());
        if (!item) {
            return;
        }
        const bool caption = index.column() == 0;
        const bool focused = grid_->hasFocus() || grid_->isAncestorOf(QApplication::focusWidget());
        const bool current = index == grid_->currentIndex();
        const bool highlight = current && !(grid_->HideSelection() && !focused);
        painter->save();
        painter->setClipRect(option.rect);
        if (highlight) {
            painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
        }
        const TRSFont font = caption ? item->Font() : item->ValueFont();
        QColor color = font.color;
        if (!item->Enabled()) {
            color = option.palette.color(QPalette::Disabled, QPalette::Text);
        } else if (highlight) {
            color = option.palette.color(QPalette::HighlightedText);
        }
        int left = option.rect.left();
        if (caption) {
            const int indent = grid_->Indent();
            const int level = item->Level();
            const QRect glyph = grid_->GlyphRect(index.row());
            if (!glyph.isEmpty()) {
                painter->drawPixmap(glyph.topLeft(),
                                    item->Expanded() ? grid_->MinusGlyph() : grid_->PlusGlyph());
            }
            left += (level + 1) * indent;
        }
        const QRect textRect(left + 2, option.rect.top() + 2, option.rect.right() - left - 1,
                             option.rect.height() - 2);
        painter->setFont(font.font);
        painter->setPen(color);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                          index.data(Qt::DisplayRole).toString());
        painter->restore();
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        TRSItemProp* item = grid_->ShownItem(index.row());
        auto* editor = new TRSInplaceEdit(grid_, item, parent);
        const TRSFont font = index.column() == 0 ? item->Font() : item->ValueFont();
        editor->setFont(font.font);
        QPalette palette = editor->palette();
        palette.setColor(QPalette::Text, font.color);
        editor->setPalette(palette);
        editor->setAccessibleName(grid_->TitleCaptions(index.column()));
        editor->setAccessibleDescription(item->Name());
        grid_->editorCreated(editor);
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* edit = static_cast<TRSInplaceEdit*>(editor);
        const QString text = index.data(Qt::EditRole).toString();
        // Rows coming and going (a row expanded from its menu) refresh every cell: what the
        // user is typing stays until it is committed or reverted.
        if (!edit->isModified() && edit->text() != text) {
            edit->setText(text);
        }
    }

    void setModelData(QWidget* editor, QAbstractItemModel*,
                      const QModelIndex& index) const override {
        grid_->storeEditorText(static_cast<TRSInplaceEdit*>(editor), index);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

protected:
    // Escape and Ctrl+Enter belong to the in-place editor itself.
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
            if (key->key() == Qt::Key_Escape ||
                (enter && (key->modifiers() & Qt::ControlModifier))) {
                return false;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    TRSItemListEditor* grid_;
};

// ---------------------------------------------------------------------------------------
// Accessibility. The grid is a table whose children are the column titles, then the cells
// row by row and, while a cell is edited, the viewport that holds the in-place editor. The
// cells tell whether their row is expandable and expanded, and offer to toggle it and to
// open the row's menu.

namespace {

QRect globalRect(const QWidget* widget, const QRect& rect) {
    return QRect(widget->mapToGlobal(rect.topLeft()), rect.size());
}

// The position of a cell among the grid's accessible children.
int accessibleChild(int row, int column, int columns) {
    return columns * (row + 1) + column;
}

} // namespace

// What a column title and a cell share: a leaf of the grid's accessible table.
class TRSLeafAccessible : public QAccessibleInterface {
public:
    explicit TRSLeafAccessible(TRSItemListEditor* grid) : grid_(grid) {}
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return grid_ ? grid_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(grid_);
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}

protected:
    QPointer<TRSItemListEditor> grid_;
};

class TRSTitleAccessible : public TRSLeafAccessible {
public:
    TRSTitleAccessible(TRSItemListEditor* grid, int column)
        : TRSLeafAccessible(grid), column_(column) {}

    bool isValid() const override { return grid_ && column_ < grid_->ColCount(); }
    QString text(QAccessible::Text t) const override {
        return isValid() && t == QAccessible::Name ? grid_->TitleCaptions(column_) : QString();
    }
    QRect rect() const override {
        if (!isValid()) {
            return {};
        }
        const QHeaderView* titles = grid_->horizontalHeader();
        return globalRect(titles->viewport(),
                          QRect(titles->sectionViewportPosition(column_), 0,
                                titles->sectionSize(column_), titles->height()));
    }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = !isValid() || !grid_->horizontalHeader()->isVisible();
        return state;
    }

private:
    int column_;
};

class TRSCellAccessible : public TRSLeafAccessible,
                          public QAccessibleTableCellInterface,
                          public QAccessibleActionInterface {
public:
    TRSCellAccessible(TRSItemListEditor* grid, const QModelIndex& index)
        : TRSLeafAccessible(grid), index_(index) {}

    // Follows its row while rows come and go; invalid once the row is gone.
    const QPersistentModelIndex& index() const { return index_; }

    bool isValid() const override { return grid_ && index_.isValid(); }
    QString text(QAccessible::Text t) const override {
        if (!isValid()) {
            return {};
        }
        if (t == QAccessible::Name) {
            return index_.data(Qt::DisplayRole).toString();
        }
        if (t == QAccessible::Description) {
            return index_.data(Qt::AccessibleDescriptionRole).toString();
        }
        return {};
    }
    QRect rect() const override {
        return isValid() ? globalRect(grid_->viewport(), grid_->visualRect(index_)) : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const Qt::ItemFlags flags = index_.flags();
        state.disabled = !(flags & Qt::ItemIsEnabled);
        state.selectable = state.focusable = (flags & Qt::ItemIsSelectable) != 0;
        state.editable = (flags & Qt::ItemIsEditable) != 0;
        state.selected = isSelected();
        state.focused = grid_->currentIndex() == index_;
        state.invisible = !grid_->viewport()->rect().intersects(grid_->visualRect(index_));
        const TRSItemProp* row = item();
        state.expandable = grid_->Expandable(row);
        state.expanded = state.expandable && row->Expanded();
        state.collapsed = state.expandable && !row->Expanded();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface) {
            return static_cast<QAccessibleTableCellInterface*>(this);
        }
        if (type == QAccessible::ActionInterface) {
            return static_cast<QAccessibleActionInterface*>(this);
        }
        return nullptr;
    }

    bool isSelected() const override {
        return isValid() && grid_->selectionModel()->isSelected(index_);
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* table = parent();
        return table ? QList<QAccessibleInterface*>{table->child(columnIndex())}
                     : QList<QAccessibleInterface*>{};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return index_.column(); }
    int rowIndex() const override { return index_.row(); }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    QStringList actionNames() const override {
        QStringList names{setFocusAction(), showMenuAction()};
        if (isValid() && grid_->Expandable(item())) {
            names.prepend(toggleAction());
        }
        return names;
    }
    void doAction(const QString& name) override {
        if (!isValid()) {
            return;
        }
        TRSItemProp* row = item();
        if (name == toggleAction() && grid_->Expandable(row)) {
            row->Expanded() ? grid_->Collapse(row) : grid_->Expand(row);
        } else if (name == setFocusAction() || name == showMenuAction()) {
            grid_->setFocus(Qt::OtherFocusReason);
            if (grid_->Selected() != row) {
                grid_->setCurrentRow(index_.row());
                grid_->raiseClick();
            }
            if (name == showMenuAction()) {
                grid_->PopupRowMenu();
            }
        }
    }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == toggleAction()) {
            return {QKeySequence(Qt::Key_Return).toString()};
        }
        if (name == showMenuAction()) {
            return {QKeySequence(Qt::SHIFT | Qt::Key_F10).toString()};
        }
        return {};
    }

private:
    TRSItemProp* item() const { return grid_->ShownItem(index_.row()); }

    QPersistentModelIndex index_;
};

class TRSGridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TRSGridAccessible(TRSItemListEditor* grid)
        : QAccessibleWidget(grid, QAccessible::Table) {}
    ~TRSGridAccessible() override {
        for (const QList<QAccessible::Id>* ids : {&titles_, &cells_}) {
            for (QAccessible::Id id : *ids) {
                QAccessible::deleteAccessibleInterface(id);
            }
        }
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) {
            return static_cast<QAccessibleTableInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override {
        return accessibleChild(grid()->ShownCount(), 0, columnCount()) + (editing() ? 1 : 0);
    }
    QAccessibleInterface* child(int i) const override {
        const int columns = columnCount();
        if (i < 0) {
            return nullptr;
        }
        if (i < columns) {
            return title(i);
        }
        if (i / columns - 1 < rowCount()) {
            return cellAt(i / columns - 1, i % columns);
        }
        if (i == accessibleChild(rowCount(), 0, columns) && editing()) {
            return QAccessible::queryAccessibleInterface(grid()->viewport());
        }
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) {
            return -1;
        }
        if (child->object() == grid()->viewport()) {
            return editing() ? accessibleChild(rowCount(), 0, columnCount()) : -1;
        }
        for (int column = 0; column < titles_.size(); ++column) {
            if (QAccessible::accessibleInterface(titles_[column]) == child) {
                return column;
            }
        }
        for (QAccessible::Id id : cells_) {
            const auto* cell =
                static_cast<TRSCellAccessible*>(QAccessible::accessibleInterface(id));
            if (cell == child && cell->isValid()) {
                return accessibleChild(cell->index().row(), cell->index().column(), columnCount());
            }
        }
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint global(x, y);
        if (TRSInplaceEdit* editor = grid()->InplaceEditor()) {
            if (globalRect(editor, editor->rect()).contains(global)) {
                return QAccessible::queryAccessibleInterface(grid()->viewport());
            }
        }
        const QWidget* viewport = grid()->viewport();
        const QPoint inViewport = viewport->mapFromGlobal(global);
        if (viewport->rect().contains(inViewport)) {
            const QModelIndex index = grid()->indexAt(inViewport);
            return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
        }
        const QHeaderView* titles = grid()->horizontalHeader();
        const QPoint inTitles = titles->viewport()->mapFromGlobal(global);
        if (titles->isVisible() && titles->viewport()->rect().contains(inTitles)) {
            const int column = titles->logicalIndexAt(inTitles);
            return column >= 0 ? title(column) : nullptr;
        }
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        if (TRSInplaceEdit* editor = grid()->InplaceEditor(); editor && editor->hasFocus()) {
            return QAccessible::queryAccessibleInterface(editor);
        }
        const QModelIndex current = grid()->currentIndex();
        if (grid()->hasFocus() && current.isValid()) {
            return cellAt(current.row(), current.column());
        }
        return nullptr;
    }

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        const QModelIndex index = grid()->model()->index(row, column);
        if (!index.isValid()) {
            return nullptr;
        }
        for (QAccessible::Id id : cells_) {
            auto* cell = static_cast<TRSCellAccessible*>(QAccessible::accessibleInterface(id));
            if (cell && cell->index() == index) {
                return cell;
            }
        }
        dropGoneCells();
        auto* cell = new TRSCellAccessible(grid(), index);
        cells_.append(QAccessible::registerAccessibleInterface(cell));
        return cell;
    }
    int selectedCellCount() const override {
        return static_cast<int>(grid()->selectionModel()->selectedIndexes().size());
    }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const QModelIndex& index : grid()->selectionModel()->selectedIndexes()) {
            cells.append(cellAt(index.row(), index.column()));
        }
        return cells;
    }
    QString columnDescription(int column) const override { return grid()->TitleCaptions(column); }
    QString rowDescription(int row) const override {
        const TRSItemProp* item = grid()->ShownItem(row);
        return item ? item->Name() : QString();
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override { return grid()->ColCount(); }
    int rowCount() const override { return grid()->ShownCount(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override { dropGoneCells(); }

private:
    // The cells follow their rows; those of rows that are gone go too.
    void dropGoneCells() const {
        cells_.removeIf([](QAccessible::Id id) {
            const auto* cell =
                static_cast<TRSCellAccessible*>(QAccessible::accessibleInterface(id));
            if (cell && cell->index().isValid()) {
                return false;
            }
            QAccessible::deleteAccessibleInterface(id);
            return true;
        });
    }
    TRSItemListEditor* grid() const { return static_cast<TRSItemListEditor*>(widget()); }
    bool editing() const { return grid()->InplaceEditor() != nullptr; }
    QAccessibleInterface* title(int column) const {
        while (titles_.size() <= column) {
            titles_.append(QAccessible::registerAccessibleInterface(
                new TRSTitleAccessible(grid(), static_cast<int>(titles_.size()))));
        }
        return QAccessible::accessibleInterface(titles_[column]);
    }

    mutable QList<QAccessible::Id> titles_;
    mutable QList<QAccessible::Id> cells_;
};

namespace {

QAccessibleInterface* gridAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("TRSItemListEditor") && object && object->isWidgetType()) {
        return new TRSGridAccessible(static_cast<TRSItemListEditor*>(object));
    }
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------------------

TRSItemProps::TRSItemProps(TRSItemListEditor* editor, TRSItemProp* owner)
    : editor_(editor), owner_(owner) {}

TRSItemProps::~TRSItemProps() = default;

TRSItemProp* TRSItemProps::Add() {
    BeginUpdate();
    items_.push_back(std::make_unique<TRSItemProp>(this));
    TRSItemProp* item = items_.back().get();
    editor_->structureChanged();
    EndUpdate();
    return item;
}

int TRSItemProps::IndexOf(const TRSItemProp* item) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].get() == item) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TRSItemProps::Delete(int i) {
    if (i < 0 || i >= Count()) {
        return;
    }
    BeginUpdate();
    // The item lives on until the rows no longer show it.
    editor_->graveyard_.push_back(std::move(items_[static_cast<std::size_t>(i)]));
    items_.erase(items_.begin() + i);
    editor_->structureChanged();
    EndUpdate();
}

void TRSItemProps::Clear() {
    BeginUpdate();
    while (Count() > 0) {
        Delete(Count() - 1);
    }
    EndUpdate();
}

void TRSItemProps::BeginUpdate() {
    editor_->beginUpdate();
}
void TRSItemProps::EndUpdate() {
    editor_->endUpdate();
}

// ---------------------------------------------------------------------------------------

TRSItemProp::TRSItemProp(TRSItemProps* collection)
    : collection_(collection),
      items_(std::make_unique<TRSItemProps>(collection->Editor(), this)), values_{QString()} {}

TRSItemProp::~TRSItemProp() = default;

void TRSItemProp::changed() {
    Editor()->itemChanged(this);
}
void TRSItemProp::structureChanged() {
    Editor()->structureChanged();
}

void TRSItemProp::SetName(const QString& name) {
    if (name_ != name) {
        name_ = name;
        changed();
    }
}

QString TRSItemProp::Value() const {
    const TRSItemListEditor* editor = Editor();
    if (editor->Selected() == this && editor->currentIndex().column() > 0) {
        return values_.front();
    }
    return removeTrailingBlanks(values_.join(QLatin1Char('\n')));
}

void TRSItemProp::SetValue(const QString& value) {
    if (Editor()->Selected() == this) {
        QStringList lines = values_;
        lines.front() = value;
        SetValues(lines);
    } else {
        SetValues(value.split(QRegularExpression(QStringLiteral("\r\n|\n|\r"))));
    }
}

QStringList TRSItemProp::Values() const {
    return values_;
}

void TRSItemProp::SetValues(const QStringList& values) {
    // Every value is exactly ColCount - 1 lines.
    QStringList lines = values.mid(0, Editor()->ColCount() - 1);
    while (lines.size() < Editor()->ColCount() - 1) {
        lines.append(QString());
    }
    if (lines != values_) {
        values_ = lines;
        sourceBytes_.reset();
        changed();
    }
}

void TRSItemProp::SetValueWithSource(const QString& value, std::optional<std::string> sourceBytes) {
    SetValues({value});
    sourceBytes_ = std::move(sourceBytes);
}

bool TRSItemProp::Expanded() const {
    return expanded_ && items_->Count() > 0;
}

void TRSItemProp::SetEnabled(bool enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        structureChanged();
    }
}

void TRSItemProp::SetReadOnly(bool readOnly) {
    if (readOnly_ != readOnly) {
        readOnly_ = readOnly;
        structureChanged();
    }
}

void TRSItemProp::SetVisible(bool visible) {
    if (visible_ != visible) {
        visible_ = visible;
        structureChanged();
    }
}

void TRSItemProp::SetPickList(const QStringList& entries) {
    pickList_ = entries;
    if (editStyle_ == esSimple && !pickList_.isEmpty()) {
        editStyle_ = esPickList;
    } else if (editStyle_ == esPickList && pickList_.isEmpty()) {
        editStyle_ = esSimple;
    }
}

TRSFont TRSItemProp::Font() const {
    if (font_) {
        return *font_;
    }
    return Parent() ? Parent()->Font() : Editor()->Font();
}

void TRSItemProp::SetFont(const TRSFont& font) {
    font_ = font;
    changed();
}

TRSFont TRSItemProp::ValueFont() const {
    if (valueFont_) {
        return *valueFont_;
    }
    return Parent() ? Parent()->ValueFont() : Editor()->ValueFont();
}

void TRSItemProp::SetValueFont(const TRSFont& font) {
    valueFont_ = font;
    changed();
}

int TRSItemProp::Level() const {
    int level = 0;
    for (const TRSItemProp* parent = Parent(); parent; parent = parent->Parent()) {
        ++level;
    }
    return level;
}

QString TRSItemProp::PathName() const {
    return Parent() ? Parent()->PathName() + Editor()->PathDelimiter() + name_ : name_;
}

// ---------------------------------------------------------------------------------------

TRSInplaceEdit::TRSInplaceEdit(TRSItemListEditor* grid, TRSItemProp* item, QWidget* parent)
    : QLineEdit(parent), grid_(grid), item_(item) {
    setFrame(false);
    if (item->EditStyle() == esPickList) {
        button_ = addAction(dropDownIcon(), QLineEdit::TrailingPosition);
        button_->setText(tr("Open list"));
        connect(button_, &QAction::triggered, this, [this] { grid_->openPickList(this); });
    } else if (item->EditStyle() == esEllipsis) {
        button_ = addAction(ellipsisIcon(), QLineEdit::TrailingPosition);
        button_->setText(tr("Edit"));
        connect(button_, &QAction::triggered, this, [this] { grid_->editButtonClick(item_); });
    }
}

TRSPickListPopup* TRSInplaceEdit::EnsurePopup() {
    if (!popup_) {
        // A child of the editor, so that its focus does not count as leaving the editor.
        popup_ = new TRSPickListPopup(this);
        connect(popup_, &TRSPickListPopup::chosen, this,
                [this](const QString& entry) { grid_->pickListChosen(this, entry); });
    }
    return popup_;
}

void TRSInplaceEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Delete)) {
        grid_->editorKey(event);
        return;
    }
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        grid_->PopupRowMenu();
        return;
    }
    if (key == Qt::Key_Escape) {
        if (isModified()) {
            setText(grid_->model()
                        ->index(grid_->RowIndex(item_), grid_->currentIndex().column())
                        .data(Qt::EditRole)
                        .toString());
            selectAll();
        } else {
            grid_->editorEscape();
        }
        return;
    }
    if (item_->EditStyle() == esPickList &&
        (key == Qt::Key_F4 || ((event->modifiers() & Qt::AltModifier) && key == Qt::Key_Down))) {
        grid_->openPickList(this);
        return;
    }
    if (item_->EditStyle() == esEllipsis && ctrl &&
        (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        grid_->editButtonClick(item_);
        return;
    }
    // Typed characters (Backspace and Delete included) pass the host's key filter first.
    QChar typed;
    if (key == Qt::Key_Backspace) {
        typed = QChar(8);
    } else if (key == Qt::Key_Delete) {
        typed = QChar(127);
    } else if (event->matches(QKeySequence::Paste)) {
        typed = QChar(22); // what Ctrl+V types: every way of pasting meets the filter alike
    } else if (!event->text().isEmpty()) {
        typed = event->text().front();
    }
    if (!typed.isNull() && grid_->OnKeyPress) {
        grid_->OnKeyPress(grid_, typed);
        if (typed.isNull()) {
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TRSInplaceEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    if (item_->EditStyle() == esSimple) {
        QLineEdit::mouseDoubleClickEvent(event);
        return;
    }
    grid_->editorDoubleClick(this, mapTo(grid_->viewport(), event->position().toPoint()));
}

void TRSInplaceEdit::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        grid_->PopupRowMenu();
        return;
    }
    if (!grid_->editorContextMenu(this, mapTo(grid_->viewport(), event->pos()))) {
        QLineEdit::contextMenuEvent(event);
    }
}

TRSPickListPopup::TRSPickListPopup(QWidget* parent) : QListWidget(parent) {
    setWindowFlags(Qt::Popup);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setViewportMargins(1, 1, 1, 1);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(tr("Pick list"));
}

void TRSPickListPopup::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        hide();
        if (currentItem()) {
            emit chosen(currentItem()->text());
        }
        return;
    case Qt::Key_Escape:
        hide();
        return;
    default:
        QListWidget::keyPressEvent(event);
    }
}

void TRSPickListPopup::mouseReleaseEvent(QMouseEvent* event) {
    QListWidgetItem* entry = itemAt(event->position().toPoint());
    if (entry && event->button() == Qt::LeftButton) {
        hide();
        emit chosen(entry->text());
        return;
    }
    QListWidget::mouseReleaseEvent(event);
}

// ---------------------------------------------------------------------------------------

TRSItemListEditor::TRSItemListEditor(QWidget* parent)
    : QTableView(parent), items_(std::make_unique<TRSItemProps>(this, nullptr)),
      model_(new TRSShownRowsModel(this)),
      hintWindow_(new QLabel(this, Qt::ToolTip | Qt::WindowTransparentForInput)), font_{listFont(),
                                                                                        Qt::black},
      valueFont_{listFont(), Qt::black}, titleCaptionFont_{listFont(), Qt::black},
      plusGlyph_(makeGlyph(true)), minusGlyph_(makeGlyph(false)) {
    static const bool accessible = (QAccessible::installFactory(gridAccessibleFactory), true);
    Q_UNUSED(accessible);
    setHorizontalHeader(new TRSTitleRow(this));
    setModel(model_);
    setItemDelegate(new TRSItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabKeyNavigation(false);
    setWordWrap(false);
    viewport()->setMouseTracking(true);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    hintWindow_->setForegroundRole(QPalette::ToolTipText);
    hintWindow_->setBackgroundRole(QPalette::ToolTipBase);
    hintWindow_->setAutoFillBackground(true);
    hintWindow_->setFrameStyle(QFrame::Box | QFrame::Plain);
    hintWindow_->setMargin(1);
    SetDefaultRowHeight(defaultRowHeight_);
    applyColumnWidths();
}

TRSItemListEditor::~TRSItemListEditor() {
    // Items go before the model that lists them; nothing may reach back into the view now.
    setModel(nullptr);
    updateLevel_ = 1;
    items_.reset();
}

TRSItemProp* TRSItemListEditor::AllItems(int i) const {
    AllItemCount();
    return allItems_[static_cast<std::size_t>(i)];
}

int TRSItemListEditor::AllItemCount() const {
    if (allItemsDirty_) {
        allItems_.clear();
        // Tree order: an item, its descendants, then its next sibling.
        std::function<void(const TRSItemProps&)> walk = [&](const TRSItemProps& items) {
            for (int i = 0; i < items.Count(); ++i) {
                allItems_.push_back(items[i]);
                walk(items[i]->Items());
            }
        };
        walk(*items_);
        allItemsDirty_ = false;
    }
    return static_cast<int>(allItems_.size());
}

int TRSItemListEditor::RowIndex(const TRSItemProp* item) const {
    const auto& rows = model_->rows();
    const auto it = std::find(rows.begin(), rows.end(), item);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

int TRSItemListEditor::ShownCount() const {
    return static_cast<int>(model_->rows().size());
}

TRSItemProp* TRSItemListEditor::ShownItem(int dataRow) const {
    if (dataRow < 0 || dataRow >= ShownCount()) {
        return nullptr;
    }
    return model_->rows()[static_cast<std::size_t>(dataRow)];
}

bool TRSItemListEditor::isShown(const TRSItemProp* item) const {
    return item->Visible() && (!item->ReadOnly() || (displayOptions_ & doShowReadOnly));
}

bool TRSItemListEditor::hasShownChild(const TRSItemProp* item) const {
    for (int i = 0; i < item->Items().Count(); ++i) {
        if (isShown(item->Items()[i])) {
            return true;
        }
    }
    return false;
}

void TRSItemListEditor::collectShown(const TRSItemProps& items,
                                     std::vector<TRSItemProp*>& rows) const {
    for (int i = 0; i < items.Count(); ++i) {
        TRSItemProp* item = items[i];
        if (isShown(item)) {
            rows.push_back(item);
            if (item->Expanded()) {
                collectShown(item->Items(), rows);
            }
        }
    }
}

void TRSItemListEditor::syncRows() {
    allItemsDirty_ = true;
    if (updateLevel_ > 0) {
        syncPending_ = true;
        return;
    }
    syncPending_ = false;
    std::vector<TRSItemProp*> rows;
    collectShown(*items_, rows);
    model_->setRows(rows);
    graveyard_.clear();
    if (!rows.empty() && !currentIndex().isValid()) {
        // Like any grid, the list has a current row whenever it has rows.
        selectionModel()->setCurrentIndex(model_->index(0, 1), QItemSelectionModel::ClearAndSelect);
    }
    viewport()->update();
}

void TRSItemListEditor::structureChanged() {
    syncRows();
}

void TRSItemListEditor::itemChanged(TRSItemProp* item) {
    if (updateLevel_ > 0) {
        // The rows are redrawn as a whole when the bracket ends.
        syncPending_ = true;
        return;
    }
    const int row = RowIndex(item);
    if (row >= 0) {
        model_->rowChanged(row);
    }
}

void TRSItemListEditor::beginUpdate() {
    ++updateLevel_;
}

void TRSItemListEditor::endUpdate() {
    if (--updateLevel_ == 0 && syncPending_) {
        syncRows();
    }
}

void TRSItemListEditor::Expand(TRSItemProp* item) {
    if (!item->expanded_) {
        item->expanded_ = true;
        if (item->Items().Count() > 0) {
            syncRows();
            expansionChanged(item);
        }
    }
}

void TRSItemListEditor::Collapse(TRSItemProp* item) {
    if (item->expanded_) {
        item->expanded_ = false;
        if (item->Items().Count() > 0) {
            syncRows();
            expansionChanged(item);
        }
    }
}

void TRSItemListEditor::expansionChanged(TRSItemProp* item) {
    const int row = RowIndex(item);
    if (!QAccessible::isActive() || row < 0) {
        return;
    }
    QAccessibleTableInterface* table =
        QAccessible::queryAccessibleInterface(this)->tableInterface();
    QAccessible::State changed;
    changed.expanded = changed.collapsed = true;
    for (int column = 0; column < ColCount(); ++column) {
        QAccessibleStateChangeEvent event(table->cellAt(row, column), changed);
        QAccessible::updateAccessibility(&event);
    }
}

void TRSItemListEditor::notifyAccessible(QAccessible::Event type, const QModelIndex& index) {
    if (QAccessible::isActive() && index.isValid()) {
        QAccessibleEvent event(this, type);
        event.setChild(accessibleChild(index.row(), index.column(), ColCount()));
        QAccessible::updateAccessibility(&event);
    }
}

void TRSItemListEditor::ExpandAll(TRSItemProp* item) {
    beginUpdate();
    Expand(item);
    for (int i = 0; i < item->Items().Count(); ++i) {
        ExpandAll(item->Items()[i]);
    }
    endUpdate();
}

void TRSItemListEditor::CollapseAll(TRSItemProp* item) {
    beginUpdate();
    Collapse(item);
    for (int i = 0; i < item->Items().Count(); ++i) {
        CollapseAll(item->Items()[i]);
    }
    endUpdate();
}

TRSItemProp* TRSItemListEditor::Selected() const {
    return ShownItem(currentIndex().row());
}

void TRSItemListEditor::setCurrentRow(int dataRow) {
    if (dataRow >= 0 && dataRow < ShownCount()) {
        setCurrentIndex(model_->index(dataRow, 1));
    }
}

void TRSItemListEditor::SelectItem(TRSItemProp* item) {
    if (!item) {
        CommitEdit();
        return;
    }
    if (item == Selected()) {
        return;
    }
    beginUpdate();
    for (TRSItemProp* parent = item->Parent(); parent; parent = parent->Parent()) {
        Expand(parent);
    }
    endUpdate();
    setCurrentRow(RowIndex(item));
}

void TRSItemListEditor::deleteItem(TRSItemProp* item) {
    TRSItemProps* collection = item->Collection();
    collection->Delete(collection->IndexOf(item));
}

void TRSItemListEditor::DeleteItemRow(int gridRow) {
    TRSItemProp* item = ShownItem(gridRow - 1);
    if (!item) {
        return;
    }
    int current = currentIndex().row();
    if (current == ShownCount() - 1 && ShownCount() > 1) {
        setCurrentRow(--current);
    }
    const int first = gridRow - 1;
    int last = first;
    while (ShownItem(last + 1) && ShownItem(last + 1)->Level() > item->Level()) {
        ++last;
    }
    deleteItem(item);
    // Like a grid, the current row keeps its number when its own row goes: the next row
    // moves into it.
    if (current >= first && current <= last) {
        setCurrentRow(std::min(current, ShownCount() - 1));
    }
}

void TRSItemListEditor::CommitEdit() {
    if (editor_) {
        TRSInplaceEdit* editor = editor_;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

void TRSItemListEditor::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == editor_) {
        editor_ = nullptr;
    }
    QTableView::closeEditor(editor, hint);
}

TRSInplaceEdit* TRSItemListEditor::InplaceEditor() const {
    return editor_;
}

TRSPickListPopup* TRSItemListEditor::PickListPopup() const {
    return editor_ ? editor_->Popup() : nullptr;
}

void TRSItemListEditor::SetDefaultRowHeight(int height) {
    defaultRowHeight_ = height;
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height + 2);
}

void TRSItemListEditor::SetIndent(int indent) {
    indent_ = indent;
    viewport()->update();
}

void TRSItemListEditor::SetDisplayOptions(int options) {
    displayOptions_ = options;
    horizontalHeader()->setVisible(options & doColumnTitles);
    syncRows();
    applyColumnWidths();
}

void TRSItemListEditor::SetHideSelection(bool hide) {
    hideSelection_ = hide;
    viewport()->update();
}

QString TRSItemListEditor::TitleCaptions(int column) const {
    return column >= 0 && column < titleCaptions_.size() ? titleCaptions_[column] : QString();
}

void TRSItemListEditor::SetTitleCaptions(const QStringList& captions) {
    titleCaptions_ = captions;
    model_->titlesChanged();
}

void TRSItemListEditor::SetColWidths(int captionWidth, int valueWidth) {
    colWidths_[0] = captionWidth;
    colWidths_[1] = valueWidth;
    applyColumnWidths();
}

void TRSItemListEditor::applyColumnWidths() {
    int caption = colWidths_[0];
    int value = colWidths_[1];
    if (displayOptions_ & doAutoColResize) {
        const int width = viewport()->width() - 2;
        if (displayOptions_ & doKeyColFixed) {
            value = std::max(0, width - caption);
        } else {
            caption = width / 2;
            value = width - caption;
        }
    }
    setColumnWidth(0, caption);
    setColumnWidth(1, value);
}

void TRSItemListEditor::SetFont(const TRSFont& font) {
    font_ = font;
    viewport()->update();
}

void TRSItemListEditor::SetValueFont(const TRSFont& font) {
    valueFont_ = font;
    viewport()->update();
}

void TRSItemListEditor::SetTitleCaptionFont(const TRSFont& font) {
    titleCaptionFont_ = font;
    horizontalHeader()->setFont(font.font);
    model_->titlesChanged();
}

void TRSItemListEditor::SetShowHint(bool show) {
    showHint_ = show;
    if (!show) {
        QToolTip::hideText();
    }
}

QRect TRSItemListEditor::GlyphRect(int dataRow) const {
    const TRSItemProp* item = ShownItem(dataRow);
    if (!item || !hasShownChild(item)) {
        return {};
    }
    const QRect cell = visualRect(model_->index(dataRow, 0));
    const int top = cell.top() + (defaultRowHeight_ - plusGlyph_.height()) / 2;
    return QRect(QPoint(cell.left() + item->Level() * indent_, top), plusGlyph_.size());
}

void TRSItemListEditor::raiseClick() {
    if (OnClick) {
        OnClick(this);
    }
}

bool TRSItemListEditor::isBlankRow(int dataRow) const {
    const TRSItemProp* item = ShownItem(dataRow);
    return item && item->Name().isEmpty() && item->Values().front().trimmed().isEmpty();
}

bool TRSItemListEditor::isLiveItem(const TRSItemProp* item) const {
    for (int i = 0; i < AllItemCount(); ++i) {
        if (AllItems(i) == item) {
            return true;
        }
    }
    return false;
}

void TRSItemListEditor::deleteBlankItemLater(TRSItemProp* item) {
    // After the move has finished, so that the current index is final.
    QTimer::singleShot(0, this, [this, item] {
        if (!isLiveItem(item) || item == Selected()) {
            return;
        }
        const int row = RowIndex(item);
        if (row >= 0 && isBlankRow(row)) {
            deleteItem(item);
        }
    });
}

// The table view's own notices count the cells its way; this grid's accessible children are
// counted as its interface counts them.
void TRSItemListEditor::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    if (hasFocus() || isAncestorOf(QApplication::focusWidget())) {
        notifyAccessible(QAccessible::Focus, current);
    }
    QAbstractItemView::currentChanged(current, previous);
    if (deleteBlanks_ && previous.isValid() && current.row() != previous.row() &&
        isBlankRow(previous.row())) {
        deleteBlankItemLater(ShownItem(previous.row()));
    }
}

void TRSItemListEditor::selectionChanged(const QItemSelection& selected,
                                         const QItemSelection& deselected) {
    notifyAccessible(QAccessible::Selection, selected.indexes().value(0));
    QAbstractItemView::selectionChanged(selected, deselected);
}

QModelIndex TRSItemListEditor::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex target = QTableView::moveCursor(action, modifiers);
    // The caption column can be current only when captions are editable.
    if (target.isValid() && target.column() == 0 && !(propertyOptions_ & propEdit)) {
        return model_->index(target.row(), 1);
    }
    return target;
}

void TRSItemListEditor::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() != Qt::LeftButton || !index.isValid()) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    QModelIndex target = index;
    if (index.column() == 0) {
        if (GlyphRect(index.row()).contains(pos)) {
            TRSItemProp* item = ShownItem(index.row());
            item->Expanded() ? Collapse(item) : Expand(item);
            return;
        }
        if (!(propertyOptions_ & propEdit)) {
            target = model_->index(index.row(), 1);
        }
    }
    setCurrentIndex(target);
    edit(target);
    raiseClick();
}

// Presses do all the work (moving the current cell, opening the editor); a release
// must not start the view's own click-to-edit handling a second time.
void TRSItemListEditor::mouseReleaseEvent(QMouseEvent*) {}

void TRSItemListEditor::mouseDoubleClickEvent(QMouseEvent* event) {
    if (OnDblClick) {
        OnDblClick(this, event->position().toPoint());
    }
}

void TRSItemListEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    showItemHint(pos);
    if (OnMouseMove) {
        OnMouseMove(this, pos);
    }
}

void TRSItemListEditor::hideItemHint() {
    hintWindow_->hide();
}

void TRSItemListEditor::showItemHint(const QPoint& pos) {
    const QModelIndex index = indexAt(pos);
    TRSItemProp* item = ShownItem(index.row());
    if (showItemHintStyle_ == shNone || !item) {
        hideItemHint();
        return;
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    QString hint = text;
    if (index.column() > 0) {
        if (showItemHintStyle_ == shHintOnly) {
            hint = item->Hint();
        } else if (showItemHintStyle_ == shValueAndHint && !item->Hint().isEmpty()) {
            hint = text + QStringLiteral(" - (") + item->Hint() + QLatin1Char(')');
        }
    }
    if (OnShowHints) {
        OnShowHints(this, item, hint);
    }
    const QRect cell = visualRect(index);
    const int offset = index.column() == 0 ? (item->Level() + 1) * indent_ : 0;
    const QFont font = index.data(Qt::FontRole).value<QFont>();
    const bool fits = QFontMetrics(font).horizontalAdvance(text) + offset + 4 <= cell.width();
    if (hint.isEmpty() || (hint == text && fits)) {
        hideItemHint();
        return;
    }
    hintWindow_->setFont(font);
    hintWindow_->setText(hint);
    hintWindow_->adjustSize();
    hintWindow_->move(viewport()->mapToGlobal(cell.topLeft() + QPoint(offset, 0)));
    hintWindow_->show();
}

void TRSItemListEditor::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    const QModelIndex before = currentIndex();
    if (key == Qt::Key_Menu || (key == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        PopupRowMenu();
        return;
    }
    // Keys the in-place editor leaves (Enter among them) reach the grid too: the tree keys
    // are the grid's own only.
    if (hasFocus() && treeKey(event)) {
        if (currentIndex() != before) {
            raiseClick();
        }
        return;
    }
    if (ctrl && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        setCurrentRow(key == Qt::Key_Up ? 0 : ShownCount() - 1);
        raiseClick();
        return;
    }
    if (ctrl && key == Qt::Key_Delete) {
        TRSItemProp* item = Selected();
        if (item && (propertyOptions_ & propDelete)) {
            bool allow = true;
            if (OnDeleteItem) {
                OnDeleteItem(this, item, allow);
            }
            if (allow) {
                DeleteItemRow(RowIndex(item) + 1);
            }
        }
        return;
    }
    if (key == Qt::Key_Escape) {
        editorEscape();
        return;
    }
    QTableView::keyPressEvent(event);
    if (currentIndex() != before) {
        raiseClick();
    }
}

bool TRSItemListEditor::treeKey(QKeyEvent* event) {
    TRSItemProp* item = Selected();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!item || (modifiers & ~Qt::ShiftModifier)) {
        return false;
    }
    const bool expandable = Expandable(item);
    const bool expanded = expandable && item->Expanded();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Minus:
        // Elsewhere these are typed into the value.
        if (!expandable) {
            return false;
        }
        event->key() == Qt::Key_Plus ? Expand(item) : Collapse(item);
        return true;
    case Qt::Key_Right:
        if (modifiers != Qt::NoModifier || !expandable) {
            return false;
        }
        if (expanded) {
            setCurrentRow(RowIndex(item) + 1);
        } else {
            Expand(item);
        }
        return true;
    case Qt::Key_Left:
        if (modifiers != Qt::NoModifier) {
            return false;
        }
        if (expanded) {
            Collapse(item);
        } else if (item->Parent() && RowIndex(item->Parent()) >= 0) {
            setCurrentRow(RowIndex(item->Parent()));
        } else {
            return false;
        }
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers != Qt::NoModifier || !expandable) {
            return false;
        }
        expanded ? Collapse(item) : Expand(item);
        return true;
    default:
        return false;
    }
}

void TRSItemListEditor::editorEscape() {
    // Escape with no pending edit removes a blank row.
    const int row = currentIndex().row();
    if (isBlankRow(row)) {
        DeleteItemRow(row + 1);
    }
}

void TRSItemListEditor::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Keyboard) {
        PopupRowMenu();
        return;
    }
    bool handled = false;
    if (OnContextPopup) {
        OnContextPopup(this, viewport()->mapFromGlobal(event->globalPos()), handled);
    }
}

void TRSItemListEditor::PopupRowMenu() {
    const int row = currentIndex().row();
    const TRSItemProp* item = ShownItem(row);
    if (!item) {
        return;
    }
    scrollTo(currentIndex());
    // Under the start of the caption's text, so that the menu leaves its row in sight.
    const QRect caption = visualRect(model_->index(row, 0));
    const QPoint pos(std::min(caption.left() + (item->Level() + 1) * indent_ + 2, caption.right()),
                     caption.bottom());
    const QPointer<TRSInplaceEdit> editor = editor_;
    bool handled = false;
    if (OnContextPopup) {
        OnContextPopup(this, pos, handled);
    }
    if (!handled && editor) {
        QMenu* menu = editor->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(editor->mapToGlobal(editor->rect().bottomLeft()));
    }
}

bool TRSItemListEditor::editorContextMenu(TRSInplaceEdit*, const QPoint& pos) {
    bool handled = false;
    if (OnContextPopup) {
        OnContextPopup(this, pos, handled);
    }
    return handled;
}

void TRSItemListEditor::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    applyColumnWidths();
}

bool TRSItemListEditor::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::ToolTip: {
        // The list's own hint, while hints are switched on.
        const auto* help = static_cast<QHelpEvent*>(event);
        if (showHint_ && !toolTip().isEmpty()) {
            QToolTip::showText(help->globalPos(), toolTip(), viewport());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    case QEvent::Leave:
        // Showing the hint window under the pointer makes the viewport "leave" it although
        // the pointer is still over the cell: only a real leave hides the hint.
        if (!viewport()->rect().contains(viewport()->mapFromGlobal(QCursor::pos()))) {
            hideItemHint();
        }
        break;
    default:
        break;
    }
    return QTableView::viewportEvent(event);
}

QStringList TRSItemListEditor::pickListEntries(TRSItemProp* item) {
    QStringList entries = item->PickList();
    if (!item->Name().isEmpty()) {
        if (item->OnGetPickList) {
            item->OnGetPickList(item, item->PathName(), entries);
        } else if (OnGetPickList) {
            OnGetPickList(this, item->PathName(), entries);
        }
    }
    return entries;
}

void TRSItemListEditor::openPickList(TRSInplaceEdit* editor) {
    const QPointer<TRSInplaceEdit> guard(editor);
    const QStringList entries = pickListEntries(editor->Item());
    if (!guard) {
        return;
    }
    TRSPickListPopup* popup = editor->EnsurePopup();
    popup->clear();
    popup->addItems(entries);
    popup->setFont(editor->font());

    // As wide as the cell or the widest entry; DropDownRows entries high at most.
    const int rows = std::max(1, std::min<int>(static_cast<int>(entries.size()), dropDownRows_));
    const int rowHeight =
        entries.isEmpty() ? popup->fontMetrics().height() : popup->sizeHintForRow(0);
    const bool scrolls = entries.size() > dropDownRows_;
    int width = editor->width();
    const QFontMetrics metrics(popup->font());
    for (const QString& entry : entries) {
        const int needed = metrics.horizontalAdvance(entry) + 12 +
                           (scrolls ? popup->verticalScrollBar()->sizeHint().width() : 0);
        width = std::max(width, needed);
    }
    popup->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSize size(width, rows * rowHeight + 4);
    popup->resize(size);

    // Below the cell, or above it when it would leave the screen.
    QPoint topLeft = editor->mapToGlobal(QPoint(0, editor->height()));
    const QScreen* screen = editor->screen();
    if (screen && topLeft.y() + size.height() > screen->availableGeometry().bottom()) {
        topLeft = editor->mapToGlobal(QPoint(0, -size.height()));
    }
    popup->move(topLeft);

    // The entry of the value, also where the entry shows it followed by a description
    // ("3 — Width").
    int match = -1;
    const QString text = editor->text();
    if (!text.isEmpty()) {
        for (int i = 0; i < entries.size() && match < 0; ++i) {
            if (entries[i].compare(text, Qt::CaseInsensitive) == 0 ||
                entries[i].startsWith(text + QStringLiteral(" \u2014 "), Qt::CaseInsensitive)) {
                match = i;
            }
        }
    }
    popup->show();
    popup->setFocus(Qt::PopupFocusReason);
    // Taking the focus makes the first entry current; no entry is when none matches.
    if (match >= 0) {
        popup->setCurrentRow(match);
    } else {
        popup->selectionModel()->clearCurrentIndex();
        popup->clearSelection();
    }
}

void TRSItemListEditor::pickListChosen(TRSInplaceEdit* editor, const QString& entry) {
    TRSItemProp* item = editor->Item();
    if (!item->ReadOnly() && entry != editor->text()) {
        editor->setText(entry);
        editor->setModified(true);
    }
    storeEditorText(editor, model_->index(RowIndex(item), 1));
}

void TRSItemListEditor::editorDoubleClick(TRSInplaceEdit* editor, const QPoint& pos) {
    TRSItemProp* item = editor->Item();
    if (item->ReadOnly()) {
        return;
    }
    const QPointer<TRSInplaceEdit> guard(editor);
    if (OnDblClick) {
        OnDblClick(this, pos);
    } else if (item->EditStyle() == esPickList) {
        // Without a host handler a double click steps to the next entry.
        const QStringList entries = pickListEntries(item);
        if (!guard || entries.isEmpty()) {
            return;
        }
        int selected = -1;
        for (int i = 0; i < entries.size(); ++i) {
            if (entries[i].compare(editor->text(), Qt::CaseInsensitive) == 0) {
                selected = i;
                break;
            }
        }
        editor->setText(entries[(selected + 1) % entries.size()]);
        editor->setModified(true);
        editor->selectAll();
    } else if (item->EditStyle() == esEllipsis) {
        editButtonClick(item);
    }
    if (guard && isLiveItem(item)) {
        storeEditorText(editor, model_->index(RowIndex(item), 1));
    }
}

void TRSItemListEditor::editButtonClick(TRSItemProp* item) {
    if (item->OnEditButtonClick) {
        item->OnEditButtonClick(item);
    } else if (OnEditButtonClick) {
        OnEditButtonClick(this);
    }
}

void TRSItemListEditor::commitValue(TRSItemProp* item, int column) {
    if (item->OnValidate) {
        item->OnValidate(this, item, column);
    } else if (OnValidate) {
        OnValidate(this, item, 1);
    }
}

void TRSItemListEditor::storeEditorText(TRSInplaceEdit* editor, const QModelIndex& index) {
    TRSItemProp* item = ShownItem(index.row());
    if (!item || item != editor->Item()) {
        return;
    }
    const bool modified = editor->isModified();
    // A value is one line: pasted line breaks become blanks.
    QString text = editor->text();
    text.replace(QRegularExpression(QStringLiteral("\r\n|\n|\r")), QStringLiteral(" "));
    if (index.column() == 0) {
        item->SetName(text);
    } else if (text != item->Values().front()) {
        QStringList lines = item->Values();
        lines.front() = text;
        item->SetValues(lines);
    }
    if (modified) {
        editor->setModified(false);
        commitValue(item, index.column());
    }
}
