// A grid that shows a tree of items as rows of two columns: the caption column holds an
// item's Name, the value column its Value. Items with children carry a plus or minus glyph
// and show their children, indented one step further, only while expanded. Values are edited
// in place as free text or through a drop-down pick list; the host hears of pick lists about
// to open and of committed values through events.
//
// From the keyboard, Right/Left and +/- expand and collapse the current row (Right on an
// expanded row goes to its first child, Left on any other to its parent), Enter toggles a row
// with children, and the Menu key or Shift+F10 opens the row's menu.
//
// Built on QTableView over a model of the shown rows. Screen readers and UI automation see a
// table whose cells tell whether their row is expandable and expanded, with the in-place
// editor inside the table while a cell is edited.
#pragma once

#include <QAccessible>
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TRSItemListEditor;
class TRSItemProp;
class TRSInplaceEdit;
class TRSPickListPopup;
class TRSShownRowsModel;
class QLabel;

enum TEditStyle { esSimple, esEllipsis, esPickList };
enum TShowItemHintStyle { shNone, shValueOnly, shHintOnly, shValueAndHint };

enum TPropertyOption { propEdit = 1, propDelete = 4 };
enum TDisplayOption {
    doColumnTitles = 1,
    doAutoColResize = 2,
    doKeyColFixed = 4,
    doShowReadOnly = 8
};

// A font together with the colour its text is drawn in.
struct TRSFont {
    QFont font;
    QColor color = Qt::black;
};

// An owned, ordered collection of items: the children of an item, or the editor's top level.
class TRSItemProps {
public:
    TRSItemProps(TRSItemListEditor* editor, TRSItemProp* owner);
    ~TRSItemProps();
    TRSItemProps(const TRSItemProps&) = delete;
    TRSItemProps& operator=(const TRSItemProps&) = delete;

    // Appends a new item at the end, inside an update bracket of this collection.
    TRSItemProp* Add();
    TRSItemProp* operator[](int i) const { return items_[static_cast<std::size_t>(i)].get(); }
    int Count() const { return static_cast<int>(items_.size()); }
    int IndexOf(const TRSItemProp* item) const;
    // Removes the item with all its descendants.
    void Delete(int i);
    void Clear();

    // While the editor's top-level collection is inside a bracket, row updates wait for
    // its end.
    void BeginUpdate();
    void EndUpdate();

    TRSItemProp* Owner() const { return owner_; }
    TRSItemListEditor* Editor() const { return editor_; }

private:
    TRSItemListEditor* editor_;
    TRSItemProp* owner_;
    std::vector<std::unique_ptr<TRSItemProp>> items_;
};

class TRSItemProp {
public:
    using TGetPickListEvent =
        std::function<void(TRSItemProp* sender, const QString& propertyName, QStringList& values)>;
    using TValidateEvent =
        std::function<void(TRSItemListEditor* sender, TRSItemProp* item, int column)>;
    using TNotifyEvent = std::function<void(TRSItemProp* sender)>;

    explicit TRSItemProp(TRSItemProps* collection);
    ~TRSItemProp();
    TRSItemProp(const TRSItemProp&) = delete;
    TRSItemProp& operator=(const TRSItemProp&) = delete;

    const QString& Name() const { return name_; }
    void SetName(const QString& name);

    // Line 0 of Values for the current item while the value column is current; otherwise
    // the lines joined, with trailing characters of code 32 or less removed.
    QString Value() const;
    void SetValue(const QString& value);
    // Values brought to exactly ColCount - 1 lines.
    QStringList Values() const;
    void SetValues(const QStringList& values);

    // The bytes the value was read from, kept until the value text changes, so that a text
    // that is never edited is written back byte for byte.
    const std::optional<std::string>& SourceBytes() const { return sourceBytes_; }
    void SetValueWithSource(const QString& value, std::optional<std::string> sourceBytes);

    const QString& Hint() const { return hint_; }
    void SetHint(const QString& hint) { hint_ = hint; }

