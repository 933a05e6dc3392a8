#include "ui/RuleListEditors.h"

#include "text/drawingtext.h"
#include "ui/RSItemListEditor.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// What a row of the block list stands for, kept in the item's Tag.
enum RowKind { kBlockRow = 1, kLayerRow, kSpaceRow, kAttributeRow, kColumnRow };

const QColor kNavy(0, 0, 128);

const QString kBlockListHint = QStringLiteral("The Block List : Add blocks to be processed here");
const QString kColumnListHint = QStringLiteral(
    "The Column List : Add column headers for the XLS or TXT file. An attribute named "
    "{LAYER}, {LAYOUT}, {HANDLE}, {X}, {Y}, {Z}, {ROTATION}, {XSCALE}, {YSCALE}, {ZSCALE} or "
    "{DRAWING} fills its column with that property of the insert.");

// Rule texts are 8-bit: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeRuleText(const std::string& bytes) {
    const std::string text = kelvora::utf8FromAnsi(bytes);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void setRuleText(TRSItemProp* item, const std::string& bytes) {
    item->SetValueWithSource(decodeRuleText(bytes), bytes);
}

// The bytes a value was read from while it is unedited, else its text as UTF-8.
std::string ruleText(const TRSItemProp* item) {
    if (item->SourceBytes()) {
        return *item->SourceBytes();
    }
    return item->Values().front().toStdString();
}

QStringList toStringList(const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) {
        list.append(QString::fromStdString(text));
    }
    return list;
}

// The add and remove signs of the block list's buttons.
QIcon signIcon(bool add) {
    QPixmap pixmap(11, 11);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QColor color = add ? QColor(0, 128, 0) : QColor(192, 0, 0);
    painter.fillRect(1, 4, 9, 3, color);
    if (add) {
        painter.fillRect(4, 1, 3, 9, color);
    }
    return QIcon(pixmap);
}

QPushButton* makeButton(QWidget* parent, const QString& caption, const QString& hint,
                        const QString& accessibleName, std::optional<bool> sign = {}) {
    auto* button = new QPushButton(caption, parent);
    if (sign) {
        button->setIcon(signIcon(*sign));
    }
    button->setToolTip(hint);
    button->setAccessibleName(accessibleName);
    button->setAccessibleDescription(hint);
    return button;
}

