#pragma once

#include "platform/image.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

/// The general pasteboard, the system-wide clipboard shared with every application.
/// `changeCount()` may be read from any thread; everything else runs on the GUI thread.
class Pasteboard
{
public:
    virtual ~Pasteboard() = default;

    /// Takes a new value whenever the content is replaced, by any application, this one included.
    /// Cheap, reads no content.
    [[nodiscard]] virtual std::int64_t changeCount() const = 0;
    /// The pictures on the pasteboard, in its order; nothing when it offers none. A null element
    /// stands for offered data that is not a picture.
    [[nodiscard]] virtual std::optional<std::vector<std::shared_ptr<const Image>>> readImages() = 0;
    /// The plain text on the pasteboard, if any.
    [[nodiscard]] virtual std::optional<QString> string() = 0;
    /// Empties the pasteboard and takes ownership of it; changes the change count.
    virtual void clearContents() = 0;
    virtual void setString(const QString& text) = 0;
    virtual void writeObjects(const std::vector<std::shared_ptr<const Image>>& images) = 0;
};

} // namespace platform
