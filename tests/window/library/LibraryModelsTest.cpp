// The library's lists as item models: every edit of the library reaches a view as the matching
// model signals (never a reset where rows were only added, removed, changed or moved), and the
// selection is the library's both ways.
#include "window/library/LibraryModels.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// What a view hears of a model, one line a signal (the "about to" ones the tester checks).
class TRecorder {
public:
    explicit TRecorder(TLibraryListModel& model) : m_model(model) {
        const auto add = [this](std::string line) { log.push_back(std::move(line)); };
        const auto rows = [](const char* what, int first, int last) {
            return std::string(what) + ' ' + std::to_string(first) + '-' + std::to_string(last);
        };
        QObject::connect(&model, &QAbstractItemModel::modelReset, [add] { add("reset"); });
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [=](const QModelIndex&, int f, int l) { add(rows("insert", f, l)); });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [=](const QModelIndex&, int f, int l) { add(rows("remove", f, l)); });
        QObject::connect(&model, &QAbstractItemModel::rowsMoved,
                         [=](const QModelIndex&, int f, int l, const QModelIndex&, int to) {
                             add(rows("move", f, l) + '>' + std::to_string(to));
                         });
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [=](const QModelIndex& from, const QModelIndex& to) {
                             add(rows("change", from.row(), to.row()) + " columns " +
                                 std::to_string(to.column() - from.column() + 1));
                         });
        QObject::connect(&model, &TLibraryListModel::SelectionChanged, [add] { add("select"); });
    }

    // The rows as shown: every column's text joined by '|'.
    QStringList Rows() const {
        QStringList rows;
        for (int r = 0; r < m_model.rowCount(); ++r) {
            QStringList texts;
            for (int c = 0; c < m_model.columnCount(); ++c) {
                texts << m_model.index(r, c).data().toString();
            }
            rows << texts.join(QLatin1Char('|'));
        }
        return rows;
    }

    // The row the selection model shows selected, when it is also the current row; -2 when
    // they differ.
    int Shown() {
        const QModelIndexList selected = m_model.Selection()->selectedIndexes();
        const QModelIndex current = m_model.Selection()->currentIndex();
        if (selected.isEmpty()) {
            return current.isValid() ? -2 : TLibrary::kNone;
        }
        const bool whole = selected.size() == m_model.columnCount();
        return whole && current.row() == selected.first().row() ? current.row() : -2;
    }

    Log log;

private:
    TLibraryListModel& m_model;
};

// Model warnings (a wrong begin/end pair, a bad index) fail the test that caused them.
std::vector<std::string> g_warnings;
void CollectWarnings(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtDebugMsg && type != QtInfoMsg) {
        g_warnings.push_back(message.toStdString());
    }
}

struct TModels {
    TLibrary library;
    TAlbumListModel albums{library};
    TSongListModel songs{library};
    TRecorder albumLog{albums};
    TRecorder songLog{songs};
    QAbstractItemModelTester albumTester{&albums,
                                         QAbstractItemModelTester::FailureReportingMode::Warning};
    QAbstractItemModelTester songTester{&songs,
                                        QAbstractItemModelTester::FailureReportingMode::Warning};