    // True only when the item has at least one child and its expanded flag is set.
    bool Expanded() const;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // True also while the item is disabled.
    bool ReadOnly() const { return readOnly_ || !enabled_; }
    void SetReadOnly(bool readOnly);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    TEditStyle EditStyle() const { return editStyle_; }
    void SetEditStyle(TEditStyle style) { editStyle_ = style; }
    // Changing the pick list couples the edit style: a simple item with entries becomes a
    // pick-list item, a pick-list item without entries becomes simple.
    const QStringList& PickList() const { return pickList_; }
    void SetPickList(const QStringList& entries);

    TRSFont Font() const;
    void SetFont(const TRSFont& font);
    TRSFont ValueFont() const;
    void SetValueFont(const TRSFont& font);
    bool ParentFont() const { return !font_.has_value(); }
    bool ParentValueFont() const { return !valueFont_.has_value(); }

    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }

    TRSItemProps& Items() { return *items_; }
    const TRSItemProps& Items() const { return *items_; }
    TRSItemProp* Parent() const { return collection_->Owner(); }
    TRSItemProps* Collection() const { return collection_; }
    TRSItemListEditor* Editor() const { return collection_->Editor(); }
    // Number of ancestors: 0 for a top-level item.
    int Level() const;
    // Name, after the parent's path name and the editor's PathDelimiter.
    QString PathName() const;

    TGetPickListEvent OnGetPickList;
    TValidateEvent OnValidate;
    TNotifyEvent OnEditButtonClick;

private:
    friend class TRSItemListEditor;
    void changed();
    void structureChanged();

    TRSItemProps* collection_;
    std::unique_ptr<TRSItemProps> items_;
    QString name_;
    QStringList values_;
    std::optional<std::string> sourceBytes_;
    QString hint_;
    QStringList pickList_;
    std::optional<TRSFont> font_;
    std::optional<TRSFont> valueFont_;
    TEditStyle editStyle_ = esSimple;
    bool expanded_ = false;
    bool enabled_ = true;
    bool readOnly_ = false;
    bool visible_ = true;
    int tag_ = 0;
};

// The in-place editor of a cell: a line edit, with a drop-down button for pick-list items
// and an ellipsis button for ellipsis items.
class TRSInplaceEdit : public QLineEdit {
    Q_OBJECT
public:
    TRSInplaceEdit(TRSItemListEditor* grid, TRSItemProp* item, QWidget* parent);

