#include "window/GeneralOptionsModel.h"

#include <gtest/gtest.h>

#include <vector>

TEST(GeneralOptionsModel, CheckMarksAreTheRecordsOptionsAndTextsAreReplacedAlone) {
    TGeneralOptionsModel::TOptions options{};
    options[goStopAtEndOfAlbumList] = true;
    TGeneralOptionsModel model(options);
    std::vector<int> checked;
    QObject::connect(&model, &TGeneralOptionsModel::OptionChecked,
                     [&](int option) { checked.push_back(option); });
    const auto check = [&](int row) {
        return model.index(row).data(Qt::CheckStateRole).value<Qt::CheckState>();
    };

    ASSERT_EQ(model.rowCount(), kGeneralOptionCount);
    EXPECT_EQ(model.index(0).data().toString(), "Play all albums");
    EXPECT_EQ(model.index(5).data().toString(), "Start maximized");
    EXPECT_EQ(check(goStopAtEndOfAlbumList), Qt::Checked);
    EXPECT_EQ(check(goPlayAllAlbums), Qt::Unchecked);
    const Qt::ItemFlags flags = model.flags(model.index(0));
    EXPECT_TRUE(flags.testFlag(Qt::ItemIsUserCheckable));
    EXPECT_FALSE(flags.testFlag(Qt::ItemIsEditable));

    // Set through the list as its check indicator does: the record follows, and only a change
    // is announced.
    const struct {
        int option;
        Qt::CheckState state;
        bool recorded;
        bool announced;
    } cases[] = {
        {goShowInSystemTray, Qt::Checked, true, true},
        {goShowInSystemTray, Qt::Checked, true, false},
        {goStopAtEndOfAlbumList, Qt::Unchecked, false, true},
        {goStartMaximized, Qt::Unchecked, false, false},
        {goStartMaximized, Qt::Checked, true, true},
    };
    for (const auto& c : cases) {
        checked.clear();
        EXPECT_TRUE(model.setData(model.index(c.option), c.state, Qt::CheckStateRole));
        EXPECT_EQ(options[static_cast<size_t>(c.option)], c.recorded) << c.option;
        EXPECT_EQ(check(c.option), c.state);
        EXPECT_EQ(checked, c.announced ? std::vector<int>{c.option} : std::vector<int>{});
    }

    // The record changed behind the list: the list is told, nothing is announced.
    checked.clear();
    int redrawn = 0;
    QObject::connect(&model, &TGeneralOptionsModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         redrawn += to.row() - from.row() + 1;
                     });
    options[goPlayAllAlbums] = true;
    model.ShowOptions();
    EXPECT_EQ(redrawn, kGeneralOptionCount);
    EXPECT_EQ(check(goPlayAllAlbums), Qt::Checked);

    // A script's text replaces the entry's text and keeps its check mark.
    EXPECT_TRUE(
        model.setData(model.index(goStartMaximized), QStringLiteral("Maximiert"), Qt::DisplayRole));
    EXPECT_EQ(model.index(goStartMaximized).data().toString(), "Maximiert");
    EXPECT_EQ(check(goStartMaximized), Qt::Checked);
    EXPECT_TRUE(checked.empty());
    EXPECT_FALSE(model.setData(model.index(kGeneralOptionCount), Qt::Checked, Qt::CheckStateRole));
}
