#pragma once

#include "platform/image.h"

#include <QString>
#include <QUuid>

#include <cstddef>
#include <memory>
#include <optional>

/// One entry of the clipboard history: a text or an image, and an identity.
/// Immutable; copies share the image.
class ClipboardItem
{
public:
    ClipboardItem(std::optional<QString> text, std::shared_ptr<const platform::Image> image);

    [[nodiscard]] const QUuid& id() const { return m_id; }
    [[nodiscard]] const std::optional<QString>& text() const { return m_text; }
    [[nodiscard]] const std::shared_ptr<const platform::Image>& image() const { return m_image; }
    /// The text in canonical composed form (NFC), for comparisons up to canonical equivalence. Computed
    /// once; shares the text's storage when the text is already in that form, as most are.
    [[nodiscard]] const std::optional<QString>& canonicalText() const { return m_canonicalText; }

    /// Hashes an item's id, for maps keyed by entry.
    struct IdHash
    {
        std::size_t operator()(const QUuid& id) const noexcept { return qHash(id); }
    };

    /// Identity, not content: an item equals only itself and its copies.
    friend bool operator==(const ClipboardItem& left, const ClipboardItem& right) { return left.m_id == right.m_id; }

private:
    QUuid m_id;
    std::optional<QString> m_text;
    std::shared_ptr<const platform::Image> m_image;
    std::optional<QString> m_canonicalText;
};
