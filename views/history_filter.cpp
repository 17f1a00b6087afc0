#include "views/history_filter.h"

#include "engine/clipboard_manager.h"
#include "engine/search_key.h"
#include "views/clipboard_item_view.h"

#include <cassert>

HistoryFilter::HistoryFilter(ClipboardManager& manager, QObject* parent)
    : QSortFilterProxyModel(parent), m_manager(manager)
{
    setSourceModel(&m_manager);
    connect(&m_manager, &ClipboardManager::searchTextChanged, this, &HistoryFilter::setSearchText);
    setSearchText(m_manager.searchText());
}

QVariant HistoryFilter::data(const QModelIndex& index, int role) const
{
    if (role != Qt::AccessibleTextRole || !index.isValid()) {
        return QSortFilterProxyModel::data(index, role);
    }
    const auto& entry = item(index);
    if (entry.image()) {
        return tr("Image");
    }
    return ClipboardItemView::previewText(entry.text().value_or(QString()));
}

const ClipboardItem& HistoryFilter::item(const QModelIndex& index) const
{
    const auto row = mapToSource(index).row();
    assert(row >= 0 && "an index of a listed row");
    return m_manager.history().at(static_cast<std::size_t>(row));
}

bool HistoryFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    if (!m_isSearching) {
        return true;
    }
    const auto& entry = m_manager.history().at(static_cast<std::size_t>(sourceRow));
    return entry.text() && containsFolded(entry.searchKey(), m_foldedSearch);
}

void HistoryFilter::setSearchText(const QString& searchText)
{
    m_isSearching = !searchText.isEmpty();
    m_foldedSearch = foldedForSearch(searchText);
    invalidateFilter();
}
