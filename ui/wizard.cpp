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
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_settings(settings),
      m_anonymous(new QCheckBox(QStringLiteral("Import Anonymous blocks"), this)),
      m_withoutAttributes(
          new QCheckBox(QStringLiteral("Import blocks that don't have attributes"), this)),
      m_fieldColumns(new QCheckBox(QStringLiteral("Add layer and position columns"), this)),
      m_proceed(new QPushButton(QStringLiteral("Select DXF file and proceed ..."), this)),
      m_cancel(new QPushButton(QStringLiteral("Cancel "), this)),
      m_help(new QPushButton(QStringLiteral("Help"), this)) {
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
    options->addWidget(m_anonymous);
    options->addWidget(m_withoutAttributes);
    options->addWidget(m_fieldColumns);
    m_fieldColumns->setToolTip(
        QStringLiteral("Adds the columns Layer, Layout, X and Y, filled from each insert"));
    for (QAbstractButton* control : std::initializer_list<QAbstractButton*>{
             m_anonymous, m_withoutAttributes, m_fieldColumns, m_proceed, m_cancel, m_help})
        control->setAccessibleName(captionName(control->text()));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_help);
    buttons->addStretch();
    buttons->addWidget(m_proceed);
    buttons->addWidget(m_cancel);

    body->addWidget(group, 1);
    body->addLayout(buttons);

    m_proceed->setDefault(true);
    // Each option is stored as soon as it is clicked, also when the dialog is then cancelled.
    connect(m_anonymous, &QCheckBox::clicked, this, [this](bool on) {
        kelvora::storeBool(m_settings, kelvora::kSettingImportAnonymous, on);
    });
    connect(m_withoutAttributes, &QCheckBox::clicked, this, [this](bool on) {
        kelvora::storeBool(m_settings, kelvora::kSettingImportBlkNonAtt, on);
    });
    connect(m_fieldColumns, &QCheckBox::clicked, this,
            [this](bool on) { kelvora::storeBool(m_settings, kelvora::kSettingImportFields, on); });
    connect(m_proceed, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_help, &QPushButton::clicked, this, &TForm4::helpRequested);
}

int TForm4::exec() {
    const kelvora::Settings settings = kelvora::loadSettings(m_settings);
    m_anonymous->setChecked(settings.importanonymous);
    m_withoutAttributes->setChecked(settings.importblknonatt);
    m_fieldColumns->setChecked(settings.importfields);
    return QDialog::exec();
}
