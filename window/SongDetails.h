// The song details of the Player page: four rows, each a caption in the current language and
// the open song's value (sample rate, bit rate, channel mode, length). The details view shows
// this model; it needs no widget, so the rows can be checked without a window.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

struct TStreamInfo;

class TSongDetails final : public QAbstractTableModel {
    Q_OBJECT
public:
    // The captions' keys in section "Captions" of a language script, in row order.
    static constexpr std::array<const char*, 4> kCaptionKeys = {"Khz", "Kbps", "Modus", "Duration"};

    using QAbstractTableModel::QAbstractTableModel;

    // The four rows anew with these captions (in the order of kCaptionKeys) and no values:
    // the values of the song shown before are gone until the next song is opened.
    void ShowCaptions(const QStringList& captions);
    // The opened song's values: the sample rate in Hz, the bit rate in whole kbit/s, "Stereo"
    // for two channels and "Mono" for any other count, the length as "nn:ss". They stay
    // English in every language. Without rows (no captions yet) nothing is shown.
    void ShowSong(const TStreamInfo& info);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // "Caption" and "Value": never shown, but the columns, sized to their contents, are at
    // least as wide as these, as designed.
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct TRow {
        QString Caption;
        QString Value;
    };
    std::vector<TRow> m_rows;
};
