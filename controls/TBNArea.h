// TTBNArea: the program's icon in the desktop's notification area (the system tray), with a
// tool-tip, turning clicks on the icon into events or pop-up menus.
//
// The component speaks to the tray through platform::NotifyShell only; clicks come back as
// the callback message posted to its own hidden message window, so they are handled from the
// message loop like every other window message.
#pragma once

#include "platform/MessageWindow.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {
class NotifyShell;
}

enum TChangeKind { ckIcon = 0, ckTip = 1 };

class TTBNArea : public QObject {
    Q_OBJECT
public:
    // `shell` may be null: then there is no tray and nothing is ever sent.
    explicit TTBNArea(platform::NotifyShell* shell, QObject* owner = nullptr);
    ~TTBNArea() override;

    // After the stored properties of a designed component have been set: puts the icon in
    // the tray when enabled.
    void Loaded();

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool enabled);
    const QIcon& Icon() const { return m_icon; }
    void SetIcon(const QIcon& icon);
    // The tool-tip; the tray shows its first 63 characters.
    const QString& Tip() const { return m_tip; }
    void SetTip(const QString& tip);
    bool PopupOnBoth = false;
    // The menus are referenced, not owned; a menu that is destroyed is forgotten.
    QMenu* PopupMenuL() const { return m_popupMenuL; }
    void SetPopupMenuL(QMenu* menu) { m_popupMenuL = menu; }
    QMenu* PopupMenuR() const { return m_popupMenuR; }
    void SetPopupMenuR(QMenu* menu) { m_popupMenuR = menu; }

    std::function<void(TTBNArea* sender, TChangeKind kind)> OnChange;
    std::function<void(TTBNArea* sender, TChangeKind kind, bool& allow)> OnChanging;
    std::function<void(TTBNArea* sender)> OnLeftClick;
    std::function<void(TTBNArea* sender)> OnRightClick;
    std::function<void(TTBNArea* sender)> OnDblClick;

    // The message the tray's mouse reports arrive with, and the window they are posted to.
    uint32_t CallbackMessage() const { return m_callbackMessage; }
    platform::MessageWindow* NotifyWindow() const { return m_notifyWindow.get(); }

protected:
    virtual void DoChange(TChangeKind kind);
    virtual void DoChanging(TChangeKind kind, bool& allow);
    virtual void DoLeftClick();
    virtual void DoRightClick();
    virtual void DoDblClick();

private:
    enum class PopupSide { Left, Right };

    platform::LRESULT WindowProc(uint32_t message, platform::WPARAM wParam,
                                 platform::LPARAM lParam);
    void NotifyShell(uint32_t message, uint32_t flags);
    void ShowPopup(PopupSide side);

    platform::NotifyShell* m_shell;
    uint32_t m_callbackMessage;
    std::unique_ptr<platform::MessageWindow> m_notifyWindow;
    bool m_enabled = true;
    QIcon m_icon;
    QString m_tip;
    QPointer<QMenu> m_popupMenuL;
    QPointer<QMenu> m_popupMenuR;
};
