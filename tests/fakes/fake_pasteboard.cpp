#include "tests/fakes/fake_pasteboard.h"

void FakePasteboard::copy(std::optional<Images> images, std::optional<QString> text)
{
    setContent(std::move(images), std::move(text));
    m_changeCount.fetch_add(1);
}

void FakePasteboard::setContent(std::optional<Images> images, std::optional<QString> text)
{
    m_images = std::move(images);
    m_text = std::move(text);
}

void FakePasteboard::clearContents()
{
    m_operations.push_back(Operation::ClearContents);
    copy(std::nullopt, std::nullopt);
}
