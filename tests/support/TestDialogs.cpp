// Scripted answers for the dialogs.
#include "tests/support/TestDialogs.h"

namespace platform {

namespace {

template <typename T> T TakeOr(std::deque<T>& queue, T fallback) {
    if (!queue.empty()) {
        std::swap(fallback, queue.front());
        queue.pop_front();
    }
    return fallback;
}

class TestProgress final : public Progress {
public:
    explicit TestProgress(TestDialogs& dialogs) : m_dialogs(dialogs) {}
    bool SetProgress(int done) override {
        m_dialogs.progressSteps.push_back(done);
        return !(m_dialogs.cancelProgressAt && done >= *m_dialogs.cancelProgressAt);
    }
    bool SetPartProgress(int done, int percent) override {
        m_dialogs.partPercents.push_back(percent);
        return SetProgress(done);
    }

private:
    TestDialogs& m_dialogs;
};

} // namespace

MsgResult TestDialogs::MessageBox(QWidget*, const QString& text, const QString& title, MsgIcon icon,
                                  MsgButtons buttons) {
    shown.push_back({QStringLiteral("MessageBox"), text, title, icon, buttons});
    return TakeOr(messageAnswers, buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok);
}

std::optional<QString> TestDialogs::InputBox(QWidget*, const QString& title, const QString& prompt,
                                             const QString&) {
    shown.push_back({QStringLiteral("InputBox"), prompt, title, MsgIcon::None, MsgButtons::Ok});
    return TakeOr(inputAnswers, std::optional<QString>());
}

std::optional<QStringList> TestDialogs::OpenFiles(QWidget*, const OpenFileRequest& request) {
    shown.push_back(
        {QStringLiteral("OpenFiles"), request.filter, {}, MsgIcon::None, MsgButtons::Ok});
    openRequests.push_back(request);
    return TakeOr(openAnswers, std::optional<QStringList>());
}

std::optional<QColor> TestDialogs::ChooseColor(QWidget*, const QColor&) {
    shown.push_back({QStringLiteral("ChooseColor"), {}, {}, MsgIcon::None, MsgButtons::Ok});
    return TakeOr(colorAnswers, std::optional<QColor>());
}

std::unique_ptr<Progress> TestDialogs::ShowProgress(QWidget*, const QString& text, int total) {
    shown.push_back({QStringLiteral("Progress"), text, {}, MsgIcon::None, MsgButtons::Ok});
    progressTotal = total;
    return std::make_unique<TestProgress>(*this);
}

} // namespace platform
