#include "views/history_filter.h"

#include <QChar>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Qt's normaliser takes time quadratic in the length of what it rewrites, so long texts are folded in
// pieces. A cut before an ASCII character is safe: it never decomposes, never reorders with the marks
// before it and never composes with a preceding character.
constexpr qsizetype pieceLength = 4096;

qsizetype pieceEnd(QStringView text, qsizetype from)
{
    if (text.size() - from <= pieceLength) {
        return text.size();
    }
    for (auto index = from + pieceLength; index < text.size(); ++index) {
        if (text[index].unicode() < 0x80) {
            return index;
        }
    }
    return text.size();
}

// Below U+0300 every character is composed already, none composes with the one before it, and each
// folds to a composed character: such a piece needs no normaliser, which costs far more than folding.
bool isBelowCombiningMarks(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar character) { return character.unicode() < 0x300; });
}

void appendUtf8(std::string& utf8, char32_t code)
{
    if (code < 0x80) {
        utf8.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
        utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
        utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

void appendFolded(std::string& folded, QStringView piece)
{
    if (isBelowCombiningMarks(piece)) {
        for (const QChar character : piece) {
            const char32_t code = character.unicode();
            if (code < 0x80) {
                folded.push_back(static_cast<char>(code >= 'A' && code <= 'Z' ? code - 'A' + 'a' : code));
            } else {
                // Folds below U+0300 stay in the Basic Multilingual Plane.
                appendUtf8(folded, QChar::toCaseFolded(code));
            }
        }
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
