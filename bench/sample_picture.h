#pragma once

#include <QSize>

class QByteArray;

/// A picture that compresses like a screenshot of a busy desktop (flat panels, bars of glyph-like marks, a
/// gradient) in the file format `format`, such as "png" or "bmp", as an application copies it. Each `variant`
/// gives different pixels, the same in every run.
[[nodiscard]] QByteArray encodedScreenshot(int variant, QSize size = {3840, 2160}, const char* format = "png");
