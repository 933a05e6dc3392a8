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

    FolderTree* tree() const { return m_tree; }
    QLabel* pathLabel() const { return m_path; }
    QPushButton* selectButton() const { return m_select; }
    QPushButton* cancelButton() const { return m_cancel; }

    // The folder chosen with "Select " (the tree's selection when the dialog was accepted).
    QString chosenPath() const;

private:
    void treeChange(const QString& path);

    FolderTree* m_tree;
    QLabel* m_path;
    QPushButton* m_select;
    QPushButton* m_cancel;
};
