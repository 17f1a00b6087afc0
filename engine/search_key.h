#pragma once

#include <QStringView>

#include <string>
#include <string_view>

/// `text` in the form that the search compares: composed (NFC), case folded, as UTF-8. Any thread.
[[nodiscard]] std::string foldedForSearch(QStringView text);

/// Whether `folded` contains `foldedSearch` (both from `foldedForSearch`) at whole characters: a match
/// that a combining mark would continue is not one, so that diacritics count.
[[nodiscard]] bool containsFolded(std::string_view folded, std::string_view foldedSearch);
