// The library's lists as item models.
#include "window/library/LibraryModels.h"

#include "window/library/ShownText.h"

#include <QScopedValueRollback>

TLibraryListModel::TLibraryListModel(TLibrary& library, TLibraryList list)
    : m_library(library), m_list(list), m_selection(this) {
    m_library.Listen(this);
    QObject::connect(&m_selection, &QItemSelectionModel::selectionChanged, this,
                     [this] { TakeSelection(); });
}

TLibraryListModel::~TLibraryListModel() {
    m_library.StopListening(this);
}

int TLibraryListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return m_list == TLibraryList::Albums ? m_library.AlbumCount() : m_library.SongCount();
}

Qt::ItemFlags TLibraryListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int TLibraryListModel::Selected() const {
    return m_list == TLibraryList::Albums ? m_library.SelectedAlbum() : m_library.SelectedSong();
}

void TLibraryListModel::Before(const TLibraryEdit& edit) {
    if (edit.List != m_list) {
        return;
    }
    // The selection model follows the rows by itself meanwhile; what it says then is not
    // the user's choice.
    m_following = true;
    switch (edit.What) {
    case TLibraryEdit::Reset:
        beginResetModel();
        break;
    case TLibraryEdit::Insert:
        beginInsertRows(QModelIndex(), edit.First, edit.Last);
        break;
    case TLibraryEdit::Remove:
        beginRemoveRows(QModelIndex(), edit.First, edit.Last);
        break;
    case TLibraryEdit::Move:
        // Two neighbours changing places: the lower one moves above the upper one.
        beginMoveRows(QModelIndex(), edit.Last, edit.Last, QModelIndex(), edit.First);
        break;
    case TLibraryEdit::Change:
    case TLibraryEdit::Select:
        break;
    }
}

void TLibraryListModel::After(const TLibraryEdit& edit) {
    if (edit.List != m_list) {
        return;
    }
    switch (edit.What) {
    case TLibraryEdit::Reset:
        endResetModel();
        break;
    case TLibraryEdit::Insert:
        endInsertRows();
        break;
    case TLibraryEdit::Remove:
        endRemoveRows();
        break;
    case TLibraryEdit::Move:
        endMoveRows();
        break;
    case TLibraryEdit::Change:
        emit dataChanged(index(edit.First, 0), index(edit.Last, columnCount() - 1));
        break;
    case TLibraryEdit::Select:
        break;
    }
    ShowSelection();
    m_following = false;
    if (edit.What != TLibraryEdit::Change) {
        emit SelectionChanged();
    }
}

void TLibraryListModel::ShowSelection() {
    const int row = Selected();
    const QModelIndex wanted = row >= 0 && row < rowCount() ? index(row, 0) : QModelIndex();
    const QModelIndexList shown = m_selection.selectedIndexes();
    const QModelIndex current = m_selection.currentIndex();
    if (wanted.isValid() ? current.row() == row && m_selection.isRowSelected(row) &&
                               shown.size() == columnCount()
                         : shown.isEmpty() && !current.isValid()) {
        return;
    }
    const QScopedValueRollback following(m_following, true);
    if (wanted.isValid()) {
        // The current row too: a view scrolls it into sight, and keys move on from it.
        m_selection.setCurrentIndex(wanted, QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
    } else {
        m_selection.clear();
    }
}

void TLibraryListModel::TakeSelection() {
    if (m_following) {
        return;
    }
    const QModelIndexList shown = m_selection.selectedIndexes();
    const int row = shown.isEmpty() ? TLibrary::kNone : shown.first().row();
    if (m_list == TLibraryList::Albums) {
        m_library.SelectAlbum(row);
    } else {
        m_library.SelectSong(row);
    }
}

TAlbumListModel::TAlbumListModel(TLibrary& library)
    : TLibraryListModel(library, TLibraryList::Albums) {}

int TAlbumListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant TAlbumListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::DisplayRole) {
        return {};
    }
    return ShownText(Library().Album(index.row()).Name);
}

QVariant TAlbumListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section != kNameColumn) {
        return {};
    }
    return m_nameCaption;
}

void TAlbumListModel::SetCaption(const QString& name) {
    m_nameCaption = name;
    emit headerDataChanged(Qt::Horizontal, kNameColumn, kNameColumn);
}

TSongListModel::TSongListModel(TLibrary& library)
    : TLibraryListModel(library, TLibraryList::Songs) {}

int TSongListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TSongListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) {
        return {};
    }
    const TSong& song = Library().Song(index.row());
    if (role == Qt::DisplayRole) {
        return ShownText(index.column() == kNameColumn ? song.Name : song.Duration);
    }
    if (role == Qt::DecorationRole && index.column() == kNameColumn) {
        return m_decoration;
    }
    return {};
}

QVariant TSongListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    if (section == kNameColumn) {
        return m_nameCaption;
    }
    return section == kDurationColumn ? QVariant(m_durationCaption) : QVariant();
}

void TSongListModel::SetCaptions(const QString& name, const QString& duration) {
    m_nameCaption = name;
    m_durationCaption = duration;
    emit headerDataChanged(Qt::Horizontal, kNameColumn, kDurationColumn);
}

void TSongListModel::SetSongDecoration(const QVariant& decoration) {
    m_decoration = decoration;
    if (rowCount() > 0) {
        emit dataChanged(index(0, kNameColumn), index(rowCount() - 1, kNameColumn),
                         {Qt::DecorationRole});
    }
}
