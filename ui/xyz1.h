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
    QStackedWidget* pages() const { return m_pages; }
    FolderTree* sh1() const { return m_sh1; }
    QListWidget* fl1() const { return m_fl1; }
    QCheckBox* autosel() const { return m_autosel; }
    QLabel* folderLabel() const { return m_folderLabel; }
    QLabel* selectionLabel() const { return m_selectionLabel; }
    QLineEdit* rep1() const { return m_rep1; }
    QToolButton* browseButton() const { return m_browse; }
    QToolButton* followButton() const { return m_follow; }
    QLineEdit* rep3() const { return m_rep3; }
    QToolButton* createButton() const { return m_create; }
    QToolButton* exitButton() const { return m_exit; }
    QToolButton* optionsButton() const { return m_options; }
    BlockListEditor* blockList() const { return m_blocks; }
    ColumnListEditor* columnList() const { return m_columns; }
    QPushButton* wizardButton() const { return m_wizardButton; }
    QToolButton* loadButton() const { return m_load; }
    QToolButton* saveButton() const { return m_save; }
    QLabel* configurationLabel() const { return m_configuration; }
    QRadioButton* alwaysShowReport() const { return m_alwaysReport; }
    QRadioButton* neverShowReport() const { return m_neverReport; }
    QCheckBox* textUtf8() const { return m_textUtf8; }
    QCheckBox* textRaw() const { return m_textRaw; }
    // How drawings are read: dynamic block names, every layout, array copies, nested blocks.
    QCheckBox* dynamicNamesBox() const { return m_dynNames; }
    QCheckBox* allLayoutsBox() const { return m_allLayouts; }
    QCheckBox* minsertCopiesBox() const { return m_minsertCopies; }
    QCheckBox* nestedBox() const { return m_nested; }
    // How results are shaped: quantities, number cells, one result for all drawings.
    QCheckBox* quantitiesBox() const { return m_quantities; }
    QCheckBox* numbersBox() const { return m_numbers; }
    QCheckBox* combineBox() const { return m_combine; }
    QLineEdit* combineName() const { return m_combineName; }
    QPushButton* helpButton() const { return m_help; }
    QLabel* mailLink() const { return m_mail; }
    QToolButton* siteButton() const { return m_site; }
    QPushButton* backButton() const { return m_back; }
    TForm2* form2() const { return m_form2; }
    TForm3* form3() const { return m_form3; }
    TForm4* form4() const { return m_form4; }

    bool running() const { return m_running; }
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

    kelvora::ProgramPaths m_paths;
    kelvora::SettingsStore& m_settings;
    Prompts& m_prompts;
    std::optional<std::string> m_remembered;
    QString m_listFolder; // the folder whose drawings the file list shows
    bool m_running = false;

    QStackedWidget* m_pages = nullptr;
    FolderTree* m_sh1 = nullptr;
    QListWidget* m_fl1 = nullptr;
    QCheckBox* m_autosel = nullptr;
    QLabel* m_folderLabel = nullptr;
    QLabel* m_selectionLabel = nullptr;
    QLineEdit* m_rep1 = nullptr;
    QToolButton* m_browse = nullptr;
    QToolButton* m_follow = nullptr;
    QLineEdit* m_rep3 = nullptr;
    QToolButton* m_create = nullptr;
    QToolButton* m_exit = nullptr;
    QToolButton* m_options = nullptr;
    BlockListEditor* m_blocks = nullptr;
    ColumnListEditor* m_columns = nullptr;
    QPushButton* m_wizardButton = nullptr;
    QToolButton* m_load = nullptr;
    QToolButton* m_save = nullptr;
    QLabel* m_configuration = nullptr;
    QRadioButton* m_alwaysReport = nullptr;
    QRadioButton* m_neverReport = nullptr;
    QCheckBox* m_textUtf8 = nullptr;
    QCheckBox* m_textRaw = nullptr;
    QCheckBox* m_dynNames = nullptr;
    QCheckBox* m_allLayouts = nullptr;
    QCheckBox* m_minsertCopies = nullptr;
    QCheckBox* m_nested = nullptr;
    QCheckBox* m_quantities = nullptr;
    QCheckBox* m_numbers = nullptr;
    QCheckBox* m_combine = nullptr;
    QLineEdit* m_combineName = nullptr;
    QButtonGroup* m_reportChoice = nullptr;
    QPushButton* m_help = nullptr;
    QLabel* m_mail = nullptr;
    QToolButton* m_site = nullptr;
    QPushButton* m_back = nullptr;
    TForm2* m_form2 = nullptr;
    TForm3* m_form3 = nullptr;
    TForm4* m_form4 = nullptr;
};
