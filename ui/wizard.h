// The import wizard dialog: the three import options and the way to the template drawing.
#pragma once

#include <QDialog>

namespace kelvora {
class SettingsStore;
}
class QCheckBox;
class QPushButton;

class TForm4 : public QDialog {
    Q_OBJECT
public:
    TForm4(kelvora::SettingsStore& settings, QWidget* parent = nullptr);

    QCheckBox* anonymousBox() const { return m_anonymous; }
    QCheckBox* withoutAttributesBox() const { return m_withoutAttributes; }
    QCheckBox* fieldColumnsBox() const { return m_fieldColumns; }
    QPushButton* proceedButton() const { return m_proceed; }
    QPushButton* cancelButton() const { return m_cancel; }
    QPushButton* helpButton() const { return m_help; }

    // Sets the three options from the settings, then runs the dialog modally.
    int exec() override;

signals:
    void helpRequested();

private:
    kelvora::SettingsStore& m_settings;
    QCheckBox* m_anonymous;
    QCheckBox* m_withoutAttributes;
    QCheckBox* m_fieldColumns;
    QPushButton* m_proceed;
    QPushButton* m_cancel;
    QPushButton* m_help;
};
