// The shell's notification area (the system tray): one icon with a tool-tip per window and
// id, added, changed and deleted by message, with mouse reports posted back to the window
// that owns the icon. The tray icon component talks only to this interface; the program
// hands in the desktop's tray, tests a recording one.
#pragma once

#include "platform/MessageWindow.h"

#include <QIcon>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <utility>

class QMenu;
class QSystemTrayIcon;

namespace platform {

inline constexpr uint32_t NIM_ADD = 0;
inline constexpr uint32_t NIM_MODIFY = 1;
inline constexpr uint32_t NIM_DELETE = 2;

inline constexpr uint32_t NIF_MESSAGE = 1;
inline constexpr uint32_t NIF_ICON = 2;
inline constexpr uint32_t NIF_TIP = 4;

// The mouse reports the shell sends with the callback message (in the low 16 bits of its
// second parameter).
inline constexpr uint32_t WM_NULL = 0x0000;
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;

inline constexpr size_t kNotifyTipSize = 64; // 63 characters and the terminating zero

// What every shell call carries. The record keeps the size of the form it was designed
// around (88 bytes); the icon is the toolkit's own.
struct NOTIFYICONDATA {
    uint32_t cbSize = 88;
    MessageWindow* hWnd = nullptr;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[kNotifyTipSize] = {};
};

// Fills szTip from a text of the system code page (UTF-8): at most 63 bytes, never a
// character cut in half, then the zero byte.
void SetNotifyTip(NOTIFYICONDATA& data, std::string_view tip);

class NotifyShell {
public:
    virtual ~NotifyShell() = default;
    // NIM_ADD, NIM_MODIFY or NIM_DELETE; false when the shell refused.
    virtual bool Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) = 0;
    // Whether the desktop has a notification area at all.
    virtual bool SystemTrayAvailable() const = 0;
    // The menu the desktop itself opens on a right click on the program's icons, as it does
    // for every tray program (its own menus follow the desktop's look and placement, which a
    // menu popped up by the program at the cursor cannot); null for none. The menu is not
    // owned. The right click is reported to the icon's window all the same.
    virtual void SetContextMenu(QMenu* menu) = 0;
    // Told, from the event loop, when the notification area may have gone or come back (a
    // panel restarting); SystemTrayAvailable says which.
    std::function<void()> OnSystemTrayChanged;
};

// The desktop's tray through QSystemTrayIcon: a press of the left button, a double click and
// a press of the right button come back as WM_LBUTTONDOWN, WM_LBUTTONDBLCLK and
// WM_RBUTTONDOWN.
class QtNotifyShell final : public NotifyShell {
public:
    QtNotifyShell();
    ~QtNotifyShell() override;
    bool Shell_NotifyIcon(uint32_t message, const NOTIFYICONDATA& data) override;
    bool SystemTrayAvailable() const override;
    void SetContextMenu(QMenu* menu) override;

private:
    using Key = std::pair<MessageWindow*, uint32_t>;
    std::map<Key, std::unique_ptr<QSystemTrayIcon>> m_icons;
    QPointer<QMenu> m_contextMenu;
    // Started by the X11 platform's report that the tray's window changed; its timeout tells
    // OnSystemTrayChanged once the toolkit has put its own icons back.
    QTimer m_trayChange;
};

// A message number of its own for a name, the same for the same name (letter case aside)
// throughout the process, from 0xC000 upwards.
uint32_t RegisterWindowMessageA(std::string_view name);

} // namespace platform
