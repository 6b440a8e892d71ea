// The window's dialogs behind one interface: message boxes, input boxes, the file-open dialog
// and the colour dialog. The program gets the Qt dialogs; tests get TestDialogs (tests/support),
// which answers from a script and records what was asked.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace platform {

enum class MsgIcon { None, Error, Warning, Information, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgResult { Ok, Yes, No };

// A file-open request. `filter` is in the "Name|*.EXT|Name|*.EX2" form of the window's
// designed dialogs.
struct OpenFileRequest {
    QString filter;
    bool multiSelect = true;
    bool hideReadOnly = true;
    bool sizeable = true;
    QString directory; // where the dialog starts; empty: wherever it last was
};

// A long operation's progress dialog with a Cancel button, open while the object lives.
class Progress {
public:
    virtual ~Progress() = default;
    // Shows that `done` steps of the total are done and lets the user act on the dialog;
    // false once the user has cancelled.
    virtual bool SetProgress(int done) = 0;
    // As SetProgress while the next step is `percent` done: a long step still shows it moves
    // and still takes a Cancel.
    virtual bool SetPartProgress(int done, int percent) {
        (void)percent;
        return SetProgress(done);
    }
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    virtual MsgResult MessageBox(QWidget* parent, const QString& text, const QString& title,
                                 MsgIcon icon, MsgButtons buttons) = 0;
    // The entered text, or nothing when the user cancelled.
    virtual std::optional<QString> InputBox(QWidget* parent, const QString& title,
                                            const QString& prompt, const QString& value) = 0;
    // The chosen files with their full paths, in the order the dialog lists them; nothing
    // on cancel.
    virtual std::optional<QStringList> OpenFiles(QWidget* parent,
                                                 const OpenFileRequest& request) = 0;
    // The confirmed colour, or nothing on cancel.
    virtual std::optional<QColor> ChooseColor(QWidget* parent, const QColor& initial) = 0;
    // A progress dialog over `total` steps, with `text` and a Cancel button; shown only when
    // the operation turns out to take a while. The default never shows and never cancels.
    virtual std::unique_ptr<Progress> ShowProgress(QWidget* parent, const QString& text, int total);
};

// The bytes of the file a dialog names by `path`. The toolkit reads file names as UTF-8, so a
// name in a code page (Latin-1 "Caf\xE9.ogg") comes back with a replacement character; each
// such part of the path is found again by listing its folder for the entry that reads as it
// does. A path that names nothing on disk is given as its UTF-8.
std::string FileNameBytes(const QString& path);

// "Ogg-Files|*.OGG|Songs (*.ogg *.mp3)|*.ogg;*.mp3" ->
// "Ogg-Files (*.ogg) (*.[oO][gG][gG]);;Songs (*.ogg *.mp3) (*.[oO][gG][gG] *.[mM][pP]3)": each
// name as it is shown, with its patterns as a person writes them unless it lists them itself,
// then the patterns the dialog matches with, in any letter case. A dialog set up by
// SetUpFileDialog shows the first part only.
QString QtFilterFromDesigned(const QString& designed);

// The least width of a dialog whose caption shows `title` whole (within the screen): a
// question asked in the title must not be cut to "Pleas... name:".
int TitleWidth(const QWidget& dialog, const QString& title);

// The file-open dialog as a request asks for it.
void SetUpFileDialog(QFileDialog& dialog, const OpenFileRequest& request);

// The top-left corner that centres a dialog of this (outer) size on `parent`'s window when
// that is shown, else on `screenArea`.
QPoint CentredCorner(QSize dialog, const QWidget* parent, const QRect& screenArea);

class QtDialogs final : public Dialogs {
public:
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
