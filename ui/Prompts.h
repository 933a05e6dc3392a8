// Everything the windows ask of the desktop: message boxes, file dialogs and opening a
// document in its default program. The program uses the Qt versions; tests give their own
// answers.
#pragma once

#include <QString>

#include <optional>

class QUrl;
class QWidget;

enum class Answer { Yes, No, Cancel };

struct FileDialogRequest {
    QString title;
    QString filter;        // Qt form, e.g. "DXF files (*.dxf)"
    QString directory;     // initial folder; empty: the dialog's own choice
    QString defaultSuffix; // appended when the user types a name without one
};

class Prompts {
public:
    virtual ~Prompts() = default;

    virtual void information(QWidget* parent, const QString& text) = 0;
    virtual void error(QWidget* parent, const QString& text) = 0;
    // Yes, No and Cancel; closing the question counts as Cancel.
    virtual Answer question(QWidget* parent, const QString& text) = 0;
    // Save dialog that asks before replacing an existing file.
    virtual std::optional<QString> saveFileName(QWidget* parent,
                                                const FileDialogRequest& request) = 0;
    virtual std::optional<QString> openFileName(QWidget* parent,
                                                const FileDialogRequest& request) = 0;
    // Hands a file or an address to the desktop's default program, without waiting for it.
    // False when the desktop has no program for it.
    virtual bool openUrl(const QUrl& url) = 0;
};

class QtPrompts : public Prompts {
public:
    void information(QWidget* parent, const QString& text) override;
    void error(QWidget* parent, const QString& text) override;
    Answer question(QWidget* parent, const QString& text) override;
    std::optional<QString> saveFileName(QWidget* parent, const FileDialogRequest& request) override;
    std::optional<QString> openFileName(QWidget* parent, const FileDialogRequest& request) override;
    bool openUrl(const QUrl& url) override;
};
