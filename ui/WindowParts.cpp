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
    : QTreeView(parent), m_model(new FolderModel(this)), m_scrollLater(new QTimer(this)) {
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    // An empty root path shows "/" itself as the single top item.
    m_model->setRootPath(QString());
    // A folder created just before its parent's listing arrives is dropped from the model
    // and comes back with the next listing; meanwhile the selection would jump to a
    // neighbour. Keep the folder selected while it exists. Connected before the view's
    // selection model, which moves the current row when it is removed.
    connect(m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                for (QModelIndex index = currentIndex(); index.isValid(); index = index.parent())
                    if (index.parent() == parent && index.row() >= first && index.row() <= last)
                        m_lostPath = m_model->filePath(currentIndex());
            });
    setModel(m_model);
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
        if (!m_lostPath.isEmpty())
            return;
        const QString path = selectedPath();
        if (path != m_shownPath)
            m_shownPath.clear();
        if (path != m_announcedPath) {
            m_announcedPath = path;
            emit pathChanged(path);
        }
    });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (!m_lostPath.isEmpty())
            QTimer::singleShot(0, this, &FolderTree::restoreLostPath);
    });
    // The model reads folders in the background and sorts them shortly after they come: the
    // selected folder moves until its parents are read and sorted.
    m_scrollLater->setSingleShot(true);
    m_scrollLater->setInterval(50);
    connect(m_scrollLater, &QTimer::timeout, this, &FolderTree::scrollToShown);
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (!m_shownPath.isEmpty() && m_shownPath.startsWith(loaded))
            m_scrollLater->start();
    });
}

void FolderTree::restoreLostPath() {
    const QString path = std::exchange(m_lostPath, QString());
    if (!selectPath(path)) {
        // The folder is gone for good: the neighbour the view chose is the selection.
        const QString now = selectedPath();
        if (now != m_announcedPath) {
            m_announcedPath = now;
            emit pathChanged(now);
        }
    }
}

void FolderTree::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    m_scrollLater->start();
}

void FolderTree::scrollToShown() {
    if (!m_shownPath.isEmpty())
        scrollTo(m_model->index(m_shownPath), QAbstractItemView::PositionAtCenter);
}

QString FolderTree::selectedPath() const {
    if (!m_lostPath.isEmpty())
        return m_lostPath;
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !m_model->isDir(index))
        return {};
    return m_model->filePath(index);
}

bool FolderTree::selectPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return false;
    const QModelIndex index = m_model->index(QFileInfo(path).absoluteFilePath());
    if (!index.isValid())
        return false;
    m_shownPath = m_model->filePath(index);
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
