// TPlayerForm (form name "PlayerForm"): the program's one window. The album and song lists are
// views over the library, data of its own (TLibrary, shown through library/LibraryModels.h); the
// settings are one record (TSettings) the window applies to its controls. The class is split into
// sources by concern:
//   FormLayout.cpp        what the layout file resources/PlayerForm.ui cannot hold
//   StartUp.cpp           creation, start-up, applying the settings, close
//   Language.cpp          language scripts and run-time texts
//   TransportButtons.cpp  the transport buttons, the timer and the volume bar, handed to the
//                         transport part (transport/), which owns the player and their state;
//                         its signals drawn
//   Appearance.cpp        background, top picture, colours, tray, help key
//   AlbumDatabase.cpp     the album library file, the list views, album display, pictures
//   Playlists.cpp         playlists, adding songs, song details, directory listing
//   Editing.cpp           adding, renaming, deleting and moving albums, songs and pictures
//   SongDrop.cpp          drops of songs and album folders
// The parts without widgets: library/ (TLibrary and its rules), transport/ (TTransport),
// settings/ (TSettings and its file). The window shows the program only its start-up; tests
// reach the rest through TFormSeam.
#pragma once

#include "window/FormControls.h"
#include "window/PictureFile.h"
#include "window/PlayerControls.h"
#include "window/library/Library.h"
#include "window/library/LibraryModels.h"
#include "window/settings/FontFace.h"
#include "window/settings/Settings.h"
#include "window/transport/Transport.h"

#include "platform/Dialogs.h"

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMenu;
class QTimer;
class QWindowStateChangeEvent;
class TBanner;
class TGradProgress;
class TMpris;
class TOggPlayer;
class TSight;
class TTBNArea;

namespace platform {
class Dialogs;
class Shell;
class NotifyShell; // the tray icon's backend (stands in for Shell_NotifyIcon), kept with the tray
class WaveOutDevice;
} // namespace platform

// What the window needs of the system, handed in so that tests can answer for it.
struct PlayerServices {
    platform::Dialogs* dialogs = nullptr;       // required
    platform::Shell* shell = nullptr;           // help files; may be null (nothing opens)
    platform::NotifyShell* tray = nullptr;      // tray icon backend; may be null (no tray)
    platform::WaveOutDevice* waveOut = nullptr; // null: the system's wave-output device
    // The program's own window offers itself to the desktop's media keys and panels (MPRIS on
    // the session bus); a window made by a test does not, unless it asks.
    bool mediaService = false;
};

// The controls are private (TPlayerControls); tests reach them through TFormSeam alone.
class TPlayerForm : public QWidget, private TPlayerControls {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 630;
    static constexpr int kClientHeight = 451;
    // The designed outer size: client area, the 3-pixel fixed frame on every side and the
    // 19-pixel caption. The default position is computed from it, before the window exists
    // on screen and its real frame is known.
    static constexpr int kOuterWidth = kClientWidth + 2 * 3;
    static constexpr int kOuterHeight = kClientHeight + 19 + 2 * 3;
    // The system command that minimises a window.
    static constexpr uint32_t SC_MINIMIZE = 0xF020;

    TPlayerForm(std::string programDirectory, PlayerServices services, QWidget* parent = nullptr);
    ~TPlayerForm() override;

