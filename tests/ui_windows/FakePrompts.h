// Answers the windows' questions and dialogs from queues and records what was asked.
#pragma once

#include "ui/Prompts.h"

#include <QQueue>
#include <QStringList>
#include <QUrl>

struct FakePrompts : Prompts {
    QStringList informations;
    QStringList errors;
    QStringList questions;
    QList<FileDialogRequest> fileDialogs;
    QList<QUrl> opened;
    QQueue<Answer> answers;                     // empty: Cancel
    QQueue<std::optional<QString>> chosenFiles; // empty: the dialog is cancelled

    void information(QWidget*, const QString& text) override { informations << text; }
    void error(QWidget*, const QString& text) override { errors << text; }
    Answer question(QWidget*, const QString& text) override {
        questions << text;
        return answers.isEmpty() ? Answer::Cancel : answers.dequeue();
    }
    std::optional<QString> saveFileName(QWidget*, const FileDialogRequest& request) override {
        return nextFile(request);
    }
    std::optional<QString> openFileName(QWidget*, const FileDialogRequest& request) override {
        return nextFile(request);
    }
    bool openUrl(const QUrl& url) override {
        opened << url;
        return desktopOpens;
    }
    bool desktopOpens = true;

private:
    std::optional<QString> nextFile(const FileDialogRequest& request) {
        fileDialogs << request;
        return chosenFiles.isEmpty() ? std::nullopt : chosenFiles.dequeue();
    }
};
