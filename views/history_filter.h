#pragma once

#include "engine/clipboard_item.h"

#include <QString>
#include <QStringView>
#include <QUuid>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// Chooses the entries of the history that the panel lists for a search text. Keeps the folded form of
/// every text it has searched, so that a keystroke costs one scan per entry, not a normalisation.
/// GUI thread.
class HistoryFilter final
{
public:
    /// The whole history for an empty search; otherwise the entries whose text contains the search
    /// text ignoring case, with canonical equivalence, diacritics counting and the search text used
    /// as typed. Entries without text never match a search.
    [[nodiscard]] std::vector<ClipboardItem> filteredHistory(const std::vector<ClipboardItem>& history,
                                                             const QString& searchText);

private:
    struct FoldedText
    {
        std::string utf8;
        // The last search that saw the entry in the history; older entries are dropped.
        std::uint64_t generation = 0;
    };

    [[nodiscard]] const std::string& foldedText(const ClipboardItem& item);
    void dropEntriesNotSeen();

    std::unordered_map<QUuid, FoldedText, ClipboardItem::IdHash> m_foldedTexts;
    std::uint64_t m_generation = 0;
};

/// `text` in the form that the search compares: composed (NFC), case folded, as UTF-8.
[[nodiscard]] std::string foldedForSearch(QStringView text);

/// Whether `folded` contains `foldedSearch` (both from `foldedForSearch`) at whole characters: a match
/// that a combining mark would continue is not one, so that diacritics count.
[[nodiscard]] bool containsFolded(std::string_view folded, std::string_view foldedSearch);
