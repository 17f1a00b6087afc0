#pragma once

#include "platform/image.h"

#include <cstdint>
#include <optional>

/// What the history keeps of a picture's decoded pixels, which it does not keep: a 4K screenshot takes 33 MB
/// decoded and a few hundred KB encoded. Made from one decode, on any thread.
struct ImageSummary
{
    static constexpr int thumbnailSourceSide = 160;

    /// A digest of everything a TIFF representation records: format, size, resolution, colour table and
    /// pixels. None when the picture cannot be decoded (corrupt, or too large).
    std::optional<std::uint64_t> digest;
    /// The centre square, at most `thumbnailSourceSide` pixels wide, for thumbnails; null when the picture
    /// cannot be decoded.
    QImage thumbnailSource;

    [[nodiscard]] static ImageSummary of(const platform::Image& image);
};

/// Whether the TIFF representations of two pictures would be equal, given their summaries. Pictures that
/// cannot be decoded match only the very same picture, in the same bytes. Only a match of digests is
/// confirmed, pixel by pixel, decoding both again.
[[nodiscard]] bool haveSameTiffRepresentation(const platform::Image& left, const ImageSummary& leftSummary,
                                              const platform::Image& right, const ImageSummary& rightSummary);
