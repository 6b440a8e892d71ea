#include "platform/NotifyShell.h"

#include <gtest/gtest.h>

#include <QPixmap>

TEST(NotifyShell, RegisteredMessagesAreStablePerNameWhateverTheCase) {
    const uint32_t a = platform::RegisterWindowMessageA("NSM_NewTNIMessage");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(platform::RegisterWindowMessageA("nsm_newtnimessage"), a);
    const uint32_t b = platform::RegisterWindowMessageA("Another message");
    EXPECT_NE(b, a);
    EXPECT_GE(b, 0xC000u);
    EXPECT_EQ(platform::RegisterWindowMessageA("Another message"), b);
}

TEST(NotifyShell, TipFieldHoldsSixtyThreeBytesAndTheZero) {
    struct Case {
        std::string tip;
        std::string stored;
    };
    const Case cases[] = {
        {"", ""},
        {"Kelmora (TAVRO)", "Kelmora (TAVRO)"},
        {std::string(63, 'a'), std::string(63, 'a')},
        {std::string(64, 'a'), std::string(63, 'a')},
        {std::string(62, 'a') + "\xC3\xA4", std::string(62, 'a')}, // 2-byte character cut
        {std::string(61, 'a') + "\xC3\xA4", std::string(61, 'a') + "\xC3\xA4"}, // fits exactly
        {std::string(61, 'a') + "\xE2\x82\xAC", std::string(61, 'a')},          // 3-byte character
    };
    for (const Case& c : cases) {
        platform::NOTIFYICONDATA data;
        platform::SetNotifyTip(data, c.tip);
        EXPECT_EQ(std::string(data.szTip), c.stored) << "tip of " << c.tip.size() << " bytes";
    }
}

TEST(NotifyShell, DesktopTrayKeepsOneIconPerWindowAndId) {
    platform::QtNotifyShell shell;
    platform::MessageWindow window(
        [](uint32_t, platform::WPARAM, platform::LPARAM) { return platform::LRESULT{0}; });
    QPixmap picture(16, 16);
    picture.fill(Qt::red);
    platform::NOTIFYICONDATA data;
    data.hWnd = &window;
    data.uID = 1;
    data.uFlags = platform::NIF_MESSAGE | platform::NIF_ICON | platform::NIF_TIP;
    data.hIcon = QIcon(picture);
    platform::SetNotifyTip(data, "Tip");
    EXPECT_FALSE(shell.Shell_NotifyIcon(platform::NIM_MODIFY, data)) << "nothing to modify yet";
    EXPECT_FALSE(shell.Shell_NotifyIcon(platform::NIM_DELETE, data)) << "nothing to delete yet";
    EXPECT_TRUE(shell.Shell_NotifyIcon(platform::NIM_ADD, data));
    EXPECT_FALSE(shell.Shell_NotifyIcon(platform::NIM_ADD, data)) << "already there";
    data.uFlags = platform::NIF_TIP;
    EXPECT_TRUE(shell.Shell_NotifyIcon(platform::NIM_MODIFY, data));
    EXPECT_TRUE(shell.Shell_NotifyIcon(platform::NIM_DELETE, data));
    EXPECT_FALSE(shell.Shell_NotifyIcon(platform::NIM_DELETE, data));
    EXPECT_FALSE(shell.Shell_NotifyIcon(7, data));
}
