#include "platform/GuiToolkit.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QtGlobal>

TEST(GuiToolkit, SendsPaintsThroughTheSocketUnlessTheUserChoseOtherwise) {
    const QByteArray before = qgetenv("QT_XCB_NO_MITSHM");
    const bool wasSet = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");

    qunsetenv("QT_XCB_NO_MITSHM");
    platform::PrepareGuiToolkit();
    EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), "1");

    qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("0"));
    platform::PrepareGuiToolkit();
    EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), "0") << "the user's own setting stands";

    if (wasSet) {
        qputenv("QT_XCB_NO_MITSHM", before);
    } else {
        qunsetenv("QT_XCB_NO_MITSHM");
    }
}
