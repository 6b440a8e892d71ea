// Drag and drop of Ogg Vorbis files onto the song list: the dropped songs go to the selected
// album exactly as chosen files of the add button go (AddSongFiles), so naming, lengths and
// rules are one.
#include "window/SongDrop.h"

#include "window/PlayProg.h"
#include "window/SongFiles.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QTreeWidget>

QStringList DroppedSongFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile()) {
            continue;
        }
        const QString file = url.toLocalFile();
        if (UpperExtension(file.toStdString()) == ".OGG") {
            files.append(file);
        }
    }
    return files;
}

namespace {

// Watches the song list's viewport, where a view's drags arrive.
class TSongDropFilter : public QObject {
public:
    explicit TSongDropFilter(TPlayerForm* form) : QObject(form), m_form(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            // A drag the list will not take shows as refused while it hovers.
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!Songs(drag->mimeData()).isEmpty()) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList files = Songs(drop->mimeData());
            if (files.isEmpty()) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Measuring the songs opens each one; the file manager is told the drop is
            // taken first rather than waiting for that.
            QTimer::singleShot(0, m_form, [form = m_form, files] { form->AddSongFiles(files); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    // Nothing goes in without a selected album: the rows would be lost with the next album.
    QStringList Songs(const QMimeData* data) const {
        if (data == nullptr || !data->hasUrls() || m_form->SelectedAlbum() == nullptr) {
            return {};
        }
        return DroppedSongFiles(data->urls());
    }

    TPlayerForm* m_form;
};

} // namespace

void TPlayerForm::SetUpSongDrop() {
    PlayListView->setAcceptDrops(true);
    PlayListView->viewport()->setAcceptDrops(true);
    PlayListView->viewport()->installEventFilter(new TSongDropFilter(this));
}
