#include "ui/selrep.h"

#include "ui/WindowParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_tree(new FolderTree(this)),
      m_path(new PathLabel(this)), m_select(new QPushButton(QStringLiteral("Select "), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel "), this)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(" Destination Directory for resulting Files"));
    setAccessibleName(windowTitle());
    setFixedSize(396, 419);

    QVBoxLayout* body = layOutUnderHeaderStrip(
        this, style()->standardIcon(QStyle::SP_DirOpenIcon), QString(),
        QStringLiteral("Select the directory where the resulting files should be created."));

    m_tree->setAccessibleName(QStringLiteral("Destination folders"));
    QFont bold = m_path->font();
    bold.setBold(true);
    m_path->setFont(bold);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setAccessibleName(QStringLiteral("Selected folder"));
    m_select->setAccessibleName(QStringLiteral("Select"));
    m_cancel->setAccessibleName(QStringLiteral("Cancel"));
    m_select->setDefault(true);
    m_select->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_select);
    buttons->addWidget(m_cancel);

    body->addWidget(m_tree, 1);
    body->addWidget(m_path);
    body->addLayout(buttons);

    connect(m_tree, &FolderTree::pathChanged, this, &TForm3::treeChange);
    connect(m_select, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TForm3::chosenPath() const {
    return m_tree->selectedPath();
}

void TForm3::treeChange(const QString& path) {
    showLabelValue(m_path, QStringLiteral("Selected folder"), path);
    m_select->setEnabled(!path.isEmpty());
}
