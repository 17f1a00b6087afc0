#pragma once

#include "platform/clipboard.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

/// Filled and inspected by the test; only `changeCount()` may be read from another thread.
class FakeClipboard : public platform::Clipboard
{
public:
    // As another application does it: new content, one new change count.
    void copyText(std::optional<QString> text) { copy(std::nullopt, std::move(text)); }
    void copyImages(std::optional<Images> images) { copy(std::move(images), std::nullopt); }
    void copy(std::optional<Images> images, std::optional<QString> text)
    {
        setContent(std::move(images), std::move(text));
        m_changeCount.fetch_add(1);
    }

    /// Sets the content without touching the change count, as when it changes between a tick and a capture.
    void setContent(std::optional<Images> images, std::optional<QString> text)
    {
        m_images = std::move(images);
        m_text = std::move(text);
    }
    void setChangeCount(std::int64_t changeCount) { m_changeCount.store(changeCount); }
    /// Reports the change to the handler, as a desktop that tells of changes does after a copy.
    void reportChange() const { m_changeHandler(); }

    [[nodiscard]] const std::optional<QString>& currentText() const { return m_text; }
    /// How often the text was read: reading content is what a tick without a change must not do.
    [[nodiscard]] int textReads() const { return m_textReads; }

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    [[nodiscard]] std::optional<Images> images() override { return m_images; }
    [[nodiscard]] std::optional<QString> text() override
    {
        ++m_textReads;
        return m_text;
    }
    // Its reads are instant.
    void setReadsInterrupted(bool /*interrupted*/) override {}
    void clear() override { copy(std::nullopt, std::nullopt); }
    void setText(const QString& text) override { m_text = text; }
    void setImage(std::shared_ptr<const platform::Image> image) override { m_images = Images{std::move(image)}; }

private:
    std::atomic<std::int64_t> m_changeCount = 1;
    std::optional<Images> m_images;
    std::optional<QString> m_text;
    int m_textReads = 0;
    std::function<void()> m_changeHandler;
};
