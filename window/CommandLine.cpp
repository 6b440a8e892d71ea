#include "window/CommandLine.h"

#include <QByteArray>
#include <QUrl>

#include <array>
#include <filesystem>
#include <string_view>

namespace {

// The toolkit's options that take a value: the value is skipped with them, never taken for a
// song. Both "-style x" and "--style x" reach the toolkit; "-style=x" carries its own value.
constexpr std::array<std::string_view, 13> kToolkitValueOptions = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "display",
    "geometry",    "qwindowgeometry",    "style",         "stylesheet", "session",
    "qwindowicon", "qwindowtitle",       "title"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"reverse", "widgetcount", "nograb",
                                                           "dograb", "sync"};

template <size_t N>
bool OneOf(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::string_view known : names) {
        if (known == name) {
            return true;
        }
    }
    return false;
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    TCommandLine line;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            line.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        // Help wins over everything else named, so that it never starts anything.
        if (arg == "--help" || arg == "-h") {
            line.action = TCommandLine::TAction::Help;
            return line;
        }
        if (arg == "--version") {
            if (line.action == TCommandLine::TAction::Run) {
                line.action = TCommandLine::TAction::Version;
            }
            continue;
        }
        std::string_view name = arg;
        name.remove_prefix(arg[1] == '-' ? 2 : 1);
        const size_t equals = name.find('=');
        const std::string_view bare = name.substr(0, equals);
        if (OneOf(kToolkitValueOptions, bare)) {
            std::string value;
            if (equals != std::string_view::npos) {
                value = std::string(name.substr(equals + 1));
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                line.action = TCommandLine::TAction::Error;
                line.error = "option " + arg + " needs a value";
                continue;
            }
            if (bare == "platform") {
                line.platform = value;
            }
            continue;
        }
        if (OneOf(kToolkitFlags, name)) {
            continue;
        }
        if (line.action != TCommandLine::TAction::Error) {
            line.action = TCommandLine::TAction::Error;
            line.error = "unknown option " + arg;
        }
    }
    // A request that cannot be read starts nothing, even beside --version.
    return line;
}

std::string CommandLineHelp() {
    return "Usage: tavro [FILE|FOLDER]...\n"
           "Plays the albums of your TAVRO library; plays the songs and folders named.\n"
           "\n"
           "A song named is added to the album named after its folder and plays; a folder\n"
           "becomes an album of its own, holding copies of its songs in name order, and\n"
           "plays from its first song. An album of that name already in the library plays\n"
           "as it is. When TAVRO runs already, it is handed what is named and comes to the\n"
           "front; this command then ends.\n"
           "\n"
           "  -h, --help     print this help and exit\n"
           "      --version  print the version and exit\n"
           "\n"
           "The toolkit's own options (-platform, -style ...) are passed on to it.\n";
}

std::string CommandLineVersion() {
    return "TAVRO " TAVRO_VERSION "\n";
}

bool DisplayExpected(const std::string& platform, const std::string& x11Display,
                     const std::string& waylandDisplay) {
    if (!x11Display.empty() || !waylandDisplay.empty()) {
        return true;
    }
    // Without a display variable only a platform that draws elsewhere can start; the first
    // one of a list the toolkit can load is the one it takes.
    size_t start = 0;
    while (start <= platform.size()) {
        size_t end = platform.find(';', start);
        if (end == std::string::npos) {
            end = platform.size();
        }
        const std::string_view name = std::string_view(platform).substr(start, end - start);
        const std::string_view plugin = name.substr(0, name.find(':'));
        if (!plugin.empty() && plugin != "xcb" && !plugin.starts_with("wayland")) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

QStringList NamedFileUris(const std::vector<std::string>& paths,
                          const std::string& workingDirectory) {
    QStringList uris;
    for (const std::string& named : paths) {
        std::filesystem::path path = named;
        if (path.is_relative()) {
            path = std::filesystem::path(workingDirectory) / path;
        }
        const std::string absolute = path.lexically_normal().string();
        // Encoded by hand: a name in another code page would not survive a detour through text.
        uris << QUrl::fromEncoded(QByteArrayLiteral("file://") +
                                  QByteArray::fromStdString(absolute).toPercentEncoding("/"))
                    .toString(QUrl::FullyEncoded);
    }
    return uris;
}
