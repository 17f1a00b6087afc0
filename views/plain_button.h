#pragma once

#include <QAbstractButton>
#include <QPalette>

/// A button drawn as its label alone, a symbol or a text, in one colour of the palette, with no bezel;
/// dimmed while pressed. GUI thread.
class PlainButton final : public QAbstractButton
{
    Q_OBJECT

public:
    /// How a plain button, or a row drawn like one, shows that the mouse button is down on it.
    static constexpr qreal pressedOpacity = 0.7;

    explicit PlainButton(QPalette::ColorRole colorRole, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPalette::ColorRole m_colorRole;
};
