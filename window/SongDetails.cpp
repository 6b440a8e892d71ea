// The song details as rows of caption and value.
#include "window/SongDetails.h"

#include "window/library/SongFiles.h"

#include "engine/SongStream.h"

void TSongDetails::ShowCaptions(const QStringList& captions) {
    beginResetModel();
    m_rows.clear();
    for (size_t i = 0; i < kCaptionKeys.size(); ++i) {
        const int at = static_cast<int>(i);
        m_rows.push_back({at < captions.size() ? captions[at] : QString(), QString()});
    }
    endResetModel();
}

void TSongDetails::ShowSong(const TStreamInfo& info) {
    if (m_rows.empty()) {
        return;
    }
    const QString values[] = {
        QString::number(info.SampleRate),
        QString::number(info.BitRate / 1000),
        info.Channels == 2 ? QStringLiteral("Stereo") : QStringLiteral("Mono"),
        QString::fromStdString(DurationText(info.Duration)),
    };
    for (size_t i = 0; i < m_rows.size(); ++i) {
        m_rows[i].Value = values[i];
    }
    emit dataChanged(index(0, 1), index(rowCount() - 1, 1), {Qt::DisplayRole});
}

int TSongDetails::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TSongDetails::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant TSongDetails::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !hasIndex(index.row(), index.column()) ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    const TRow& row = m_rows[static_cast<size_t>(index.row())];
    return index.column() == 0 ? row.Caption : row.Value;
}

QVariant TSongDetails::headerData(int, Qt::Orientation, int) const {
    // The table shows no header; one with words (or the numbers a model gives by default)
    // would be read out by a screen reader before each cell, in English whatever the script.
    return {};
}
