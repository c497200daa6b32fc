// What a picture shows, the placeholder, and a thumbnail's size.
#include "thumbnails/Picture.h"

#include <algorithm>
#include <cmath>

namespace mtsrescue {

PictureLook LookOf(const Picture& picture) {
  PictureLook look;
  const std::size_t pixels = static_cast<std::size_t>(std::max(0, picture.Width)) * static_cast<std::size_t>(std::max(0, picture.Height));
  if (pixels == 0 || picture.Rgb.size() < pixels * 3) return look;
  double sum = 0;
  double squares = 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    const std::uint8_t* p = picture.Rgb.data() + i * 3;
    const double luma = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
    sum += luma;
    squares += luma * luma;
  }
  look.Brightness = sum / static_cast<double>(pixels);
  look.Spread = std::sqrt(std::max(0.0, squares / static_cast<double>(pixels) - look.Brightness * look.Brightness));
  return look;
}

Picture PlaceholderPicture(int width, int height) {
  Picture picture;
  picture.Width = width;
  picture.Height = height;
  picture.Rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0x80);
  const int margin = std::max(2, std::min(width, height) / 6);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool edge = (x >= margin && x < width - margin && (y == margin || y == height - 1 - margin)) ||
                        (y >= margin && y < height - margin && (x == margin || x == width - 1 - margin));
      if (edge) std::fill_n(picture.Rgb.begin() + (static_cast<std::ptrdiff_t>(y) * width + x) * 3, 3, std::uint8_t{0x50});
    }
  }
  return picture;
}

void ThumbnailSize(int width, int frameWidth, int frameHeight, int sarNum, int sarDen, int* outWidth, int* outHeight) {
  double aspect = frameHeight > 0 ? static_cast<double>(frameWidth) / frameHeight : 16.0 / 9.0;
  if (sarNum > 0 && sarDen > 0) aspect *= static_cast<double>(sarNum) / sarDen;
  if (!(aspect > 0)) aspect = 16.0 / 9.0;
  const int even = std::max(2, width / 2 * 2);
  const double height = std::round(even / aspect / 2) * 2;
  *outWidth = even;
  *outHeight = static_cast<int>(std::clamp(height, 2.0, 4.0 * even));
}

}  // namespace mtsrescue
