// A temporary program folder with its own settings scope, and small drawings written on the
// fly, for tests that drive the real windows.
#pragma once

#include "configuration/configuration.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

struct TestInsert {
    using Attributes = QList<QPair<QByteArray, QByteArray>>; // tag, value
    TestInsert(QByteArray blockName, QByteArray layerName = "0", Attributes tags = {})
        : name(std::move(blockName)), layer(std::move(layerName)), attributes(std::move(tags)) {}
    QByteArray name;
    QByteArray layer;
    Attributes attributes;
};

// A drawing in the text form: an entities section holding the inserts.
inline QByteArray drawing(const QList<TestInsert>& inserts) {
    QByteArray text = "0\r\nSECTION\r\n2\r\nENTITIES\r\n";
    for (const TestInsert& insert : inserts) {
        text += "0\r\nINSERT\r\n8\r\n" + insert.layer + "\r\n";
        if (!insert.attributes.isEmpty())
            text += "66\r\n1\r\n";
        text += "2\r\n" + insert.name + "\r\n10\r\n0.0\r\n20\r\n0.0\r\n30\r\n0.0\r\n";
        for (const auto& [tag, value] : insert.attributes)
            text += "0\r\nATTRIB\r\n8\r\n0\r\n1\r\n" + value + "\r\n2\r\n" + tag + "\r\n";
        if (!insert.attributes.isEmpty())
            text += "0\r\nSEQEND\r\n";
    }
    return text + "0\r\nENDSEC\r\n0\r\nEOF\r\n";
}

// Clicks a check box on its box: a click beyond its text does not count.
inline void tick(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// The program folder of one test: "configurations" and "samples" inside, and user settings
// kept in the folder too, never in the real user's.
class TestProgram {
public:
    TestProgram() {
        QDir(dir_.path()).mkpath(QStringLiteral("configurations"));
        QDir(dir_.path()).mkpath(QStringLiteral("samples"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           dir_.filePath(QStringLiteral("settings")));
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           dir_.filePath(QStringLiteral("settings")));
        paths = kelvora::ProgramPaths::forFolder(dir_.path().toStdString() + "/");
    }

    QString path(const QString& relative) const { return dir_.filePath(relative); }

    void write(const QString& relative, const QByteArray& bytes) const {
        QDir(dir_.path()).mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path(relative)));
        file.write(bytes);
    }

    QByteArray read(const QString& relative) const {
        QFile file(path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Names a configuration in "kelvora.ini" and writes it into the configurations folder.
    void useConfiguration(const QString& name, const QByteArray& content) const {
        write(QStringLiteral("configurations/") + name, content);
        write(QStringLiteral("kelvora.ini"), name.toUtf8() + "\r\n");
    }

    kelvora::ProgramPaths paths;

private:
    QTemporaryDir dir_;
};

// One rule taking 'DOOR*' blocks, tag 'REF' to column 1; titles 'Ref'.
inline const QByteArray kDoorConfiguration = "1\r\nRef\r\n1\r\nDOOR*\r\n1\r\n*\r\nAny Space\r\n"
                                             "REF\r\n1\r\n";
