#pragma once

namespace platform {

enum class TrustPrompt
{
    Show,
    DoNotShow,
};

/// The system's gate on synthetic input: whether this process may post key events to others.
class Accessibility
{
public:
    virtual ~Accessibility() = default;

    /// Answers at once; with `TrustPrompt::Show` an untrusted process also gets the system's request to
    /// grant the trust, which the user answers later.
    [[nodiscard]] virtual bool isProcessTrusted(TrustPrompt prompt) = 0;
};

/// X11 lets every client post synthetic input through XTest: the process is trusted and nothing is shown.
class X11Accessibility final : public Accessibility
{
public:
    [[nodiscard]] bool isProcessTrusted(TrustPrompt) override { return true; }
};

} // namespace platform
