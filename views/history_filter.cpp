#include "views/history_filter.h"

#include <QChar>

#include <algorithm>
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

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar character) { return character.unicode() < 0x80; });
}

void appendFolded(std::string& folded, QStringView piece)
{
    if (isAscii(piece)) {
        for (const QChar character : piece) {
            const auto code = static_cast<char>(character.unicode());
            folded.push_back(code >= 'A' && code <= 'Z' ? static_cast<char>(code - 'A' + 'a') : code);
        }
        return;
    }
    // Folding can leave a text that is no longer composed.
    const auto composed = piece.toString().normalized(QString::NormalizationForm_C);
    folded += composed.toCaseFolded().normalized(QString::NormalizationForm_C).toStdString();
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
        const auto* found = static_cast<const char*>(
            memmem(folded.data() + from, folded.size() - from, foldedSearch.data(), foldedSearch.size()));
        if (!found) {
            return false;
        }
        const auto position = static_cast<std::size_t>(found - folded.data());
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