    // What the user does in a view: selects a row through its selection model.
    static void Pick(TLibraryListModel& model, int row) {
        model.Selection()->setCurrentIndex(
            model.index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

const char* const kThreeAlbums = "Rock\r\nIntro,01:12,72,Intro.ogg,Blue,00:05,5,Blue.ogg\r\n\r\n"
                                 "Jazz\r\nTake,02:00,120,Take.ogg\r\n\r\n"
                                 "Caf\xE9\r\n\r\n\r\n";

} // namespace

TEST(LibraryModels, EachEditReachesTheViewsAsItsOwnSignalsAndTheSelectionBothWays) {
    struct Case {
        const char* name;
        std::function<void(TModels&)> edit;
        Log albumSignals;
        Log songSignals;
        QStringList albumRows;
        QStringList songRows;
        int albumShown; // the selected row as the album view shows it
        int songShown;
        int albumSelected; // the library's selection after the edit
        int songSelected;
    };
    const QStringList three = {"Rock", "Jazz", QStringLiteral("Caf\u00E9")};
    const QStringList rockSongs = {"Intro|01:12", "Blue|00:05"};
    const Case cases[] = {
        {"nothing", [](TModels&) {}, {}, {}, three, rockSongs, 0, 0, 0, 0},
        {"album added",
         [](TModels& m) { m.library.AddAlbum("Pop"); },
         {"insert 3-3", "select"},
         {},
         three + QStringList{"Pop"},
         rockSongs,
         0,
         0,
         0,
         0},
        {"album renamed",
         [](TModels& m) { m.library.RenameAlbum(1, "Free Jazz"); },
         {"change 1-1 columns 1"},
         {},
         {"Rock", "Free Jazz", QStringLiteral("Caf\u00E9")},
         rockSongs,
         0,
         0,
         0,
         0},
        {"selected album removed",
         [](TModels& m) { m.library.DeleteAlbum(0); },
         {"remove 0-0", "select"},
         {},
         {"Jazz", QStringLiteral("Caf\u00E9")},
         rockSongs,
         TLibrary::kNone,
         0,
         TLibrary::kNone,
         0},
        {"album moved down with its selection",
         [](TModels& m) { m.library.MoveAlbum(0, +1); },
         {"move 1-1>0", "select"},
         {},
         {"Jazz", "Rock", QStringLiteral("Caf\u00E9")},
         rockSongs,
         1,
         0,
         1,
         0},
        {"album moved at the end: nothing",
         [](TModels& m) { m.library.MoveAlbum(2, +1); },
         {},
         {},
         three,
         rockSongs,
         0,
         0,
         0,
         0},
        {"album selected in the library, its songs shown",
         [](TModels& m) {
             m.library.SelectAlbum(1);
             m.library.ShowAlbum();
         },
         {"select"},
         {"reset", "select"},
         three,
         {"Take|02:00"},
         1,
         0,
         1,
         0},
        {"album picked in the view",
         [](TModels& m) { TModels::Pick(m.albums, 2); },
         {"select"},
         {},
         three,
         rockSongs,
         2,
         0,
         2,
         0},
        {"selection cleared in the library",
         [](TModels& m) { m.library.SelectAlbum(TLibrary::kNone); },
         {"select"},
         {},
         three,
         rockSongs,
         TLibrary::kNone,
         0,
         TLibrary::kNone,
         0},
        {"song added and selected",
         [](TModels& m) {
             m.library.SelectSong(m.library.AddSong({"New", "00:01", "1", "N.ogg"}));
         },
         {},
         {"insert 2-2", "select", "select"},
         three,
         rockSongs + QStringList{"New|00:01"},
         0,
         2,
         0,
         2},
        {"song renamed",
         [](TModels& m) { m.library.RenameSong(1, "Green"); },
         {},
         {"change 1-1 columns 2"},
         three,
         {"Intro|01:12", "Green|00:05"},
         0,
         0,
         0,
         0},
        {"selected song deleted: none selected",
         [](TModels& m) { m.library.DeleteSong(0); },
         {},
         {"remove 0-0", "select"},
         three,
         {"Blue|00:05"},
         0,
         TLibrary::kNone,
         0,
         TLibrary::kNone},
        {"song moved up with its selection",
         [](TModels& m) {
             m.library.SelectSong(1);
             m.library.MoveSong(1, -1);
         },
         {},
         {"select", "move 1-1>0", "select"},
         three,
         {"Blue|00:05", "Intro|01:12"},
         0,
         0,
         0,
         0},
        {"song picked in the view",
         [](TModels& m) { TModels::Pick(m.songs, 1); },
         {},
         {"select"},
         three,
         rockSongs,
         0,
         1,
         0,
         1},
        {"song list stored into its album: the album row changes",
         [](TModels& m) {
             m.library.RenameSong(0, "Opening");
             m.library.StoreSongList();
         },
         {"change 0-0 columns 1"},
         {"change 0-0 columns 2"},
         three,
         {"Opening|01:12", "Blue|00:05"},
         0,
         0,
         0,
         0},
        {"playlist shown",
         [](TModels& m) {
             m.library.ShowPlaylist({{"Listed", "03:00", "", ""}});
         },
         {},
         {"reset", "select"},
         three,
         {"Listed|03:00"},
         0,
         TLibrary::kNone,
         0,
         TLibrary::kNone},
        {"song list emptied",
         [](TModels& m) { m.library.ClearSongs(); },
         {},
         {"reset", "select"},
         three,
         {},
         0,
         TLibrary::kNone,
         0,
         TLibrary::kNone},
        {"library loaded anew",
         [](TModels& m) { m.library.Load("Solo\r\nOne,00:01,1,One.ogg\r\n\r\n"); },
         {"reset", "select"},
         {"reset", "select"},
         {"Solo"},
         {"One|00:01"},
         0,
         0,
         0,
         0},
    };
    const QtMessageHandler previous = qInstallMessageHandler(CollectWarnings);
    for (const Case& c : cases) {
        g_warnings.clear();
        TModels m;
        m.library.Load(kThreeAlbums);
        m.albumLog.log.clear();
        m.songLog.log.clear();
        c.edit(m);
        EXPECT_EQ(m.albumLog.log, c.albumSignals) << c.name;
        EXPECT_EQ(m.songLog.log, c.songSignals) << c.name;
        EXPECT_EQ(m.albumLog.Rows(), c.albumRows) << c.name;
        EXPECT_EQ(m.songLog.Rows(), c.songRows) << c.name;
        EXPECT_EQ(m.albumLog.Shown(), c.albumShown) << c.name;
        EXPECT_EQ(m.songLog.Shown(), c.songShown) << c.name;
        EXPECT_EQ(m.library.SelectedAlbum(), c.albumSelected) << c.name;
        EXPECT_EQ(m.library.SelectedSong(), c.songSelected) << c.name;
        EXPECT_EQ(g_warnings, std::vector<std::string>()) << c.name;
    }
    qInstallMessageHandler(previous);
}
