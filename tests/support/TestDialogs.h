// Scriptable dialogs for tests: every request is recorded; answers are taken from queues
// filled by the test (an empty queue answers OK / No, cancel).
#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <vector>

namespace platform {

class TestDialogs final : public Dialogs {
public:
    struct Shown {
        QString kind; // "MessageBox", "InputBox", "OpenFiles", "ChooseColor", "Progress"
        QString text;
        QString title;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
    };

    std::deque<MsgResult> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<std::optional<QStringList>> openAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::vector<Shown> shown;
    std::vector<OpenFileRequest> openRequests;
    // A progress dialog answers Cancel once this many steps are reported done; never when
    // unset. Every step reported is recorded, for every dialog in turn.
    std::optional<int> cancelProgressAt;
    std::vector<int> progressSteps;
    std::vector<int> partPercents; // how far each long step was reported to be, in percent
    int progressTotal = -1;        // the total of the last progress dialog shown

    MsgResult MessageBox(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override;
    std::optional<QString> InputBox(QWidget* parent, const QString& title, const QString& prompt,
                                    const QString& value) override;
    std::optional<QStringList> OpenFiles(QWidget* parent, const OpenFileRequest& request) override;
    std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) override;
    std::unique_ptr<Progress> ShowProgress(QWidget* parent, const QString& text,
                                           int total) override;
};

} // namespace platform