// The settings both lists of the main window give their grid.
void setUpGrid(TRSItemListEditor* grid, TShowItemHintStyle hints, const QStringList& titles,
               int captionWidth, int valueWidth) {
    grid->SetDefaultRowHeight(16);
    grid->SetIndent(11);
    grid->SetPropertyOptions(propDelete);
    grid->SetDropDownRows(8);
    grid->SetShowItemHintStyle(hints);
    grid->SetHideSelection(false);
    grid->SetDeleteBlanks(true);
    grid->SetTitleCaptions(titles);
    TRSFont caption = grid->Font();
    caption.color = Qt::black;
    grid->SetFont(caption);
    TRSFont value = grid->ValueFont();
    value.color = kNavy;
    grid->SetValueFont(value);
    grid->SetColWidths(captionWidth, valueWidth);
    grid->setMinimumWidth(captionWidth + valueWidth + 2 * grid->frameWidth() + 2);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Column list.

ColumnListEditor::ColumnListEditor(QWidget* parent)
    : QWidget(parent), grid_(new TRSItemListEditor(this)), choices_(kelvora::columnChoices(0)) {
    setUpGrid(grid_, shValueOnly, {QStringLiteral("Column"), QStringLiteral("Column Title")}, 44,
              187);
    grid_->setToolTip(kColumnListHint);
    grid_->setAccessibleName(QStringLiteral("Column list"));
    grid_->setAccessibleDescription(kColumnListHint);
    grid_->setEnabled(false);

    add_ = makeButton(this, QStringLiteral("Add"), QStringLiteral("Add a column"),
                      QStringLiteral("Add"));
    remove_ = makeButton(this, QStringLiteral("Remove"), QStringLiteral("Remove column"),
                         QStringLiteral("Remove"));
    up_ = makeButton(this, QStringLiteral("Up"), QStringLiteral("Move column Up"),
                     QStringLiteral("Up"));
    down_ = makeButton(this, QStringLiteral("Down"), QStringLiteral("Move column Down"),
                       QStringLiteral("Down"));
    remove_->setEnabled(false);
    up_->setEnabled(false);
    down_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {add_, remove_, up_, down_}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    layout->addLayout(buttons);

    connect(add_, &QPushButton::clicked, this, &ColumnListEditor::addColumn);
    connect(remove_, &QPushButton::clicked, this, &ColumnListEditor::removeColumn);
    connect(up_, &QPushButton::clicked, this, [this] { moveColumn(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { moveColumn(1); });
    grid_->OnClick = [this](TRSItemListEditor*) { numerotecol(); };
    grid_->OnValidate = [this](TRSItemListEditor*, TRSItemProp*, int) { emit edited(); };
    // Ctrl+Delete removes a column the way the Remove button does.
    grid_->OnDeleteItem = [this](TRSItemListEditor*, TRSItemProp*, bool& allow) {
        allow = false;
        removeColumn();
    };
}

TRSItemListEditor* ColumnListEditor::grid() const {
    return grid_;
}
QPushButton* ColumnListEditor::addButton() const {
    return add_;
}
QPushButton* ColumnListEditor::removeButton() const {
    return remove_;
}
QPushButton* ColumnListEditor::upButton() const {
    return up_;
}
QPushButton* ColumnListEditor::downButton() const {
    return down_;
}

kelvora::ColumnList ColumnListEditor::titles() const {
    kelvora::ColumnList titles;
    for (int i = 0; i < grid_->Items().Count(); ++i) {
        titles.push_back(ruleText(grid_->Items()[i]));
    }
    return titles;
}

const kelvora::ColumnChoices& ColumnListEditor::choices() const {
    return choices_;
}

void ColumnListEditor::addcolonne(const std::string& title) {
    setRuleText(grid_->Items().Add(), title);
}

void ColumnListEditor::numerotecol() {
    TRSItemProps& rows = grid_->Items();
    for (int i = 0; i < rows.Count(); ++i) {
        rows[i]->SetName(QString::number(i + 1));
    }
    choices_ = kelvora::columnChoices(static_cast<std::size_t>(rows.Count()));
    const int current = grid_->currentIndex().row();
    remove_->setEnabled(rows.Count() > 0);
    up_->setEnabled(rows.Count() > 0 && current > 0);
    down_->setEnabled(rows.Count() > 0 && current < rows.Count() - 1);
}

void ColumnListEditor::commitEdit() {
    grid_->CommitEdit();
}

void ColumnListEditor::clear() {
    grid_->Items().Clear();
    numerotecol();
    grid_->setEnabled(false);
}

void ColumnListEditor::addColumn() {
    grid_->setEnabled(true);
    addcolonne("Column Title");
    numerotecol();
    emit choicesChanged(choices_);
    emit edited();
}

void ColumnListEditor::removeColumn() {
    TRSItemProp* current = grid_->Selected();
    if (!current) {
        return;
    }
    grid_->DeleteItemRow(grid_->RowIndex(current) + 1);
    numerotecol();
    emit choicesChanged(choices_);
    grid_->setEnabled(grid_->Items().Count() > 0);
    emit edited();
}

void ColumnListEditor::moveColumn(int step) {
    TRSItemProp* current = grid_->Selected();
    if (!current) {
        return;
    }
    TRSItemProp* other = grid_->ShownItem(grid_->RowIndex(current) + step);
    if (!other) {
        return;
    }
    grid_->CommitEdit();
    // Only the titles move; the numbers stay with the positions.
    const QString currentText = current->Values().front();
    const std::optional<std::string> currentBytes = current->SourceBytes();
    current->SetValueWithSource(other->Values().front(), other->SourceBytes());
    other->SetValueWithSource(currentText, currentBytes);
    grid_->SelectItem(other);
    numerotecol();
    emit edited();
}

// ---------------------------------------------------------------------------------------
// Block list.

BlockListEditor::BlockListEditor(QWidget* parent)
    : QWidget(parent), grid_(new TRSItemListEditor(this)), choices_(kelvora::columnChoices(0)) {
    setUpGrid(grid_, shNone, {QStringLiteral("Blocks (0)"), QStringLiteral("Value")}, 94, 164);
    grid_->setAccessibleName(QStringLiteral("Block list"));
    grid_->setAccessibleDescription(kBlockListHint);
    grid_->setEnabled(false);

    addBlock_ = makeButton(this, QStringLiteral("Block"), QStringLiteral("Add a block"),
                           QStringLiteral("Add a block"), true);
    removeBlock_ = makeButton(this, QStringLiteral(" Block"), QStringLiteral("Remove block"),
                              QStringLiteral("Remove block"), false);
    addAttribute_ =
        makeButton(this, QStringLiteral("Attribute"), QStringLiteral("Add an attribute"),
                   QStringLiteral("Add an attribute"), true);
    removeAttribute_ =
        makeButton(this, QStringLiteral("Attribute"), QStringLiteral("Remove this attribute"),
                   QStringLiteral("Remove this attribute"), false);
    removeBlock_->setEnabled(false);
    addAttribute_->setEnabled(false);
    removeAttribute_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {addBlock_, removeBlock_, addAttribute_, removeAttribute_}) {
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(grid_);
    layout->addLayout(buttons);

    buildMenus();

    connect(addBlock_, &QPushButton::clicked, this, &BlockListEditor::addBlockRule);
    connect(removeBlock_, &QPushButton::clicked, this, &BlockListEditor::removeBlockRule);
    connect(addAttribute_, &QPushButton::clicked, this, &BlockListEditor::addAttributeRule);
    connect(removeAttribute_, &QPushButton::clicked, this, &BlockListEditor::removeAttributeRule);

    grid_->OnClick = [this](TRSItemListEditor*) {
        if (grid_->ShownCount() > 0) {
            grid_->SetShowHint(true);
            updateButtons();
        }
    };
    grid_->OnDblClick = [this](TRSItemListEditor*, const QPoint& pos) {
        TRSItemProp* current = grid_->Selected();
        if (grid_->columnAt(pos.x()) == 0 && current && current->Items().Count() > 0) {
            current->Expanded() ? grid_->Collapse(current) : grid_->Expand(current);
        }
    };
    grid_->OnKeyPress = [this](TRSItemListEditor*, QChar& key) { filterSpaceKey(key); };
    grid_->OnGetPickList = [this](TRSItemListEditor*, const QString&, QStringList&) {
        grid_->SetShowHint(false);
    };
    grid_->OnValidate = [this](TRSItemListEditor*, TRSItemProp* item, int) { endEdit(item); };
    grid_->OnMouseMove = [this](TRSItemListEditor*, const QPoint& pos) { showCellHint(pos); };
    grid_->OnContextPopup = [this](TRSItemListEditor*, const QPoint& pos, bool& handled) {
        contextPopup(pos, handled);
    };
    grid_->OnDeleteItem = [this](TRSItemListEditor*, TRSItemProp* item, bool& allow) {
        // Ctrl+Delete takes whole block rules and attribute rules only, with the same
        // bookkeeping as the buttons; layer, space and column rows stay.
        allow = false;
        if (item->Tag() == kBlockRow) {
            removeBlockRule();
        } else if (item->Tag() == kAttributeRow) {
            removeAttributeRule();
        }
    };
}

TRSItemListEditor* BlockListEditor::grid() const {
    return grid_;
}
QPushButton* BlockListEditor::addBlockButton() const {
    return addBlock_;
}
QPushButton* BlockListEditor::removeBlockButton() const {
    return removeBlock_;
}
QPushButton* BlockListEditor::addAttributeButton() const {
    return addAttribute_;
}
QPushButton* BlockListEditor::removeAttributeButton() const {
    return removeAttribute_;
}
QMenu* BlockListEditor::blockMenu() const {
    return blockMenu_;
}
QMenu* BlockListEditor::attributeMenu() const {
    return attributeMenu_;
}
QMenu* BlockListEditor::spaceMenu() const {
    return spaceMenu_;
}

void BlockListEditor::buildMenus() {
    blockMenu_ = new QMenu(this);
    blockMenu_->addAction(QStringLiteral("&Remove this Block"), this,
                          &BlockListEditor::removeBlockRule);
    blockMenu_->addSeparator();
    blockMenu_->addAction(QStringLiteral("&Add Attribute"), this,
                          &BlockListEditor::addAttributeRule);
    blockMenu_->addSeparator();
    blockMenu_->addAction(QStringLiteral("&Expand"), this, [this] { expandCurrent(true); });
    blockMenu_->addAction(QStringLiteral("&Collapse"), this, [this] { expandCurrent(false); });
    blockMenu_->addSeparator();
    blockMenu_->addAction(QStringLiteral("E&xpand All"), this, [this] { expandEvery(true); });
    blockMenu_->addAction(QStringLiteral("Collapse A&ll"), this, [this] { expandEvery(false); });

    attributeMenu_ = new QMenu(this);
    attributeMenu_->addAction(QStringLiteral("&Remove this Attribute"), this,
                              &BlockListEditor::removeAttributeRule);
    attributeMenu_->addSeparator();
    attributeMenu_->addAction(QStringLiteral("&Expand"), this, [this] { expandCurrent(true); });
    attributeMenu_->addAction(QStringLiteral("&Collapse"), this, [this] { expandCurrent(false); });

    spaceMenu_ = new QMenu(this);
    const std::pair<const char*, std::string_view> spaces[] = {
        {"Set to &Any Space", kelvora::kAnySpace},
        {"Set to &Model Space", kelvora::kModelSpace},
        {"Set to &Paper Space", kelvora::kPaperSpace}};
    for (const auto& [caption, space] : spaces) {
        const QString value =
            QString::fromLatin1(space.data(), static_cast<qsizetype>(space.size()));
        spaceMenu_->addAction(QString::fromLatin1(caption), this, [this, value] {
            TRSItemProp* current = grid_->Selected();
            if (current && current->Tag() == kSpaceRow) {
                current->SetValues({value});
                emit edited();
            }
        });
    }
}

std::vector<kelvora::BlockRule> BlockListEditor::blockRules() const {
    std::vector<kelvora::BlockRule> rules;
    const TRSItemProps& blocks = grid_->Items();
    for (int b = 0; b < blocks.Count(); ++b) {
        const TRSItemProp* block = blocks[b];
        kelvora::BlockRule rule;
        rule.blockPattern = ruleText(block);
        for (int c = 0; c < block->Items().Count(); ++c) {
            const TRSItemProp* child = block->Items()[c];
            switch (child->Tag()) {
            case kLayerRow:
                rule.layerPattern = ruleText(child);
                break;
            case kSpaceRow:
                rule.space = ruleText(child);
                break;
            case kAttributeRow: {
                kelvora::AttributeRule attribute{ruleText(child), "-1"};
                if (child->Items().Count() > 0) {
                    attribute.column = ruleText(child->Items()[0]);
                }
                rule.attributes.push_back(attribute);
                break;
            }
            default:
                break;
            }
        }
        rules.push_back(rule);
    }
    return rules;
}

bool BlockListEditor::hasRules() const {
    return grid_->Items().Count() > 0;
}

TRSItemProp* BlockListEditor::addblock(const std::string& attributeCount,
                                       const std::string& blockPattern,
                                       const std::string& layerPattern, const std::string& space) {
    TRSItemProps& blocks = grid_->Items();
    blocks.BeginUpdate();
    TRSItemProp* block = blocks.Add();
    block->SetTag(kBlockRow);
    block->SetName(QStringLiteral("Block (") + decodeRuleText(attributeCount) +
                   QStringLiteral(" Att.)"));
    block->SetHint(QStringLiteral("Enter a Block Name"));
    setRuleText(block, blockPattern);

    TRSItemProp* layer = block->Items().Add();
    layer->SetTag(kLayerRow);
    layer->SetName(QStringLiteral("Layer name"));
    setRuleText(layer, layerPattern);

    TRSItemProp* spaceRow = block->Items().Add();
    spaceRow->SetTag(kSpaceRow);
    spaceRow->SetName(QStringLiteral("Space"));
    spaceRow->SetPickList({QString::fromLatin1(kelvora::kAnySpace.data()),
                           QString::fromLatin1(kelvora::kModelSpace.data()),
                           QString::fromLatin1(kelvora::kPaperSpace.data())});
    setRuleText(spaceRow, space);
    blocks.EndUpdate();
    return block;
}

TRSItemProp* BlockListEditor::addattrib(const std::string& namePattern, const std::string& column,
                                        TRSItemProp* blockRow) {
    TRSItemProps& children = blockRow->Items();
    children.BeginUpdate();
    TRSItemProp* attribute = children.Add();
    attribute->SetTag(kAttributeRow);
    setRuleText(attribute, namePattern);
    TRSItemProp* columnRow = attribute->Items().Add();
    columnRow->SetTag(kColumnRow);
    columnRow->SetName(QStringLiteral("Column"));
    columnRow->SetPickList(toStringList(choices_));
    setRuleText(columnRow, column);
    recaption(blockRow);
    children.EndUpdate();
    return attribute;
}

void BlockListEditor::recaption(TRSItemProp* blockRow) {
    int count = 0;
    for (int c = 0; c < blockRow->Items().Count(); ++c) {
        TRSItemProp* child = blockRow->Items()[c];
        if (child->Tag() == kAttributeRow) {
            child->SetName(QStringLiteral("Attribute ") + QString::number(++count));
        }
    }
    blockRow->SetName(QStringLiteral("Block (") + QString::number(count) +
                      QStringLiteral(" Att.)"));
}

void BlockListEditor::reinitlistecol(const kelvora::ColumnChoices& choices) {
    choices_ = choices;
    const QStringList entries = toStringList(choices);
    for (int i = 0; i < grid_->AllItemCount(); ++i) {
        TRSItemProp* item = grid_->AllItems(i);
        if (item->Tag() == kColumnRow) {
            item->SetPickList(entries);
        }
    }
}

void BlockListEditor::commitEdit() {
    grid_->CommitEdit();
}

void BlockListEditor::clear() {
    grid_->Items().Clear();
    refreshState();
}

void BlockListEditor::refreshState() {
    grid_->setEnabled(hasRules());
    grid_->SetTitleCaptions(
        {QStringLiteral("Blocks (") + QString::number(grid_->Items().Count()) + QStringLiteral(")"),
         QStringLiteral("Value")});
    updateButtons();
}

void BlockListEditor::updateButtons() {
    const TRSItemProp* current = grid_->Selected();
    const int kind = current ? current->Tag() : 0;
    removeBlock_->setEnabled(kind == kBlockRow);
    addAttribute_->setEnabled(kind == kBlockRow);
    removeAttribute_->setEnabled(kind == kAttributeRow);
}

TRSItemProp* BlockListEditor::currentOfKind(int kind) const {
    TRSItemProp* current = grid_->Selected();
    return current && current->Tag() == kind ? current : nullptr;
}

void BlockListEditor::addBlockRule() {
    grid_->setEnabled(true);
    TRSItemProp* block = addblock("0", "Block Name", "*", std::string(kelvora::kAnySpace));
    TRSItemProp* attribute = addattrib("Attribute Name", "-1", block);
    grid_->Expand(attribute);
    grid_->Expand(block);
    grid_->CommitEdit();
    grid_->SelectItem(block);
    refreshState();
    emit edited();
}

void BlockListEditor::removeBlockRule() {
    TRSItemProp* block = currentOfKind(kBlockRow);
    if (!block) {
        return;
    }
    grid_->Collapse(block);
    grid_->DeleteItemRow(grid_->RowIndex(block) + 1);
    refreshState();
    emit edited();
}

void BlockListEditor::addAttributeRule() {
    TRSItemProp* block = currentOfKind(kBlockRow);
    if (!block) {
        return;
    }
    TRSItemProp* attribute = addattrib("Attribute Name", "-1", block);
    grid_->Expand(attribute);
    grid_->CommitEdit();
    grid_->SelectItem(attribute);
    refreshState();
    emit edited();
}

void BlockListEditor::removeAttributeRule() {
    TRSItemProp* attribute = currentOfKind(kAttributeRow);
    if (!attribute) {
        return;
    }
    TRSItemProp* block = attribute->Parent();
    grid_->Collapse(attribute);
    grid_->DeleteItemRow(grid_->RowIndex(attribute) + 1);
    recaption(block);
    refreshState();
    emit edited();
}

void BlockListEditor::expandCurrent(bool expand) {
    TRSItemProp* current = grid_->Selected();
    if (!current) {
        return;
    }
    // A block row takes its attribute rows along; an attribute row acts alone.
    if (current->Tag() == kBlockRow) {
        expand ? grid_->ExpandAll(current) : grid_->CollapseAll(current);
    } else {
        expand ? grid_->Expand(current) : grid_->Collapse(current);
    }
}

void BlockListEditor::expandEvery(bool expand) {
    grid_->Items().BeginUpdate();
    for (int b = 0; b < grid_->Items().Count(); ++b) {
        TRSItemProp* block = grid_->Items()[b];
        expand ? grid_->ExpandAll(block) : grid_->CollapseAll(block);
    }
    grid_->Items().EndUpdate();
}

void BlockListEditor::filterSpaceKey(QChar& key) {
    const TRSItemProp* current = grid_->Selected();
    if (!current || current->Tag() != kSpaceRow) {
        return;
    }
    // The space is chosen, not typed: only a character that keeps the stored value a
    // beginning of one of the entries passes.
    const QString typed = current->Values().front() + key;
    const bool prefix = key.unicode() >= 32 && key.unicode() != 127 &&
                        std::any_of(current->PickList().begin(), current->PickList().end(),
                                    [&](const QString& entry) { return entry.startsWith(typed); });
    if (!prefix) {
        key = QChar();
    }
}

void BlockListEditor::endEdit(TRSItemProp* item) {
    grid_->SetShowHint(true);
    if (item->Tag() == kColumnRow) {
        // A pick-list entry may show the column's title after its number ("3 — Width"): the
        // rule keeps the number.
        if (const qsizetype title = item->Values().front().indexOf(u" \u2014 "); title > 0) {
            item->SetValues({item->Values().front().left(title)});
        }
        const std::optional<int> column = kelvora::parseColumnNumber(ruleText(item));
        if (!column || *column < 1) {
            item->SetValues({QStringLiteral("-1")});
        }
    }
    emit edited();
}

QString BlockListEditor::cellHint(const QPoint& pos) const {
    const int row = grid_->rowAt(pos.y());
    const TRSItemProp* item = grid_->ShownItem(row);
    if (!item) {
        return kBlockListHint;
    }
    if (grid_->columnAt(pos.x()) < 0) {
        return {};
    }
    switch (item->Tag()) {
    case kSpaceRow:
        return QStringLiteral("Select in which Space the block must reside");
    case kColumnRow:
        return QStringLiteral("Enter a column number. Enter -1 to ignore this attribute");
    case kBlockRow:
        return QStringLiteral(
            "Enter a block name. You can use Wildcards (* and ?). Enter * for any name");
    case kLayerRow:
        return QStringLiteral(
            "Enter a layer name. You can use Wildcards (* and ?). Enter * for any name");
    case kAttributeRow:
        return QStringLiteral(
            "Enter an attribute name. You can use Wildcards (* and ?). Enter * for any name");
    default:
        return {};
    }
}

void BlockListEditor::showCellHint(const QPoint& pos) {
    const QPoint cell(grid_->columnAt(pos.x()), grid_->rowAt(pos.y()));
    grid_->setToolTip(cellHint(pos));
    if (cell != hintCell_) {
        // A new cell: cancel the hint on show so that the new one comes up.
        QToolTip::hideText();
        hintCell_ = cell;
    }
}

void BlockListEditor::contextPopup(const QPoint& pos, bool& handled) {
    const int column = grid_->columnAt(pos.x());
    TRSItemProp* item = grid_->ShownItem(grid_->rowAt(pos.y()));
    if (column < 0 || !item) {
        handled = true;
        return;
    }
    if (column > 0) {
        // The in-place editor's own menu serves the free-text rows only.
        handled = item->Tag() == kSpaceRow || item->Tag() == kColumnRow;
        return;
    }
    grid_->SelectItem(item);
    updateButtons();
    QMenu* menu = nullptr;
    switch (item->Tag()) {
    case kSpaceRow:
        menu = spaceMenu_;
        break;
    case kBlockRow:
        menu = blockMenu_;
        break;
    case kAttributeRow:
        menu = attributeMenu_;
        break;
    default:
        break;
    }
    // A row without a menu leaves the request to the in-place editor, if one is open.
    handled = menu != nullptr;
    if (menu) {
        menu->popup(grid_->viewport()->mapToGlobal(pos));
    }
}

// ---------------------------------------------------------------------------------------

void commitEdits(BlockListEditor& blocks, ColumnListEditor& columns) {
    blocks.commitEdit();
    columns.commitEdit();
}

kelvora::RuleSet rulesFromEditors(const BlockListEditor& blocks, const ColumnListEditor& columns) {
    return kelvora::RuleSet{columns.titles(), blocks.blockRules()};
}

void fillEditors(BlockListEditor& blocks, ColumnListEditor& columns,
                 const kelvora::RuleSet& rules) {
    // One bracket per list: the rows are worked out once, however many rules come.
    blocks.grid()->Items().BeginUpdate();
    columns.grid()->Items().BeginUpdate();
    blocks.clear();
    columns.clear();
    for (const std::string& title : rules.columns) {
        columns.addcolonne(title);
    }
    columns.numerotecol();
    blocks.reinitlistecol(columns.choices());
    for (const kelvora::BlockRule& rule : rules.blockRules) {
        TRSItemProp* block = blocks.addblock(std::to_string(rule.attributes.size()),
                                             rule.blockPattern, rule.layerPattern, rule.space);
        for (const kelvora::AttributeRule& attribute : rule.attributes) {
            blocks.addattrib(attribute.namePattern, attribute.column, block);
        }
    }
    columns.grid()->Items().EndUpdate();
    blocks.grid()->Items().EndUpdate();
    columns.numerotecol();
    columns.grid()->setEnabled(!rules.columns.empty());
    blocks.refreshState();
}
