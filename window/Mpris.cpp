// The desktop's media-player service (MPRIS 2) over the window's transport.
#include "window/Mpris.h"

#include "engine/SongFormats.h"

#include "window/library/AlbumFolder.h"
#include "window/library/Library.h"
#include "window/library/ShownText.h"
#include "window/transport/Transport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <filesystem>

namespace {

constexpr double kVolumeSteps = 65535.0; // the volume bar runs from -65535 (full) to 0

QString ServiceBaseName() {
    return QStringLiteral("org.mpris.MediaPlayer2.tavro");
}

} // namespace

// --- The service ------------------------------------------------------------------------

TMpris::TMpris(TTransport& transport, const TLibrary& library, std::string programDirectory,
               std::function<void()> raise, std::function<void()> quit, QObject* parent)
    : QObject(parent), m_transport(transport), m_library(library),
      m_programDirectory(std::move(programDirectory)), m_songCover(m_programDirectory),
      m_raise(std::move(raise)), m_quit(std::move(quit)), m_updateSoon(new QTimer(this)) {
    m_updateSoon->setSingleShot(true);
    m_updateSoon->setInterval(0);
    connect(m_updateSoon, &QTimer::timeout, this, &TMpris::Update);
    new TMprisRootAdaptor(this);
    auto* player = new TMprisPlayerAdaptor(this);
    connect(this, &TMpris::Seeked, player, &TMprisPlayerAdaptor::Seeked);
    connect(this, &TMpris::PropertiesChanged, this, &TMpris::SendPropertiesChanged);
    // Everything that can change what the service shows is a change of the transport: the
    // play state, the song that plays, the selection, the volume and the buttons.
    connect(&m_transport, &TTransport::Changed, this, &TMpris::UpdateSoon);
    // A seek from the window's bar is announced as one of the service's own.
    connect(&m_transport, &TTransport::Sought, this, [this] { emit Seeked(Position()); });
    m_reported = Read();
}

TMpris::~TMpris() {
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kObjectPath));
        bus.unregisterService(m_serviceName);
    }
}

bool TMpris::Register() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kObjectPath), this,
                            QDBusConnection::ExportAdaptors)) {
        return false;
    }
    // The protocol's rule for a second instance: the same name with ".instance<pid>".
    for (const QString& name :
         {ServiceBaseName(), ServiceBaseName() + QStringLiteral(".instance") +
                                 QString::number(QCoreApplication::applicationPid())}) {
        if (bus.registerService(name)) {
            m_serviceName = name;
            m_registered = true;
            return true;
        }
    }
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    return false;
}

void TMpris::UpdateSoon() {
    // Many changes of one event (a step selects an album, then a song) are one report.
    if (!m_updateSoon->isActive()) {
        m_updateSoon->start();
    }
}

void TMpris::Raise() {
    m_raise();
}

void TMpris::Quit() {
    QTimer::singleShot(0, this, [this] {
        // The window's close waits for a running transport operation itself; the program
        // ends once the window has closed.
        const auto quit = [close = m_quit] {
            close();
            QCoreApplication::quit();
        };
        if (!m_transport.DeferWhilePlayerWaits(quit)) {
            quit();
        }
    });
}

bool TMpris::Playing() {
    return PlaybackStatus() == QLatin1String("Playing");
}

void TMpris::Play() {
    // A media key's Play while a song plays leaves it playing; a paused song goes on where it
    // stands, as the protocol has it (the window's Play button starts it again instead).
    if (PlaybackStatus() == QLatin1String("Paused")) {
        m_transport.Resume();
    } else if (CanPlay() && !Playing()) {
        m_transport.Play();
    }
    Update();
}

void TMpris::Pause() {
    if (Playing()) {
        m_transport.Pause();
    }
    Update();
}

void TMpris::PlayPause() {
    if (Playing()) {
        Pause();
    } else {
        Play();
    }
}

void TMpris::Stop() {
    if (PlaybackStatus() != QLatin1String("Stopped")) {
        m_transport.Stop();
    }
    Update();
}

void TMpris::Next() {
    if (CanGoNext()) {
        m_transport.SkipNext();
    }
    Update();
}