    // The creation event: the decoder-library check, then StartUp. False when the library
    // is missing; the message has been shown and the program must end.
    bool FormCreate();
    // False when start-up asked for the window to stay hidden (only the tray icon shows).
    bool ShowMainForm() const { return m_showMainForm; }
    // The tray icon's left click: the window shows and comes forward. A second start of the
    // program on the same directory asks for the same.
    void TrayIconLeftClick();
    // Songs and folders named outside the window (file addresses: the command line, a second
    // start, the media service's OpenUri) play at once, and the window comes to the front.
    // NamedSongs.cpp.
    void OpenNamedUris(const QStringList& uris);

protected:
    friend struct TFormSeam; // tests reach the window's insides through it, and only through it
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The handlers, named after their control and occurrence; each is bound to its control's
    // signal where the window is built.
private slots:
    // --- StartUp.cpp ------------------------------------------------------------------
    void FormClose();
    void btnExitClick();
    // --- Language.cpp -----------------------------------------------------------------
    void LanguageComboChange();
    // --- TransportButtons.cpp ---------------------------------------------------------
    void btnPlayClick();
    void btnPauseClick();
    void btnStopClick();
    void NextSongButtonClick();
    void LastSongButtonClick();
    void PlayTimerTimer();
    void LoudnessBarChange();
    void ProgressBarSeek(uint32_t position);
    void ProgressBarSeekStep(int32_t offset);
    // --- Appearance.cpp ---------------------------------------------------------------
    void FormResize();
    void TopPicEditChange();
    void BackPicEditChange();
    void FormKeyDown(int key);
    void TopPicFindButtonClick();
    void BackPicFindButtonClick();
    // Shared by the eight colour shapes.
    void WinColorMouseDown(TShape* shape);
    void FontComboChange();
    void GeneralOptListClick();
    void PlayerControlChange();
    // The desktop's tray went away or came back.
    void SystemTrayChanged();
    // --- Playlists.cpp ----------------------------------------------------------------
    void PLLoadButtonClick();
    // --- Editing.cpp ------------------------------------------------------------------
    void AlbumAddButtonClick();
    void AlbumRenameButtonClick();
    void AlbumDeleteButtonClick();
    void AlbumUpButtonClick();
    void AlbumDownButtonClick();
    void AlbumPicAddButtonClick();
    void AlbumPicDeleteButtonClick();
    void AlbumViewClick();
    void AlbumViewChange();
    void AlbumComboClick(int index);
    void PLDeleteButtonClick();
    void PLUpButtonClick();
    void PLDownButtonClick();
    void PLSongChangeButtonClick();
    void PlayListViewClick();

private:
    // --- StartUp.cpp ------------------------------------------------------------------
    void StartUp();
    // The settings file is read into the record and the record applied to the controls;
    // the handlers of the Options page change the record and apply it; the record is what
    // is written at close (with the window's corner as it is then).
    void ReadSettings();
    void ApplySettings();
    void WriteSettings();
    const TSettings& Settings() const { return m_settings; }
    const std::string& ProgramDirectory() const { return m_programDir; }
    // The player component, from start-up to close; null before and after. The transport
    // owns and drives it.
    TOggPlayer* Player() const { return m_transport->Player(); }

    // --- Language.cpp -----------------------------------------------------------------
    void ApplyLanguageScript(const std::string& path);
    QString LanguageText(const QString& section, const QString& key) const;
    // Program directory + "LScripts/" + the language file; empty while no script applies.
    const std::string& LanguageScriptPath() const { return m_languageScriptPath; }

    // --- TransportButtons.cpp -------------------------------------------------------
    // Each handler hands its event to the transport part, which owns the player, the song
    // that follows, the play order, the requests queued while the player waits and the volume
    // level; what it tells by its signals is drawn here.
    TTransport& Transport() { return *m_transport; }
    const TTransport& Transport() const { return *m_transport; }
    // The application's title, the text of its taskbar entry: the playing song's name, a
    // blank and the time display's text with its line break. Also the window's icon text.
    const QString& ApplicationTitle() const { return m_applicationTitle; }

    // --- Appearance.cpp ---------------------------------------------------------------
    QString SelectedFontFace() const; // the name to store
    // The colour the colour dialog opens with: the last one chosen in it.
    QColor ColorDialogColor() const { return m_colorDialogColor; }
    bool TrayEnabled() const;
    // Whether the tray icon can actually be shown (a tray backend and a system tray exist).
    // Hiding the window without one would leave the program running and unreachable.
    bool TrayIconAvailable() const;
    QString TrayTip() const;
    // The window's system command; SC_MINIMIZE hides the window to the tray when the icon is
    // enabled and a tray exists. True when the command was handled here.
    bool WMSysCommand(uint32_t command);

