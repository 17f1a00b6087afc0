#pragma once

#include "platform/pasteboard.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// A pasteboard the test fills and inspects. `changeCount()` may be read from any thread;
/// everything else belongs to the test's thread.
class FakePasteboard final : public platform::Pasteboard
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
    void copyText(std::optional<QString> text);
    void copyImages(std::optional<Images> images);
    void copy(std::optional<Images> images, std::optional<QString> text);

    /// Sets the content without touching the change count, as when it changes between a tick and a capture.
    void setContent(std::optional<Images> images, std::optional<QString> text);
    void setChangeCount(std::int64_t changeCount) { m_changeCount.store(changeCount); }
    /// Runs before every read of the content, e.g. to change it mid-capture.
    void setBeforeRead(std::function<void()> hook) { m_beforeRead = std::move(hook); }

    [[nodiscard]] const std::optional<Images>& images() const { return m_images; }
    [[nodiscard]] const std::optional<QString>& text() const { return m_text; }
    [[nodiscard]] const std::vector<Operation>& operations() const { return m_operations; }
    void clearOperations() { m_operations.clear(); }
    [[nodiscard]] int count(Operation operation) const;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    [[nodiscard]] std::optional<Images> readImages() override;
    [[nodiscard]] std::optional<QString> string() override;
    void clearContents() override;
    void setString(const QString& text) override;
    void writeObjects(const Images& images) override;

private:
    std::atomic<std::int64_t> m_changeCount = 1;
    std::optional<Images> m_images;
    std::optional<QString> m_text;
    std::vector<Operation> m_operations;
    std::function<void()> m_beforeRead;
};
