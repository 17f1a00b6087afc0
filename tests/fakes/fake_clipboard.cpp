#include "tests/fakes/fake_clipboard.h"

void FakeClipboard::copy(std::optional<Images> images, std::optional<QString> text)
{
    setContent(std::move(images), std::move(text));
    m_changeCount.fetch_add(1);
}

void FakeClipboard::setContent(std::optional<Images> images, std::optional<QString> text)
{
    m_images = std::move(images);
    m_text = std::move(text);
}

void FakeClipboard::clear()
{
    m_operations.push_back(Operation::Clear);
    copy(std::nullopt, std::nullopt);
}