void TMpris::Previous() {
    if (CanGoPrevious()) {
        m_transport.SkipPrevious();
    }
    Update();
}

void TMpris::Seek(qint64 offsetMicroseconds) {
    if (!CanSeek()) {
        return;
    }
    const qint64 length = qint64{m_transport.Length()} * 1000;
    const qint64 position = Position();
    // The offset comes from any client on the bus: compared before it is added, so that no
    // offset, however large, overflows the sum.
    if (offsetMicroseconds > length - position) {
        Next(); // past the end: as the protocol says, the next song
        return;
    }
    SeekTo(std::max<qint64>(position + offsetMicroseconds, 0));
}

void TMpris::SetPosition(const QDBusObjectPath& trackId, qint64 positionMicroseconds) {
    // A stale request (for a song no longer playing) or one outside the song is not taken.
    if (!CanSeek() ||
        trackId.path() !=
            Metadata().value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path() ||
        positionMicroseconds < 0 || positionMicroseconds > qint64{m_transport.Length()} * 1000) {
        return;
    }
    SeekTo(positionMicroseconds);
}

void TMpris::OpenUri(const QString& uri) {
    const QUrl url(uri, QUrl::StrictMode);
    if (url.isValid() && url.isLocalFile()) {
        emit OpenUriRequested({url.toString(QUrl::FullyEncoded)});
    }
}

void TMpris::SeekTo(qint64 positionMicroseconds) {
    m_transport.Seek(static_cast<uint32_t>(positionMicroseconds / 1000));
    Update();
}

QString TMpris::PlaybackStatus() {
    switch (m_transport.State()) {
    case TTransportState::Playing:
        return QStringLiteral("Playing");
    case TTransportState::Paused:
        return QStringLiteral("Paused");
    case TTransportState::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

namespace {

// A file URL carrying the path's bytes as they are: a name in another code page would not
// survive a detour through text.
QString FileUrl(const std::string& path) {
    return QUrl::fromEncoded(QByteArrayLiteral("file://") +
                             QByteArray::fromStdString(path).toPercentEncoding("/"))
        .toString();
}

} // namespace

QVariantMap TMpris::SelectedSongMetadata() const {
    QVariantMap metadata;
    const TLibrary& library = m_library;
    const int albumIndex = library.SelectedAlbum();
    const int songIndex = library.SelectedSong();
    if (albumIndex == TLibrary::kNone || songIndex == TLibrary::kNone) {
        metadata.insert(QStringLiteral("mpris:trackid"),
                        QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(kNoTrack))));
        return metadata;
    }
    const TAlbum& album = library.Album(albumIndex);
    const TSong& song = library.Song(songIndex);
    metadata.insert(
        QStringLiteral("mpris:trackid"),
        QVariant::fromValue(QDBusObjectPath(
            QStringLiteral("/org/kelmora/tavro/track/%1_%2").arg(albumIndex).arg(songIndex))));
    metadata.insert(QStringLiteral("xesam:title"), ShownText(song.Name));
    metadata.insert(QStringLiteral("xesam:album"), ShownText(album.Name));
    bool known = false;
    const qint64 seconds = ShownText(song.DurationNumber).toLongLong(&known);
    if (known) {
        metadata.insert(QStringLiteral("mpris:length"), seconds * 1000000);
    }
    if (const auto path = AlbumFilePath(m_programDirectory, album.Name, song.FileName);
        path && !song.FileName.empty()) {
        metadata.insert(QStringLiteral("xesam:url"), FileUrl(*path));
    }
    if (const auto path = AlbumFilePath(m_programDirectory, album.Name, album.PicPath);
        path && !album.PicPath.empty()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(*path, ec)) {
            metadata.insert(QStringLiteral("mpris:artUrl"), FileUrl(*path));
        }
    } else if (album.PicPath.empty()) {
        if (const auto copy =
                m_songCover.Path(AlbumSongPaths(m_programDirectory, album.Name, album.Songs))) {
            metadata.insert(QStringLiteral("mpris:artUrl"), FileUrl(*copy));
        }
    }
    return metadata;
}

