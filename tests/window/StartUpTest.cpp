#include "tests/window/FormSeam.h"
#include "window/PlayProg.h"

#include "engine/MpgLibBinding.h"
#include "engine/OggPlayer.h"
#include "engine/VorbisBinding.h"
#include "platform/ProgramDir.h"
#include "tests/support/TestWaveOut.h"

#include "platform/MessageWindow.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "platform/WaveOut.h"
#include "tests/support/TestDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTextEdit>
#include <QTreeView>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace {

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// A fresh program directory with the decoder library present and an empty album library
// (without one, start-up reports it missing).
fs::path ProgramDir(const std::string& name, bool withLibrary = true) {
    const fs::path dir = fs::path(TAVRO_TEST_TMP) / "window" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    WriteAll(dir / "Database.DAT", "");
    if (withLibrary) {
        WriteAll(dir / "Vorbis.DLL", "library");
    }
    return dir;
}

bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        platform::WaitMessage(20);
    }
    return true;
}

std::string InstalledFaceOr(const char* face) {
    for (const QString& family : QFontDatabase::families()) {
        if (family.compare(QLatin1String(face), Qt::CaseInsensitive) == 0) {
            return family.toStdString();
        }
    }
    return {};
}

// A wave device with volume control whose volume the test can watch.
class VolumeDevice final : public platform::WaveOutDevice {
public:
    platform::DWORD volume = 0x40003000;
    platform::UINT waveOutGetNumDevs() override { return 1; }
    platform::MMRESULT waveOutGetDevCaps(platform::UINT, platform::WAVEOUTCAPS* caps,
                                         platform::UINT) override {
        *caps = {};
        caps->dwSupport = platform::WAVECAPS_VOLUME | platform::WAVECAPS_LRVOLUME;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutOpen(platform::HWAVEOUT*, platform::UINT,
                                   const platform::WAVEFORMATEX*, platform::WaveOutProc,
                                   platform::DWORD_PTR, platform::DWORD) override {
        return platform::MMSYSERR_NODRIVER;
    }
    platform::MMRESULT waveOutPrepareHeader(platform::HWAVEOUT, platform::WAVEHDR*,
                                            platform::UINT) override {
        return platform::MMSYSERR_INVALHANDLE;
    }
    platform::MMRESULT waveOutUnprepareHeader(platform::HWAVEOUT, platform::WAVEHDR*,
                                              platform::UINT) override {
        return platform::MMSYSERR_INVALHANDLE;
    }
    platform::MMRESULT waveOutWrite(platform::HWAVEOUT, platform::WAVEHDR*,
                                    platform::UINT) override {
        return platform::MMSYSERR_INVALHANDLE;
    }
    platform::MMRESULT waveOutReset(platform::HWAVEOUT) override {
        return platform::MMSYSERR_INVALHANDLE;
    }
    platform::MMRESULT waveOutClose(platform::HWAVEOUT) override {
        return platform::MMSYSERR_INVALHANDLE;
    }
    platform::MMRESULT waveOutGetErrorText(platform::MMRESULT, char* text,
                                           platform::UINT size) override {
        if (size > 0) {
            text[0] = '\0';
        }
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutGetVolume(platform::HWAVEOUT, platform::DWORD* v) override {
        *v = volume;
        return platform::MMSYSERR_NOERROR;
    }
    platform::MMRESULT waveOutSetVolume(platform::HWAVEOUT, platform::DWORD v) override {
        volume = v;
        return platform::MMSYSERR_NOERROR;
    }
};

struct Session {
    explicit Session(const fs::path& dir, platform::WaveOutDevice* wave = nullptr) {
        PlayerServices services;
        services.dialogs = &dialogs;
        services.waveOut = wave;
        form = std::make_unique<TPlayerForm>(dir.string(), services);
    }
    platform::TestDialogs dialogs;
    std::unique_ptr<TPlayerForm> form;
};

} // namespace

TEST(StartUp, WithoutSettingsFileClosingWritesTheDefaultFile) {
    const fs::path dir = ProgramDir("Defaults");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_TRUE(run.form->ShowMainForm());
    EXPECT_TRUE(run.dialogs.shown.empty());
    EXPECT_EQ(Controls(run.form).TopPicEdit->text(), "TAVRO.bmp");
    EXPECT_EQ(Controls(run.form).BackPicEdit->text(), "BackImg.bmp");
    EXPECT_EQ(TFormSeam::Settings(*run.form).LanguageFile, "English.lng");
    EXPECT_FALSE(
        Controls(run.form).AniImage->isHidden()); // the rainbow line is animated by default
    EXPECT_EQ(TFormSeam::TrayTip(*run.form), "Kelmora (TAVRO)");
    run.form->close();

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const int left = screen.width() / 2 - TPlayerForm::kOuterWidth / 2;
    const int top = screen.height() / 2 - TPlayerForm::kOuterHeight / 2;
    const std::string expected =
        "[Position]\r\nLeft=" + std::to_string(left) + "\r\nTop=" + std::to_string(top) +
        "\r\n"
        "[Colors]\r\n"
        "Window Color=-2147483633\r\n"
        "Player Color=12632256\r\n"
        "Time Font Color=65535\r\n"
        "Time Box Color=8388608\r\n"
        "Banner Font Color=65535\r\n"
        "Banner Color=32768\r\n"
        "Progress Bar Color 1=16776960\r\n"
        "Progress Bar Color 2=16711680\r\n"
        "[General Options]\r\n"
        "Option 0=0\r\nOption 1=0\r\nOption 2=0\r\nOption 3=0\r\nOption 4=0\r\nOption 5=0\r\n"
        "Use ReplayGain=1\r\nNo Scrolling Banner=0\r\n"
        "[Top picture]\r\nPath=TAVRO.bmp\r\n"
        "[Background picture]\r\nPath=BackImg.bmp\r\n"
        // Where the designed face is missing, a stand-in is shown, but the name is kept.
        "[Font]\r\nName=MS Sans Serif\r\n"
        "[Language]\r\nValue=English.lng\r\n";
    EXPECT_EQ(ReadAll(dir / "TAVRO.INI"), expected);
}

TEST(StartUp, SettingsAreShownInTheirControlsAndWrittenBack) {
    const fs::path dir = ProgramDir("RoundTrip");
    const std::string face = InstalledFaceOr("DejaVu Sans");
    WriteAll(dir / "tavro.ini",
             "; kept\r\n[Mine]\r\nA=1\r\n[colors]\r\nTime Box Color=0xFF0000\r\n"
             "Foo=bar\r\nPlayer Color=$FF\r\n[General Options]\r\nOption 0=1\r\nOption 2=7\r\n"
             "[Font]\r\nName=\"dejavu sans\"\r\n[Position]\r\nLeft=10\r\nTop=20\r\n"
             "[Top picture]\r\nPath=Mine.bmp\r\n[General Options]\r\nOption 4=1\r\n");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_EQ(Controls(run.form).TimeBoxColor->BrushColor(), 16711680);
    EXPECT_EQ(Controls(run.form).TimeMemo->palette().color(QPalette::Base), QColor(0, 0, 255));
    EXPECT_EQ(Controls(run.form).PlayerColor->BrushColor(), 255);
    EXPECT_EQ(OptionCheck(*run.form, 0), Qt::Checked);
    EXPECT_EQ(OptionCheck(*run.form, 2), Qt::Checked);
    EXPECT_TRUE(Controls(run.form).AniImage->isHidden()); // "No animated rainbow line"
    EXPECT_EQ(run.form->pos(), QPoint(10, 20));
    EXPECT_EQ(Controls(run.form).TopPicEdit->text(), "Mine.bmp");
    // The second [General Options] is not looked at; the first has no Option 4.
    EXPECT_FALSE(TFormSeam::TrayEnabled(*run.form));
    EXPECT_TRUE(run.form->ShowMainForm());
    if (!face.empty()) {
        EXPECT_EQ(Controls(run.form).FontCombo->currentText().toStdString(), face);
        EXPECT_EQ(Controls(run.form).btnPlay->font().family().toStdString(), face);
        EXPECT_EQ(Controls(run.form).btnPlay->font().pixelSize(), 16); // only the face changes
    }
    run.form->close();

    const std::string ini = ReadAll(dir / "tavro.ini");
    EXPECT_FALSE(fs::exists(dir / "TAVRO.INI") && fs::exists(dir / "tavro.ini") &&
                 !fs::equivalent(dir / "TAVRO.INI", dir / "tavro.ini"));
    EXPECT_NE(ini.find("; kept\r\n[Mine]\r\nA=1\r\n[colors]\r\nTime Box Color=16711680\r\n"
                       "Foo=bar\r\nPlayer Color=255\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find("Option 0=1\r\nOption 2=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Position]\r\nLeft=10\r\nTop=20\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("[Top picture]\r\nPath=Mine.bmp\r\n"), std::string::npos) << ini;
    if (!face.empty()) {
        EXPECT_NE(ini.find("[Font]\r\nName=" + face + "\r\n"), std::string::npos) << ini;
    }
}

TEST(StartUp, LanguagePresentButEmptyAppliesNoScript) {
    const fs::path dir = ProgramDir("EmptyLanguage");
    fs::create_directories(dir / "LScripts");
    WriteAll(dir / "LScripts" / "English.lng",
             "[PlayerForm]\r\nCaption=Translated\r\nbtnPlay.Caption=Go\r\n"
             "[Captions]\r\nSong name=Title\r\n");
    {
        WriteAll(dir / "TAVRO.INI", "[Language]\r\nValue=\r\n");
        Session run(dir);
        ASSERT_TRUE(run.form->FormCreate());
        EXPECT_EQ(run.form->windowTitle(), "Kelmora (TAVRO)");
        EXPECT_EQ(Controls(run.form).btnPlay->text(), "Play");
        EXPECT_EQ(
            Controls(run.form).PlayListView->model()->headerData(0, Qt::Horizontal).toString(),
            "Song name");
        EXPECT_EQ(
            Controls(run.form).PlayListView->model()->headerData(1, Qt::Horizontal).toString(),
            "Duration");
        EXPECT_TRUE(TFormSeam::LanguageScriptPath(*run.form).empty());
        EXPECT_EQ(TFormSeam::LanguageText(*run.form, "Messages", "Are you sure?"), "Are you sure?");
        EXPECT_EQ(Controls(run.form).LanguageCombo->currentIndex(), -1);
        EXPECT_EQ(Controls(run.form).LanguageCombo->count(), 1);
        run.form->close();
        EXPECT_NE(ReadAll(dir / "TAVRO.INI").find("[Language]\r\nValue=\r\n"), std::string::npos);
    }
    {
        // The same script named in the settings file is applied.
        WriteAll(dir / "TAVRO.INI", "[Language]\r\nValue=english.LNG\r\n");
        Session run(dir);
        ASSERT_TRUE(run.form->FormCreate());
        EXPECT_EQ(run.form->windowTitle(), "Translated");
        EXPECT_EQ(Controls(run.form).btnPlay->text(), "Go");
        EXPECT_EQ(
            Controls(run.form).PlayListView->model()->headerData(0, Qt::Horizontal).toString(),
            "Title");
        EXPECT_EQ(Controls(run.form).LanguageCombo->currentText(), "English.lng");
        EXPECT_EQ(TFormSeam::TrayTip(*run.form), "Kelmora (TAVRO)");
    }
}

TEST(StartUp, StartMaximizedWritesTheMaximisedCorner) {
    const fs::path dir = ProgramDir("Maximized");
    WriteAll(dir / "TAVRO.INI",
             "[Position]\r\nLeft=200\r\nTop=150\r\n[General Options]\r\nOption 5=1\r\n");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    run.form->show();
    ASSERT_TRUE(WaitFor([&] { return run.form->isMaximized() && run.form->width() > 630; }));
    const QPoint corner = run.form->pos();
    EXPECT_NE(corner, QPoint(200, 150));
    // The panel stays centred in the larger window.
    EXPECT_EQ(Controls(run.form).PlayerPanel->x(), run.form->width() / 2 - 569 / 2);
    run.form->close();
    const std::string ini = ReadAll(dir / "TAVRO.INI");
    EXPECT_NE(ini.find("Left=" + std::to_string(corner.x()) +
                       "\r\nTop=" + std::to_string(corner.y()) + "\r\n"),
              std::string::npos)
        << ini;
    EXPECT_NE(ini.find("Option 5=1"), std::string::npos);
}

TEST(StartUp, DamagedSettingsFileGivesDefaults) {
    const fs::path dir = ProgramDir("Damaged");
    std::string text("\x00\x01\xff\xfe garbage\r\n==\r\n=\r\n[\r\n]\r\n", 27);
    text += "[Colors\r\nPlayer Color=" + std::string(3000, '7') + "\r\n";
    text += "[Colors]\r\nPlayer Color=255\r\n"; // a repeated section is not looked at
    text += "[Top picture]\r\nPath=" + std::string(5000, 'p') + "\r\n";
    text += "[General Options]\r\nOption 1=yes\r\nOption 3\r\n";
    text += std::string("\xff\xfe\x00[Font]\r\n", 11);
    text += "[Background picture]\r\nPath=../../outside.bmp\r\n";
    WriteAll(dir / "TAVRO.INI", text);
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_EQ(Controls(run.form).PlayerColor->BrushColor(), 12632256);
    EXPECT_EQ(Controls(run.form).TopPicEdit->text().size(), 2047);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(OptionCheck(*run.form, i), Qt::Unchecked) << i;
    }
    EXPECT_EQ(TFormSeam::Settings(*run.form).LanguageFile, "English.lng");
    run.form->repaint(); // a background name leading outside is never opened
    run.form->close();
    const platform::ProfileFile ini = platform::ProfileFile::Load(dir / "TAVRO.INI");
    EXPECT_EQ(ini.ReadInteger("Colors", "Player Color", 0), 12632256);
    EXPECT_EQ(ini.ReadString("Top picture", "Path", "").size(), 2047u);
    EXPECT_EQ(ini.ReadString("Language", "Value", ""), "English.lng");
}

