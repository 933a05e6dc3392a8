// Pieces shared by the program's windows: the folder tree, the white header strip of the
// dialogs, hints with their "Information" heading, and accessible names.
#pragma once

#include <QLabel>
#include <QString>
#include <QTreeView>

class QFileSystemModel;
class QIcon;
class QTimer;
class QVBoxLayout;
class QWidget;

// A tree of the file system's folders (no files), rooted at "/", with the desktop's icons.
// A right click selects the folder under the mouse.
class FolderTree : public QTreeView {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // The selected folder's path, or an empty text when nothing (or nothing that is a folder
    // of the file system) is selected.
    QString selectedPath() const;
    // Selects the folder, expands it and scrolls to it. Returns false (and leaves the
    // selection) when the path is not an existing folder.
    bool selectPath(const QString& path);

signals:
    // The selection changed; the path is empty when no folder is selected.
    void pathChanged(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scrollToShown();
    void restoreLostPath();

    QFileSystemModel* model_;
    QTimer* scrollLater_;
    // The folder selected by selectPath, kept in view while the model reads its parents
    // in the background.
    QString shownPath_;
    // The folder last announced by pathChanged.
    QString announcedPath_;
    // The selected folder while the model has dropped it for a moment.
    QString lostPath_;
};

// A label for a path: it keeps the whole path as its text but draws it shortened in the
// middle when it does not fit, so a long path never widens a fixed-size window.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    explicit PathLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Gives a control its hint (shown as a tooltip under the heading "Information") and an
// accessible name: its caption, or the hint when it shows only a picture.
void setHint(QWidget* control, const QString& hint);

// Installs, once per application, the event filter that shows every hint under the heading
// "Information".
void installHintHeading();

// Lays a dialog out as the white strip at its top (a picture, an optional bold title and a
// text) over a body; returns the body's layout for the dialog's own controls.
QVBoxLayout* layOutUnderHeaderStrip(QWidget* dialog, const QIcon& picture, const QString& title,
                                    const QString& text);

// Shows a value in a label whose accessible name is its caption followed by the value, so
// that screen readers read what the label shows.
void showLabelValue(QLabel* label, const QString& caption, const QString& value);

// The accessible name a control gets from its caption: the text without accelerator marks
// and surrounding blanks.
QString captionName(const QString& caption);
