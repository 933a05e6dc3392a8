// The Kelvora program: the main window and its three dialogs on the configuration and the
// extraction engine.
#include "configuration/configuration.h"
#include "ui/Prompts.h"
#include "ui/QtSettingsStore.h"
#include "ui/xyz1.h"

#include <QApplication>
#include <QScreen>

#include <clocale>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kelvora"));
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    // Numbers are always formatted with "." whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");

    QtSettingsStore settings;
    QtPrompts prompts;
    TForm1 window(kelvora::ProgramPaths::current(), settings, prompts);
    window.endProgramOnExit();
    window.startup();
    // The window opens in the middle of the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return QApplication::exec();
}