TEST(StartUp, MissingDecoderLibraryShowsTheMessageAndTouchesNothing) {
    const fs::path dir = ProgramDir("NoLibrary", false);
    const std::string ini = "[Colors]\r\nPlayer Color=1\r\n";
    const std::string db = "Album\r\n\r\n\r\n";
    WriteAll(dir / "TAVRO.INI", ini);
    WriteAll(dir / "Database.DAT", db);
    fs::create_directory(dir / "VORBIS.DLL.d");
    {
        Session run(dir);
        EXPECT_FALSE(run.form->FormCreate());
        ASSERT_EQ(run.dialogs.shown.size(), 1u);
        const auto& box = run.dialogs.shown[0];
        EXPECT_EQ(box.kind, "MessageBox");
        EXPECT_EQ(box.text, "Error : VORBIS.DLL not found in program file directory! Program "
                            "cannot be started.");
        EXPECT_EQ(box.title, "Open Error");
        EXPECT_EQ(box.icon, platform::MsgIcon::Error);
        EXPECT_EQ(box.buttons, platform::MsgButtons::Ok);
        run.form->close();
    }
    EXPECT_EQ(ReadAll(dir / "TAVRO.INI"), ini);
    EXPECT_EQ(ReadAll(dir / "Database.DAT"), db);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) {
        ++entries;
    }
    EXPECT_EQ(entries, 3);

    // Any letter case counts as present; a directory of that name does not.
    for (const char* name : {"vorbis.dll", "VORBIS.DLL", "Vorbis.Dll"}) {
        const fs::path other = ProgramDir(std::string("Library-") + name, false);
        WriteAll(other / name, "library");
        Session run(other);
        EXPECT_TRUE(run.form->FormCreate()) << name;
        EXPECT_TRUE(run.dialogs.shown.empty()) << name;
    }
    const fs::path folder = ProgramDir("LibraryFolder", false);
    fs::create_directory(folder / "VORBIS.DLL");
    Session run(folder);
    EXPECT_FALSE(run.form->FormCreate());
}