    // --- AlbumDatabase.cpp ------------------------------------------------------------
    // The library itself; the two lists are views over it (AlbumView: the album names;
    // PlayListView: song name and duration) and select in it.
    TLibrary& Library() { return m_library; }
    const TLibrary& Library() const { return m_library; }

    void LoadDatabase();
    void SaveDatabase();
    // Fills the song list and the two pictures from the selected album; selects its first
    // song. The second form selects album row `albumIndex` first (no change when out of
    // range).
    void ShowAlbum();
    void ShowAlbum(int albumIndex);
    void StoreSongList();
    void FillAlbumCombo();
    void SetPlayButtons(bool on);
    void SetSongButtons(bool on);
    // program directory + album name + "/" + name. Nothing when the album name or `name`
    // is not a plain name (a separator, "." or "..", empty): such an album has no folder,
    // and a name from a file or an input box never leads outside the program directory.
    // Names are given as their bytes, as the folders on disk carry them.
    std::optional<std::string> AlbumFilePath(const std::string& albumName,
                                             const std::string& name) const;
    // The album folder, when the album name is a plain name.
    std::optional<std::string> AlbumFolder(const std::string& albumName) const;
    // True while the song list shows a playlist: its rows are not the album's songs, so
    // nothing stores them into the album and the song edit buttons stay off.
    bool PlaylistShown() const { return m_library.PlaylistShown(); }

    // --- Playlists.cpp ----------------------------------------------------------------
    // What the add button does with the chosen files, in order: songs (IsSongFile) are
    // copied into the album folder (unless they lie there), measured and appended to the
    // selected album, a ".PLI" playlist is shown in the song list, anything else is passed
    // over. A failed copy adds no row and is reported once. Drag and drop hands its files
    // here too. The files passed over as no songs are returned (as the bytes of their names).
    std::vector<std::string> AddSongFiles(const QStringList& files);
    // The shared file dialog with its filter as set, opening in `lastFolder` (else in the
    // user's `standard` folder, else at home); the folder picked from becomes `lastFolder`.
    // Nothing on cancel.
    std::optional<QStringList> PickFiles(std::string& lastFolder, int standard);
    // Tells the user of picked files that are no songs (the first by name, or how many).
    void ShowNotSongs(const std::vector<std::string>& files);
    void ReadPlaylist(const std::string& path);
    // The transport opens the selected song: its length in whole seconds; nothing when it
    // could not be opened (the message has been shown).
    std::optional<int32_t> OpenSelectedSong();
    // The names in `directory` other than "." and "..", each followed by a line break, in
    // the order the file system gives them; one empty line when the directory cannot be
    // searched (missing), an empty text when it is empty.
    static std::string ListDirectory(const std::string& directory);

    // --- Editing.cpp ------------------------------------------------------------------
    // Delete, rename and the picture buttons follow `on`; the move buttons are enabled
    // either way.
    void SetAlbumButtons(bool on);

    // --- SongDrop.cpp -----------------------------------------------------------------
    // Each folder becomes an album named after it, holding copies of its songs in natural
    // order and its cover picture; a name taken already gets the duplicate message and the
    // folder is skipped. A progress dialog offers Cancel, which leaves nothing of that folder
    // behind, as does a failed copy (reported once).
    void ImportAlbumFolders(const QStringList& folders);