    TRSItemProp* Item() const { return item_; }
    // The drop-down list of this editor, made when it first opens.
    TRSPickListPopup* Popup() const { return popup_; }
    TRSPickListPopup* EnsurePopup();
    // The drop-down or ellipsis button, or none.
    QAction* ButtonAction() const { return button_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    TRSItemListEditor* grid_;
    TRSItemProp* item_;
    TRSPickListPopup* popup_ = nullptr;
    QAction* button_ = nullptr;
};

// The drop-down list of a pick-list cell: a popup that closes on a click elsewhere.
class TRSPickListPopup : public QListWidget {
    Q_OBJECT
public:
    explicit TRSPickListPopup(QWidget* parent);

signals:
    void chosen(const QString& entry);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TRSItemListEditor : public QTableView {
    Q_OBJECT
public:
    using TGetPickListEvent = std::function<void(TRSItemListEditor* sender,
                                                 const QString& propertyName, QStringList& values)>;
    using TValidateEvent = TRSItemProp::TValidateEvent;
    using TShowHintsEvent =
        std::function<void(TRSItemListEditor* sender, const TRSItemProp* item, QString& hint)>;
    using TNotifyEvent = std::function<void(TRSItemListEditor* sender)>;
    // The point is in viewport coordinates.
    using TPointEvent = std::function<void(TRSItemListEditor* sender, const QPoint& pos)>;
    // A typed character; setting it to a null character discards it.
    using TKeyPressEvent = std::function<void(TRSItemListEditor* sender, QChar& key)>;
    // Setting handled suppresses the default context menu.
    using TContextPopupEvent =
        std::function<void(TRSItemListEditor* sender, const QPoint& pos, bool& handled)>;
    // Ctrl+Delete is about to delete the item; clearing allow stops it.
    using TDeleteItemEvent =
        std::function<void(TRSItemListEditor* sender, TRSItemProp* item, bool& allow)>;

    explicit TRSItemListEditor(QWidget* parent = nullptr);
    ~TRSItemListEditor() override;

    TRSItemProps& Items() { return *items_; }
    const TRSItemProps& Items() const { return *items_; }

    // Every item in tree order (an item, its descendants, then its next sibling).
    TRSItemProp* AllItems(int i) const;
    int AllItemCount() const;
    // Position of the item among the shown rows, -1 when it is not shown.
    int RowIndex(const TRSItemProp* item) const;
    int ShownCount() const;
    TRSItemProp* ShownItem(int dataRow) const;

    void Expand(TRSItemProp* item);
    void Collapse(TRSItemProp* item);
    // True when the item has a child with a row of its own: its row shows the glyph.
    bool Expandable(const TRSItemProp* item) const { return hasShownChild(item); }
    void ExpandAll(TRSItemProp* item);
    void CollapseAll(TRSItemProp* item);

    // The item of the current cell's row.
    TRSItemProp* Selected() const;
    // Expands the item's ancestors and makes its row current; with no item, hides the
    // in-place editor.
    void SelectItem(TRSItemProp* item);
    // Deletes the item of a grid row (RowIndex + 1) with its descendants.
    void DeleteItemRow(int gridRow);
    // Commits a pending in-place edit and hides the editor.
    void CommitEdit();
    // Opens the current row's menu, the one a right click on its caption opens; the keyboard
    // way (the Menu key, Shift+F10). Without a menu for the row, an open in-place editor
    // shows its own.
    void PopupRowMenu();

    // Properties.
    int ColCount() const { return 2; }
    int DefaultRowHeight() const { return defaultRowHeight_; }
    void SetDefaultRowHeight(int height);
    int Indent() const { return indent_; }
    void SetIndent(int indent);
    QString PathDelimiter() const { return pathDelimiter_; }
    void SetPathDelimiter(const QString& delimiter) { pathDelimiter_ = delimiter; }
    int PropertyOptions() const { return propertyOptions_; }
    void SetPropertyOptions(int options) { propertyOptions_ = options; }
    int DisplayOptions() const { return displayOptions_; }
    void SetDisplayOptions(int options);
    int DropDownRows() const { return dropDownRows_; }
    void SetDropDownRows(int rows) { dropDownRows_ = rows; }
    TShowItemHintStyle ShowItemHintStyle() const { return showItemHintStyle_; }
    void SetShowItemHintStyle(TShowItemHintStyle style) { showItemHintStyle_ = style; }
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool hide);
    bool DeleteBlanks() const { return deleteBlanks_; }
    void SetDeleteBlanks(bool deleteBlanks) { deleteBlanks_ = deleteBlanks; }
    QString TitleCaptions(int column) const;
    void SetTitleCaptions(const QStringList& captions);
    // Design widths of the two columns; with doKeyColFixed the caption column keeps its.
    void SetColWidths(int captionWidth, int valueWidth);
    TRSFont Font() const { return font_; }
    void SetFont(const TRSFont& font);
    TRSFont ValueFont() const { return valueFont_; }
    void SetValueFont(const TRSFont& font);
    TRSFont TitleCaptionFont() const { return titleCaptionFont_; }
    void SetTitleCaptionFont(const TRSFont& font);
    const QPixmap& PlusGlyph() const { return plusGlyph_; }
    const QPixmap& MinusGlyph() const { return minusGlyph_; }
    // Whether the grid shows its tooltip (the list's hint).
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show);