// The directory the window is given is the program directory: the player loads its decoder
// libraries from there, wherever the process thought its program directory was.
TEST(StartUp, ThePlayerLoadsItsLibrariesFromTheWindowsProgramDirectory) {
    const fs::path dir = ProgramDir("LibrariesHere", false);
    for (const char* name : {"Vorbis.DLL", "MPGLib.DLL"}) {
        const auto built = platform::FindFileNoCase(TAVRO_PROGRAM_DIR, name);
        ASSERT_TRUE(built.has_value()) << name;
        fs::copy_file(*built, dir / name);
    }
    FreeMpgLib();
    FreeVorbisLib();
    platform::SetProgramDirectory(ProgramDir("NoLibrariesHere", false).string());
    platform::TestWaveOut device;
    Session run(dir, &device);
    ASSERT_TRUE(run.form->FormCreate());
    ASSERT_NE(TFormSeam::Player(*run.form), nullptr);
    EXPECT_EQ(TFormSeam::Player(*run.form)->State(), psReady)
        << TFormSeam::Player(*run.form)->LibVersion();
    EXPECT_EQ(platform::ProgramDirectory(), dir.string() + "/");
    TFormSeam::FormClose(*run.form);
}

TEST(StartUp, VolumeFoundAtStartIsBackAfterClose) {
    const fs::path dir = ProgramDir("Volume");
    VolumeDevice wave;
    Session run(dir, &wave);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_EQ(TFormSeam::Transport(*run.form).Volume().SavedVolumeLeft(), 0x3000);
    EXPECT_EQ(TFormSeam::Transport(*run.form).Volume().SavedVolumeRight(), 0x4000);
    EXPECT_EQ(Controls(run.form).LoudnessBar->value(), -0x3000);
    EXPECT_EQ(wave.volume, 0x30003000u); // both channels at the left level
    Controls(run.form).LoudnessBar->setValue(-32768);
    EXPECT_EQ(wave.volume, 0x80008000u);
    Controls(run.form).LoudnessBar->setValue(-65535);
    EXPECT_EQ(wave.volume, 0xFFFFFFFFu);
    run.form->close();
    EXPECT_EQ(wave.volume, 0x40003000u);
}

