// The destination chooser: a folder tree from which the user picks the folder where the
// result files are created.
#pragma once

#include <QDialog>

class FolderTree;
class QLabel;
class QPushButton;

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    FolderTree* tree() const { return tree_; }
    QLabel* pathLabel() const { return path_; }
    QPushButton* selectButton() const { return select_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The folder chosen with "Select " (the tree's selection when the dialog was accepted).
    QString chosenPath() const;

private:
    void treeChange(const QString& path);

    FolderTree* tree_;
    QLabel* path_;
    QPushButton* select_;
    QPushButton* cancel_;
};
