// What the install tests share: running a command and reading what it said, installing the
// build into a scratch prefix, and reading whole files.
#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

namespace install_test {

namespace fs = std::filesystem;

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `program` to its end (bounded), with `env` over the test's own environment; a value of
// std::nullopt removes the variable.
inline Outcome RunCommand(const QString& program, const QStringList& args,
                          const std::map<QString, std::optional<QString>>& env = {},
                          int deadlineMs = 120000) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env) {
        if (value) {
            environment.insert(name, *value);
        } else {
            environment.remove(name);
        }
    }
    process.setProcessEnvironment(environment);
    process.start(program, args);
    Outcome run;
    if (!process.waitForStarted(deadlineMs)) {
        run.err = "cannot start " + program.toStdString();
        return run;
    }
    run.finished = process.waitForFinished(deadlineMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(deadlineMs);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

inline QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// A desktop tool the test command installs (scripts/install-deps.sh); its absence is a fault
// of the machine, reported as such rather than skipped.
inline QString Tool(const char* name) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    EXPECT_FALSE(found.isEmpty()) << name << " is not installed (scripts/install-deps.sh)";
    return found;
}

// A fresh, empty scratch directory for one test.
inline fs::path Scratch(const std::string& name) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "install" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// `cmake --install` of this build into `prefix`; true when it succeeded.
inline bool InstallInto(const fs::path& prefix) {
    const Outcome run = RunCommand(QStringLiteral(TAVRO_CMAKE_COMMAND),
                                   {QStringLiteral("--install"), QStringLiteral(TAVRO_BUILD_DIR),
                                    QStringLiteral("--prefix"), Q(prefix)});
    EXPECT_TRUE(run.finished && run.exitCode == 0) << run.out << run.err;
    return run.finished && run.exitCode == 0;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

// Every regular file below `root`, by its path relative to `root`, with its contents.
inline std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
        }
    }
    return files;
}

} // namespace install_test
