#include "ui/selrep.h"

#include "ui/WindowParts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), tree_(new FolderTree(this)),
      path_(new PathLabel(this)), select_(new QPushButton(QStringLiteral("Select "), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel "), this)) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral(" Destination Directory for resulting Files"));
    setAccessibleName(windowTitle());
    setFixedSize(396, 419);

    QVBoxLayout* body = layOutUnderHeaderStrip(
        this, style()->standardIcon(QStyle::SP_DirOpenIcon), QString(),
        QStringLiteral("Select the directory where the resulting files should be created."));

    tree_->setAccessibleName(QStringLiteral("Destination folders"));
    QFont bold = path_->font();
    bold.setBold(true);
    path_->setFont(bold);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setAccessibleName(QStringLiteral("Selected folder"));
    select_->setAccessibleName(QStringLiteral("Select"));
    cancel_->setAccessibleName(QStringLiteral("Cancel"));
    select_->setDefault(true);
    select_->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(select_);
    buttons->addWidget(cancel_);

    body->addWidget(tree_, 1);
    body->addWidget(path_);
    body->addLayout(buttons);

    connect(tree_, &FolderTree::pathChanged, this, &TForm3::treeChange);
    connect(select_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QString TForm3::chosenPath() const {
    return tree_->selectedPath();
}

void TForm3::treeChange(const QString& path) {
    showLabelValue(path_, QStringLiteral("Selected folder"), path);
    select_->setEnabled(!path.isEmpty());
}
