#pragma once

#include "platform/image.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

/// The system-wide clipboard shared with every application.
/// `changeCount()` may be read from any thread, and the content read from one thread at a time; everything else
/// runs on the GUI thread.
class Clipboard
{
public:
    using Images = std::vector<std::shared_ptr<const Image>>;

    virtual ~Clipboard() = default;

    /// Takes a new value whenever the content is replaced, by any application, this one included.
    /// Cheap, reads no content.
    [[nodiscard]] virtual std::int64_t changeCount() const = 0;
    /// `handler` runs as soon as the desktop reports that another application replaced the content, once the
    /// change count has its new value, on the thread that hears of it (the GUI thread on X11, the clipboard's
    /// own on Wayland): it must only hand the work on. Once unset, no call of it is running. Desktops that
    /// report nothing never call it.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
    /// The pictures on the clipboard, in its order; nothing when it offers none. A null element stands for
    /// offered data that is not a picture.
    [[nodiscard]] virtual std::optional<Images> images() = 0;
    /// The plain text on the clipboard, if any.
    [[nodiscard]] virtual std::optional<QString> text() = 0;
    /// While set, a read under way on another thread ends at once and new ones read nothing: for stopping
    /// a reading thread without waiting for a slow owner. Any thread.
    virtual void setReadsInterrupted(bool interrupted) = 0;
    /// Empties the clipboard and takes ownership of it; changes the change count.
    virtual void clear() = 0;
    virtual void setText(const QString& text) = 0;
    virtual void setImage(std::shared_ptr<const Image> image) = 0;
};

/// The clipboard of the session Velmora runs in: data-control on Wayland, the CLIPBOARD selection on X11 and
/// XWayland. Needs the application object.
[[nodiscard]] std::unique_ptr<Clipboard> createClipboard();

} // namespace platform
