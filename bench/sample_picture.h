#pragma once

class QByteArray;

/// A smooth picture of the given size as PNG bytes, the way a screenshot comes off the clipboard.
[[nodiscard]] QByteArray gradientPng(int width, int height);

/// A picture like a screenshot of a busy desktop (windows full of text on a gradient) as PNG bytes;
/// each `variant` gives different pixels. Draws text, so it needs a QGuiApplication.
[[nodiscard]] QByteArray screenshotPng(int width, int height, int variant);
