// What the command line asks of the program, read before any window or display exists: help,
// the version, or songs and folders to play. Qt's own options (-platform, -style ...) are left
// for the toolkit. No widgets here, so the reading is tested without a display.
#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

struct TCommandLine {
    enum class TAction {
        Run,     // start (or hand `paths` to the TAVRO that runs)
        Help,    // print HelpText, exit 0
        Version, // print VersionText, exit 0
        Error,   // print `error` and a hint, exit 2
    };
    TAction action = TAction::Run;
    // The songs and folders named, as given (the bytes of their names), in the given order.
    std::vector<std::string> paths;
    // The platform the toolkit was told to use by -platform, when it was.
    std::string platform;
    std::string error;
};

// `args` without the program's own name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string CommandLineHelp();
std::string CommandLineVersion();

// Whether the toolkit can be expected to find a display: a platform that needs none is named
// (offscreen, vnc, ...), or one of the display variables is set. `platform` is -platform's
// value, else QT_QPA_PLATFORM's (a list separated by ';' names fallbacks).
bool DisplayExpected(const std::string& platform, const std::string& x11Display,
                     const std::string& waylandDisplay);

// The named paths as file addresses the running TAVRO takes (the bytes of each name kept,
// percent-encoded), a relative one taken from `workingDirectory`.
QStringList NamedFileUris(const std::vector<std::string>& paths,
                          const std::string& workingDirectory);
