#pragma once

#include "platform/image.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

/// Largest content read from another application, in bytes.
inline constexpr qsizetype maximumReadSize = 128 * 1024 * 1024;

/// How long one read may wait for the owner of the selection.
struct ReadLimits
{
    /// The longest the owner may send nothing, counted from the request or its last bytes.
    std::chrono::milliseconds silence;
    /// When the read ends however steadily the owner sends.
    std::chrono::steady_clock::time_point deadline;
    /// Turns readable when the read must end at once: the selection changed, or reading is interrupted.
    int stop = -1;
};

enum class ReadOutcome
{
    Received,
    /// Nobody owns the selection, or the owner cannot give it in the asked form.
    Refused,
    /// The owner sent nothing for `ReadLimits::silence`: busy or hung, it still holds the selection.
    Silent,
    /// The owner died, broke the protocol, sent too much or lost the selection, the deadline passed, or the
    /// read was stopped.
    Failed,
};

template <typename Value> struct ReadResult
{
    ReadOutcome outcome = ReadOutcome::Failed;
    Value value{};
};

/// What Velmora puts on the clipboard: a text, a picture, or nothing.
struct OwnContent
{
    std::optional<QString> text;
    std::shared_ptr<const Image> image;
};

/// One desktop's clipboard as the read policy (`SelectionClipboard`) sees it: it lists and reads the forms of
/// another application's selection, says when that selection changes, and publishes ours. Reads come from one
/// thread at a time; `publish()` from the GUI thread.
class SelectionSource
{
public:
    /// Called on whichever thread hears of it, as soon as another application's selection replaced the one
    /// before; never for our own.
    using ChangeReport = std::function<void()>;

    virtual ~SelectionSource() = default;

    /// Begins a read of the current selection: the forms its owner offers, the first `maximumForms` of them,
    /// and the password manager's hint wherever it stands. Refused for an owner that gives no list. Later
    /// reads are of that same selection, and fail once it has been replaced.
    [[nodiscard]] virtual ReadResult<std::vector<QByteArray>> forms(const ReadLimits& limits) = 0;
    /// The selection begun by `forms()` as `form`.
    [[nodiscard]] virtual ReadResult<QByteArray> read(const QByteArray& form, const ReadLimits& limits) = 0;
    /// Whether the selection is still the one `publish()` made last. Any thread.
    [[nodiscard]] virtual bool ownsSelection() const = 0;
    /// Takes the selection with `content`, made into each form only when another application asks for it.
    virtual void publish(const OwnContent& content) = 0;

    /// A hostile owner may offer any number of forms; real ones offer a few dozen.
    static constexpr std::size_t maximumForms = 1024;
};

} // namespace platform