TEST(StartUp, ShowInSystemTrayWithoutATrayStillShowsTheWindow) {
    const fs::path dir = ProgramDir("Tray");
    WriteAll(dir / "TAVRO.INI", "[General Options]\r\nOption 4=1\r\n");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_TRUE(TFormSeam::TrayEnabled(*run.form));
    ASSERT_FALSE(TFormSeam::TrayIconAvailable(*run.form));
    EXPECT_TRUE(run.form->ShowMainForm());
    EXPECT_EQ(TFormSeam::TrayTip(*run.form), "Kelmora (TAVRO)");
}

TEST(StartUp, TheWindowSeesKeysFirstAndF1OpensTheHelpOfTheLanguage) {
    const fs::path dir = ProgramDir("HelpKey");
    fs::create_directories(dir / "LScripts");
    WriteAll(dir / "LScripts" / "German.lng", "[PlayerForm]\r\n");
    WriteAll(dir / "TAVRO.INI", "[Language]\r\nValue=German.lng\r\n");
    platform::TestShell shell;
    platform::TestDialogs dialogs;
    PlayerServices services;
    services.dialogs = &dialogs;
    services.shell = &shell;
    TPlayerForm form(dir.string(), services);
    ASSERT_TRUE(form.FormCreate());
    form.show();
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(Controls(form).TopPicEdit, &f1);
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], (dir / "Hilfe" / "Help-Ger.rtf").string());
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(Controls(form).TopPicEdit, &other);
    EXPECT_EQ(shell.opened.size(), 1u);
}

