// The notification area over QSystemTrayIcon, and the registered message numbers.
#include "platform/NotifyShell.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>

namespace platform {

void SetNotifyTip(NOTIFYICONDATA& data, std::string_view tip) {
    size_t length = std::min(tip.size(), kNotifyTipSize - 1);
    // Back off from the middle of a multi-byte character to its first byte.
    if (length < tip.size()) {
        while (length > 0 && (static_cast<unsigned char>(tip[length]) & 0xC0u) == 0x80u) {
            --length;
        }
    }
    std::memcpy(data.szTip, tip.data(), length);
    data.szTip[length] = '\0';
}

QtNotifyShell::QtNotifyShell() {
    m_trayChange.setSingleShot(true);
    m_trayChange.setInterval(0);
    QObject::connect(&m_trayChange, &QTimer::timeout, [this] {
        if (OnSystemTrayChanged) {
            OnSystemTrayChanged();
        }
    });
    // The X11 platform reports a tray appearing or going away only as a signal of its native
    // interface, a QObject whose class is not public: it is reached by the signal's name. On
    // other platforms the signal does not exist and nothing is connected.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
        if (native != nullptr &&
            native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0) {
            QObject::connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), &m_trayChange,
                             SLOT(start()));
        }
    }
}
QtNotifyShell::~QtNotifyShell() = default;

bool QtNotifyShell::SystemTrayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtNotifyShell::SetContextMenu(QMenu* menu) {
    m_contextMenu = menu;
    for (auto& [key, icon] : m_icons) {
        icon->setContextMenu(menu);
    }
}

bool QtNotifyShell::Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) {
    const Key key{data.hWnd, data.uID};
    const auto found = m_icons.find(key);
    switch (message) {
    case NIM_ADD: {
        if (found != m_icons.end() || data.hWnd == nullptr) {
            return false;
        }
        auto icon = std::make_unique<QSystemTrayIcon>();
        if (data.uFlags & NIF_ICON) {
            icon->setIcon(data.hIcon);
        }
        if (data.uFlags & NIF_TIP) {
            icon->setToolTip(QString::fromUtf8(data.szTip));
        }
        if (data.uFlags & NIF_MESSAGE) {
            MessageWindow* window = data.hWnd;
            const uint32_t callback = data.uCallbackMessage;
            const uint32_t id = data.uID;
            // Posted, as the shell does: the click is handled from the message loop, never
            // inside the toolkit's own event handling of the tray.
            QObject::connect(icon.get(), &QSystemTrayIcon::activated, icon.get(),
                             [window, callback, id](QSystemTrayIcon::ActivationReason reason) {
                                 uint32_t mouse = WM_NULL;
                                 switch (reason) {
                                 case QSystemTrayIcon::Trigger:
                                     mouse = WM_LBUTTONDOWN;
                                     break;
                                 case QSystemTrayIcon::DoubleClick:
                                     mouse = WM_LBUTTONDBLCLK;
                                     break;
                                 case QSystemTrayIcon::Context:
                                     mouse = WM_RBUTTONDOWN;
                                     break;
                                 default:
                                     return;
                                 }
                                 window->PostMessage(callback, id, static_cast<LPARAM>(mouse));
                             });
        }
        icon->setContextMenu(m_contextMenu.data());
        icon->show();
        m_icons.emplace(key, std::move(icon));
        return true;
    }
    case NIM_MODIFY:
        if (found == m_icons.end()) {
            return false;
        }
        if (data.uFlags & NIF_ICON) {
            found->second->setIcon(data.hIcon);
        }
        if (data.uFlags & NIF_TIP) {
            found->second->setToolTip(QString::fromUtf8(data.szTip));
        }
        return true;
    case NIM_DELETE:
        if (found == m_icons.end()) {
            return false;
        }
        m_icons.erase(found);
        return true;
    default:
        return false;
    }
}

uint32_t RegisterWindowMessageA(std::string_view name) {
    static std::mutex guard;
    static std::map<std::string, uint32_t> registered;
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    const std::lock_guard<std::mutex> lock(guard);
    const auto [at, added] =
        registered.emplace(key, 0xC000u + static_cast<uint32_t>(registered.size()));
    (void)added;
    return at->second;
}

} // namespace platform