    // Helpers of the handlers, by the file they live in.
    // StartUp.cpp
    std::string SettingsPath() const;
    // Seams of the banner and the progress bar: created, placed and freed by start-up and
    // close; coloured by ApplySettings.
    void CreateDisplayControls();
    void PlaceBanner();
    void PlaceProgressBar();
    void FreeDisplayControls();
    void SetBannerColors(TColor fontColor, TColor backColor);
    // Language.cpp
    // program directory + "LScripts/" + name, both found without regard to letter case.
    std::string ScriptPath(const std::string& name) const;
    // Makes the texts of the current language and font fit their controls: a label grows to
    // its text as far as its neighbours allow (and back to its designed width).
    void FitTexts();
    // Lets Qt's own dialogs (buttons, file and colour dialogs) take their texts from the
    // current script.
    void SetUpDialogTexts();
    // TransportButtons.cpp
    // The transport buttons and the display timer are bound to their handlers here.
    void ConnectTransport();
    // Appearance.cpp
    // The font list's selection for a face name read from the settings. Where the designed
    // face "MS Sans Serif" is not installed, the platform's standard sans-serif face stands
    // in for it: shown selected and used, while the designed name is what is stored again.
    void SelectFontFace(const QString& face);
    // The tray icon: its tip and Enabled, and the window's tray behaviour.
    void SetTrayTip(const QString& tip);
    void SetTrayEnabled(bool enabled);
    // The tray icon's menu: Play/Pause, Stop, Next, Last, Show/Hide and Quit, each going
    // through the handler of the window's own button. Its texts follow the language script
    // and its transport entries the transport buttons' state, brought up to date whenever it
    // opens.
    void CreateTrayMenu();
    void UpdateTrayMenu();
    void TrayPlayPauseClick();
    void TrayShowHideClick();
    void TrayQuitClick();
    QMenu* m_trayMenu = nullptr; // a child of the window
    // AlbumDatabase.cpp
    std::string DatabasePath() const;
    // Draws the picture file (bitmap, JPEG or PNG) stretched over the whole image control;
    // false (and the image left as it was) when the file is missing or no such picture.
    bool LoadPicture(TImage* image, const std::string& path);
    // The album's picture file, or without one the cover inside its songs.
    void LoadAlbumPicture(TImage* image, int album);
    void ShowImage(TImage* image, const QImage& bitmap);
    // Renames the album folder `from` (bytes as on disk) to `to` when it exists; true when
    // there is none, false when it cannot be renamed (the new name is no plain name, a
    // folder or file of that name exists, or the file system refuses).
    bool RenameAlbumFolder(const std::string& from, const std::string& to);
    // Playlists.cpp: the open song's details in DetailsView.
    void ShowSongDetails(const TStreamInfo& info);
    // SongDrop.cpp
    // Ogg Vorbis files dropped on the song list are added with AddSongFiles once the drop
    // is taken; other files are passed over, and nothing is taken without a selected album.
    // Folders dropped on the album list become albums (ImportAlbumFolders); the staging
    // folders of imports a crash broke off are removed.
    void SetUpSongDrop();

    // Told about every run-time text looked up (section, key); null when nobody listens.
    std::function<void(const QString& section, const QString& key)> m_onLanguageText;
    void BuildLayout();                // FormLayout.cpp
    void ApplyDesignedFixedSize();     // StartUp.cpp: fixed in normal state, free when maximised
    void FindPicture(QLineEdit* edit); // Appearance.cpp
    void CreateTrayIcon();             // Appearance.cpp: the designed tray icon
    // StartUp.cpp: pieces of ApplySettings (the top picture is also loaded by its edit's
    // handler, the option list shows the record's check marks).
    void LoadTopPicture();
    void ShowGeneralOptions();
    // Appearance.cpp: FontCombo's entries (the installed faces), and the one for a face name.
    QStringList FontFaces() const;
    TFontFaceChoice FontFaceChoice(const QString& face) const;
    void WindowStateChanged(const QWindowStateChangeEvent& event);
    bool GeneralOption(TGeneralOption option) const { return m_settings.Option(option); }
    // TransportButtons.cpp: the little the transport part asks of the window (options,
    // messages), answered from the controls.
    class TransportView;
    std::unique_ptr<TTransport> NewTransport();
    // Draws what the transport tells: its displays, its buttons, the selection it moved.
    void ConnectTransportSignals();
    // The timer's display work, done only for what can be seen; the rest is brought up to
    // date when it comes into sight (ShowWhatWasMissed).
    void ShowTime(const QString& time);
    void ShowRainbowFrame(int32_t frame);
    void ShowTitle(const QString& title);
    void ShowWhatWasMissed();
    // The display timer runs while a song plays and the window can be seen.
    void RunPlayTimer();
    TSight* m_timeSight = nullptr;    // the time display, on the Player page
    TSight* m_rainbowSight = nullptr; // the rainbow line, above every page
    TSight* m_windowSight = nullptr;  // the window itself: not hidden, not minimised
    bool m_timeMissed = false;        // a second passed while the time display was unseen
    bool m_titleMissed = false;       // a second passed while the window was hidden
    QString m_applicationTitle;
    // AlbumDatabase.cpp: the two list views over the library's models (their columns,
    // selection and look), and the add button's signal.
    void SetUpLibraryViews();
    // The selected album's folder, when it has one.
    std::optional<std::string> SelectedAlbumFolder() const;
    QStringList AlbumNames() const;
    QStringList SongNames() const;
    TLibrary m_library;
    // After the library: they stop listening to it before it goes.
    std::unique_ptr<TAlbumListModel> m_albumModel;
    std::unique_ptr<TSongListModel> m_songModel;
    // "A song could not be copied into the album folder."
    void ShowCopyFailed();
    // Editing.cpp: the editing buttons' and lists' signals, and the keyboard's selection
    // changes in the two lists.
    void SetUpEditing();
    // Moves the selected album or song one place up (-1) or down (+1) and keeps it selected;
    // nothing at the end of the list or without a selection.
    void MoveAlbum(int step);
    void MoveSong(int step);
    // The name the input box returns: the edited text on OK, the default on Cancel.
    QString InputName(const QString& title, const QString& value);
    // The new name for an album (or a song) now named `current`, asked with the text
    // `question`; empty when none is entered or the name is taken (the message shown).
    QString AskNewName(const QString& question, const std::string& current, bool album);
    // False (and the duplicate message shown) when one of `names` already is the name.
    bool NameIsFree(const QStringList& names, const QString& name);
    bool Confirmed(); // "Are you sure?", answered Yes

