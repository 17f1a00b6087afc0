#pragma once

#include "platform/clipboard.h"

#include <QByteArray>
#include <QMetaObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

namespace x11 {
class SelectionReader;
}

/// The clipboard on the X11 CLIPBOARD selection. What Velmora itself put there is read straight
/// from QClipboard; another application's content through a reader of our own with a bound on every wait,
/// since an owner that never answers would hold Qt's reader, and the GUI thread, for 5 s per request.
/// Needs the application object. GUI thread only, but `changeCount()`.
class QtClipboard final : public Clipboard
{
public:
    /// How long one capture may wait for another application, in all.
    static constexpr std::chrono::milliseconds readBudget{1500};

    QtClipboard();
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;
    ~QtClipboard() override;

    [[nodiscard]] std::int64_t changeCount() const override { return m_changeCount.load(); }
    /// Qt reports the change as the X server does (XFixes), a moment after the copy.
    void setChangeHandler(std::function<void()> handler) override { m_changeHandler = std::move(handler); }
    [[nodiscard]] std::optional<Images> images() override;
    [[nodiscard]] std::optional<QString> text() override;
    void clear() override;
    /// Each write replaces what an earlier one put: the engine writes one value after a clear.
    void setText(const QString& text) override;
    void setImage(std::shared_ptr<const Image> image) override;

private:
    // The reads of one content share one deadline and one list of targets: the image, then the text.
    struct ReadSession
    {
        std::int64_t changeCount = 0;
        std::chrono::steady_clock::time_point started;
        std::chrono::steady_clock::time_point deadline;
        std::vector<QByteArray> targets;
        bool answeredTargets = false;
        bool gaveUp = false;
    };

    [[nodiscard]] bool ownsClipboard() const;
    [[nodiscard]] ReadSession* readSession();

    std::atomic<std::int64_t> m_changeCount = 0;
    // Null off X11, where QClipboard is read directly.
    std::unique_ptr<x11::SelectionReader> m_reader;
    bool m_onX11 = false;
    std::optional<ReadSession> m_session;
    QMetaObject::Connection m_clipboardChanged;
    std::function<void()> m_changeHandler;
};

} // namespace platform
