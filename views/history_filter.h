#pragma once

#include <QSortFilterProxyModel>

#include <string>

class ClipboardItem;
class ClipboardManager;

/// The entries of the history that the panel lists for the manager's search text: all of them for an empty
/// search, otherwise those whose text contains the search text ignoring case, with canonical equivalence,
/// diacritics counting and the search text used as typed. Entries without text never match a search.
/// GUI thread.
class HistoryFilter final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    /// `manager` must outlive the filter.
    explicit HistoryFilter(ClipboardManager& manager, QObject* parent = nullptr);

    /// Adds what a screen reader names a row after: the one-line preview, or "Image".
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    /// The entry listed at `index`, a valid index of this model.
    [[nodiscard]] const ClipboardItem& item(const QModelIndex& index) const;

protected:
    [[nodiscard]] bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    void setSearchText(const QString& searchText);

    ClipboardManager& m_manager;
    bool m_isSearching = false;
    // Folded once per keystroke; each entry's text was folded when it was captured.
    std::string m_foldedSearch;
};
