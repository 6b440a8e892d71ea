// The installed tree: the program directory under PREFIX/lib/tavro, the launcher, the menu
// entry, metainfo and icons as the desktop's own validators and a theme lookup see them, and
// the Debian package CPack makes of the same tree.
#include "InstallSupport.h"

#include <QImage>
#include <QRegularExpression>

#include <set>
#include <sstream>
#include <vector>

using namespace install_test;

namespace {

const char* const kAppId = TAVRO_APP_ID;

// The files the program reads beside itself, as the build's program directory holds them.
std::map<std::string, fs::path> ExpectedProgramFiles() {
    const fs::path built = TAVRO_PROGRAM_DIR;
    std::map<std::string, fs::path> files = {
        {"tavro", built / "tavro"},
        {"Vorbis.DLL", built / "Vorbis.DLL"},
        {"MPGLib.DLL", built / "MPGLib.DLL"},
        {"TAVRO.bmp", built / "TAVRO.bmp"},
        {"BackImg.bmp", built / "BackImg.bmp"},
    };
    const fs::path resources = fs::path(TAVRO_SOURCE_DIR) / "resources";
    for (const char* folder : {"LScripts", "Hilfe"}) {
        for (const auto& entry : fs::recursive_directory_iterator(resources / folder)) {
            if (entry.is_regular_file()) {
                files[fs::relative(entry.path(), resources).string()] = entry.path();
            }
        }
    }
    return files;
}

// The keys of the [Desktop Entry] group, untranslated; an absent key reads as empty.
std::map<std::string, std::string> DesktopEntry(const fs::path& file) {
    std::map<std::string, std::string> keys;
    std::istringstream in(ReadFile(file));
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
        } else if (const auto eq = line.find('='); inGroup && eq != std::string::npos) {
            keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    for (const char* key : {"Name", "GenericName", "Exec", "Icon", "Categories", "MimeType"}) {
        keys.try_emplace(key);
    }
    return keys;
}

} // namespace

TEST(Install, PutsExactlyTheProgramFilesUnderLibTavroAndTheLauncherInBin) {
    const fs::path prefix = Scratch("Layout") / "prefix";
    ASSERT_TRUE(InstallInto(prefix));

    const auto installed = Tree(prefix / "lib" / "tavro");
    const auto expected = ExpectedProgramFiles();
    std::set<std::string> installedNames;
    for (const auto& [name, contents] : installed) {
        installedNames.insert(name);
    }
    std::set<std::string> expectedNames;
    for (const auto& [name, source] : expected) {
        expectedNames.insert(name);
        EXPECT_TRUE(installed.count(name) == 1 && installed.at(name) == ReadFile(source))
            << name << " is missing or differs from " << source;
    }
    // Nothing of a developer's own runs (settings, library, albums) goes into the install.
    EXPECT_EQ(installedNames, expectedNames);

    const auto launcher = fs::status(prefix / "bin" / "tavro").permissions();
    EXPECT_NE(launcher & fs::perms::others_exec, fs::perms::none);
    const auto program = fs::status(prefix / "lib" / "tavro" / "tavro").permissions();
    EXPECT_NE(program & fs::perms::others_exec, fs::perms::none);
}

