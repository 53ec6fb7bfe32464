// Looking up and decoding the embedded palette bitmaps.
#include "tovrin5/design/PaletteImages.h"

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::design {

namespace {

uint32_t le(std::span<const unsigned char> d, size_t at, size_t bytes) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes; ++i) {
        v |= static_cast<uint32_t>(d[at + i]) << (8 * i);
    }
    return v;
}

[[noreturn]] void invalid() {
    throw host::Exception("Invalid bitmap");
}

} // namespace

std::span<const unsigned char> FindBitmapResource(const std::string& Name) {
    for (size_t i = 0; i < detail::kBitmapResourceCount; ++i) {
        const detail::TResourceEntry& e = detail::kBitmapResources[i];
        if (host::SameText(e.name, Name)) {
            return {e.data, e.size};
        }
    }
    return {};
}

std::vector<std::string> BitmapResourceNames() {
    std::vector<std::string> names;
    for (size_t i = 0; i < detail::kBitmapResourceCount; ++i) {
        names.emplace_back(detail::kBitmapResources[i].name);
    }
    return names;
}

uint32_t TBitmap::ColorAt(int X, int Y) const {
    if (X < 0 || Y < 0 || X >= Width || Y >= Height) {
        throw host::Exception("Pixel out of bounds");
    }
    const uint8_t index =
        Pixels[static_cast<size_t>(Y) * static_cast<size_t>(Width) + static_cast<size_t>(X)];
    return index < Palette.size() ? Palette[index] : 0;
}

TBitmap DecodeBitmap(std::span<const unsigned char> Data) {
    constexpr size_t fileHeader = 14;
    if (Data.size() < fileHeader + 40 || Data[0] != 'B' || Data[1] != 'M') {
        invalid();
    }
    const uint32_t pixelOffset = le(Data, 10, 4);
    const uint32_t infoSize = le(Data, 14, 4);
    const auto width = static_cast<int32_t>(le(Data, 18, 4));
    const auto rawHeight = static_cast<int32_t>(le(Data, 22, 4));
    const uint32_t bits = le(Data, 28, 2);
    const uint32_t compression = le(Data, 30, 4);
    uint32_t colours = le(Data, 46, 4);
    if (infoSize < 40 || bits != 8 || compression != 0 || width <= 0 || width > 4096 ||
        rawHeight == 0 || rawHeight < -4096 || rawHeight > 4096) {
        invalid();
    }
    if (colours == 0) {
        colours = 256;
    }
    const size_t paletteAt = fileHeader + infoSize;
    if (colours > 256 || paletteAt + size_t{colours} * 4 > Data.size() ||
        pixelOffset < paletteAt + size_t{colours} * 4) {
        invalid();
    }
    const bool bottomUp = rawHeight > 0;
    const int height = bottomUp ? rawHeight : -rawHeight;
    const size_t rowSize = (static_cast<size_t>(width) + 3) / 4 * 4;
    if (pixelOffset + rowSize * static_cast<size_t>(height) > Data.size()) {
        invalid();
    }
    TBitmap bitmap;
    bitmap.Width = width;
    bitmap.Height = height;
    bitmap.BitsPerPixel = 8;
    for (uint32_t i = 0; i < colours; ++i) {
        const size_t at = paletteAt + size_t{i} * 4;
        bitmap.Palette.push_back(uint32_t{Data[at + 2]} << 16 | uint32_t{Data[at + 1]} << 8 |
                                 uint32_t{Data[at]});
    }
    bitmap.Pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const size_t row = bottomUp ? static_cast<size_t>(height - 1 - y) : static_cast<size_t>(y);
        const size_t at = pixelOffset + row * rowSize;
        bitmap.Pixels.insert(bitmap.Pixels.end(), Data.begin() + static_cast<std::ptrdiff_t>(at),
                             Data.begin() + static_cast<std::ptrdiff_t>(at) + width);
    }
    return bitmap;
}

} // namespace tovrin::design
