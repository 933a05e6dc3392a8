// The main window's two rule lists: the block list (block rules with their layer, space
// and attribute rows) and the column list (the titles of the data columns). Both are
// widgets that the main window hosts; each works and can be tested on its own.
#pragma once

#include "engine/rules.h"

#include <QWidget>

#include <string>
#include <vector>

class QMenu;
class QPushButton;
class QGroupBox;
class TRSItemListEditor;
class TRSItemProp;

class ColumnListEditor : public QWidget {
    Q_OBJECT
public:
    explicit ColumnListEditor(QWidget* parent = nullptr);

    TRSItemListEditor* grid() const;
    QPushButton* addButton() const;
    QPushButton* removeButton() const;
    QPushButton* upButton() const;
    QPushButton* downButton() const;

    kelvora::ColumnList titles() const;
    const kelvora::ColumnChoices& choices() const;

    void addcolonne(const std::string& title);
    // Renumbers the rows 1..N, rebuilds the column choices and sets the buttons.
    void numerotecol();
    // Empties the list (used by a configuration load).
    void clear();
    // Stores a value typed into a cell but not yet confirmed, as Enter would.
    void commitEdit();

signals:
    // The column choices were rebuilt after an add or remove: hand them to the block list.
    void choicesChanged(const kelvora::ColumnChoices& choices);
    // Any user edit of the titles (add, remove, move, retitle).
    void edited();

private:
    void addColumn();
    void removeColumn();
    // Exchanges the current title with the one `step` rows away and follows it.
    void moveColumn(int step);

    TRSItemListEditor* grid_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* up_;
    QPushButton* down_;
    kelvora::ColumnChoices choices_;
};

class BlockListEditor : public QWidget {
    Q_OBJECT
public:
    explicit BlockListEditor(QWidget* parent = nullptr);

    TRSItemListEditor* grid() const;
    QPushButton* addBlockButton() const;
    QPushButton* removeBlockButton() const;
    QPushButton* addAttributeButton() const;
    QPushButton* removeAttributeButton() const;

    // Block rules in list order, with every attribute rule (expanded or not).
    std::vector<kelvora::BlockRule> blockRules() const;
    // True while the list holds at least one block rule (the editor is enabled).
    bool hasRules() const;

    TRSItemProp* addblock(const std::string& attributeCount, const std::string& blockPattern,
                          const std::string& layerPattern, const std::string& space);
    TRSItemProp* addattrib(const std::string& namePattern, const std::string& column,
                           TRSItemProp* blockRow);
    // Gives every "Column" row the current column choices.
    void reinitlistecol(const kelvora::ColumnChoices& choices);
    // Empties the list and disables the rule-changing buttons (used by loads and imports).
    void clear();
    // Enables the editor when it has rows, sets "Blocks (n)" and the buttons for the current row.
    void refreshState();
    // Stores a value typed into a cell but not yet confirmed, as Enter would.
    void commitEdit();

    // The context menus of block, attribute and space rows.
    QMenu* blockMenu() const;
    QMenu* attributeMenu() const;
    QMenu* spaceMenu() const;
    // The hint for a point of the grid's viewport (empty on no hint).
    QString cellHint(const QPoint& pos) const;

signals:
    // Any user edit of the rules.
    void edited();

private:
    void buildMenus();
    void addBlockRule();
    void removeBlockRule();
    void addAttributeRule();
    void removeAttributeRule();
    void expandCurrent(bool expand);
    void expandEvery(bool expand);
    void updateButtons();
    void recaption(TRSItemProp* blockRow);
    TRSItemProp* currentOfKind(int kind) const;
    void filterSpaceKey(QChar& key);
    void endEdit(TRSItemProp* item);
    void showCellHint(const QPoint& pos);
    void contextPopup(const QPoint& pos, bool& handled);

    TRSItemListEditor* grid_;
    QPushButton* addBlock_;
    QPushButton* removeBlock_;
    QPushButton* addAttribute_;
    QPushButton* removeAttribute_;
    QMenu* blockMenu_ = nullptr;
    QMenu* attributeMenu_ = nullptr;
    QMenu* spaceMenu_ = nullptr;
    kelvora::ColumnChoices choices_;
    QPoint hintCell_{-2, -2};
};

// Both editors together as one rule set, and back. Commands that read the rules commit the
// editors' pending edits first: a command button does not take the focus from a cell.
void commitEdits(BlockListEditor& blocks, ColumnListEditor& columns);
kelvora::RuleSet rulesFromEditors(const BlockListEditor& blocks, const ColumnListEditor& columns);
void fillEditors(BlockListEditor& blocks, ColumnListEditor& columns, const kelvora::RuleSet& rules);
