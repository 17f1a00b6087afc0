#include "engine/clipboard_item.h"

#include "engine/canonical_text.h"
#include "engine/search_key.h"

namespace {

std::shared_ptr<const ClipboardItem::Content> makeContent(std::optional<QString> text,
                                                          std::shared_ptr<const platform::Image> image)
{
    auto canonicalText = text ? std::optional(canonicallyComposed(*text)) : std::nullopt;
    auto imageSummary = image ? ImageSummary::of(*image) : ImageSummary();
    auto searchKey = text ? foldedForSearch(*text) : std::string();
    return std::make_shared<ClipboardItem::Content>(ClipboardItem::Content{
        std::move(text), std::move(image), std::move(canonicalText), std::move(imageSummary), std::move(searchKey)});
}

} // namespace

std::size_t ClipboardItem::Content::byteSize() const
{
    const auto textBytes = [](const std::optional<QString>& value) {
        return value ? static_cast<std::size_t>(value->size()) * sizeof(QChar) : 0;
    };
    // Most canonical texts share the text's storage.
    const bool isCanonicalShared = text && canonicalText && text->constData() == canonicalText->constData();
    const auto imageBytes = image ? static_cast<std::size_t>(image->encodedBytes().size()) : 0;
    return textBytes(text) + (isCanonicalShared ? 0 : textBytes(canonicalText)) + searchKey.size() + imageBytes +
           static_cast<std::size_t>(imageSummary.thumbnailSource.sizeInBytes());
}

ClipboardItem::ClipboardItem(std::optional<QString> text, std::shared_ptr<const platform::Image> image)
    : ClipboardItem(makeContent(std::move(text), std::move(image)))
{}

ClipboardItem::ClipboardItem(std::shared_ptr<const Content> content)
    : m_id(QUuid::createUuid()), m_content(std::move(content))
{}
