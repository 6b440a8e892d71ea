// The program's entry: the application object, the main window, the message loop.
#include "window/PlayProg.h"

#include "platform/Dialogs.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVRO"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/TAVRO.png")));

    platform::QtDialogs dialogs;
    platform::QtShell shell;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.shell = &shell;
    // The wave-output device: null means the system's device.
    services.waveOut = nullptr;

    TPlayerForm form(platform::ProgramDirectory(), services);
    if (!form.FormCreate()) {
        return 0;
    }
    if (form.ShowMainForm()) {
        form.show();
    }
    return QApplication::exec();
}
