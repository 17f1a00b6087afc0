#include "tests/fakes/fake_pasteboard.h"

#include <algorithm>

void FakePasteboard::copyText(std::optional<QString> text)
{
    copy(std::nullopt, std::move(text));
}

void FakePasteboard::copyImages(std::optional<Images> images)
{
    copy(std::move(images), std::nullopt);
}

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

int FakePasteboard::count(Operation operation) const
{
    return static_cast<int>(std::count(m_operations.begin(), m_operations.end(), operation));
}

std::optional<FakePasteboard::Images> FakePasteboard::readImages()
{
    m_operations.push_back(Operation::ReadImages);
    if (m_beforeRead) {
        m_beforeRead();
    }
    return m_images;
}

std::optional<QString> FakePasteboard::string()
{
    m_operations.push_back(Operation::ReadString);
    if (m_beforeRead) {
        m_beforeRead();
    }
    return m_text;
}

void FakePasteboard::clearContents()
{
    m_operations.push_back(Operation::ClearContents);
    setContent(std::nullopt, std::nullopt);
    m_changeCount.fetch_add(1);
}

void FakePasteboard::setString(const QString& text)
{
    m_operations.push_back(Operation::SetString);
    m_text = text;
}

void FakePasteboard::writeObjects(const Images& images)
{
    m_operations.push_back(Operation::WriteObjects);
    m_images = images;
}
