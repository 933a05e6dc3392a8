#include "ui/wizard.h"

#include "configuration/settings.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using kelvora::SettingsStore;

TForm4::TForm4(SettingsStore& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), settings_(settings),
      anonymous_(new QCheckBox(QStringLiteral("Import Anonymous blocks"), this)),
      withoutAttributes_(
          new QCheckBox(QStringLiteral("Import blocks that don't have attributes"), this)),
      fieldColumns_(new QCheckBox(QStringLiteral("Add layer and position columns"), this)),
      proceed_(new QPushButton(QStringLiteral("Select DXF file and proceed ..."), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel "), this)),
      help_(new QPushButton(QStringLiteral("Help"), this)) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral(" Wizard"));
    setAccessibleName(windowTitle());
    setFixedSize(471, 236);

    QVBoxLayout* body = layOutUnderHeaderStrip(
        this, style()->standardIcon(QStyle::SP_FileDialogDetailedView),
        QStringLiteral("Import Wizard"),
        QStringLiteral("The Wizard helps you select the blocks to process from a template DXF "
                       "file."));

    auto* group = new QGroupBox(QStringLiteral(" Blocks to import "), this);
    group->setAccessibleName(captionName(group->title()));
    auto* options = new QVBoxLayout(group);
    options->addWidget(anonymous_);
    options->addWidget(withoutAttributes_);
    options->addWidget(fieldColumns_);
    fieldColumns_->setToolTip(
        QStringLiteral("Adds the columns Layer, Layout, X and Y, filled from each insert"));
    for (QAbstractButton* control : std::initializer_list<QAbstractButton*>{
             anonymous_, withoutAttributes_, fieldColumns_, proceed_, cancel_, help_})
        control->setAccessibleName(captionName(control->text()));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help_);
    buttons->addStretch();
    buttons->addWidget(proceed_);
    buttons->addWidget(cancel_);

    body->addWidget(group, 1);
    body->addLayout(buttons);

    proceed_->setDefault(true);
    // Each option is stored as soon as it is clicked, also when the dialog is then cancelled.
    connect(anonymous_, &QCheckBox::clicked, this, [this](bool on) {
        kelvora::storeBool(settings_, kelvora::kSettingImportAnonymous, on);
    });
    connect(withoutAttributes_, &QCheckBox::clicked, this, [this](bool on) {
        kelvora::storeBool(settings_, kelvora::kSettingImportBlkNonAtt, on);
    });
    connect(fieldColumns_, &QCheckBox::clicked, this,
            [this](bool on) { kelvora::storeBool(settings_, kelvora::kSettingImportFields, on); });
    connect(proceed_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this, &TForm4::helpRequested);
}

int TForm4::exec() {
    const kelvora::Settings settings = kelvora::loadSettings(settings_);
    anonymous_->setChecked(settings.importanonymous);
    withoutAttributes_->setChecked(settings.importblknonatt);
    fieldColumns_->setChecked(settings.importfields);
    return QDialog::exec();
}
