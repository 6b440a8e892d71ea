// The window's two lists as views over the library: the albums (one column, the name) and the
// song list shown (name with the song icon, and duration). The models hold no rows of their
// own; they turn each change the library tells into the matching model signals, so a large
// list is never read again for one edit.
//
// The library holds the selection. Each model keeps a selection model that follows it (a
// selection made through the library by anyone shows in the view) and hands a selection the
// user makes in the view to the library.
#pragma once

#include "window/library/Library.h"

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QString>
#include <QVariant>

class TLibraryListModel : public QAbstractTableModel, private TLibraryListener {
    Q_OBJECT
public:
    TLibraryListModel(TLibrary& library, TLibraryList list);
    ~TLibraryListModel() override;
    TLibraryListModel(const TLibraryListModel&) = delete;
    TLibraryListModel& operator=(const TLibraryListModel&) = delete;

    // For the view: setSelectionModel(model->Selection()).
    QItemSelectionModel* Selection() { return &m_selection; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // The library's selection of this list may have moved (a row selected, rows gone, the
    // list replaced); not sent for a changed value alone.
    void SelectionChanged();

protected:
    const TLibrary& Library() const { return m_library; }

private:
    void Before(const TLibraryEdit& edit) override;
    void After(const TLibraryEdit& edit) override;
    int Selected() const;
    // The selection model shows the library's selection (and the current row with it).
    void ShowSelection();
    // A selection the user made in the view.
    void TakeSelection();

    TLibrary& m_library;
    TLibraryList m_list;
    QItemSelectionModel m_selection;
    // Set while the selection model is moved by the library, not by the user.
    bool m_following = false;
};

class TAlbumListModel final : public TLibraryListModel {
    Q_OBJECT
public:
    static constexpr int kNameColumn = 0;

    explicit TAlbumListModel(TLibrary& library);
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The column's caption, in the language of the window. The view hides its header, but a
    // screen reader reads it out with every album.
    void SetCaption(const QString& name);

private:
    QString m_nameCaption = QStringLiteral("Albums");
};

class TSongListModel final : public TLibraryListModel {
    Q_OBJECT
public:
    static constexpr int kNameColumn = 0;
    static constexpr int kDurationColumn = 1;

    explicit TSongListModel(TLibrary& library);
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The header's captions, in the language of the window.
    void SetCaptions(const QString& name, const QString& duration);
    // What every song's name shows beside it (the window's song icon); none by default.
    void SetSongDecoration(const QVariant& decoration);

private:
    QString m_nameCaption = QStringLiteral("Song name");
    QString m_durationCaption = QStringLiteral("Duration");
    QVariant m_decoration;
};