TEST(StartUp, LanguageListComesFromTheScriptDirectory) {
    const fs::path dir = ProgramDir("Languages");
    {
        Session run(dir); // no "LScripts": the one default entry
        ASSERT_TRUE(run.form->FormCreate());
        ASSERT_EQ(Controls(run.form).LanguageCombo->count(), 1);
        EXPECT_EQ(Controls(run.form).LanguageCombo->itemText(0), "English.lng");
        EXPECT_EQ(Controls(run.form).LanguageCombo->currentIndex(), 0);
    }
    fs::create_directories(dir / "lscripts");
    {
        Session run(dir); // present but empty: an empty list
        ASSERT_TRUE(run.form->FormCreate());
        EXPECT_EQ(Controls(run.form).LanguageCombo->count(), 0);
    }
    WriteAll(dir / "lscripts" / "German.lng", "");
    WriteAll(dir / "lscripts" / "English.lng", "");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    QStringList names;
    for (int i = 0; i < Controls(run.form).LanguageCombo->count(); ++i) {
        names << Controls(run.form).LanguageCombo->itemText(i);
    }
    names.sort();
    EXPECT_EQ(names, QStringList({"English.lng", "German.lng"}));
}

TEST(StartUp, PicturesAndColoursChosenOnTheOptionsPageAreKept) {
    const fs::path dir = ProgramDir("Choose");
    const fs::path outside = fs::path(TAVRO_TEST_TMP) / "window" / "ChooseOutside";
    fs::remove_all(outside);
    fs::create_directories(outside);
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString((outside / "Top.bmp").string()), "BMP"));
    WriteAll(dir / "Back.bmp", "already here");
    {
        Session run(dir);
        ASSERT_TRUE(run.form->FormCreate());
        run.dialogs.openAnswers.push_back(
            QStringList{QString::fromStdString((outside / "Top.bmp").string())});
        Controls(run.form).TopPicFindButton->click();
        EXPECT_EQ(Controls(run.form).OpenDialog.Filter,
                  "Bitmap-Files|*.BMP|Pictures|*.BMP;*.JPG;*.JPEG;*.PNG");
        EXPECT_EQ(Controls(run.form).TopPicEdit->text(), "Top.bmp");
        EXPECT_EQ(ReadAll(dir / "Top.bmp"), ReadAll(outside / "Top.bmp"));
        EXPECT_EQ(Controls(run.form).PlayerImage->Picture().size(), QSize(555, 90));
        EXPECT_EQ(Controls(run.form).PlayerImage->Picture().toImage().pixelColor(300, 40),
                  QColor(Qt::red));

        // The same name again: the file beside the program is not replaced.
        WriteAll(outside / "Back.bmp", "newer");
        run.dialogs.openAnswers.push_back(
            QStringList{QString::fromStdString((outside / "Back.bmp").string())});
        Controls(run.form).BackPicFindButton->click();
        EXPECT_EQ(Controls(run.form).BackPicEdit->text(), "Back.bmp");
        EXPECT_EQ(ReadAll(dir / "Back.bmp"), "already here");

        // Cancelled: nothing changes.
        Controls(run.form).TopPicFindButton->click();
        EXPECT_EQ(Controls(run.form).TopPicEdit->text(), "Top.bmp");

        // Colours: a confirmed choice lands in the clicked shape; a cancel changes nothing.
        run.dialogs.colorAnswers.push_back(QColor(1, 2, 3));
        Controls(run.form).TimeBoxColor->OnMouseDown(Controls(run.form).TimeBoxColor);
        EXPECT_EQ(Controls(run.form).TimeBoxColor->BrushColor(), 0x030201);
        EXPECT_EQ(Controls(run.form).TimeMemo->palette().color(QPalette::Base), QColor(1, 2, 3));
        Controls(run.form).WinColor->OnMouseDown(Controls(run.form).WinColor);
        EXPECT_EQ(Controls(run.form).WinColor->BrushColor(), clBtnFace);
        EXPECT_EQ(TFormSeam::ColorDialogColor(*run.form), QColor(1, 2, 3));
        run.form->close();
    }
    const platform::ProfileFile ini = platform::ProfileFile::Load(dir / "TAVRO.INI");
    EXPECT_EQ(ini.ReadString("Top picture", "Path", ""), "Top.bmp");
    EXPECT_EQ(ini.ReadString("Background picture", "Path", ""), "Back.bmp");
    EXPECT_EQ(ini.ReadInteger("Colors", "Time Box Color", 0), 0x030201);
    EXPECT_EQ(ini.ReadInteger("Colors", "Window Color", 0), clBtnFace);
}

