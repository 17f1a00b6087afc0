#pragma once

class QByteArray;
class QImage;

/// A picture that compresses like a screenshot of a busy 3840 x 2160 desktop: flat panels, bars of glyph-like
/// marks, a gradient; each `variant` gives different pixels, the same in every run.
[[nodiscard]] QImage screenshot(int variant);

/// `image` in the file format `format`, such as "png" or "bmp".
[[nodiscard]] QByteArray encoded(const QImage& image, const char* format = "png");

/// A smooth picture of the given size as PNG bytes, the way a screenshot comes off the clipboard.
[[nodiscard]] QByteArray gradientPng(int width, int height);
