// What a new user meets first: where the song and picture dialogs open (their own music and
// pictures folders, then where they last picked), a picked file that is no song, F1 on a
// desktop without a viewer, a question asked in a dialog's title, and the Exit button that the
// panel covers in a maximised window.
#include "tests/window/FormFixture.h"

#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "tests/support/PumpUntil.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <filesystem>
#include <fstream>
#include <optional>

namespace fs = std::filesystem;

namespace {

QString Text(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// Points the user's folders of the desktop (XDG user dirs) at folders of the test's own for
// as long as it lives.
class UserFolders {
public:
    UserFolders(const fs::path& root, const fs::path& music, const fs::path& pictures)
        : m_saved(qgetenv("XDG_CONFIG_HOME")), m_had(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
        // The fonts are looked up once under the machine's own configuration; fontconfig set
        // up under the test's folders would keep memory it never gives back.
        (void)QFontDatabase::families();
        fs::create_directories(root / "config");
        std::ofstream(root / "config" / "user-dirs.dirs")
            << "XDG_MUSIC_DIR=\"" << music.string() << "\"\n"
            << "XDG_PICTURES_DIR=\"" << pictures.string() << "\"\n";
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((root / "config").string()));
    }
    ~UserFolders() {
        if (m_had) {
            qputenv("XDG_CONFIG_HOME", m_saved);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
    }

private:
    QByteArray m_saved;
    bool m_had;
};

} // namespace

class FirstUse : public FormFixture {
protected:
    void StartWithAlbum() {
        WriteDatabase("Album\r\n\r\n\r\n");
        fs::create_directories(Dir() / "Album");
        ASSERT_TRUE(Start());
        // Clicked, as a user does before adding a picture to it.
        TFormSeam::SelectRow(Controls(*form).AlbumView, 0);
        TFormSeam::AlbumViewClick(*form);
    }
    // The folder the next dialog of this button opens in; the dialog is cancelled or picks
    // `pick`.
    QString OpensIn(QPushButton* button, std::optional<QStringList> pick = std::nullopt) {
        dialogs.openAnswers.push_back(std::move(pick));
        const size_t before = dialogs.openRequests.size();
        button->click();
        if (dialogs.openRequests.size() != before + 1) {
            dialogs.openAnswers.pop_back();
            return QStringLiteral("(no dialog)");
        }
        return dialogs.openRequests.back().directory;
    }
    // The texts of the message boxes shown since the last call.
    QStringList NewMessages() {
        QStringList texts;
        for (size_t i = m_seen; i < dialogs.shown.size(); ++i) {
            if (dialogs.shown[i].kind == "MessageBox") {
                texts << dialogs.shown[i].text;
            }
        }
        m_seen = dialogs.shown.size();
        return texts;
    }

private:
    size_t m_seen = 0;
};

TEST_F(FirstUse, DialogsOpenInTheUsersFoldersFirstThenWhereTheUserLastPicked) {
    const fs::path music = Dir() / "home" / "Musik";
    const fs::path pictures = Dir() / "home" / "Bilder";
    const fs::path songs = Dir() / "home" / "Downloads" / "Live";
    const fs::path covers = Dir() / "home" / "Covers";
    for (const fs::path& folder : {music, pictures, songs, covers}) {
        fs::create_directories(folder);
    }
    UserFolders user(Dir() / "home", music, pictures);
    StartWithAlbum();
    const TPlayerControls& c = Controls(*form);

    // A first use: the user's own folders, the songs' and the pictures' each.
    EXPECT_EQ(OpensIn(c.PLLoadButton), Text(music));
    EXPECT_EQ(OpensIn(c.AlbumPicAddButton), Text(pictures));
    EXPECT_EQ(OpensIn(c.TopPicFindButton), Text(pictures));

    // A pick moves each dialog to where it was made; cancelling moves nothing.
    const fs::path song = MakeOgg("", "Song.ogg");
    fs::copy_file(song, songs / "Song.ogg");
    OpensIn(c.PLLoadButton, QStringList{Text(songs / "Song.ogg")});
    std::ofstream(covers / "front.bmp") << "no picture";
    OpensIn(c.AlbumPicAddButton, QStringList{Text(covers / "front.bmp")});
    EXPECT_EQ(OpensIn(c.PLLoadButton), Text(songs));
    EXPECT_EQ(OpensIn(c.BackPicFindButton), Text(covers)) << "one place for all pictures";
    // The song was copied into the album all the same: the library stays in the program's
    // directory.
    EXPECT_TRUE(fs::exists(Dir() / "Album" / "Song.ogg"));

    // Kept in the settings file under keys of their own, for the next start.
    Close();
    const std::string ini = ReadFile("TAVRO.INI");
    EXPECT_NE(ini.find("[Last folders]\r\nSongs=" + songs.string() +
                       "\r\nPictures=" + covers.string() + "\r\n"),
              std::string::npos)
        << ini;
    form.reset();
    ASSERT_TRUE(Start());
    EXPECT_EQ(OpensIn(Controls(*form).PLLoadButton), Text(songs));

    // A folder gone since falls back to the user's folder, and that to the home folder.
    fs::remove_all(songs);
    EXPECT_EQ(OpensIn(Controls(*form).PLLoadButton), Text(music));
    fs::remove_all(music);
    EXPECT_EQ(OpensIn(Controls(*form).PLLoadButton), QDir::homePath());
}

TEST_F(FirstUse, ASettingsFileWithoutTheFoldersKeepsWorkingAndGainsNoLines) {
    const std::string old =
        "[Position]\r\nLeft=10\r\nTop=20\r\n[Language]\r\nValue=English.lng\r\n";
    WriteFile("TAVRO.INI", old);
    StartWithAlbum();
    EXPECT_FALSE(OpensIn(Controls(*form).PLLoadButton).startsWith(Text(Dir() / "Album")));
    Close();
    EXPECT_EQ(ReadFile("TAVRO.INI").find("Last folders"), std::string::npos);
}

TEST_F(FirstUse, APickedFileThatIsNoSongIsNamedOrCounted) {
    StartWithAlbum();
    const fs::path song = MakeOgg("", "Real.ogg");
    const fs::path notes = Dir() / "elsewhere" / "notes.txt";
    const fs::path fake = Dir() / "elsewhere" / "fake.ogg";
    const fs::path cover = Dir() / "elsewhere" / "cover.jpg";
    for (const fs::path& file : {notes, fake, cover}) {
        std::ofstream(file) << "no song";
    }
    struct Case {
        QStringList picked;
        QStringList messages;
        int rowsAdded;
    };
    const Case cases[] = {
        {{Text(song)}, {}, 1},
        {{Text(notes)}, {"\"notes.txt\" is not a song TAVRO can play."}, 0},
        {{Text(fake)}, {"\"fake.ogg\" is not a song TAVRO can play."}, 0},
        {{Text(song), Text(notes)}, {"\"notes.txt\" is not a song TAVRO can play."}, 1},
        {{Text(notes), Text(cover), Text(fake)},
         {"Files passed over, not songs TAVRO can play: 3"},
         0},
    };
    for (const Case& c : cases) {
        const int rows = RowCount(Controls(*form).PlayListView);
        OpensIn(Controls(*form).PLLoadButton, c.picked);
        EXPECT_EQ(NewMessages(), c.messages) << c.picked.join(", ").toStdString();
        EXPECT_EQ(RowCount(Controls(*form).PlayListView), rows + c.rowsAdded);
    }

    // In the language of the script.
    fs::create_directories(Dir() / "LScripts");
    fs::copy_file(fs::path(TAVRO_SOURCE_DIR) / "resources" / "LScripts" / "German.lng",
                  Dir() / "LScripts" / "German.lng");
    TFormSeam::UseLanguageScript(*form, (Dir() / "LScripts" / "German.lng").string());
    OpensIn(Controls(*form).PLLoadButton, QStringList{Text(notes)});
    EXPECT_EQ(NewMessages(),
              QStringList({"\"notes.txt\" ist kein Titel, den TAVRO abspielen kann."}));
}

TEST_F(FirstUse, F1WithNothingToOpenTheHelpSaysWhereItIs) {
    platform::TestShell opener;
    shell = &opener;
    WriteFile("Hilfe/Help-Eng.rtf", "{\\rtf1 help}");
    WriteDatabase("");
    ASSERT_TRUE(Start());
    NewMessages();
    struct Case {
        bool opens;
        bool fileThere;
        bool told;
    };
    for (const Case c :
         {Case{true, true, false}, Case{false, true, true}, Case{false, false, false}}) {
        opener.opens = c.opens;
        if (!c.fileThere) {
            fs::remove(Dir() / "Hilfe" / "Help-Eng.rtf");
        }
        const size_t opened = opener.opened.size();
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        f1.setTimestamp(static_cast<unsigned long>(opened + 1)); // a new press each time
        QApplication::sendEvent(Controls(*form).btnPlay, &f1);
        EXPECT_EQ(opener.opened.size(), opened + 1) << "the desktop is always asked first";
        const QStringList told = NewMessages();
        if (c.told) {
            ASSERT_EQ(told.size(), 1);
            EXPECT_EQ(told[0], "No program here opens the help file. It is here:\n" +
                                   Text(Dir() / "Hilfe" / "Help-Eng.rtf"));
        } else {
            EXPECT_TRUE(told.isEmpty()) << told.join("|").toStdString();
        }
    }
}

TEST(InputBoxTitle, AQuestionInTheTitleIsNotCut) {
    platform::QtDialogs dialogs;
    for (const QString& title : {QStringLiteral("Please enter album name:"),
                                 QStringLiteral("Bitte den neuen Namen des Albums eingeben:")}) {
        int width = 0;
        int needed = 0;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (box != nullptr) {
                QFont bold = box->font();
                bold.setBold(true);
                // The caption's buttons and icon take about 100 pixels beside the title.
                needed = QFontMetrics(bold).horizontalAdvance(title) + 100;
                width = box->frameGeometry().width();
                box->reject();
            }
        });
        EXPECT_EQ(dialogs.InputBox(nullptr, title, QStringLiteral("Name:"), QString()),
                  std::nullopt);
        EXPECT_GT(needed, 100);
        EXPECT_GE(width, needed) << title.toStdString();
    }
}

TEST_F(FirstUse, TheExitButtonStaysUnderThePanelWhateverTheWindowsSize) {
    ASSERT_TRUE(Start());
    form->show();
    ASSERT_TRUE(
        PumpUntil([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }));
    const TPlayerControls& c = Controls(*form);
    ASSERT_EQ(c.btnExit->parentWidget(), c.PlayerPanel->parentWidget());
    const QPoint designed = c.btnExit->pos() - c.PlayerPanel->pos();
    for (const QSize size : {QSize(1280, 1000), QSize(1920, 1080), QSize(640, 460)}) {
        form->setMinimumSize(0, 0);
        form->resize(size);
        ASSERT_TRUE(PumpUntil([&] { return form->size() == size; }));
        EXPECT_TRUE(c.PlayerPanel->geometry().contains(c.btnExit->geometry())) << size.width();
        EXPECT_EQ(c.btnExit->pos() - c.PlayerPanel->pos(), designed);
    }
    form->showMaximized();
    PumpUntil([&] { return form->isMaximized(); });
    EXPECT_TRUE(c.PlayerPanel->geometry().contains(c.btnExit->geometry()));
}
