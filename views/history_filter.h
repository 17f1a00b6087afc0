#pragma once

#include <QSortFilterProxyModel>

#include <string>

/// The rows of the history that the panel lists for a search text: all of them for an empty search, otherwise
/// those whose text contains the search text ignoring case, with canonical equivalence, diacritics counting and
/// the search text used as typed. Rows without text never match a search. Reads the source's
/// `ClipboardManager::SearchKeyRole`. GUI thread.
class HistoryFilter final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setSearchText(const QString& searchText);

protected:
    [[nodiscard]] bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    bool m_isSearching = false;
    // Folded once per keystroke; each entry's text was folded when it was captured.
    std::string m_foldedSearch;
};
