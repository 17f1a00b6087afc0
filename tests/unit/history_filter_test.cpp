#include "views/history_filter.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

ClipboardItem textItem(const QString& text)
{
    return {text, nullptr};
}

std::vector<QString> textsOf(const std::vector<ClipboardItem>& items)
{
    std::vector<QString> texts;
    for (const auto& item : items) {
        texts.push_back(item.text().value_or(QStringLiteral("<image>")));
    }
    return texts;
}

class HistoryFilterTest : public ::testing::Test
{
protected:
    std::vector<QString> search(const std::vector<QString>& texts, const QString& searchText)
    {
        std::vector<ClipboardItem> history;
        for (const auto& text : texts) {
            history.push_back(textItem(text));
        }
        return textsOf(filter.filteredHistory(history, searchText));
    }

    HistoryFilter filter;
};

TEST_F(HistoryFilterTest, MatchesIgnoringCaseWithCanonicalEquivalenceAndCountsDiacritics)
{
    const struct
    {
        const char* name;
        QString search;
        std::vector<QString> texts;
        std::vector<QString> matches;
    } cases[] = {
        {"case inside a longer word",
         QStringLiteral("abc"),
         {QStringLiteral("xxABCyy"), QStringLiteral("ab c")},
         {QStringLiteral("xxABCyy")}},
        {"upper-case search", QStringLiteral("HeLLo"), {QStringLiteral("say hello")}, {QStringLiteral("say hello")}},
        {"one space",
         QStringLiteral(" "),
         {QStringLiteral("a b"), QStringLiteral("ab"), QStringLiteral("a\tb")},
         {QStringLiteral("a b")}},
        {"a trailing space must be there",
         QStringLiteral("word "),
         {QStringLiteral("word"), QStringLiteral("a word here")},
         {QStringLiteral("a word here")}},
        {"a line feed is searchable",
         QStringLiteral("a\nb"),
         {QStringLiteral("a\nb"), QStringLiteral("a b")},
         {QStringLiteral("a\nb")}},
        {"composed search, decomposed text",
         QString::fromUtf8("caf\u00e9"),
         {QString::fromUtf8("CAFE\u0301!")},
         {QString::fromUtf8("CAFE\u0301!")}},
        {"decomposed search, composed text",
         QString::fromUtf8("E\u0301t\u00e9"),
         {QString::fromUtf8("\u00e9t\u00e9")},
         {QString::fromUtf8("\u00e9t\u00e9")}},
        {"accented capital",
         QString::fromUtf8("\u00c9COLE"),
         {QString::fromUtf8("l'\u00e9cole")},
         {QString::fromUtf8("l'\u00e9cole")}},
        {"diacritics count",
         QStringLiteral("cafe"),
         {QString::fromUtf8("caf\u00e9"), QString::fromUtf8("cafe\u0301")},
         {}},
        {"a letter is not the same letter with a mark", QStringLiteral("q"), {QString::fromUtf8("q\u0301")}, {}},
        {"a mark alone is found",
         QString::fromUtf8("\u0301"),
         {QString::fromUtf8("q\u0301")},
         {QString::fromUtf8("q\u0301")}},
        {"greek final sigma",
         QString::fromUtf8("\u039f\u0394\u039f\u03a3"),
         {QString::fromUtf8("\u03bf\u03b4\u03bf\u03c2")},
         {QString::fromUtf8("\u03bf\u03b4\u03bf\u03c2")}},
        {"cyrillic",
         QString::fromUtf8("\u043f\u0440\u0438\u0432\u0435\u0442"),
         {QString::fromUtf8("\u041f\u0420\u0418\u0412\u0415\u0422 \u043c\u0438\u0440")},
         {QString::fromUtf8("\u041f\u0420\u0418\u0412\u0415\u0422 \u043c\u0438\u0440")}},
        {"emoji",
         QString::fromUtf8("\U0001F600"),
         {QString::fromUtf8("hi \U0001F600"), QStringLiteral("hi")},
         {QString::fromUtf8("hi \U0001F600")}},
        {"lone surrogates do no harm",
         QString(QChar(0xD800)),
         {QString(QChar(0xD800)) + QStringLiteral("x"), QStringLiteral("x")},
         {QString(QChar(0xD800)) + QStringLiteral("x")}},
        {"longer than every text", QStringLiteral("abcdef"), {QStringLiteral("abc"), QString()}, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(search(testCase.texts, testCase.search), testCase.matches);
    }
}

TEST_F(HistoryFilterTest, FindsMatchesAcrossThePiecesALongTextIsFoldedIn)
{
    // Pieces of a long text end before an ASCII character; the accents and marks around the cuts must
    // stay with their letters.
    QString decomposed;
    for (int index = 0; index < 2500; ++index) {
        decomposed += QString::fromUtf8("e\u0301");
    }
    const auto text = QString(4096, QLatin1Char('x')) + QString::fromUtf8("E\u0301\u00e8") + decomposed +
                      QStringLiteral("Z") + QString(3000, QLatin1Char('y')) + QStringLiteral("e\u0301END");
    const struct
    {
        const char* name;
        QString search;
        bool matches;
    } cases[] = {
        {"first cut", QString::fromUtf8("x\u00e9\u00e8\u00e9"), true},
        {"a run of marks across the second cut", QString(2500, QChar(0x00e9)) + QStringLiteral("z"), true},
        {"last piece", QString::fromUtf8("y\u00e9end"), true},
        {"letter without its mark, first cut", QStringLiteral("xe"), false},
        {"letters without their marks", QStringLiteral("ee"), false},
        {"letter without its mark, last piece", QStringLiteral("ye"), false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        EXPECT_EQ(search({text}, testCase.search).size(), testCase.matches ? 1u : 0u);
    }
}

TEST_F(HistoryFilterTest, KeepsUpWithTheHistoryAsEntriesComeAndGo)
{
    const auto first = textItem(QStringLiteral("needle one"));
    const auto second = textItem(QStringLiteral("haystack"));
    EXPECT_EQ(filter.filteredHistory({first, second}, QStringLiteral("needle")).size(), 1u);
    // The same text again is a new entry; the old one is gone.
    const auto again = textItem(QStringLiteral("needle one"));
    const auto listed = filter.filteredHistory({again, second}, QStringLiteral("needle"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0], again);
    EXPECT_TRUE(filter.filteredHistory({}, QStringLiteral("needle")).empty());
}

TEST(FoldedForSearchTest, FoldsAMegabyteOfUnusualTextInAMomentAndStillComposesIt)
{
    // Without a single ASCII character, so the text can only be cut elsewhere; Qt's normaliser alone
    // spends many seconds on each of these.
    const auto repeated = [](const char* unit) { return QString::fromUtf8(unit).repeated(400'000); };
    QElapsedTimer timer;
    timer.start();
    // Compared as booleans: a failure must not print megabytes.
    EXPECT_TRUE(foldedForSearch(repeated("\u0418\u0306")) == foldedForSearch(repeated("\u0439")));
    EXPECT_TRUE(foldedForSearch(repeated("\u1112\u1161\u11AB")) == foldedForSearch(repeated("\uD55C")));
    EXPECT_EQ(foldedForSearch(repeated("\u0301\u0316")).size(), 4u * 400'000);
    EXPECT_LT(timer.elapsed(), 10'000);
}

TEST(ContainsFoldedTest, FindsTheSearchedTextAtEveryOffsetAndNoNearMiss)
{
    for (const std::string searched : {"q", "qu", "q-u", "quite a long searched text"}) {
        for (std::size_t offset = 0; offset + searched.size() <= 70; ++offset) {
            SCOPED_TRACE(testing::Message() << '"' << searched << "\" at " << offset);
            auto text = std::string(70, 'a');
            text.replace(offset, searched.size(), searched);
            EXPECT_TRUE(containsFolded(text, searched));
            if (searched.size() > 2) {
                // First and last byte in place, one in between wrong.
                text[offset + 1] = 'a';
                EXPECT_FALSE(containsFolded(text, searched));
            }
        }
    }
}

} // namespace
