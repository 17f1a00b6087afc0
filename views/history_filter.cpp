#include "views/history_filter.h"

#include "engine/clipboard_manager.h"
#include "engine/search_key.h"

#include <string_view>

bool HistoryFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_isSearching) {
        return true;
    }
    const auto searchKey =
        sourceModel()->index(sourceRow, 0, sourceParent).data(ClipboardManager::SearchKeyRole).toByteArray();
    return !searchKey.isEmpty() &&
           containsFolded(std::string_view(searchKey.constData(), static_cast<std::size_t>(searchKey.size())),
                          m_foldedSearch);
}

void HistoryFilter::setSearchText(const QString& searchText)
{
    m_isSearching = !searchText.isEmpty();
    m_foldedSearch = foldedForSearch(searchText);
    invalidateFilter();
}
