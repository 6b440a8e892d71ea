#include "platform/GuiToolkit.h"

#include <QByteArray>
#include <QtGlobal>

namespace platform {

void PrepareGuiToolkit() {
    // Under X11 the window's backing store is sent through shared memory by default, and
    // then every paint first waits for the server to confirm it has read the last one. The
    // banner and the rainbow repaint small areas thirty times a second while a song plays;
    // those round trips cost more than sending the few kilobytes through the socket.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) {
        qputenv("QT_XCB_NO_MITSHM", QByteArrayLiteral("1"));
    }
}

} // namespace platform
