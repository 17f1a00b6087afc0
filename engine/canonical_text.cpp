#include "engine/canonical_text.h"

#include <QChar>
#include <QStringView>

#include <algorithm>

namespace {

// Qt's normaliser moves the rest of what it is given for each character it decomposes or composes, which
// takes time quadratic in its length: a text is composed in pieces. A piece ends before a character that
// starts anew, so that the composed pieces, one after the other, are the composed whole.
constexpr qsizetype pieceLength = 256;
// Only a text that is no writing (thousands of marks in a row) goes this long without such a character;
// it is then cut regardless, and may miss a duplicate spelled otherwise, where the whole would take minutes.
constexpr qsizetype longestPiece = 4 * pieceLength;

// No mark, no combining class, and never the second of a composed pair: nothing before it composes or
// reorders with it or with what follows it. Hangul vowels and trailing consonants compose with the jamo or
// the syllable before them.
bool startsAnew(char32_t code)
{
    if (code < 0x300) {
        return true;
    }
    const bool isComposingJamo = (code >= 0x1160 && code <= 0x11FF) || (code >= 0xD7B0 && code <= 0xD7FF);
    return !isComposingJamo && !QChar::isMark(code) && QChar::combiningClass(code) == 0;
}

bool startsAnewAt(QStringView text, qsizetype index)
{
    const QChar character = text[index];
    if (character.isLowSurrogate()) {
        return false;
    }
    if (character.isHighSurrogate()) {
        return index + 1 < text.size() && text[index + 1].isLowSurrogate() &&
               startsAnew(QChar::surrogateToUcs4(character, text[index + 1]));
    }
    return startsAnew(character.unicode());
}

qsizetype pieceEnd(QStringView text, qsizetype from)
{
    if (text.size() - from <= pieceLength) {
        return text.size();
    }
    const auto limit = std::min(text.size(), from + longestPiece);
    for (auto index = from + pieceLength; index < limit; ++index) {
        if (startsAnewAt(text, index)) {
            return index;
        }
    }
    // Not between the halves of a surrogate pair.
    return limit < text.size() && text[limit].isLowSurrogate() ? limit - 1 : limit;
}

// Below U+0300 every character is composed already and none composes with the one before it.
bool isBelowCombiningMarks(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar character) { return character.unicode() < 0x300; });
}

} // namespace

QString canonicallyComposed(const QString& text)
{
    QString composed;
    // Up to here the text is copied into `composed`, or left as it is while `composed` is empty.
    qsizetype copiedUpTo = 0;
    for (qsizetype from = 0; from < text.size();) {
        const auto end = pieceEnd(text, from);
        const auto piece = QStringView(text).sliced(from, end - from);
        if (!isBelowCombiningMarks(piece)) {
            const auto composedPiece = piece.toString().normalized(QString::NormalizationForm_C);
            if (composedPiece != piece) {
                composed.reserve(text.size());
                composed += QStringView(text).sliced(copiedUpTo, from - copiedUpTo);
                composed += composedPiece;
                copiedUpTo = end;
            }
        }
        from = end;
    }
    if (copiedUpTo == 0) {
        return text;
    }
    composed += QStringView(text).sliced(copiedUpTo);
    return composed;
}