    std::string m_programDir;
    PlayerServices m_services;
    // The transport owns the player; the desktop's media-player service is built on it.
    std::unique_ptr<TTransport> m_transport = NewTransport();
    TMpris* m_mpris = nullptr; // a child of the window, from start-up on
    bool m_showMainForm = true;
    bool m_started = false; // the player exists: start-up went past the library check
    bool m_closed = false;
    bool m_databaseUnread = false; // "Database.DAT" exists but could not be read: keep it
    unsigned long m_lastKeyTime = 0;
    int m_lastKey = 0;
    QString m_fontStandIn; // the face shown for the designed one, when that is missing
    TSettings m_settings;
    std::string m_languageScriptPath;
    bool m_keyPreview = false;             // the window sees key presses before its controls
    QColor m_colorDialogColor = Qt::black; // the colour dialog opens with the last choice

    // --- names and imports --------------------------------------------------------------
    // AddSongFiles and ImportAlbumFolders for paths given as the bytes of their names (a
    // drop's, or a dialog's found again by FileNameBytes): a name in a code page stays whole.
    void AddSongPaths(const std::vector<std::string>& files);
    // What both do; the files passed over as no songs.
    std::vector<std::string> AddSongs(const std::vector<std::string>& files);
    void ImportAlbumFolderPaths(const std::vector<std::string>& folders);

    // NamedSongs.cpp: brings the named paths in (a folder as an album, a song into the album
    // named after its folder) and plays the first; the album of `name` (any letter case).
    void PlayNamedPaths(const std::vector<std::string>& paths);
    int AlbumNamed(const std::string& name) const;

    // How many files an import passed over, said once for the whole import.
    void ShowSkipped(int count);
    // Editing.cpp: false (and a message shown) when no album may take the name: one the
    // program keeps for its own files, or one an album has already (the duplicate message).
    bool AlbumNameAllowed(const std::string& name);

    // Pictures and the library kept safe (AlbumDatabase.cpp).
    TPictureCache m_pictures; // album, preview and top pictures, decoded once at their size
    // The library file is written soon after every edit, not only at close: a kill or a
    // power cut loses nothing. Set up once the library is loaded.
    void SetUpLibrarySaving();
    void SaveDatabaseIfChanged();
    QTimer* m_saveTimer = nullptr;
    uint64_t m_savedRevision = 0; // the library's revision the file holds
};
