#include "engine/search_key.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Qt's normaliser takes time quadratic in the length of what it rewrites, so a text is folded in pieces.
// A piece ends before a character that never decomposes, never reorders with the marks before it and
// never composes with what precedes it. A text with no such character for a while (marks only, say) is
// cut regardless: at worst a match across that cut is missed, where a whole text would take minutes.
constexpr qsizetype pieceLength = 1024;
constexpr qsizetype longestPiece = 4 * pieceLength;

bool isSafeCut(QChar character)
{
    const char16_t code = character.unicode();
    if (code < 0x80) {
        return true;
    }
    // Hangul vowels and trailing consonants compose with the jamo before them.
    const bool isComposingJamo = (code >= 0x1160 && code <= 0x11FF) || (code >= 0xD7B0 && code <= 0xD7FF);
    return !character.isSurrogate() && !isComposingJamo && !character.isMark() && character.combiningClass() == 0 &&
           character.decompositionTag() == QChar::NoDecomposition;
}

qsizetype pieceEnd(QStringView text, qsizetype from)
{
    if (text.size() - from <= pieceLength) {
        return text.size();
    }
    const auto limit = std::min(text.size(), from + longestPiece);
    for (auto index = from + pieceLength; index < limit; ++index) {
        if (isSafeCut(text[index])) {
            return index;
        }
    }
    // Not between the halves of a surrogate pair.
    return limit < text.size() && text[limit].isLowSurrogate() ? limit - 1 : limit;
}

// Below U+0300 every character is composed already, none composes with the one before it, and each
// folds to one composed character: such a text needs no normaliser, which costs far more than folding.
bool isBelowCombiningMarks(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar character) { return character.unicode() < 0x300; });
}

// Stream-safe text has at most 30 marks in a row. Longer runs are no real writing, and Qt's normaliser
// reorders them in quadratic time: such a piece is folded without normalising.
constexpr int longestMarkRun = 30;

bool hasLongMarkRun(QStringView text)
{
    int run = 0;
    for (const QChar character : text) {
        run = character.combiningClass() != 0 ? run + 1 : 0;
        if (run > longestMarkRun) {
            return true;
        }
    }
    return false;
}

void appendFolded(std::string& folded, QStringView piece)
{
    if (isBelowCombiningMarks(piece) || hasLongMarkRun(piece)) {
        folded += piece.toString().toCaseFolded().toStdString();
        return;
    }
    // Folding can leave a text that is no longer composed.
    const auto composed = piece.toString().normalized(QString::NormalizationForm_C);
    folded += composed.toCaseFolded().normalized(QString::NormalizationForm_C).toStdString();
}

char32_t firstCodePoint(std::string_view utf8)
{
    // A code point takes four bytes at most; a character cut off after it does not matter.
    const auto head = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(std::min<std::size_t>(utf8.size(), 4)));
    return head.isEmpty() ? 0 : head.toUcs4().front();
}

bool startsWithCombiningMark(std::string_view utf8)
{
    return !utf8.empty() && QChar::combiningClass(firstCodePoint(utf8)) != 0;
}

// Sixteen bytes, compared all at once (SSE2 on x86-64, NEON on ARM).
using Bytes = unsigned char __attribute__((vector_size(16)));

Bytes sixteenBytes(const char* text)
{
    Bytes bytes;
    std::memcpy(&bytes, text, sizeof bytes);
    return bytes;
}

bool hasAnyByte(Bytes bytes)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &bytes, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// The first occurrence of `search` (two bytes or more) in `text` from `from`. A search whose first letter is
// common would stop at each occurrence of it, as find() does: this looks at sixteen places at once for both
// the first and the last byte, and compares whole only where both are found. 50 texts of a megabyte then
// take a few milliseconds for any search.
std::size_t findBytes(std::string_view text, std::string_view search, std::size_t from)
{
    if (search.size() == 1) {
        return text.find(search.front(), from);
    }
    const auto lastOffset = search.size() - 1;
    const Bytes first = Bytes{} + static_cast<unsigned char>(search.front());
    const Bytes last = Bytes{} + static_cast<unsigned char>(search.back());
    auto position = from;
    for (; position + lastOffset + sizeof(Bytes) <= text.size(); position += sizeof(Bytes)) {
        const Bytes both = (sixteenBytes(text.data() + position) == first) &
                           (sixteenBytes(text.data() + position + lastOffset) == last);
        if (!hasAnyByte(both)) {
            continue;
        }
        for (std::size_t offset = 0; offset < sizeof(Bytes); ++offset) {
            if (both[offset] != 0 && text.substr(position + offset, search.size()) == search) {
                return position + offset;
            }
        }
    }
    return text.find(search, position);
}

} // namespace

std::string foldedForSearch(QStringView text)
{
    // Most texts need no normaliser anywhere: folded character by character in one go, they cost a fraction
    // of piece by piece.
    if (isBelowCombiningMarks(text)) {
        QString folded(text.size(), Qt::Uninitialized);
        std::transform(text.begin(), text.end(), folded.begin(),
                       [](QChar character) { return character.toCaseFolded(); });
        return folded.toStdString();
    }
    std::string folded;
    folded.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype from = 0; from < text.size();) {
        const auto end = pieceEnd(text, from);
        appendFolded(folded, text.sliced(from, end - from));
        from = end;
    }
    return folded;
}

bool containsFolded(std::string_view folded, std::string_view foldedSearch)
{
    if (foldedSearch.empty()) {
        return true;
    }
    for (std::size_t from = 0; from + foldedSearch.size() <= folded.size();) {
        const auto position = findBytes(folded, foldedSearch, from);
        if (position == std::string_view::npos) {
            return false;
        }
        if (!startsWithCombiningMark(folded.substr(position + foldedSearch.size()))) {
            return true;
        }
        from = position + 1;
    }
    return false;
}
