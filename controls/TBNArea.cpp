// The tray icon component: its shell calls, the veto on changes and the click dispatch.
#include "controls/TBNArea.h"

#include "platform/NotifyShell.h"

#include <QCursor>
#include <QMenu>

namespace {

constexpr uint32_t kIconId = 1;
constexpr uint32_t kAllFlags = platform::NIF_MESSAGE | platform::NIF_ICON | platform::NIF_TIP;

} // namespace

TTBNArea::TTBNArea(platform::NotifyShell* shell, QObject* owner)
    : QObject(owner), m_shell(shell),
      m_callbackMessage(platform::RegisterWindowMessageA("NSM_NewTNIMessage")),
      m_notifyWindow(std::make_unique<platform::MessageWindow>(
          [this](uint32_t message, platform::WPARAM wParam, platform::LPARAM lParam) {
              return WindowProc(message, wParam, lParam);
          })) {}

TTBNArea::~TTBNArea() {
    if (m_enabled) {
        NotifyShell(platform::NIM_DELETE, kAllFlags);
    }
}

void TTBNArea::Loaded() {
    if (m_enabled) {
        NotifyShell(platform::NIM_ADD, kAllFlags);
    }
}

void TTBNArea::SetEnabled(bool enabled) {
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    NotifyShell(enabled ? platform::NIM_ADD : platform::NIM_DELETE, kAllFlags);
}

void TTBNArea::SetIcon(const QIcon& icon) {
    if (&icon == &m_icon || icon.cacheKey() == m_icon.cacheKey()) {
        return; // the very same icon
    }
    bool allow = true;
    DoChanging(ckIcon, allow);
    if (!allow) {
        return;
    }
    m_icon = icon;
    if (m_enabled) {
        NotifyShell(platform::NIM_MODIFY, platform::NIF_ICON);
        DoChange(ckIcon);
    }
}

void TTBNArea::SetTip(const QString& tip) {
    if (tip == m_tip) {
        return;
    }
    bool allow = true;
    DoChanging(ckTip, allow);
    if (!allow) {
        return;
    }
    m_tip = tip;
    if (m_enabled) {
        NotifyShell(platform::NIM_MODIFY, platform::NIF_TIP);
        DoChange(ckTip);
    }
}

void TTBNArea::DoChange(TChangeKind kind) {
    if (OnChange) {
        OnChange(this, kind);
    }
}

void TTBNArea::DoChanging(TChangeKind kind, bool& allow) {
    allow = true;
    if (OnChanging) {
        OnChanging(this, kind, allow);
    }
}

void TTBNArea::DoLeftClick() {
    if (m_popupMenuL) {
        ShowPopup(PopupSide::Left);
    } else if (OnLeftClick) {
        OnLeftClick(this);
    }
}

void TTBNArea::DoRightClick() {
    if (m_popupMenuL && PopupOnBoth) {
        ShowPopup(PopupSide::Left);
    } else if (m_popupMenuR) {
        ShowPopup(PopupSide::Right);
    } else if (OnRightClick) {
        OnRightClick(this);
    }
}

void TTBNArea::DoDblClick() {
    if (OnDblClick) {
        OnDblClick(this);
    }
}

void TTBNArea::ShowPopup(PopupSide side) {
    // A toolkit pop-up closes by itself when the user clicks elsewhere, so the window need
    // not be brought forward first, and no empty message is needed to end its loop.
    QMenu* menu = side == PopupSide::Left ? m_popupMenuL.data() : m_popupMenuR.data();
    if (menu != nullptr) {
        menu->popup(QCursor::pos());
    }
}

platform::LRESULT TTBNArea::WindowProc(uint32_t message, platform::WPARAM,
                                       platform::LPARAM lParam) {
    if (message != m_callbackMessage) {
        return 0;
    }
    switch (static_cast<uint32_t>(lParam) & 0xFFFFu) {
    case platform::WM_LBUTTONDOWN:
        DoLeftClick();
        break;
    case platform::WM_LBUTTONDBLCLK:
        DoDblClick();
        break;
    case platform::WM_RBUTTONDOWN:
        DoRightClick();
        break;
    default:
        break; // moves, button releases and the middle button mean nothing here
    }
    return 0;
}

void TTBNArea::NotifyShell(uint32_t message, uint32_t flags) {
    if (m_shell == nullptr) {
        return;
    }
    platform::NOTIFYICONDATA data;
    data.hWnd = m_notifyWindow.get();
    data.uID = kIconId;
    data.uFlags = flags;
    data.uCallbackMessage = m_callbackMessage;
    data.hIcon = m_icon;
    platform::SetNotifyTip(data, m_tip.toStdString());
    m_shell->Shell_NotifyIcon(message, data); // the shell's answer changes nothing here
}
