// The program's entry: the application object, the main window, the message loop.
#include "window/PlayProg.h"

#include "window/SingleInstance.h"

#include "platform/Dialogs.h"
#include "platform/GuiToolkit.h"
#include "platform/NotifyShell.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <csignal>
#include <unistd.h>

namespace {

int g_closePipe[2] = {-1, -1};

void RequestClose(int) {
    const char byte = 1;
    ssize_t written = ::write(g_closePipe[1], &byte, 1);
    (void)written;
}

} // namespace

int main(int argc, char** argv) {
    // Beyond a file-size limit a write is to fail and the old file to stay (the writers check
    // every write), not the program to die on the signal while it saves at close.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::PrepareGuiToolkit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TAVRO"));
    // The desktop finds the menu entry, and with it the icon, under this name.
    QApplication::setDesktopFileName(QStringLiteral(TAVRO_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/art/TAVRO.png")));

    platform::QtDialogs dialogs;
    platform::QtShell shell;
    platform::QtNotifyShell tray; // outlives the window, whose tray icon it holds
    PlayerServices services;
    services.dialogs = &dialogs;
    services.shell = &shell;
    services.tray = &tray;
    // The wave-output device: null means the system's device.
    services.waveOut = nullptr;
    services.mediaService = true;

    // A second start on the same program directory (a second menu click) brings the running
    // window to the front instead of keeping a second copy of the library.
    TSingleInstance instance(platform::ProgramDirectory());
    switch (instance.Claim()) {
    case TSingleInstance::TClaim::First:
        break;
    case TSingleInstance::TClaim::Handed:
        return 0;
    case TSingleInstance::TClaim::Refused:
        dialogs.MessageBox(nullptr, TSingleInstance::RefusalText(platform::ProgramDirectory()),
                           QApplication::applicationName(), platform::MsgIcon::Error,
                           platform::MsgButtons::Ok);
        return 1;
    }

    TPlayerForm form(platform::ProgramDirectory(), services);
    if (!form.FormCreate()) {
        return 0;
    }

    // SIGTERM and SIGINT (the session ending, Ctrl+C in a terminal) close the window the way
    // its close button does, so the settings and the library are still written.
    std::unique_ptr<QSocketNotifier> closeNotifier;
    if (::pipe(g_closePipe) == 0) {
        closeNotifier = std::make_unique<QSocketNotifier>(g_closePipe[0], QSocketNotifier::Read);
        QObject::connect(closeNotifier.get(), &QSocketNotifier::activated, &form, [&form] {
            char byte = 0;
            ssize_t got = ::read(g_closePipe[0], &byte, 1);
            (void)got;
            form.close();
            QApplication::quit();
        });
        std::signal(SIGTERM, RequestClose);
        std::signal(SIGINT, RequestClose);
    }

    instance.Serve([&form] { form.TrayIconLeftClick(); });

    if (form.ShowMainForm()) {
        form.show();
    }
    return QApplication::exec();
}
