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

    QCheckBox* anonymousBox() const { return anonymous_; }
    QCheckBox* withoutAttributesBox() const { return withoutAttributes_; }
    QCheckBox* fieldColumnsBox() const { return fieldColumns_; }
    QPushButton* proceedButton() const { return proceed_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* helpButton() const { return help_; }

    // Sets the three options from the settings, then runs the dialog modally.
    int exec() override;

signals:
    void helpRequested();

private:
    kelvora::SettingsStore& settings_;
    QCheckBox* anonymous_;
    QCheckBox* withoutAttributes_;
    QCheckBox* fieldColumns_;
    QPushButton* proceed_;
    QPushButton* cancel_;
    QPushButton* help_;
};