TEST(Install, MenuEntryAndMetainfoPassTheDesktopsValidators) {
    const fs::path prefix = Scratch("Validators") / "prefix";
    ASSERT_TRUE(InstallInto(prefix));
    const fs::path desktop = prefix / "share/applications" / (std::string(kAppId) + ".desktop");
    const fs::path metainfo = prefix / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml");
    ASSERT_TRUE(fs::exists(desktop));
    ASSERT_TRUE(fs::exists(metainfo));

    const Outcome entry = RunCommand(Tool("desktop-file-validate"), {Q(desktop)});
    EXPECT_EQ(entry.exitCode, 0) << entry.out << entry.err;
    // The validator passes files with hints; the menu entry has none.
    EXPECT_EQ(entry.out + entry.err, "");

    const Outcome info =
        RunCommand(Tool("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                          QStringLiteral("--pedantic"), Q(metainfo)});
    EXPECT_EQ(info.exitCode, 0) << info.out << info.err;
    EXPECT_EQ(info.out.find("W:"), std::string::npos) << info.out;
}

// The validators check the form; these are the names that must agree across the files: the
// entry starts the installed launcher and shows the installed icon, and the metainfo launches
// this entry.
TEST(Install, MenuEntryStartsTheLauncherAndShowsTheInstalledIcon) {
    const fs::path prefix = Scratch("Entry") / "prefix";
    ASSERT_TRUE(InstallInto(prefix));
    const std::string desktopName = std::string(kAppId) + ".desktop";
    const auto entry = DesktopEntry(prefix / "share/applications" / desktopName);

    EXPECT_EQ(entry.at("Name"), "TAVRO");
    EXPECT_EQ(entry.at("GenericName"), "Audio Player");
    const std::string exec = entry.at("Exec");
    EXPECT_TRUE(fs::exists(prefix / "bin" / exec.substr(0, exec.find(' ')))) << exec;
    EXPECT_EQ(entry.at("Categories"), "AudioVideo;Audio;Player;");
    EXPECT_EQ(entry.at("MimeType"), "audio/ogg;audio/mpeg;audio/flac;audio/x-opus+ogg;");

    const std::string icon = entry.at("Icon");
    for (const int size : {48, 128, 256}) {
        const fs::path file = prefix / "share/icons/hicolor" /
                              (std::to_string(size) + "x" + std::to_string(size)) / "apps" /
                              (icon + ".png");
        const QImage image(Q(file));
        ASSERT_FALSE(image.isNull()) << file;
        EXPECT_EQ(image.size(), QSize(size, size)) << file;
        EXPECT_TRUE(image.hasAlphaChannel()) << file;
        // Drawn, not blank: the corner is clear and the middle is painted.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << file;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << file;
    }

    const std::string metainfo =
        ReadFile(prefix / "share/metainfo" / (std::string(kAppId) + ".metainfo.xml"));
    EXPECT_NE(metainfo.find("<launchable type=\"desktop-id\">" + desktopName + "</launchable>"),
              std::string::npos);
    EXPECT_NE(metainfo.find("<release version=\"" TAVRO_VERSION "\""), std::string::npos);
}

TEST(Package, DebianPackageNamesTheRuntimeLibrariesAndHoldsTheInstalledTree) {
    const fs::path out = Scratch("Package");
    const Outcome cpack = RunCommand(
        QStringLiteral(TAVRO_CPACK_COMMAND),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
         QStringLiteral(TAVRO_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), Q(out)},
        {}, 600000);
    ASSERT_EQ(cpack.exitCode, 0) << cpack.out << cpack.err;

    const Outcome arch =
        RunCommand(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
    ASSERT_EQ(arch.exitCode, 0);
    const fs::path deb = out / ("tavro_" TAVRO_VERSION "_" +
                                QString::fromStdString(arch.out).trimmed().toStdString() + ".deb");
    ASSERT_TRUE(fs::exists(deb)) << deb << "\n" << cpack.out;

    const Outcome info = RunCommand(Tool("dpkg-deb"), {QStringLiteral("--info"), Q(deb)});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const QString control = QString::fromStdString(info.out);
    const QRegularExpressionMatch depends =
        QRegularExpression(QStringLiteral("^ Depends: (.*)$"), QRegularExpression::MultilineOption)
            .match(control);
    ASSERT_TRUE(depends.hasMatch()) << info.out;
    std::set<std::string> packages;
    for (const QString& item : depends.captured(1).split(QLatin1Char(','))) {
        packages.insert(item.trimmed().section(QLatin1Char(' '), 0, 0).toStdString());
    }
    // Qt 6 (the widgets, the media-player service's D-Bus and the X11 platform plugin that is
    // loaded at run time), ALSA, and the two decoders' libraries.
    for (const char* runtime :
         {"libqt6core6", "libqt6gui6", "libqt6widgets6", "qt6-qpa-plugins", "libasound2",
          "libvorbisfile3", "libvorbis0a", "libogg0", "libmpg123-0", "libc6", "libstdc++6"}) {
        EXPECT_EQ(packages.count(runtime), 1u) << runtime << " missing in: " << info.out;
    }
    EXPECT_NE(control.indexOf(QStringLiteral(" Package: tavro\n")), -1) << info.out;
    EXPECT_NE(control.indexOf(QStringLiteral(" Version: " TAVRO_VERSION "\n")), -1) << info.out;

    const Outcome contents = RunCommand(Tool("dpkg-deb"), {QStringLiteral("--contents"), Q(deb)});
    ASSERT_EQ(contents.exitCode, 0) << contents.err;
    const std::string id = kAppId;
    for (const std::string& file : std::vector<std::string>{
             "./usr/bin/tavro", "./usr/lib/tavro/tavro", "./usr/lib/tavro/Vorbis.DLL",
             "./usr/lib/tavro/MPGLib.DLL", "./usr/lib/tavro/LScripts/English.lng",
             "./usr/share/applications/" + id + ".desktop",
             "./usr/share/metainfo/" + id + ".metainfo.xml",
             "./usr/share/icons/hicolor/256x256/apps/" + id + ".png"}) {
        EXPECT_NE(contents.out.find(" " + file + "\n"), std::string::npos) << file;
    }

    // Debian's own check of a package: not one error or warning (copyright, changelog, the
    // manual page, maintainer scripts, hardening, the description).
    const QString lintian = Tool("lintian");
    ASSERT_FALSE(lintian.isEmpty()) << "lintian is not installed (scripts/install-deps.sh)";
    const Outcome checked =
        RunCommand(lintian, {QStringLiteral("--fail-on"), QStringLiteral("error,warning"), Q(deb)},
                   {}, 600000);
    EXPECT_EQ(checked.exitCode, 0) << checked.out << checked.err;
    EXPECT_EQ(checked.out.find("E: "), std::string::npos) << checked.out;
    EXPECT_EQ(checked.out.find("W: "), std::string::npos) << checked.out;
}
