// One TAVRO per program directory. Two windows on the same library would each write their own
// library file and the one written last would erase what the other added. The program
// directory's lock (platform::InstanceLock) says who runs there; over the session bus a second
// start asks the running window to come to the front and ends. Two different program
// directories run side by side: the lock and the bus name are the directory's own.
#pragma once

#include "platform/InstanceLock.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class TSingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kelmora.tavro.Window")

public:
    enum class TClaim {
        First,   // nobody else runs on the directory: start
        Handed,  // the running window was brought to the front: end quietly
        Refused, // another runs on it and could not be reached: end, saying why
    };

    explicit TSingleInstance(std::string programDir, QObject* parent = nullptr);

    // Before the window is made. A start that finds TAVRO running hands it `uris` (file
    // addresses of songs and folders to play; none: it only comes to the front).
    TClaim Claim(const QStringList& uris = {});
    // For the first start, once its window exists: later starts' requests run `open` with
    // what they name (nothing: only to come to the front). Without a session bus they cannot
    // reach it; the lock still turns them away.
    void Serve(std::function<void(const QStringList& uris)> open);

    // The message a refused start shows, in the language the settings name.
    static QString RefusalText(const std::string& programDir);
    // The bus name of the TAVRO running on `programDir`.
    static QString ServiceName(const std::string& programDir);
    static constexpr const char* kObjectPath = "/org/kelmora/tavro/Window";

public Q_SLOTS:
    Q_SCRIPTABLE void Raise();
    Q_SCRIPTABLE void Open(const QStringList& uris);

private:
    bool AskRunningToOpen(const QStringList& uris);

    std::string m_programDir;
    platform::InstanceLock m_lock;
    std::function<void(const QStringList&)> m_open;
};
