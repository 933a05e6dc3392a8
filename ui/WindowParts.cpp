#include "ui/WindowParts.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

#include <utility>

namespace {

// The file system's model with its name column only: size, type and date are never shown,
// and a view of the full model would offer screen readers four columns.
class FolderModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    int columnCount(const QModelIndex& parent) const override {
        return parent.column() > 0 ? 0 : 1;
    }
};

} // namespace

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent), model_(new FolderModel(this)), scrollLater_(new QTimer(this)) {
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model_->setReadOnly(true);
    // An empty root path shows "/" itself as the single top item.
    model_->setRootPath(QString());
    // A folder created just before its parent's listing arrives is dropped from the model
    // and comes back with the next listing; meanwhile the selection would jump to a
    // neighbour. Keep the folder selected while it exists. Connected before the view's
    // selection model, which moves the current row when it is removed.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                for (QModelIndex index = currentIndex(); index.isValid(); index = index.parent())
                    if (index.parent() == parent && index.row() >= first && index.row() <= last)
                        lostPath_ = model_->filePath(currentIndex());
            });
    setModel(model_);
    setHeaderHidden(true);
    setSortingEnabled(true);
    sortByColumn(0, Qt::AscendingOrder);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = indexAt(pos);
        if (index.isValid())
            setCurrentIndex(index);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (!lostPath_.isEmpty())
            return;
        const QString path = selectedPath();
        if (path != shownPath_)
            shownPath_.clear();
        if (path != announcedPath_) {
            announcedPath_ = path;
            emit pathChanged(path);
        }
    });
    connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (!lostPath_.isEmpty())
            QTimer::singleShot(0, this, &FolderTree::restoreLostPath);
    });
    // The model reads folders in the background and sorts them shortly after they come: the
    // selected folder moves until its parents are read and sorted.
    scrollLater_->setSingleShot(true);
    scrollLater_->setInterval(50);
    connect(scrollLater_, &QTimer::timeout, this, &FolderTree::scrollToShown);
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (!shownPath_.isEmpty() && shownPath_.startsWith(loaded))
            scrollLater_->start();
    });
}

void FolderTree::restoreLostPath() {
    const QString path = std::exchange(lostPath_, QString());
    if (!selectPath(path)) {
        // The folder is gone for good: the neighbour the view chose is the selection.
        const QString now = selectedPath();
        if (now != announcedPath_) {
            announcedPath_ = now;
            emit pathChanged(now);
        }
    }
}

void FolderTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    scrollLater_->start();
}

void FolderTree::scrollToShown() {
    if (!shownPath_.isEmpty())
        scrollTo(model_->index(shownPath_), QAbstractItemView::PositionAtCenter);
}

QString FolderTree::selectedPath() const {
    if (!lostPath_.isEmpty())
        return lostPath_;
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !model_->isDir(index))
        return {};
    return model_->filePath(index);
}

bool FolderTree::selectPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex index = model_->index(QFileInfo(path).absoluteFilePath());
    if (!index.isValid())
        return false;
    shownPath_ = model_->filePath(index);
    setCurrentIndex(index);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
    expand(index);
    return true;
}

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QSize PathLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

QSize PathLabel::sizeHint() const {
    return minimumSizeHint();
}

void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, int(alignment()),
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
}

QString captionName(const QString& caption) {
    QString name = caption;
    name.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return name.trimmed();
}

void setHint(QWidget* control, const QString& hint) {
    control->setToolTip(hint);
    control->setAccessibleDescription(hint);
    QString name;
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        name = captionName(button->text());
    control->setAccessibleName(name.isEmpty() ? hint : name);
}

namespace {

const QString kHintHeading = QStringLiteral("<b>Information</b><br>");

QString withHeading(const QString& hint) {
    return kHintHeading + hint.toHtmlEscaped();
}

// Shows every hint of the program under its heading. A widget's own tooltip is shown here;
// item views show the hints of their cells themselves, and get the heading once shown.
class HintHeading : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr)
            return false;
        const QPoint position = static_cast<QHelpEvent*>(event)->globalPos();
        if (!widget->toolTip().isEmpty()) {
            QToolTip::showText(position, withHeading(widget->toolTip()), widget);
            return true;
        }
        auto* view = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
        if (view != nullptr && view->viewport() == widget) {
            QTimer::singleShot(0, widget, [widget, position] {
                const QString shown = QToolTip::text();
                if (QToolTip::isVisible() && !shown.isEmpty() && !shown.startsWith(kHintHeading))
                    QToolTip::showText(position, withHeading(shown), widget);
            });
        }
        return false;
    }
};

} // namespace

void installHintHeading() {
    static HintHeading* filter = nullptr;
    if (filter != nullptr)
        return;
    filter = new HintHeading(qApp);
    qApp->installEventFilter(filter);
}

QVBoxLayout* layOutUnderHeaderStrip(QWidget* dialog, const QIcon& picture, const QString& title,
                                    const QString& text) {
    auto* strip = new QWidget(dialog);
    strip->setAutoFillBackground(true);
    QPalette palette = strip->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    strip->setPalette(palette);

    auto* image = new QLabel(strip);
    image->setPixmap(picture.pixmap(32, 32));
    image->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    if (!title.isEmpty()) {
        auto* heading = new QLabel(title, strip);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        texts->addWidget(heading);
    }
    auto* body = new QLabel(text, strip);
    body->setWordWrap(true);
    texts->addWidget(body);
    texts->addStretch();

    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(10, 8, 10, 8);
    row->setSpacing(12);
    row->addWidget(image);
    row->addLayout(texts, 1);

    auto* content = new QVBoxLayout;
    content->setContentsMargins(10, 6, 10, 10);
    auto* column = new QVBoxLayout(dialog);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(strip);
    column->addLayout(content, 1);
    return content;
}

void showLabelValue(QLabel* label, const QString& caption, const QString& value) {
    label->setText(value);
    label->setAccessibleName(value.isEmpty() ? caption : caption + QStringLiteral(": ") + value);
}
