#include "views/history_filter.h"

#include "tests/fakes/store_on_fakes.h"

#include <QImage>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

TEST(HistoryFilterTest, ListsTheEntriesWhoseTextHoldsTheSearchAsTypedAndNoPictureForASearch)
{
    StoreOnFakes store;
    const auto& manager = store.manager;
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    manager->setHistory({
        {QStringLiteral("Say Hello"), nullptr},
        {std::nullopt, platform::Image::fromEncoded(platform::encodeImage(picture, "png").value_or(QByteArray()))},
        {QString::fromUtf8("CAFE\u0301 au lait"), nullptr},
    });
    HistoryFilter filter(*manager);
    // Name, search, the rows of the history listed; the search key's own rules are its test's.
    const std::tuple<const char*, const char*, std::vector<int>> cases[] = {
        {"empty: everything, the picture too", "", {0, 1, 2}},
        {"case and canonical equivalence ignored", "caf\u00e9", {2}},
        {"not trimmed", "hello ", {}},
    };
    for (const auto& [name, search, rows] : cases) {
        SCOPED_TRACE(name);
        manager->setSearchText(QString::fromUtf8(search));
        std::vector<int> listed;
        for (int row = 0; row < filter.rowCount(); ++row) {
            listed.push_back(filter.mapToSource(filter.index(row, 0)).row());
        }
        EXPECT_EQ(listed, rows);
    }
    // A capture that matches the search is listed as it arrives.
    manager->setSearchText(QStringLiteral("LAIT"));
    store.clipboard.copyText(QStringLiteral("lait de coco"));
    store.capture();
    ASSERT_EQ(filter.rowCount(), 2);
    EXPECT_EQ(filter.item(filter.index(0, 0)).text(), QStringLiteral("lait de coco"));
}

} // namespace
