#include "views/history_filter.h"

#include <QChar>

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
// folds to a composed character: such a piece needs no normaliser, which costs far more than folding.
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

void appendUtf8(std::string& utf8, char32_t code)
{
    if (code < 0x80) {
        utf8.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
        utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
        utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
        utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void appendEachCharacterFolded(std::string& folded, QStringView piece)
{
    for (qsizetype index = 0; index < piece.size(); ++index) {
        char32_t code = piece[index].unicode();
        if (code < 0x80) {
            folded.push_back(static_cast<char>(code >= 'A' && code <= 'Z' ? code - 'A' + 'a' : code));
            continue;
        }
        if (QChar::isHighSurrogate(code) && index + 1 < piece.size() && piece[index + 1].isLowSurrogate()) {
            code = QChar::surrogateToUcs4(piece[index], piece[index + 1]);
            ++index;
        } else if (QChar::isSurrogate(code)) {
            // As QString::toStdString() writes a lone surrogate.
            code = '?';
        }
        appendUtf8(folded, QChar::toCaseFolded(code));
    }
}

void appendFolded(std::string& folded, QStringView piece)
{
    if (isBelowCombiningMarks(piece) || hasLongMarkRun(piece)) {
        appendEachCharacterFolded(folded, piece);
        return;
    }
    // Folding can leave a text that is no longer composed.
    const auto composed = piece.toString().normalized(QString::NormalizationForm_C);
    folded += composed.toCaseFolded().normalized(QString::NormalizationForm_C).toStdString();
}

// Sixteen bytes at a time, the places where both the first and the last byte of the searched text
// match; only those are compared in full. glibc's memmem manages a fraction of this speed on short texts.
using Bytes = unsigned char __attribute__((vector_size(16)));
constexpr std::size_t lanes = sizeof(Bytes);

Bytes repeated(char byte)
{
    Bytes bytes;
    std::memset(&bytes, static_cast<unsigned char>(byte), sizeof bytes);
    return bytes;
}

Bytes load(const char* data)
{
    Bytes bytes;
    std::memcpy(&bytes, data, sizeof bytes);
    return bytes;
}

bool isZero(Bytes bytes)
{
    std::uint64_t halves[2];
    std::memcpy(halves, &bytes, sizeof halves);
    return (halves[0] | halves[1]) == 0;
}

std::size_t find(std::string_view text, std::string_view searched, std::size_t from)
{
    const auto length = searched.size();
    if (length == 1) {
        const auto* found = static_cast<const char*>(std::memchr(text.data() + from, searched[0], text.size() - from));
        return found ? static_cast<std::size_t>(found - text.data()) : std::string_view::npos;
    }
    const auto first = repeated(searched.front());
    const auto last = repeated(searched.back());
    auto position = from;
    for (; position + length - 1 + lanes <= text.size(); position += lanes) {
        const Bytes candidates =
            (load(text.data() + position) == first) & (load(text.data() + position + length - 1) == last);
        if (isZero(candidates)) {
            continue;
        }
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            if (candidates[lane] && text.compare(position + lane, length, searched) == 0) {
                return position + lane;
            }
        }
    }
    for (; position + length <= text.size(); ++position) {
        if (text.compare(position, length, searched) == 0) {
            return position;
        }
    }
    return std::string_view::npos;
}

char32_t firstCodePoint(std::string_view utf8)
{
    const auto lead = static_cast<unsigned char>(utf8.front());
    if (lead < 0x80) {
        return lead;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (utf8.size() < static_cast<std::size_t>(length)) {
        return 0;
    }
    char32_t code = lead & (0x3F >> (length - 1));
    for (int index = 1; index < length; ++index) {
        code = (code << 6) | (static_cast<unsigned char>(utf8[index]) & 0x3F);
    }
    return code;
}

bool startsWithCombiningMark(std::string_view utf8)
{
    return !utf8.empty() && QChar::combiningClass(firstCodePoint(utf8)) != 0;
}

} // namespace

std::string foldedForSearch(QStringView text)
{
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
    std::size_t from = 0;
    while (from + foldedSearch.size() <= folded.size()) {
        const auto position = find(folded, foldedSearch, from);
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

std::vector<ClipboardItem> HistoryFilter::filteredHistory(const std::vector<ClipboardItem>& history,
                                                          const QString& searchText)
{
    if (searchText.isEmpty()) {
        return history;
    }
    ++m_generation;
    const auto foldedSearch = foldedForSearch(searchText);
    std::vector<ClipboardItem> matches;
    for (const auto& item : history) {
        if (item.text() && containsFolded(foldedText(item), foldedSearch)) {
            matches.push_back(item);
        }
    }
    dropEntriesNotSeen();
    return matches;
}

const std::string& HistoryFilter::foldedText(const ClipboardItem& item)
{
    auto [entry, inserted] = m_foldedTexts.try_emplace(item.id());
    if (inserted) {
        entry->second.utf8 = foldedForSearch(*item.text());
    }
    entry->second.generation = m_generation;
    return entry->second.utf8;
}

void HistoryFilter::dropEntriesNotSeen()
{
    std::erase_if(m_foldedTexts, [this](const auto& entry) { return entry.second.generation != m_generation; });
}