QVariantMap TMpris::Metadata() {
    const std::optional<TOpenedSong> opened = m_transport.OpenedSong();
    if (PlaybackStatus() == QLatin1String("Stopped") || !opened) {
        m_nowPlaying.reset();
        return SelectedSongMetadata();
    }
    // The window's Next and Last only move the selection while a song plays: the song that
    // plays is the one that was selected when the transport opened it.
    if (!m_nowPlaying || m_nowPlaying->file != opened->file) {
        QVariantMap metadata = SelectedSongMetadata();
        metadata.insert(QStringLiteral("mpris:length"), qint64{m_transport.Length()} * 1000);
        m_nowPlaying = NowPlaying{opened->file, metadata};
    }
    return m_nowPlaying->metadata;
}

double TMpris::Volume() const {
    return m_transport.Volume().Level() / kVolumeSteps;
}

void TMpris::SetVolume(double volume) {
    if (std::isnan(volume)) {
        return;
    }
    // The window's volume bar moves to the level, and its own handler sets the device.
    m_transport.SetVolume(
        static_cast<uint16_t>(std::lround(std::clamp(volume, 0.0, 1.0) * kVolumeSteps)));
    Update();
}

qint64 TMpris::Position() const {
    return qint64{m_transport.Position()} * 1000;
}

// The window's transport buttons are switched together: each of them can while a song is
// selected or open.
bool TMpris::CanPlay() const {
    return m_transport.Playable();
}

bool TMpris::CanPause() const {
    return m_transport.Playable();
}

bool TMpris::CanGoNext() const {
    return m_transport.Playable();
}

bool TMpris::CanGoPrevious() const {
    return m_transport.Playable();
}

bool TMpris::CanSeek() {
    return PlaybackStatus() != QLatin1String("Stopped");
}

TMpris::Shown TMpris::Read() {
    Shown shown;
    shown.status = PlaybackStatus();
    shown.metadata = Metadata();
    shown.volume = Volume();
    shown.canPlay = CanPlay();
    shown.canPause = CanPause();
    shown.canGoNext = CanGoNext();
    shown.canGoPrevious = CanGoPrevious();
    shown.canSeek = CanSeek();
    return shown;
}

void TMpris::Update() {
    const Shown now = Read();
    QVariantMap changed;
    const auto note = [&](const char* name, const QVariant& value, bool differs) {
        if (differs) {
            changed.insert(QString::fromLatin1(name), value);
        }
    };
    const Shown& was = *m_reported;
    note("PlaybackStatus", now.status, now.status != was.status);
    note("Metadata", now.metadata, now.metadata != was.metadata);
    note("Volume", now.volume, now.volume != was.volume);
    note("CanPlay", now.canPlay, now.canPlay != was.canPlay);
    note("CanPause", now.canPause, now.canPause != was.canPause);
    note("CanGoNext", now.canGoNext, now.canGoNext != was.canGoNext);
    note("CanGoPrevious", now.canGoPrevious, now.canGoPrevious != was.canGoPrevious);
    note("CanSeek", now.canSeek, now.canSeek != was.canSeek);
    m_reported = now;
    if (!changed.isEmpty()) {
        emit PropertiesChanged(QString::fromLatin1(kPlayerInterface), changed);
    }
}

void TMpris::SendPropertiesChanged(const QString& interfaceName, const QVariantMap& changed) {
    if (!m_registered) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << interfaceName << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

// --- Adaptors ---------------------------------------------------------------------------

TMprisRootAdaptor::TMprisRootAdaptor(TMpris* mpris)
    : QDBusAbstractAdaptor(mpris), m_mpris(*mpris) {}

QString TMprisRootAdaptor::Identity() const {
    return QStringLiteral("TAVRO");
}

QString TMprisRootAdaptor::DesktopEntry() const {
    return QStringLiteral(TAVRO_APP_ID);
}

QStringList TMprisRootAdaptor::SupportedUriSchemes() const {
    return {QStringLiteral("file")};
}

QStringList TMprisRootAdaptor::SupportedMimeTypes() const {
    QStringList types;
    for (const std::string& type : SongMimeTypes()) {
        types << QString::fromStdString(type);
    }
    return types;
}

TMprisPlayerAdaptor::TMprisPlayerAdaptor(TMpris* mpris)
    : QDBusAbstractAdaptor(mpris), m_mpris(*mpris) {}
