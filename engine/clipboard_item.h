#pragma once

#include "engine/image_summary.h"
#include "platform/image.h"

#include <QString>
#include <QUuid>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

/// One entry of the clipboard history: a text or an image, and an identity.
/// Immutable; copies share the content.
class ClipboardItem
{
public:
    /// What an entry holds. Entries with the very same content may share one.
    struct Content
    {
        std::optional<QString> text;
        std::shared_ptr<const platform::Image> image;
        /// The text in canonical composed form (NFC), for comparisons up to canonical equivalence. Shares the
        /// text's storage when the text is already in that form, as most are.
        std::optional<QString> canonicalText;
        /// Of the image's pixels, from the one decode made when the entry was captured.
        ImageSummary imageSummary;
        /// The text as the search compares it (`foldedForSearch`), made once with the content; empty without
        /// a text.
        std::string searchKey;

        /// What this content holds in memory: texts as stored, the search key, the picture's encoded bytes and
        /// its thumbnail source.
        [[nodiscard]] std::size_t byteSize() const;
    };

    ClipboardItem(std::optional<QString> text, std::shared_ptr<const platform::Image> image);
    /// A new entry holding `content`, shared with the entries that hold it already.
    explicit ClipboardItem(std::shared_ptr<const Content> content);

    [[nodiscard]] const QUuid& id() const { return m_id; }
    [[nodiscard]] const std::optional<QString>& text() const { return m_content->text; }
    [[nodiscard]] const std::shared_ptr<const platform::Image>& image() const { return m_content->image; }
    [[nodiscard]] const std::optional<QString>& canonicalText() const { return m_content->canonicalText; }
    [[nodiscard]] const std::string& searchKey() const { return m_content->searchKey; }
    [[nodiscard]] const std::shared_ptr<const Content>& content() const { return m_content; }

    /// Hashes an item's id, for maps keyed by entry.
    struct IdHash
    {
        std::size_t operator()(const QUuid& id) const noexcept { return qHash(id); }
    };

    /// Identity, not content: an item equals only itself and its copies.
    friend bool operator==(const ClipboardItem& left, const ClipboardItem& right) { return left.m_id == right.m_id; }

private:
    QUuid m_id;
    std::shared_ptr<const Content> m_content;
};
