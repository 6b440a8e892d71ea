// The recording notification area.
#include "tests/support/RecordingNotifyShell.h"

bool RecordingNotifyShell::Shell_NotifyIcon(uint32_t message,
                                            const platform::NOTIFYICONDATA& data) {
    const Call call{message,
                    data.uFlags,
                    data.hWnd,
                    data.uID,
                    data.uCallbackMessage,
                    static_cast<qint64>(data.hIcon.cacheKey()),
                    QString::fromUtf8(data.szTip)};
    calls.push_back(call);
    const auto key = std::make_pair(data.hWnd, data.uID);
    switch (message) {
    case platform::NIM_ADD:
        return m_icons.emplace(key, call).second;
    case platform::NIM_MODIFY:
        return m_icons.count(key) != 0;
    case platform::NIM_DELETE:
        return m_icons.erase(key) != 0;
    default:
        return false;
    }
}

bool RecordingNotifyShell::Click(uint32_t mouseMessage) {
    if (m_icons.empty()) {
        return false;
    }
    const Call& icon = m_icons.begin()->second;
    return icon.window->PostMessage(icon.callbackMessage, icon.id,
                                    static_cast<platform::LPARAM>(mouseMessage));
}
