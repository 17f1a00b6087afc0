#include "engine/search_key.h"

#include <QString>

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

const auto isListed = [](const QString& text, const QString& searchText) {
    return containsFolded(foldedForSearch(text), foldedForSearch(searchText));
};

TEST(SearchKeyTest, MatchesIgnoringCaseButNotDiacritics)
{
    // Name, search, text, whether it is listed.
    const std::tuple<const char*, const char*, const char*, bool> cases[] = {
        {"a tab is no space", " ", "a\tb", false},
        {"composed search, decomposed text", "caf\u00e9", "CAFE\u0301!", true},
        {"diacritics count, composed", "cafe", "caf\u00e9", false},
        {"a mark alone is found", "\u0301", "q\u0301", true},
        {"greek final sigma", "\u039f\u0394\u039f\u03a3", "\u03bf\u03b4\u03bf\u03c2", true},
    };
    for (const auto& [name, search, text, listed] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(isListed(QString::fromUtf8(text), QString::fromUtf8(search)), listed);
    }
    const QString lone(QChar(0xD800));
    EXPECT_TRUE(isListed(lone + QStringLiteral("x"), lone));
    EXPECT_FALSE(isListed(QStringLiteral("x"), lone));
}

TEST(SearchKeyTest, FindsMatchesAcrossThePiecesALongTextIsFoldedIn)
{
    // Pieces of a long text end before an ASCII character; marks around the cuts stay with their letters.
    const auto text = QString(4096, QLatin1Char('x')) + QString::fromUtf8("E\u0301\u00e8") +
                      QString::fromUtf8("e\u0301").repeated(2500) + QStringLiteral("Z") +
                      QString(3000, QLatin1Char('y')) + QString::fromUtf8("e\u0301END");
    EXPECT_TRUE(isListed(text, QString::fromUtf8("x\u00e9\u00e8\u00e9")));
    // A run of marks across the second cut.
    EXPECT_TRUE(isListed(text, QString(2500, QChar(0x00e9)) + QStringLiteral("z")));
    EXPECT_TRUE(isListed(text, QString::fromUtf8("y\u00e9end")));
    // Letters without their marks, at the first cut, in the run and in the last piece.
    for (const char* search : {"xe", "ee", "ye"}) {
        EXPECT_FALSE(isListed(text, QString::fromLatin1(search))) << search;
    }
}

// Qt's normaliser takes time quadratic in what it rewrites: texts are normalised in pieces of at most 4096
// characters, and runs of marks, which it would reorder, not at all. Both show in what the folding gives.
TEST(SearchKeyTest, NormalisesALongTextPieceByPiece)
{
    const auto repeated = [](const char* unit, qsizetype times) { return QString::fromUtf8(unit).repeated(times); };
    // Compared as booleans: a failure must not print megabytes.
    EXPECT_TRUE(foldedForSearch(repeated("\u0418\u0306", 3000)) == foldedForSearch(repeated("\u0439", 3000)));
    EXPECT_TRUE(foldedForSearch(repeated("\u1112\u1161\u11AB", 3000)) == foldedForSearch(repeated("\uD55C", 3000)));
    // Without a place to cut for 4096 characters it is cut there all the same: the macron stays alone.
    const auto dotted = repeated("\u0227", 4096);
    EXPECT_TRUE(foldedForSearch(dotted + QChar(0x0304)) == dotted.toStdString() + "\u0304");
    // A megabyte of marks keeps its order: normalised, U+0316 would come first.
    const auto marks = repeated("\u0301\u0316", 400'000);
    EXPECT_TRUE(foldedForSearch(marks) == marks.toStdString());
}

TEST(SearchKeyTest, FindsTheSearchedTextAtEveryOffsetAndNoNearMiss)
{
    for (const std::string searched : {"q", "q-u", "quite a long searched text"}) {
        for (std::size_t offset = 0; offset + searched.size() <= 70; ++offset) {
            SCOPED_TRACE(testing::Message() << '"' << searched << "\" at " << offset);
            auto text = std::string(70, 'a').replace(offset, searched.size(), searched);
            EXPECT_TRUE(containsFolded(text, searched));
            if (searched.size() > 2) {
                // First and last byte in place, one in between wrong.
                text[offset + 1] = 'a';
                EXPECT_FALSE(containsFolded(text, searched));
            }
        }
    }
    // A near miss just before the match, in the same stretch of text.
    EXPECT_TRUE(containsFolded("aaq-xq-uaaaaaaaaaaaaaaaaaaaa", "q-u"));
}

} // namespace
