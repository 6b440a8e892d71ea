// The real program as a process of its own: when it is up (it catches SIGTERM, which it takes
// as a request to close its window), and waiting on it without a fixed sleep.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace programprocess {

// Handles the test's own events until `done` holds or `deadlineMs` has passed, looking again
// whenever an event came and at the latest every 20 ms.
template <typename Pred> bool WaitFor(Pred done, int deadlineMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > deadlineMs) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// True once the process `pid` runs the executable `exe` and has its SIGTERM handler in place
// (the program installs it once its window exists): from then on SIGTERM closes it the normal
// way.
inline bool CatchesTerm(qint64 pid, const std::filesystem::path& exe) {
    const std::filesystem::path proc = "/proc/" + std::to_string(pid);
    std::error_code ec;
    if (std::filesystem::read_symlink(proc / "exe", ec) != exe) {
        return false;
    }
    std::ifstream in(proc / "status");
    const std::string status((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    const auto at = status.find("SigCgt:");
    if (at == std::string::npos) {
        return false;
    }
    const unsigned long long caught = std::stoull(status.substr(at + 7), nullptr, 16);
    return (caught & (1ull << (SIGTERM - 1))) != 0;
}

inline bool WaitUntilUp(QProcess& process, const std::filesystem::path& exe) {
    if (!process.waitForStarted(20000)) {
        return false;
    }
    return WaitFor([&] {
               return process.state() != QProcess::Running || CatchesTerm(process.processId(), exe);
           }) &&
           process.state() == QProcess::Running;
}

} // namespace programprocess
