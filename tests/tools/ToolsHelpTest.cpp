// Every program the build makes answers --help, -h and --version on the terminal, exit 0,
// without taking the word for a directory or a file to write.
#include <gtest/gtest.h>

#include <QProcess>

#include <filesystem>

namespace fs = std::filesystem;

TEST(ToolsHelp, EveryToolAnswersHelpAndVersionAndWritesNothing) {
    const fs::path scratch = fs::path(TAVRO_TEST_TMP) / "tools" / "ToolsHelp";
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    for (const char* tool :
         {TOOL_MAKE_DEMO_LIBRARY, TOOL_MAKE_TEST_MEDIA, TOOL_MEDIAINFO, TOOL_MAKE_ART}) {
        const std::string name = fs::path(tool).filename().string();
        for (const char* option : {"--help", "-h", "--version"}) {
            QProcess process;
            process.setWorkingDirectory(QString::fromStdString(scratch.string()));
            process.start(QString::fromLatin1(tool), {QString::fromLatin1(option)});
            ASSERT_TRUE(process.waitForFinished(60000)) << name << " " << option;
            EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << name << " " << option;
            EXPECT_EQ(process.exitCode(), 0) << name << " " << option;
            const QString out = QString::fromUtf8(process.readAllStandardOutput());
            EXPECT_TRUE(
                option == std::string("--version")
                    ? out == QString::fromStdString(name + " (TAVRO) " TAVRO_VERSION "\n")
                    : out.startsWith(QStringLiteral("usage: ") + QString::fromStdString(name)))
                << name << " " << option << ": " << out.toStdString();
            EXPECT_TRUE(fs::is_empty(scratch)) << name << " " << option << " wrote a file";
        }
        // An unknown option is a mistake said on stderr, not a directory to fill.
        QProcess process;
        process.setWorkingDirectory(QString::fromStdString(scratch.string()));
        process.start(QString::fromLatin1(tool), {QStringLiteral("--bogus")});
        ASSERT_TRUE(process.waitForFinished(60000)) << name;
        EXPECT_NE(process.exitCode(), 0) << name;
        EXPECT_TRUE(fs::is_empty(scratch)) << name << " --bogus wrote a file";
    }
}