    // The glyph's rectangle of a data row, in viewport coordinates (empty without children).
    QRect GlyphRect(int dataRow) const;
    // The open in-place editor and drop-down list, for hosts and tests.
    TRSInplaceEdit* InplaceEditor() const;
    TRSPickListPopup* PickListPopup() const;
    QLabel* ItemHintWindow() const { return hintWindow_; }

    // Events.
    TGetPickListEvent OnGetPickList;
    TValidateEvent OnValidate;
    TShowHintsEvent OnShowHints;
    TNotifyEvent OnClick;
    TPointEvent OnDblClick;
    TKeyPressEvent OnKeyPress;
    TContextPopupEvent OnContextPopup;
    TPointEvent OnMouseMove;
    TDeleteItemEvent OnDeleteItem;
    TNotifyEvent OnEditButtonClick;

    // Used by the in-place editor.
    void editorKey(QKeyEvent* event) { keyPressEvent(event); }
    void editorEscape();
    void editorDoubleClick(TRSInplaceEdit* editor, const QPoint& viewportPos);
    // True when the host handled the menu request.
    bool editorContextMenu(TRSInplaceEdit* editor, const QPoint& pos);
    void openPickList(TRSInplaceEdit* editor);
    void pickListChosen(TRSInplaceEdit* editor, const QString& entry);
    void editorCreated(TRSInplaceEdit* editor) { editor_ = editor; }
    void editButtonClick(TRSItemProp* item);
    QStringList pickListEntries(TRSItemProp* item);
    void storeEditorText(TRSInplaceEdit* editor, const QModelIndex& index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    friend class TRSItemProps;
    friend class TRSItemProp;
    void itemChanged(TRSItemProp* item);
    void structureChanged();
    void syncRows();
    void beginUpdate();
    void endUpdate();
    void applyColumnWidths();
    void raiseClick();
    bool isBlankRow(int dataRow) const;
    void deleteBlankItemLater(TRSItemProp* item);
    bool isLiveItem(const TRSItemProp* item) const;
    bool hasShownChild(const TRSItemProp* item) const;
    bool isShown(const TRSItemProp* item) const;
    void collectShown(const TRSItemProps& items, std::vector<TRSItemProp*>& rows) const;
    void showItemHint(const QPoint& viewportPos);
    void hideItemHint();
    void setCurrentRow(int dataRow);
    void commitValue(TRSItemProp* item, int column);
    // The tree keys on the current row: true when the key was one of them.
    bool treeKey(QKeyEvent* event);
    void expansionChanged(TRSItemProp* item);
    void notifyAccessible(QAccessible::Event type, const QModelIndex& index);
    void deleteItem(TRSItemProp* item);
    friend class TRSItemDelegate;
    friend class TRSCellAccessible;

    std::unique_ptr<TRSItemProps> items_;
    TRSShownRowsModel* model_;
    QPointer<TRSInplaceEdit> editor_;
    QLabel* hintWindow_;
    mutable std::vector<TRSItemProp*> allItems_;
    mutable bool allItemsDirty_ = true;
    int updateLevel_ = 0;
    bool syncPending_ = false;
    std::vector<std::unique_ptr<TRSItemProp>> graveyard_;

    int defaultRowHeight_ = 18;
    int indent_ = 17;
    QString pathDelimiter_ = ".";
    int propertyOptions_ = 0;
    int displayOptions_ = doColumnTitles | doAutoColResize | doKeyColFixed | doShowReadOnly;
    int dropDownRows_ = 8;
    TShowItemHintStyle showItemHintStyle_ = shValueAndHint;
    bool hideSelection_ = true;
    bool deleteBlanks_ = true;
    bool showHint_ = true;
    QStringList titleCaptions_;
    int colWidths_[2] = {64, 64};
    TRSFont font_;
    TRSFont valueFont_;
    TRSFont titleCaptionFont_;
    QPixmap plusGlyph_;
    QPixmap minusGlyph_;
};