// A picture name from the settings file that is no UTF-8 still names its file: the picture
// shows, and the name is written back as the same bytes.
TEST(StartUp, APictureNameThatIsNoUtf8KeepsItsBytes) {
    const fs::path dir = ProgramDir("Latin1Picture");
    const std::string name = "Bild\xE4.bmp";
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(QString::fromStdString((dir / "made.bmp").string()), "BMP"));
    fs::rename(dir / "made.bmp", dir / name);
    WriteAll(dir / "TAVRO.INI", "[Top picture]\r\nPath=" + name +
                                    "\r\n[Background picture]\r\n"
                                    "Path=Hinter\xFC.bmp\r\n");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    EXPECT_EQ(Controls(run.form).PlayerImage->Picture().toImage().pixelColor(300, 40),
              QColor(Qt::red));
    EXPECT_EQ(TFormSeam::Settings(*run.form).TopPicture, name);
    run.form->close();
    const platform::ProfileFile ini = platform::ProfileFile::Load(dir / "TAVRO.INI");
    EXPECT_EQ(ini.ReadString("Top picture", "Path", ""), name);
    EXPECT_EQ(ini.ReadString("Background picture", "Path", ""), "Hinter\xFC.bmp");
}

// What the Options page changes is the record the window writes at close.
TEST(StartUp, TheOptionsPageChangesTheSettingsRecord) {
    const fs::path dir = ProgramDir("Record");
    Session run(dir);
    ASSERT_TRUE(run.form->FormCreate());
    run.form->show();

    run.dialogs.colorAnswers.push_back(QColor(0x10, 0x20, 0x30));
    Controls(run.form).BannerColor->OnMouseDown(Controls(run.form).BannerColor);
    EXPECT_EQ(TFormSeam::Settings(*run.form).Color(csBanner), 0x302010);
    EXPECT_EQ(TFormSeam::Settings(*run.form).Color(csBannerFont), 65535);

    // A check mark set by the program counts as much as one set by the user.
    SetOptionCheck(*run.form, goStartMaximized, Qt::Checked);
    EXPECT_TRUE(TFormSeam::Settings(*run.form).Option(goStartMaximized));
    SetOptionCheck(*run.form, goShowInSystemTray, Qt::Checked);
    ClickOption(*run.form, goShowInSystemTray);
    EXPECT_TRUE(TFormSeam::Settings(*run.form).Option(goShowInSystemTray));
    EXPECT_TRUE(TFormSeam::TrayEnabled(*run.form));

    Controls(run.form).TopPicEdit->setText(QStringLiteral("Other.bmp"));
    EXPECT_EQ(TFormSeam::Settings(*run.form).TopPicture, "Other.bmp");

    const int other = Controls(run.form).FontCombo->count() > 1 ? 1 : 0;
    Controls(run.form).FontCombo->setCurrentIndex(other);
    emit Controls(run.form).FontCombo->activated(other);
    EXPECT_EQ(QString::fromStdString(TFormSeam::Settings(*run.form).FontName),
              TFormSeam::SelectedFontFace(*run.form));

    const TSettings shown = TFormSeam::Settings(*run.form);
    run.form->close();
    TSettings written = settings::Load(dir / "TAVRO.INI", 0, 0);
    written.Left = shown.Left;
    written.Top = shown.Top;
    EXPECT_EQ(written, shown);
}
