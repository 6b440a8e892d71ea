#include "window/SongDetails.h"

#include "engine/SongStream.h"

#include <gtest/gtest.h>

namespace {

QStringList Column(const TSongDetails& details, int column) {
    QStringList texts;
    for (int row = 0; row < details.rowCount(); ++row) {
        texts << details.index(row, column).data().toString();
    }
    return texts;
}

TStreamInfo Stream(int32_t rate, int32_t bitRate, int16_t channels, uint32_t ms) {
    TStreamInfo info;
    info.SampleRate = rate;
    info.BitRate = bitRate;
    info.Channels = channels;
    info.Duration = ms;
    return info;
}

} // namespace

TEST(SongDetails, RowsShowTheCaptionsAndTheOpenedSongsValues) {
    TSongDetails details;
    int changes = 0;
    QObject::connect(&details, &TSongDetails::dataChanged, [&] { ++changes; });
    // No rows before the captions: a song opened then shows nowhere.
    details.ShowSong(Stream(44100, 128000, 2, 1000));
    EXPECT_EQ(details.rowCount(), 0);

    const QStringList captions = {"Khz", "Kbps", "Modus", "Duration"};
    details.ShowCaptions(captions);
    EXPECT_EQ(details.columnCount(), 2);
    EXPECT_EQ(Column(details, 0), captions);
    EXPECT_EQ(Column(details, 1), QStringList({"", "", "", ""}));

    const struct {
        TStreamInfo info;
        QStringList shown;
    } cases[] = {
        {Stream(44100, 128999, 2, 72900), {"44100", "128", "Stereo", "01:12"}},
        {Stream(22050, 999, 1, 999), {"22050", "0", "Mono", "00:00"}},
        {Stream(48000, 320000, 6, 3630000), {"48000", "320", "Mono", "60:30"}},
        {Stream(8000, 8000, 0, 7500000), {"8000", "8", "Mono", "125:00"}},
    };
    for (const auto& c : cases) {
        const int before = changes;
        details.ShowSong(c.info);
        EXPECT_EQ(Column(details, 1), c.shown);
        EXPECT_EQ(changes, before + 1) << "the view is told";
    }

    // New captions (another language) clear the values.
    details.ShowCaptions({"Abtastrate", "Bitrate", "Modus", "Dauer"});
    EXPECT_EQ(Column(details, 0), QStringList({"Abtastrate", "Bitrate", "Modus", "Dauer"}));
    EXPECT_EQ(Column(details, 1), QStringList({"", "", "", ""}));
    EXPECT_FALSE(details.flags(details.index(0, 1)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(details.index(4, 0).isValid());
}
