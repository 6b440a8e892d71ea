// The lock decides who runs; the bus only carries the request to come to the front.
#include "window/SingleInstance.h"

#include "window/settings/Settings.h"

#include "platform/Profile.h"
#include "platform/ProgramDir.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QThread>

#include <filesystem>

namespace {

// How long a second start waits for a first one that holds the lock but has not offered its
// name on the bus yet (it is still starting).
constexpr int kStartingMs = 5000;
constexpr int kRetryMs = 100;
constexpr const char* kRefusal =
    "TAVRO is already running on this program directory. Only one may keep its library: close "
    "the other one first.";

} // namespace

TSingleInstance::TSingleInstance(std::string programDir, QObject* parent)
    : QObject(parent), m_programDir(std::move(programDir)) {}

QString TSingleInstance::ServiceName(const std::string& programDir) {
    // The directory as the file system knows it, so two spellings of one directory meet.
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::weakly_canonical(programDir, ec);
    if (ec) {
        dir = programDir;
    }
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(dir.string()),
                                                       QCryptographicHash::Sha256);
    return QStringLiteral(TAVRO_APP_ID ".Dir_") + QString::fromLatin1(digest.toHex().left(32));
}

QString TSingleInstance::RefusalText(const std::string& programDir) {
    const TSettings settings =
        settings::Load(platform::ResolveNoCase(programDir, "TAVRO.INI"), 0, 0);
    const std::string& script = settings.LanguageFile;
    if (script.empty() || script.find('/') != std::string::npos || script == "." ||
        script == "..") {
        return QString::fromLatin1(kRefusal);
    }
    const std::filesystem::path path =
        platform::ResolveNoCase(platform::ResolveNoCase(programDir, "LScripts"), script);
    return QString::fromStdString(
        platform::GetPrivateProfileString("Messages", kRefusal, kRefusal, path.string()));
}

TSingleInstance::TClaim TSingleInstance::Claim(const QStringList& uris) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (m_lock.Acquire(m_programDir) != platform::InstanceLock::TState::Taken) {
            return TClaim::First;
        }
        if (AskRunningToOpen(uris)) {
            return TClaim::Handed;
        }
        if (!QDBusConnection::sessionBus().isConnected() || waited.elapsed() >= kStartingMs) {
            return TClaim::Refused;
        }
        QThread::msleep(kRetryMs);
    }
}

bool TSingleInstance::AskRunningToOpen(const QStringList& uris) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        ServiceName(m_programDir), QString::fromLatin1(kObjectPath),
        QStringLiteral("org.kelmora.tavro.Window"), QStringLiteral("Open"));
    call << uris;
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kStartingMs);
    if (reply.type() == QDBusMessage::ErrorMessage &&
        reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod")) {
        // A TAVRO started before an update knows only how to come to the front.
        QDBusMessage raise = QDBusMessage::createMethodCall(
            call.service(), call.path(), call.interface(), QStringLiteral("Raise"));
        raise.setAutoStartService(false);
        return bus.call(raise, QDBus::Block, kStartingMs).type() == QDBusMessage::ReplyMessage;
    }
    return reply.type() == QDBusMessage::ReplyMessage;
}

void TSingleInstance::Serve(std::function<void(const QStringList&)> open) {
    m_open = std::move(open);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    if (bus.registerObject(QString::fromLatin1(kObjectPath), this,
                           QDBusConnection::ExportScriptableSlots)) {
        bus.registerService(ServiceName(m_programDir));
    }
}

void TSingleInstance::Raise() {
    Open({});
}

void TSingleInstance::Open(const QStringList& uris) {
    // The caller is answered at once; copying what it named takes a while.
    if (m_open) {
        m_open(uris);
    }
}
