#pragma once

class QByteArray;

/// A smooth picture of the given size as PNG bytes, the way a screenshot comes off the clipboard.
[[nodiscard]] QByteArray gradientPng(int width, int height);
