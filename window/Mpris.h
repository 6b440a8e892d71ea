// The desktop's media-player service (MPRIS 2): on the session bus as
// org.mpris.MediaPlayer2.tavro, so that media keys, the desktop's media panels and playerctl
// control the player. It is built on the transport and the library alone: each method asks the
// transport what the window's own button asks of it, so the window shows exactly what it shows
// after that click; what the service reports is read from the transport (the play state, the
// song that plays, the volume level, the buttons) and the library's selection, and it is
// announced whenever the transport reports a change. Raise and Quit are the window's, handed in.
// Without a session bus the service is simply not there.
#pragma once

#include "window/PictureFile.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <string>

class QTimer;
class TLibrary;
class TTransport;

class TMpris : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
    static constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
    static constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
    // The track id of "no song", reserved by the protocol.
    static constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

    // Songs and pictures are found in the album folders under `programDirectory`. `raise`
    // brings the window forward, `quit` closes it the normal way.
    TMpris(TTransport& transport, const TLibrary& library, std::string programDirectory,
           std::function<void()> raise, std::function<void()> quit, QObject* parent = nullptr);
    ~TMpris() override;

    // Registers the service and its object on the session bus. False, quietly, when there is
    // no bus; a second running player takes the name ...tavro.instance<pid>.
    bool Register();
    const QString& ServiceName() const { return m_serviceName; }

    // --- org.mpris.MediaPlayer2 ---------------------------------------------------------
    void Raise();
    // Closes the window the normal way (settings and library are written), then ends the
    // program; after the method has been answered.
    void Quit();

    // --- org.mpris.MediaPlayer2.Player --------------------------------------------------
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(qint64 offsetMicroseconds);
    void SetPosition(const QDBusObjectPath& trackId, qint64 positionMicroseconds);
    // A local file or folder plays at once, as one named on the command line does
    // (OpenUriRequested); an address of another kind is not taken.
    void OpenUri(const QString& uri);

    // "Playing", "Paused" or "Stopped": the transport's state.
    QString PlaybackStatus();
    // The song that plays (or, when nothing plays, the one Play would start).
    QVariantMap Metadata();
    double Volume() const;
    void SetVolume(double volume);
    qint64 Position() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanSeek();

    // Compares what the service shows with what it last reported and announces the
    // difference (PropertiesChanged). Run after every method and, soon after, on every change
    // of the window that can alter it.
    void Update();

signals:
    // The player interface's properties that changed, with their new values.
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed);
    void Seeked(qint64 positionMicroseconds);
    // The window brings in and plays what a client asked to open.
    void OpenUriRequested(const QStringList& uris);

private:
    struct Shown {
        QString status;
        QVariantMap metadata;
        double volume = 0;
        bool canPlay = false;
        bool canPause = false;
        bool canGoNext = false;
        bool canGoPrevious = false;
        bool canSeek = false;
    };
    struct NowPlaying {
        std::string file; // as the player holds it open
        QVariantMap metadata;
    };

    Shown Read();
    QVariantMap SelectedSongMetadata() const;
    bool Playing();
    void UpdateSoon();
    void SeekTo(qint64 positionMicroseconds);
    void SendPropertiesChanged(const QString& interfaceName, const QVariantMap& changed);

    TTransport& m_transport;
    const TLibrary& m_library;
    std::string m_programDirectory;
    // The copy of a cover found inside the songs, which artUrl points at; kept while the same
    // album is reported.
    mutable TSongCoverFile m_songCover;
    std::function<void()> m_raise;
    std::function<void()> m_quit;
    QTimer* m_updateSoon;
    std::optional<Shown> m_reported;
    std::optional<NowPlaying> m_nowPlaying;
    QString m_serviceName;
    bool m_registered = false;
};

// The two interfaces as the bus sees them; each forwards to TMpris.
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit TMprisRootAdaptor(TMpris* mpris);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const;
    QString DesktopEntry() const;
    QStringList SupportedUriSchemes() const;
    QStringList SupportedMimeTypes() const;

public slots:
    void Raise() { m_mpris.Raise(); }
    void Quit() { m_mpris.Quit(); }

private:
    TMpris& m_mpris;
};

class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit TMprisPlayerAdaptor(TMpris* mpris);

    QString PlaybackStatus() const { return m_mpris.PlaybackStatus(); }
    // The player has one speed; a client's other rate is not taken.
    double Rate() const { return 1.0; }
    void SetRate(double) {}
    QVariantMap Metadata() const { return m_mpris.Metadata(); }
    double Volume() const { return m_mpris.Volume(); }
    void SetVolume(double volume) { m_mpris.SetVolume(volume); }
    qlonglong Position() const { return m_mpris.Position(); }
    bool CanGoNext() const { return m_mpris.CanGoNext(); }
    bool CanGoPrevious() const { return m_mpris.CanGoPrevious(); }
    bool CanPlay() const { return m_mpris.CanPlay(); }
    bool CanPause() const { return m_mpris.CanPause(); }
    bool CanSeek() const { return m_mpris.CanSeek(); }
    bool CanControl() const { return true; }

public slots:
    void Play() { m_mpris.Play(); }
    void Pause() { m_mpris.Pause(); }
    void PlayPause() { m_mpris.PlayPause(); }
    void Stop() { m_mpris.Stop(); }
    void Next() { m_mpris.Next(); }
    void Previous() { m_mpris.Previous(); }
    void Seek(qlonglong offset) { m_mpris.Seek(offset); }
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
        m_mpris.SetPosition(trackId, position);
    }
    void OpenUri(const QString& uri) { m_mpris.OpenUri(uri); }

signals:
    void Seeked(qlonglong Position);

private:
    TMpris& m_mpris;
};
