#pragma once

#include "app/panel.h"

#include <memory>

class ClipboardManager;
class QWidget;

/// Makes the panel and its content for the delegate, so that tests can pass stand-ins.
class PanelFactory
{
public:
    virtual ~PanelFactory() = default;

    /// A hidden panel whose frame is `contentRect`.
    [[nodiscard]] virtual std::unique_ptr<Panel> makePanel(const platform::Rect& contentRect) = 0;
    /// The history view of `manager`, to be the panel's content.
    [[nodiscard]] virtual std::unique_ptr<QWidget> makeContentView(ClipboardManager& manager) = 0;
};
