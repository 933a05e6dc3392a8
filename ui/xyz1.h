// The main window: drawing folder and files, destination and extension, the two rule lists,
// configurations, the import wizard and the run; a second page holds the report, text and
// drawing-reading options and help.
#pragma once

#include "configuration/configuration.h"
#include "configuration/settings.h"

#include <QWidget>

#include <optional>
#include <string>

class BlockListEditor;
class ColumnListEditor;
class FolderTree;
class Prompts;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;
class QUrl;
class TForm2;
class TForm3;
class TForm4;
namespace kelvora {
struct ReadingChoices;
}

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Creates the main window and then, in this order, the progress window, the destination
    // chooser and the wizard dialog.
    TForm1(const kelvora::ProgramPaths& paths, kelvora::SettingsStore& settings, Prompts& prompts,
           QWidget* parent = nullptr);
    ~TForm1() override;

    // Reads the settings and the last configuration and puts the window in its first state.
    void startup();
    // Makes Exit end the application's event loop.
    void endProgramOnExit();

    // Controls, for the program's own wiring and for tests.
    QStackedWidget* pages() const { return pages_; }
    FolderTree* sh1() const { return sh1_; }
    QListWidget* fl1() const { return fl1_; }
    QCheckBox* autosel() const { return autosel_; }
    QLabel* folderLabel() const { return folderLabel_; }
    QLabel* selectionLabel() const { return selectionLabel_; }
    QLineEdit* rep1() const { return rep1_; }
    QToolButton* browseButton() const { return browse_; }
    QToolButton* followButton() const { return follow_; }
    QLineEdit* rep3() const { return rep3_; }
    QToolButton* createButton() const { return create_; }
    QToolButton* exitButton() const { return exit_; }
    QToolButton* optionsButton() const { return options_; }
    BlockListEditor* blockList() const { return blocks_; }
    ColumnListEditor* columnList() const { return columns_; }
    QPushButton* wizardButton() const { return wizardButton_; }
    QToolButton* loadButton() const { return load_; }
    QToolButton* saveButton() const { return save_; }
    QLabel* configurationLabel() const { return configuration_; }
    QRadioButton* alwaysShowReport() const { return alwaysReport_; }
    QRadioButton* neverShowReport() const { return neverReport_; }
    QCheckBox* textUtf8() const { return textUtf8_; }
    QCheckBox* textRaw() const { return textRaw_; }
    // How drawings are read: dynamic block names, every layout, array copies, nested blocks.
    QCheckBox* dynamicNamesBox() const { return dynNames_; }
    QCheckBox* allLayoutsBox() const { return allLayouts_; }
    QCheckBox* minsertCopiesBox() const { return minsertCopies_; }
    QCheckBox* nestedBox() const { return nested_; }
    // How results are shaped: quantities, number cells, one result for all drawings.
    QCheckBox* quantitiesBox() const { return quantities_; }
    QCheckBox* numbersBox() const { return numbers_; }
    QCheckBox* combineBox() const { return combine_; }
    QLineEdit* combineName() const { return combineName_; }
    QPushButton* helpButton() const { return help_; }
    QLabel* mailLink() const { return mail_; }
    QToolButton* siteButton() const { return site_; }
    QPushButton* backButton() const { return back_; }
    TForm2* form2() const { return form2_; }
    TForm3* form3() const { return form3_; }
    TForm4* form4() const { return form4_; }

    bool running() const { return running_; }
    // True when the rules differ from those last saved or loaded.
    bool configurationChanged() const;

signals:
    // Exit has written the folder settings: the program ends.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Remembers the window's size in the settings (not while it is maximised).
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildMainPage();
    QWidget* buildSecondPage();

    void sh1Change(const QString& path);
    // Gives the attribute rules' column pick lists the column list's numbers and titles.
    void showColumnChoices();
    void fl1SelectionChange();
    void autoselToggled();
    void setFollow(bool follow);
    void browseClick();
    void BitBtn1Click();
    void exitClick();
    bool saveClick();
    void loadClick();
    void wizardClick();
    void gowizard();
    void showHelp();
    void reportChoiceChange(bool show);
    // What the run and the template import read, as the options page's boxes say.
    kelvora::ReadingChoices readingChoices() const;
    // Opens a file or an address in the desktop's default program, or says that there is none.
    void openDocument(const QUrl& document);

    // Asks whether changed rules are to be saved; false when the command must stop.
    bool changeQuestion();
    kelvora::RuleSet currentRules() const;
    void useConfiguration(const std::string& fileName);
    void showConfigurationInUse(const QString& name);
    void setDialogAlpha(bool dialogOpen);

    kelvora::ProgramPaths paths_;
    kelvora::SettingsStore& settings_;
    Prompts& prompts_;
    std::optional<std::string> remembered_;
    QString listFolder_; // the folder whose drawings the file list shows
    bool running_ = false;

    QStackedWidget* pages_ = nullptr;
    FolderTree* sh1_ = nullptr;
    QListWidget* fl1_ = nullptr;
    QCheckBox* autosel_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QLabel* selectionLabel_ = nullptr;
    QLineEdit* rep1_ = nullptr;
    QToolButton* browse_ = nullptr;
    QToolButton* follow_ = nullptr;
    QLineEdit* rep3_ = nullptr;
    QToolButton* create_ = nullptr;
    QToolButton* exit_ = nullptr;
    QToolButton* options_ = nullptr;
    BlockListEditor* blocks_ = nullptr;
    ColumnListEditor* columns_ = nullptr;
    QPushButton* wizardButton_ = nullptr;
    QToolButton* load_ = nullptr;
    QToolButton* save_ = nullptr;
    QLabel* configuration_ = nullptr;
    QRadioButton* alwaysReport_ = nullptr;
    QRadioButton* neverReport_ = nullptr;
    QCheckBox* textUtf8_ = nullptr;
    QCheckBox* textRaw_ = nullptr;
    QCheckBox* dynNames_ = nullptr;
    QCheckBox* allLayouts_ = nullptr;
    QCheckBox* minsertCopies_ = nullptr;
    QCheckBox* nested_ = nullptr;
    QCheckBox* quantities_ = nullptr;
    QCheckBox* numbers_ = nullptr;
    QCheckBox* combine_ = nullptr;
    QLineEdit* combineName_ = nullptr;
    QButtonGroup* reportChoice_ = nullptr;
    QPushButton* help_ = nullptr;
    QLabel* mail_ = nullptr;
    QToolButton* site_ = nullptr;
    QPushButton* back_ = nullptr;
    TForm2* form2_ = nullptr;
    TForm3* form3_ = nullptr;
    TForm4* form4_ = nullptr;
};
