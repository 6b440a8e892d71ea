// The program's entry: the application object, the main window, the message loop.
#include "window/PlayProg.h"

#include "window/CommandLine.h"
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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

int g_closePipe[2] = {-1, -1};

// While the toolkit looks for its display, its failure is one line and exit 1 (its own answer
// is an abort and a core dump); what else it says meanwhile is passed on once it has started.
bool g_startingToolkit = false;
QtMessageHandler g_toolkitHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_startMessages;

void StartingToolkitMessage(QtMsgType type, const QMessageLogContext& context,
                            const QString& message) {
    if (!g_startingToolkit) {
        if (g_toolkitHandler != nullptr) {
            g_toolkitHandler(type, context, message);
        }
        return;
    }
    if (type == QtFatalMsg) {
        std::fputs("tavro: cannot open a window: no display could be reached (DISPLAY or "
                   "WAYLAND_DISPLAY)\n",
                   stderr);
        ::_exit(1);
    }
    g_startMessages.emplace_back(type, message);
}

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The songs and folders named that are there; the others are said on stderr and left out.
std::vector<std::string> ExistingPaths(const std::vector<std::string>& named,
                                       const std::string& workingDirectory) {
    std::vector<std::string> paths;
    for (const std::string& path : named) {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::path(workingDirectory) / path, ec)) {
            paths.push_back(path);
        } else {
            std::fprintf(stderr, "tavro: %s: no such file or folder\n", path.c_str());
        }
    }
    return paths;
}

void RequestClose(int) {
    const char byte = 1;
    ssize_t written = ::write(g_closePipe[1], &byte, 1);
    (void)written;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before anything is made or read: help and the version touch no file, and
    // without a display nothing is started that would abort.
    const TCommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
    case TCommandLine::TAction::Help:
        std::fputs(CommandLineHelp().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::fputs(CommandLineVersion().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Error:
        std::fprintf(stderr, "tavro: %s\nTry 'tavro --help' for more information.\n",
                     line.error.c_str());
        return 2;
    case TCommandLine::TAction::Run:
        break;
    }
    const std::string platformName =
        line.platform.empty() ? EnvironmentText("QT_QPA_PLATFORM") : line.platform;
    if (!DisplayExpected(platformName, EnvironmentText("DISPLAY"),
                         EnvironmentText("WAYLAND_DISPLAY"))) {
        std::fputs("tavro: cannot open a window: no display (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set)\n",
                   stderr);
        return 1;
    }
    // The installed launcher starts the program in its own directory and names the one the
    // command was given in; names relative to it are found from there.
    std::string workingDirectory = EnvironmentText("TAVRO_CALLER_DIR");
    ::unsetenv("TAVRO_CALLER_DIR"); // not handed on to what the program starts
    std::error_code cwdError;
    if (workingDirectory.empty() || workingDirectory.front() != '/') {
        workingDirectory = std::filesystem::current_path(cwdError).string();
    }
    const QStringList named =
        NamedFileUris(ExistingPaths(line.paths, workingDirectory), workingDirectory);

    // Beyond a file-size limit a write is to fail and the old file to stay (the writers check
    // every write), not the program to die on the signal while it saves at close.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::PrepareGuiToolkit();
    g_toolkitHandler = qInstallMessageHandler(StartingToolkitMessage);
    g_startingToolkit = true;
    QApplication app(argc, argv);
    g_startingToolkit = false;
    for (const auto& [type, message] : g_startMessages) {
        StartingToolkitMessage(type, QMessageLogContext(), message);
    }
    g_startMessages.clear();
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

    // A second start on the same program directory (a second menu click, "Open with") hands
    // the running window what it names and brings it to the front instead of keeping a
    // second copy of the library.
    TSingleInstance instance(platform::ProgramDirectory());
    switch (instance.Claim(named)) {
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

    instance.Serve([&form](const QStringList& uris) { form.OpenNamedUris(uris); });

    if (form.ShowMainForm()) {
        form.show();
    }
    if (!named.isEmpty()) {
        form.OpenNamedUris(named);
    }
    return QApplication::exec();
}
