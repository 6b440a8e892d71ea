// A main window on a program directory of the test's own, started the way the program starts
// it: the built decoder libraries copied in, the library file and songs the test asks for,
// TestDialogs answering the dialogs and a TestWaveOut standing in for the sound device.
//
//   class MyTest : public FormFixture {};
//   TEST_F(MyTest, Something) {
//       WriteDatabase("Album\r\nSong,00:01,1,Song.ogg\r\n\r\n");
//       MakeOgg("Album", "Song.ogg");
//       ASSERT_TRUE(Start());
//       ... Controls(form).btnPlay->click(); ...
//       Close();                         // FormClose: settings and library written
//       EXPECT_EQ(ReadFile("Database.DAT"), ...);
//   }
#pragma once

#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include "platform/NotifyShell.h"
#include "platform/ProgramDir.h"
#include "platform/Shell.h"
#include "tests/support/TestDialogs.h"
#include "tests/support/TestWaveOut.h"
#include "tools/TestMedia.h"
#include "window/library/ShownText.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

class FormFixture : public ::testing::Test {
protected:
    using path = std::filesystem::path;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = path(TAVRO_TEST_TMP) / "form" / info->test_suite_name() / info->name();
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        for (const char* library : {"Vorbis.DLL", "MPGLib.DLL"}) {
            std::filesystem::copy_file(path(TAVRO_PROGRAM_DIR) / library, m_dir / library);
        }
        // The player loads its decoder libraries from the program directory.
        platform::SetProgramDirectory(ProgramDirText());
    }

    void TearDown() override {
        form.reset();
        platform::SetProgramDirectory(std::string(TAVRO_PROGRAM_DIR) + "/");
    }

    // The program directory with its trailing separator, as the window holds it.
    std::string ProgramDirText() const { return m_dir.string() + "/"; }
    const path& Dir() const { return m_dir; }

    // Files relative to the program directory; folders on the way are made.
    void WriteFile(const path& relative, const std::string& bytes) const {
        const path file = m_dir / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
    }
    std::string ReadFile(const path& relative) const {
        std::ifstream in(m_dir / relative, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void WriteDatabase(const std::string& bytes) const { WriteFile("Database.DAT", bytes); }
    std::string Database() const { return ReadFile("Database.DAT"); }

    // Digital silence is quick to encode, also for long songs.
    static testmedia::OggSpec SilentOgg(double seconds, int channels = 2, int rate = 44100) {
        testmedia::OggSpec spec;
        spec.channels = channels;
        spec.sampleRate = rate;
        spec.frames = static_cast<int64_t>(seconds * rate);
        spec.content = testmedia::Content::Silence;
        return spec;
    }

    // A song made by the generator: in the album folder when `album` is not empty, else in
    // the program directory's "elsewhere" folder (a file a user picks outside the library).
    path MakeOgg(const std::string& album, const std::string& fileName,
                 const testmedia::OggSpec& spec = SilentOgg(1.0)) const {
        const path file = SongFolder(album) / fileName;
        EXPECT_TRUE(testmedia::WriteOggVorbis(file, spec)) << file;
        return file;
    }
    path MakeMp3(const std::string& album, const std::string& fileName,
                 const testmedia::Mp3Spec& spec = {}) const {
        const path file = SongFolder(album) / fileName;
        EXPECT_TRUE(testmedia::WriteMp3(file, spec)) << file;
        return file;
    }
    // Builds the window and runs its creation event as the program does; false when the
    // creation refused to start.
    bool Start(platform::WaveOutDevice* device = nullptr) {
        PlayerServices services;
        services.dialogs = &dialogs;
        services.waveOut = device != nullptr ? device : &wave;
        services.shell = shell;
        services.tray = tray;
        form = std::make_unique<TPlayerForm>(ProgramDirText(), services);
        return form->FormCreate();
    }

    // The window's close, as its close button does it.
    void Close() {
        if (form) {
            form->close();
        }
    }

    // The rows of a list view as it shows them.
    static int RowCount(const QAbstractItemView* view) { return view->model()->rowCount(); }
    static QString RowText(const QAbstractItemView* view, int row, int column = 0) {
        return view->model()->index(row, column).data().toString();
    }
    // Every column's text of a list row; empty for a row that does not exist.
    static QStringList RowTexts(const QAbstractItemView* view, int row) {
        QStringList texts;
        for (int c = 0; row >= 0 && row < RowCount(view) && c < view->model()->columnCount(); ++c) {
            texts << RowText(view, row, c);
        }
        return texts;
    }
    static bool RowHasIcon(const QAbstractItemView* view, int row) {
        return !view->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>().isNull();
    }
    // The row the view shows selected; TLibrary::kNone when none.
    static int SelectedRow(const QAbstractItemView* view) {
        const QModelIndexList rows = view->selectionModel()->selectedRows();
        return rows.isEmpty() ? TLibrary::kNone : rows.first().row();
    }
    static int CurrentRow(const QAbstractItemView* view) {
        const QModelIndex current = view->currentIndex();
        return current.isValid() ? current.row() : TLibrary::kNone;
    }

    // The library's selected album (song) where the list shows the same row selected; -2
    // where the two disagree.
    int SelectedAlbumRow() const {
        const int album = TFormSeam::Library(*form).SelectedAlbum();
        return SelectedRow(Controls(*form).AlbumView) == album ? album : -2;
    }
    int SelectedSongRow() const {
        const int song = TFormSeam::Library(*form).SelectedSong();
        return SelectedRow(Controls(*form).PlayListView) == song ? song : -2;
    }

    // A song row whole: what the song list shows (name, duration) and what only the library
    // holds (whole seconds, file name), as shown text. Empty for a row that does not exist.
    QStringList SongRow(int row) const {
        const QStringList shown = RowTexts(Controls(*form).PlayListView, row);
        const TLibrary& library = TFormSeam::Library(*form);
        if (shown.isEmpty() || row >= library.SongCount()) {
            return shown;
        }
        return shown + QStringList{ShownText(library.Song(row).DurationNumber),
                                   ShownText(library.Song(row).FileName)};
    }
    // An album row whole: its name as the album list shows it, its songs' comma text and its
    // picture file name.
    QStringList AlbumRow(int row) const {
        const QStringList shown = RowTexts(Controls(*form).AlbumView, row);
        if (shown.isEmpty() || row >= TFormSeam::Library(*form).AlbumCount()) {
            return shown;
        }
        return shown + QStringList{AlbumSongs(row), AlbumPicture(row)};
    }
    QString AlbumSongs(int row) const {
        return ShownText(TFormSeam::Library(*form).Album(row).Songs);
    }
    QString AlbumPicture(int row) const {
        return ShownText(TFormSeam::Library(*form).Album(row).PicPath);
    }

    // The window on a device that plays in real time: a buffer of 2304 frames (52 ms at
    // 44.1 kHz) handed back every 52 ms, so that what is heard moves as on a sound card.
    bool StartAtRealPace() {
        if (!realPace.isActive()) {
            realPace.setInterval(52);
            QObject::connect(&realPace, &QTimer::timeout, [this] { realTime.Complete(1); });
            realPace.start();
        }
        return Start(&realTime);
    }

    platform::TestDialogs dialogs;
    // The help files' opener and the tray, for the tests that need them; none by default.
    platform::Shell* shell = nullptr;
    platform::NotifyShell* tray = nullptr;
    platform::TestWaveOut wave{platform::TestWaveOut::Completion::Immediate};
    platform::TestWaveOut realTime{platform::TestWaveOut::Completion::Manual};
    QTimer realPace;
    std::unique_ptr<TPlayerForm> form;

private:
    path SongFolder(const std::string& album) const {
        const path folder = album.empty() ? m_dir / "elsewhere" : m_dir / album;
        std::filesystem::create_directories(folder);
        return folder;
    }

    path m_dir;
};
