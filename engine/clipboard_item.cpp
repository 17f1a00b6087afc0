#include "engine/clipboard_item.h"

ClipboardItem::ClipboardItem(std::optional<QString> text, std::shared_ptr<const platform::Image> image)
    : m_id(QUuid::createUuid()), m_text(std::move(text)), m_image(std::move(image))
{
    if (m_text) {
        m_canonicalText = m_text->normalized(QString::NormalizationForm_C);
    }
}
