// Songs dropped on the song list: the rule that picks them from the dropped list, and the
// window taking them as the add button takes chosen files.
#include "tests/window/FormFixture.h"

#include "window/SongDrop.h"

#include "tests/support/PumpUntil.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTreeView>

namespace fs = std::filesystem;

TEST(DroppedSongFiles, TakesLocalOggAndMp3FilesInTheDroppedOrderAndPassesOverTheRest) {
    const QList<QUrl> dropped = {
        QUrl::fromLocalFile(QStringLiteral("/music/a.ogg")),
        QUrl::fromLocalFile(QStringLiteral("/music/b.mp3")),
        QUrl::fromLocalFile(QStringLiteral("/music/c.OGG")),
        QUrl(QStringLiteral("https://example.org/remote.ogg")),
        QUrl::fromLocalFile(QStringLiteral("/music/list.pli")),
        QUrl::fromLocalFile(QStringLiteral("/music/e.OgG")),
        QUrl::fromLocalFile(QStringLiteral("/music/ogg")),
        QUrl::fromLocalFile(QStringLiteral("/music/song.ogg.txt")),
        QUrl::fromLocalFile(QStringLiteral("/music/01. Intro.ogg")),
    };
    EXPECT_EQ(DroppedSongFiles(dropped),
              (std::vector<std::string>{"/music/a.ogg", "/music/b.mp3", "/music/c.OGG",
                                        "/music/e.OgG", "/music/01. Intro.ogg"}));
    EXPECT_TRUE(DroppedSongFiles({}).empty());
}

TEST(DroppedFolders, TakesLocalFoldersOnly) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "DroppedFolders";
    fs::remove_all(dir);
    fs::create_directories(dir / "Album One");
    std::ofstream(dir / "song.ogg") << "x";
    const QString folder = QString::fromStdString((dir / "Album One").string());
    EXPECT_EQ(
        DroppedFolders({QUrl::fromLocalFile(folder + "/"),
                        QUrl::fromLocalFile(QString::fromStdString((dir / "song.ogg").string())),
                        QUrl::fromLocalFile(QString::fromStdString((dir / "missing").string())),
                        QUrl(QStringLiteral("https://example.org/folder/"))}),
        std::vector<std::string>{(dir / "Album One").string()});
}

class SongDrop : public FormFixture {
protected:
    // Every song row whole, its fields joined by '|'.
    QStringList SongRows() const {
        QStringList rows;
        for (int r = 0; r < RowCount(Controls(*form).PlayListView); ++r) {
            rows << SongRow(r).join(QLatin1Char('|'));
        }
        return rows;
    }

    void StartWithAlbum() {
        WriteDatabase("Album\r\n\r\n\r\n");
        fs::create_directories(Dir() / "Album");
        ASSERT_TRUE(Start());
        ASSERT_NE(SelectedAlbumRow(), TLibrary::kNone);
    }

    std::unique_ptr<QMimeData> Files(const std::vector<fs::path>& files) const {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const fs::path& file : files) {
            urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        }
        data->setUrls(urls);
        return data;
    }

    // What a file manager's drag does over the list: enter, then the drop. Returns whether
    // the list took the drag on entering.
    bool DragOn(const QMimeData& data, bool drop = true) {
        QWidget* target = Controls(form).PlayListView->viewport();
        const QPoint middle = target->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        if (drop) {
            QDropEvent dropped(middle, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                               Qt::NoModifier);
            QCoreApplication::sendEvent(target, &dropped);
            m_dropTaken = dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
        }
        return enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    }

    bool m_dropTaken = false;
};

TEST_F(SongDrop, AddsTheDroppedSongsInOrderAsTheAddButtonDoes) {
    StartWithAlbum();
    const fs::path intro = MakeOgg("", "01. Intro.ogg", SilentOgg(72.9));
    const fs::path mp3 = MakeMp3("", "b.mp3");
    const fs::path second = MakeOgg("", "Second.OGG", SilentOgg(2.5));
    const fs::path third = MakeOgg("", "third.ogg");

    const auto data = Files({intro, mp3, second, third});
    EXPECT_TRUE(DragOn(*data));
    EXPECT_TRUE(m_dropTaken);
    ASSERT_TRUE(PumpUntil([&] { return RowCount(Controls(form).PlayListView) == 4; }));
    const QStringList dropped = SongRows();
    EXPECT_EQ(dropped, (QStringList{QStringLiteral("01|01:12|72|01. Intro.ogg"),
                                    QStringLiteral("b|00:01|1|b.mp3"),
                                    QStringLiteral("Second|00:02|2|Second.OGG"),
                                    QStringLiteral("third|00:01|1|third.ogg")}));
    EXPECT_EQ(SelectedSongRow(), 3);
    const QString stored = AlbumSongs(0);
    EXPECT_TRUE(Controls(form).PLDeleteButton->isEnabled());

    // The add button with the same files in the same order gives the same rows and store.
    TFormSeam::Library(*form).SetAlbumSongs(0, "");
    TFormSeam::ShowAlbum(*form);
    ASSERT_EQ(RowCount(Controls(form).PlayListView), 0);
    dialogs.openAnswers.push_back(QStringList{
        QString::fromStdString(intro.string()), QString::fromStdString(mp3.string()),
        QString::fromStdString(second.string()), QString::fromStdString(third.string())});
    Controls(form).PLLoadButton->click();
    EXPECT_EQ(SongRows(), dropped);
    EXPECT_EQ(AlbumSongs(0), stored);
}

TEST_F(SongDrop, RefusesWhatHoldsNoSongAndEverythingWithoutASelectedAlbum) {
    StartWithAlbum();
    const fs::path song = MakeOgg("", "Song.ogg");
    WriteFile("elsewhere/notes.txt", "x");
    WriteFile("elsewhere/list.pli", "[Songs]\r\nCount=1\r\nSong 1=From a list\r\n");
    // A playlist among the files would replace the song list: a drop never shows one.
    TFormSeam::Library(*form).AddSong({"Kept", "00:01", "1", "Kept.ogg"});

    const auto noSong = Files({Dir() / "elsewhere/notes.txt", Dir() / "elsewhere/list.pli"});
    EXPECT_FALSE(DragOn(*noSong));
    EXPECT_FALSE(m_dropTaken);

    const auto withOgg = Files({song});
    TFormSeam::SelectRow(Controls(form).AlbumView, TLibrary::kNone);
    ASSERT_EQ(SelectedAlbumRow(), TLibrary::kNone);
    EXPECT_FALSE(DragOn(*withOgg));
    EXPECT_FALSE(m_dropTaken);

    // Let anything queued run: still only the row that was there.
    QCoreApplication::processEvents();
    EXPECT_EQ(SongRows(), QStringList{QStringLiteral("Kept|00:01|1|Kept.ogg")});
}
