#pragma once

#include "platform/clipboard.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// A clipboard the test fills and inspects. `changeCount()` may be read from any thread;
/// everything else belongs to the test's thread.
class FakeClipboard : public platform::Clipboard
{
public:
    /// What the engine did to the clipboard, in order.
    enum class Operation
    {
        Clear,
        SetText,
        SetImage,
        ReadImages,
        ReadText,
    };

    // As another application does it: new content, one new change count.
    void copyText(std::optional<QString> text) { copy(std::nullopt, std::move(text)); }
    void copyImages(std::optional<Images> images) { copy(std::move(images), std::nullopt); }
    void copy(std::optional<Images> images, std::optional<QString> text);

    /// Sets the content without touching the change count, as when it changes between a tick and a capture.
    void setContent(std::optional<Images> images, std::optional<QString> text);
    void setChangeCount(std::int64_t changeCount) { m_changeCount.store(changeCount); }

    [[nodiscard]] const std::optional<QString>& currentText() const { return m_text; }
    [[nodiscard]] const std::optional<Images>& currentImages() const { return m_images; }
    [[nodiscard]] int count(Operation operation) const
    {
        return static_cast<int>(std::ranges::count(m_operations, operation));
    }

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    /// Reports the change to the handler, as a desktop that tells of changes does after a copy.
    void reportChange() const
    {
        if (m_changeHandler) {
            m_changeHandler();
        }
    }
    [[nodiscard]] std::optional<Images> images() override { return record(Operation::ReadImages, m_images); }
    [[nodiscard]] std::optional<QString> text() override { return record(Operation::ReadText, m_text); }
    // Its reads are instant.
    void setReadsInterrupted(bool /*interrupted*/) override {}
    void clear() override;
    void setText(const QString& text) override { m_text = record(Operation::SetText, text); }
    void setImage(std::shared_ptr<const platform::Image> image) override
    {
        m_images = record(Operation::SetImage, Images{std::move(image)});
    }

private:
    // Logs the call and passes `value` through.
    template <typename Value> Value record(Operation operation, Value value)
    {
        m_operations.push_back(operation);
        return value;
    }

    std::atomic<std::int64_t> m_changeCount = 1;
    std::optional<Images> m_images;
    std::optional<QString> m_text;
    std::vector<Operation> m_operations;
    std::function<void()> m_changeHandler;
};
