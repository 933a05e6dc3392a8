#include "ui/Prompts.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {
// The application title, the caption of every message box.
const QString kTitle = QStringLiteral("Kelvora");
} // namespace

void QtPrompts::information(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, kTitle, text);
}

void QtPrompts::error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, kTitle, text);
}

Answer QtPrompts::question(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Information, kTitle, text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

namespace {

std::optional<QString> runFileDialog(QWidget* parent, const FileDialogRequest& request,
                                     QFileDialog::AcceptMode mode) {
    QFileDialog dialog(parent, request.title, request.directory, request.filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> QtPrompts::saveFileName(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, QFileDialog::AcceptSave);
}

std::optional<QString> QtPrompts::openFileName(QWidget* parent, const FileDialogRequest& request) {
    return runFileDialog(parent, request, QFileDialog::AcceptOpen);
}

bool QtPrompts::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
