#pragma once

#include "platform/pasteboard.h"

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

/// A pasteboard the test fills and inspects. `changeCount()` may be read from any thread;
/// everything else belongs to the test's thread.
class FakePasteboard : public platform::Pasteboard
{
public:
    using Images = std::vector<std::shared_ptr<const platform::Image>>;

    /// What the engine did to the pasteboard, in order.
    enum class Operation
    {
        ClearContents,
        SetString,
        WriteObjects,
        ReadImages,
        ReadString,
    };

    // As another application does it: new content, one new change count.
    void copyText(std::optional<QString> text) { copy(std::nullopt, std::move(text)); }
    void copyImages(std::optional<Images> images) { copy(std::move(images), std::nullopt); }
    void copy(std::optional<Images> images, std::optional<QString> text);

    /// Sets the content without touching the change count, as when it changes between a tick and a capture.
    void setContent(std::optional<Images> images, std::optional<QString> text);
    void setChangeCount(std::int64_t changeCount) { m_changeCount.store(changeCount); }

    [[nodiscard]] const std::optional<QString>& text() const { return m_text; }
    [[nodiscard]] int count(Operation operation) const
    {
        return static_cast<int>(std::ranges::count(m_operations, operation));
    }

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    [[nodiscard]] std::optional<Images> readImages() override { return record(Operation::ReadImages, m_images); }
    [[nodiscard]] std::optional<QString> string() override { return record(Operation::ReadString, m_text); }
    void clearContents() override;
    void setString(const QString& text) override { m_text = record(Operation::SetString, text); }
    void writeObjects(const Images& images) override { m_images = record(Operation::WriteObjects, images); }

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
};
