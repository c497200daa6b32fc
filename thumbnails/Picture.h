// A small picture in 8-bit RGB, as the thumbnails are made and written.
#pragma once

#include <cstdint>
#include <vector>

namespace mtsrescue {

struct Picture {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;  // Width * Height * 3 bytes, rows top to bottom
  std::int64_t Pts = -1;          // of the frame it shows, 90 kHz; -1 when unknown

  bool Empty() const noexcept { return Width <= 0 || Height <= 0; }
};

// How much a picture shows: its mean brightness and how far its pixels spread around it
// (standard deviation), both 0..255. A black or one-colour frame has a small spread.
struct PictureLook {
  double Brightness = 0;
  double Spread = 0;

  // Worth showing: neither near black nor all one colour (a fade, a lens cap, a blank card).
  bool Shows() const noexcept { return Brightness >= 20 && Spread >= 8; }
};

PictureLook LookOf(const Picture& picture);

// The plain picture that stands for a recording none could be decoded from: mid grey with a
// darker frame inside, width x height.
Picture PlaceholderPicture(int width, int height);

// The size of a thumbnail width pixels wide for a frame of frameWidth x frameHeight samples whose
// samples are sarNum:sarDen wide (0:0 for square): the display's aspect ratio, even sides, and
// the height kept within [2, 4 * width].
void ThumbnailSize(int width, int frameWidth, int frameHeight, int sarNum, int sarDen, int* outWidth, int* outHeight);

}  // namespace mtsrescue
