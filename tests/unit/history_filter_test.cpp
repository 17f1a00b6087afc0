#include "views/history_filter.h"

#include "tests/fakes/store_on_fakes.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

// The search key's own rules (case, canonical equivalence, diacritics) are its test's; these are the filter's.
TEST(HistoryFilterTest, ListsTheEntriesWhoseTextHoldsTheSearchAsTypedAndNoPictureForASearch)
{
    StoreOnFakes store;
    const auto& manager = store.manager;
    manager->setHistory({
        {QStringLiteral("Say Hello"), nullptr},
        {std::nullopt, platform::Image::fromEncoded("P6\n1 1\n255\nabc")},
        {QStringLiteral("Image of a cat"), nullptr},
    });
    HistoryFilter filter;
    filter.setSourceModel(manager.get());
    // Name, search, the rows of the history listed.
    const std::tuple<const char*, const char*, std::vector<int>> cases[] = {
        {"empty: everything, the picture too", "", {0, 1, 2}},
        {"a picture matches not even its caption", "image", {2}},
        {"not trimmed", "hello ", {}},
    };
    for (const auto& [name, search, rows] : cases) {
        SCOPED_TRACE(name);
        filter.setSearchText(QString::fromUtf8(search));
        std::vector<int> listed;
        for (int row = 0; row < filter.rowCount(); ++row) {
            listed.push_back(filter.mapToSource(filter.index(row, 0)).row());
        }
        EXPECT_EQ(listed, rows);
    }
    // A capture that matches the search is listed as it arrives; one that does not is not.
    filter.setSearchText(QStringLiteral("LAIT"));
    for (const auto& text : {QStringLiteral("lait de coco"), QStringLiteral("milk")}) {
        store.clipboard.copyText(text);
        store.capture();
    }
    ASSERT_EQ(filter.rowCount(), 1);
    EXPECT_EQ(filter.index(0, 0).data(), QStringLiteral("lait de coco"));
}

} // namespace
