// A notification area for tests: it records every call with the record it was given, can say
// whether a tray exists, and clicks an icon by posting the mouse report the desktop would.
#pragma once

#include "platform/NotifyShell.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class RecordingNotifyShell final : public platform::NotifyShell {
public:
    struct Call {
        uint32_t message;
        uint32_t flags;
        platform::MessageWindow* window;
        uint32_t id;
        uint32_t callbackMessage;
        qint64 iconKey; // the icon's cache key: the same icon gives the same key
        QString tip;
    };

    bool Shell_NotifyIcon(uint32_t message, const platform::NOTIFYICONDATA& data) override;
    bool SystemTrayAvailable() const override { return trayAvailable; }
    void SetContextMenu(QMenu* menu) override { contextMenu = menu; }

    // Posts `mouseMessage` (WM_LBUTTONDOWN ...) as the callback of the icon in the tray;
    // false when no icon is there.
    bool Click(uint32_t mouseMessage);
    // The icons in the tray now, by window and id.
    bool HasIcon() const { return !m_icons.empty(); }

    bool trayAvailable = true;
    std::vector<Call> calls;
    // What a right click on the icon opens at the desktop's hand.
    QPointer<QMenu> contextMenu;

private:
    std::map<std::pair<platform::MessageWindow*, uint32_t>, Call> m_icons;
};
