// Checks the resources linked into this executable (the same object goes into Ostinel.exe):
// sounds, bitmaps, dialog templates, the class-name string, icon groups and the manifest; and the
// version information and the event log's message table of the shipped programs beside it.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "button/button_picture.h"
#include "eventlog/event_policy.h"
#include "language/interface_language.h"
#include "ostinel_version.h"
#include "res/resource_ids.h"

namespace {

using Bytes = std::span<const std::uint8_t>;

Bytes Resource(LPCWSTR type, int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) return {};
  return {static_cast<const std::uint8_t*>(data), SizeofResource(module, found)};
}

template <typename T>
T Get(Bytes bytes, std::size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) std::memcpy(&value, bytes.data() + offset, sizeof(T));
  return value;
}

// ---------------------------------------------------------------------------------------------
// Sounds.

struct Chunk {
  std::string tag;
  Bytes body;
};

// The chunks of a RIFF file (after its 12-byte header) or of a LIST body (after its 4-byte type).
std::vector<Chunk> RiffChunks(Bytes file, std::size_t pos = 12) {
  std::vector<Chunk> chunks;
  while (pos + 8 <= file.size()) {
    const auto size = Get<std::uint32_t>(file, pos + 4);
    if (pos + 8 + size > file.size()) break;
    chunks.push_back({std::string(reinterpret_cast<const char*>(file.data() + pos), 4), file.subspan(pos + 8, size)});
    pos += 8 + size + (size & 1);
  }
  return chunks;
}

const Chunk* FindChunk(const std::vector<Chunk>& chunks, const char* tag) {
  for (const Chunk& c : chunks)
    if (c.tag == tag) return &c;
  return nullptr;
}

struct WaveExpectation {
  int id;
  std::uint16_t format;
  std::uint16_t channels;
  std::uint16_t bits;
  std::uint16_t block_align;
  std::uint32_t data_bytes;
  std::uint32_t fact_samples;  // 0: no fact chunk
  std::vector<std::string> chunk_order;
};

const std::array<WaveExpectation, 4> kWaves = {{
    {IDW_START, WAVE_FORMAT_PCM, 1, 16, 2, 36592, 0, {"fmt ", "data"}},
    {IDW_LEFT_CLICK, WAVE_FORMAT_ADPCM, 2, 4, 1024, 1024, 679, {"fmt ", "fact", "data", "LIST"}},
    {IDW_START_FAILED, WAVE_FORMAT_PCM, 2, 16, 4, 96924, 0, {"fmt ", "data", "LIST"}},
    {IDW_RIGHT_CLICK, WAVE_FORMAT_PCM, 2, 16, 4, 80764, 0, {"fmt ", "data", "LIST"}},
}};

// Loudest sample, and loudest among the last `tail` samples.
std::pair<int, int> Peaks(const std::vector<std::int16_t>& samples, std::size_t tail) {
  int peak = 0, tail_peak = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int v = samples[i] < 0 ? -samples[i] : samples[i];
    peak = v > peak ? v : peak;
    if (i + tail >= samples.size()) tail_peak = v > tail_peak ? v : tail_peak;
  }
  return {peak, tail_peak};
}

TEST(Resources, WaveHeadersMatchTheirFormats) {
  for (const WaveExpectation& w : kWaves) {
    SCOPED_TRACE(w.id);
    const Bytes file = Resource(L"WAVE", w.id);
    ASSERT_GE(file.size(), 12u);
    EXPECT_EQ(0, std::memcmp(file.data(), "RIFF", 4));
    EXPECT_EQ(0, std::memcmp(file.data() + 8, "WAVE", 4));
    EXPECT_EQ(Get<std::uint32_t>(file, 4), file.size() - 8);

    const auto chunks = RiffChunks(file);
    std::vector<std::string> order;
    for (const Chunk& c : chunks) order.push_back(c.tag);
    EXPECT_EQ(order, w.chunk_order);

    const Chunk* fmt = FindChunk(chunks, "fmt ");
    ASSERT_NE(fmt, nullptr);
    EXPECT_EQ(Get<std::uint16_t>(fmt->body, 0), w.format);
    EXPECT_EQ(Get<std::uint16_t>(fmt->body, 2), w.channels);
    EXPECT_EQ(Get<std::uint32_t>(fmt->body, 4), 22050u);
    EXPECT_EQ(Get<std::uint16_t>(fmt->body, 12), w.block_align);
    EXPECT_EQ(Get<std::uint16_t>(fmt->body, 14), w.bits);
    const Chunk* data = FindChunk(chunks, "data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->body.size(), w.data_bytes);

    if (w.format == WAVE_FORMAT_PCM) {
      EXPECT_EQ(fmt->body.size(), 16u);
      EXPECT_EQ(Get<std::uint32_t>(fmt->body, 8), 22050u * w.block_align);
    } else {
      EXPECT_EQ(Get<std::uint16_t>(fmt->body, 16), 32);    // extra bytes
      EXPECT_EQ(Get<std::uint16_t>(fmt->body, 18), 1012);  // samples per block
      ASSERT_EQ(Get<std::uint16_t>(fmt->body, 20), 7);
      const std::array<std::int16_t, 14> standard = {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232};
      for (std::size_t i = 0; i < standard.size(); ++i) EXPECT_EQ(Get<std::int16_t>(fmt->body, 22 + 2 * i), standard[i]);
      const Chunk* fact = FindChunk(chunks, "fact");
      ASSERT_NE(fact, nullptr);
      EXPECT_EQ(Get<std::uint32_t>(fact->body, 0), w.fact_samples);
    }
    if (const Chunk* list = FindChunk(chunks, "LIST")) {
      ASSERT_GE(list->body.size(), 12u);
      EXPECT_EQ(0, std::memcmp(list->body.data(), "INFO", 4));
      const auto tags = RiffChunks(list->body, 4);
      EXPECT_GE(tags.size(), 3u);
      EXPECT_NE(FindChunk(tags, "INAM"), nullptr);
      for (const Chunk& tag : tags) {
        ASSERT_GE(tag.body.size(), 2u) << tag.tag;
        EXPECT_EQ(tag.body.back(), 0) << tag.tag << " is not a terminated text";
      }
    }
  }
}

TEST(Resources, PcmSoundsAreLoudButNotClippedAndEndInSilence) {
  for (const WaveExpectation& w : kWaves) {
    if (w.format != WAVE_FORMAT_PCM) continue;
    SCOPED_TRACE(w.id);
    const auto chunks = RiffChunks(Resource(L"WAVE", w.id));
    const Chunk* data = FindChunk(chunks, "data");
    ASSERT_NE(data, nullptr);
    std::vector<std::int16_t> samples(data->body.size() / 2);
    std::memcpy(samples.data(), data->body.data(), samples.size() * 2);
    const auto [peak, tail] = Peaks(samples, 8u * w.channels);
    EXPECT_GT(peak, 12000);
    EXPECT_LT(peak, 32000);
    EXPECT_LT(tail, 64) << "ends with a click";
    EXPECT_LT(std::abs(samples[0]), 64) << "starts with a click";
  }
}

TEST(Resources, AdpcmClickDecodesThroughTheSystemCodec) {
  const auto chunks = RiffChunks(Resource(L"WAVE", IDW_LEFT_CLICK));
  const Chunk* fmt = FindChunk(chunks, "fmt ");
  const Chunk* data = FindChunk(chunks, "data");
  ASSERT_TRUE(fmt && data);
  std::vector<std::uint8_t> source_format(fmt->body.begin(), fmt->body.end());
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  pcm.nChannels = 2;
  pcm.nSamplesPerSec = 22050;
  pcm.wBitsPerSample = 16;
  pcm.nBlockAlign = 4;
  pcm.nAvgBytesPerSec = 22050 * 4;

  HACMSTREAM stream = nullptr;
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, reinterpret_cast<WAVEFORMATEX*>(source_format.data()), &pcm, nullptr, 0, 0,
                          ACM_STREAMOPENF_NONREALTIME),
            0u);
  std::vector<std::uint8_t> in(data->body.begin(), data->body.end());
  std::vector<std::uint8_t> out(1012 * 4 * 2);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof(header);
  header.pbSrc = in.data();
  header.cbSrcLength = static_cast<DWORD>(in.size());
  header.pbDst = out.data();
  header.cbDstLength = static_cast<DWORD>(out.size());
  ASSERT_EQ(acmStreamPrepareHeader(stream, &header, 0), 0u);
  EXPECT_EQ(acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN), 0u);
  acmStreamUnprepareHeader(stream, &header, 0);
  acmStreamClose(stream, 0);

  ASSERT_EQ(header.cbDstLengthUsed, 1012u * 4);  // one whole block
  std::vector<std::int16_t> sound(679 * 2), rest((1012 - 679) * 2);
  std::memcpy(sound.data(), out.data(), sound.size() * 2);
  std::memcpy(rest.data(), out.data() + sound.size() * 2, rest.size() * 2);
  const auto [peak, unused] = Peaks(sound, 0);
  (void)unused;
  EXPECT_GT(peak, 12000);
  EXPECT_LT(peak, 32000);
  EXPECT_LT(Peaks(rest, 0).first, 256) << "the samples beyond the fact length must be quiet";
}

// ---------------------------------------------------------------------------------------------
// Bitmaps.

struct Rgb {
  std::uint8_t r, g, b;
  bool Black() const { return r == 0 && g == 0 && b == 0; }
  bool Red() const { return r > 170 && g < 90 && b < 90; }
};

struct Image {
  int width = 0, height = 0;
  std::vector<Rgb> pixels;  // top-down
  Rgb PixelAt(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Decodes a 24-bit bitmap: an info header followed by bottom-up rows (an RT_BITMAP resource, or a
// BMP file after its file header).
Image DecodeBitmap(Bytes raw) {
  Image image;
  if (raw.size() < sizeof(BITMAPINFOHEADER)) return image;
  const auto info = Get<BITMAPINFOHEADER>(raw, 0);
  if (info.biBitCount != 24 || info.biCompression != BI_RGB || info.biHeight <= 0) return image;
  const std::size_t stride = (static_cast<std::size_t>(info.biWidth) * 3 + 3) & ~std::size_t{3};
  if (raw.size() < info.biSize + stride * info.biHeight) return image;
  image.width = info.biWidth;
  image.height = info.biHeight;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = raw.data() + info.biSize + stride * (image.height - 1 - y);
    for (int x = 0; x < image.width; ++x) image.pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return image;
}

Image LoadBitmapPixels(int id) { return DecodeBitmap(Resource(RT_BITMAP, id)); }

// A BMP file the asset generator wrote into the build tree (a path of the build machine; under
// Wine its root is drive Z:).
Image LoadGeneratedBitmap(const std::string& name) {
  std::string path = std::string(OSTINEL_TEST_ASSET_DIR) + "/" + name;
  if (path[0] == '/') path = "Z:" + path;
  std::vector<std::uint8_t> data;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(file)) != EOF) data.push_back(static_cast<std::uint8_t>(c));
    std::fclose(file);
  }
  constexpr std::size_t kFileHeader = 14;
  if (data.size() <= kFileHeader) return Image{};
  return DecodeBitmap(Bytes(data).subspan(kFileHeader));
}

TEST(Resources, BitmapsLoadWithTheirSizesAt24Bits) {
  const std::array<std::array<int, 3>, 5> bitmaps = {{{IDB_INDICATOR, 127, 127},
                                                      {IDB_HAND, 104, 100},
                                                      {IDB_BUTTON_ON, 50, 50},
                                                      {IDB_BUTTON_OFF, 50, 50},
                                                      {IDB_BUTTON_MOVE, 50, 50}}};
  for (const auto& [id, width, height] : bitmaps) {
    SCOPED_TRACE(id);
    auto bitmap = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(bitmap, nullptr);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    EXPECT_EQ(section.dsBm.bmWidth, width);
    EXPECT_EQ(section.dsBm.bmHeight, height);
    EXPECT_EQ(section.dsBmih.biBitCount, 24);
    DeleteObject(bitmap);
    EXPECT_EQ(LoadBitmapPixels(id).width, width);
  }
}

TEST(Resources, IndicatorIsARingOfEightDistinctDiscsOnBlack) {
  const Image ring = LoadBitmapPixels(IDB_INDICATOR);
  ASSERT_EQ(ring.width, 127);
  int black = 0;
  for (const Rgb& p : ring.pixels) black += p.Black();
  EXPECT_GT(black, 127 * 127 * 40 / 100);
  EXPECT_LT(black, 127 * 127 * 65 / 100);

  // The whole centre is black, so the spot under the pointer stays uncovered; so are the corners.
  for (int y = 43; y <= 83; ++y)
    for (int x = 43; x <= 83; ++x) ASSERT_TRUE(ring.PixelAt(x, y).Black()) << x << "," << y;
  for (const auto& [x0, y0] : {std::pair{0, 0}, {119, 0}, {0, 119}, {119, 119}})
    for (int y = y0; y < y0 + 8; ++y)
      for (int x = x0; x < x0 + 8; ++x) EXPECT_TRUE(ring.PixelAt(x, y).Black()) << x << "," << y;

  // Along each of the eight directions from the centre lies one disc: a run of colour with no
  // black inside it (black would be see-through), its middle at the same distance every time.
  std::vector<Rgb> colours;
  std::vector<double> distances;
  for (int k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    const double angle = k * 3.14159265358979 / 4;
    const double dx = std::sin(angle), dy = -std::cos(angle);
    int first = -1, last = -1;
    for (int t = 0; t < 90; ++t) {
      const int x = static_cast<int>(63.5 + dx * t), y = static_cast<int>(63.5 + dy * t);
      if (x < 0 || y < 0 || x > 126 || y > 126) break;
      if (!ring.PixelAt(x, y).Black()) {
        if (first < 0) first = t;
        last = t;
      } else if (first >= 0) {
        break;
      }
    }
    ASSERT_GE(first, 0);
    const double middle = (first + last) / 2.0, radius = (last - first) / 2.0;
    EXPECT_GT(radius, 12.0);
    distances.push_back(middle);
    const double cx = 63.5 + dx * middle, cy = 63.5 + dy * middle;
    for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y)
      for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x)
        if (std::hypot(x + 0.5 - cx, y + 0.5 - cy) < radius - 2.0) {
          EXPECT_FALSE(ring.PixelAt(x, y).Black()) << x << "," << y;
        }
    colours.push_back(ring.PixelAt(static_cast<int>(cx + 0.3 * radius), static_cast<int>(cy + 0.3 * radius)));
  }
  for (double d : distances) EXPECT_NEAR(d, distances[0], 2.0);
  // Every disc, the upper-left one included, can be told apart, so the turn is visible.
  for (std::size_t i = 0; i < colours.size(); ++i)
    for (std::size_t j = i + 1; j < colours.size(); ++j) {
      const int diff = std::abs(colours[i].r - colours[j].r) + std::abs(colours[i].g - colours[j].g) +
                       std::abs(colours[i].b - colours[j].b);
      EXPECT_GT(diff, 60) << "discs " << i << " and " << j;
    }
}

struct RedCount {
  int left = 0, right = 0, frame = 0, frame_pixels = 0;
};

// Red pixels by region of the 50-unit design (pixel centres scaled to it at other sides).
RedCount CountRed(const Image& image) {
  RedCount count;
  const double unit = 50.0 / image.width;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const bool red = image.PixelAt(x, y).Red();
      const double u = (x + 0.5) * unit, v = (y + 0.5) * unit;
      const bool on_frame = (u >= 2 && u < 4) || (u >= 46 && u < 48) || (v >= 2 && v < 4) || (v >= 46 && v < 48);
      const bool inside_frame = u >= 2 && u < 48 && v >= 2 && v < 48;
      if (on_frame && inside_frame) {
        ++count.frame_pixels;
        count.frame += red;
      } else if (u >= 7 && u < 43 && v >= 7 && v < 30) {
        (u < 25 ? count.left : count.right) += red;
      }
    }
  return count;
}

Image DrawnPicture(ButtonImage state, int side) {
  Image image;
  const std::vector<std::uint8_t> rgb = DrawButtonPicture(state, side);
  image.width = image.height = side;
  for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) image.pixels.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
  return image;
}

// The button's bitmaps, and the same pictures drawn by the program at the side of each scale from
// 100 to 300 %: at 50 pixels the drawing equals the bitmaps to the bit.
TEST(Resources, FunctionButtonBitmapsShowTheirStates) {
  for (const int side : {50, 62, 75, 87, 100, 125, 150}) {
  SCOPED_TRACE(side);
  const Image on = side == 50 ? LoadBitmapPixels(IDB_BUTTON_ON) : DrawnPicture(ButtonImage::Armed, side);
  const Image off = side == 50 ? LoadBitmapPixels(IDB_BUTTON_OFF) : DrawnPicture(ButtonImage::Idle, side);
  const Image move = side == 50 ? LoadBitmapPixels(IDB_BUTTON_MOVE) : DrawnPicture(ButtonImage::Move, side);
  // At 50 pixels the bitmaps, at 75 the generator's drawing at that side, equal the program's.
  if (side == 50 || side == 75) {
    const Image generated[3] = {LoadGeneratedBitmap("button_armed_75.bmp"), LoadGeneratedBitmap("button_idle_75.bmp"),
                                LoadGeneratedBitmap("button_move_75.bmp")};
    const Image* reference[3] = {&on, &off, &move};
    if (side == 75) reference[0] = &generated[0], reference[1] = &generated[1], reference[2] = &generated[2];
    for (const auto& [image, state] : {std::pair{reference[0], ButtonImage::Armed},
                                       std::pair{reference[1], ButtonImage::Idle},
                                       std::pair{reference[2], ButtonImage::Move}}) {
      const Image drawn = DrawnPicture(state, side);
      ASSERT_EQ(drawn.pixels.size(), image->pixels.size());
      int differ = 0;
      for (std::size_t i = 0; i < drawn.pixels.size(); ++i) {
        differ += drawn.pixels[i].r != image->pixels[i].r || drawn.pixels[i].g != image->pixels[i].g ||
                  drawn.pixels[i].b != image->pixels[i].b;
      }
      EXPECT_EQ(differ, 0) << "pixels drawn otherwise than the bitmap of state " << static_cast<int>(state);
    }
  }
  const int area = side * side;
  for (const Image* image : {&on, &off, &move}) {
    ASSERT_EQ(image->width, side);
    // Background: dark grey at the top fading to white at the bottom (column 7 is clear of the mouse).
    const Rgb top = image->PixelAt(7 * side / 50, 6 * side / 50);
    const Rgb bottom = image->PixelAt(7 * side / 50, 43 * side / 50);
    EXPECT_LT(top.r, 110);
    EXPECT_GT(bottom.r, 200);
    for (const Rgb& grey : {top, bottom}) {
      EXPECT_NEAR(grey.r, grey.g, 8);
      EXPECT_NEAR(grey.g, grey.b, 8);
    }
  }
  const RedCount on_red = CountRed(on), off_red = CountRed(off), move_red = CountRed(move);
  EXPECT_GT(on_red.right, 60 * area / 2500);
  EXPECT_EQ(on_red.left, 0);
  EXPECT_GT(off_red.left, 60 * area / 2500);
  EXPECT_EQ(off_red.right, 0);
  EXPECT_GT(move_red.left, 60 * area / 2500);
  EXPECT_EQ(move_red.right, 0);
  EXPECT_EQ(on_red.frame, 0);
  EXPECT_EQ(off_red.frame, 0);
  EXPECT_GT(move_red.frame, move_red.frame_pixels * 9 / 10);
  }
}

TEST(Resources, HandPictureIsAnIllustration) {
  const Image hand = LoadBitmapPixels(IDB_HAND);
  ASSERT_EQ(hand.width, 104);
  std::set<std::uint32_t> distinct;
  for (const Rgb& p : hand.pixels) distinct.insert(p.r << 16 | p.g << 8 | p.b);
  EXPECT_GT(distinct.size(), 500u);
}

// ---------------------------------------------------------------------------------------------
// Dialog templates (extended format).

struct SzOrOrd {
  std::wstring text;
  int ordinal = -1;  // -1: text
};

struct DialogItem {
  DWORD ex_style = 0, style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;
  SzOrOrd cls, text;
};

struct DialogTemplate {
  WORD version = 0, signature = 0;
  DWORD ex_style = 0, style = 0;
  WORD count = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  SzOrOrd menu, cls;
  std::wstring title;
  WORD point_size = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::wstring face;
  std::vector<DialogItem> items;
};

SzOrOrd ReadSzOrOrd(Bytes b, std::size_t& pos) {
  SzOrOrd out;
  const auto first = Get<WORD>(b, pos);
  if (first == 0xFFFF) {
    out.ordinal = Get<WORD>(b, pos + 2);
    pos += 4;
    return out;
  }
  while (pos + 2 <= b.size()) {
    const auto c = Get<wchar_t>(b, pos);
    pos += 2;
    if (c == 0) break;
    out.text += c;
  }
  return out;
}

DialogTemplate ParseDialog(Bytes b) {
  DialogTemplate d;
  d.version = Get<WORD>(b, 0);
  d.signature = Get<WORD>(b, 2);
  d.ex_style = Get<DWORD>(b, 8);
  d.style = Get<DWORD>(b, 12);
  d.count = Get<WORD>(b, 16);
  d.x = Get<short>(b, 18);
  d.y = Get<short>(b, 20);
  d.cx = Get<short>(b, 22);
  d.cy = Get<short>(b, 24);
  std::size_t pos = 26;
  d.menu = ReadSzOrOrd(b, pos);
  d.cls = ReadSzOrOrd(b, pos);
  d.title = ReadSzOrOrd(b, pos).text;
  if (d.style & DS_SETFONT) {
    d.point_size = Get<WORD>(b, pos);
    d.weight = Get<WORD>(b, pos + 2);
    d.italic = Get<BYTE>(b, pos + 4);
    d.charset = Get<BYTE>(b, pos + 5);
    pos += 6;
    d.face = ReadSzOrOrd(b, pos).text;
  }
  for (WORD i = 0; i < d.count && pos < b.size(); ++i) {
    pos = (pos + 3) & ~std::size_t{3};
    DialogItem item;
    item.ex_style = Get<DWORD>(b, pos + 4);
    item.style = Get<DWORD>(b, pos + 8);
    item.x = Get<short>(b, pos + 12);
    item.y = Get<short>(b, pos + 14);
    item.cx = Get<short>(b, pos + 16);
    item.cy = Get<short>(b, pos + 18);
    item.id = Get<DWORD>(b, pos + 20);
    pos += 24;
    item.cls = ReadSzOrOrd(b, pos);
    item.text = ReadSzOrOrd(b, pos);
    pos += 2 + Get<WORD>(b, pos);
    d.items.push_back(item);
  }
  return d;
}

constexpr int kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct ItemExpectation {
  int id;
  int cls;  // ordinal, or 0 for the trackbar's class name
  DWORD style, ex_style;
  std::array<short, 4> rect;
  const wchar_t* text;  // nullptr: the bitmap ordinal IDB_HAND
};

void ExpectItems(const DialogTemplate& d, const std::vector<ItemExpectation>& expected) {
  ASSERT_EQ(d.items.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const DialogItem& got = d.items[i];
    const ItemExpectation& want = expected[i];
    SCOPED_TRACE(want.id);
    EXPECT_EQ(static_cast<int>(got.id), want.id);
    if (want.cls) {
      EXPECT_EQ(got.cls.ordinal, want.cls);
    } else {
      // Window classes match without regard to case; some resource compilers upper-case the name.
      EXPECT_EQ(CompareStringOrdinal(got.cls.text.c_str(), -1, L"msctls_trackbar32", -1, TRUE), CSTR_EQUAL);
    }
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.ex_style, want.ex_style);
    EXPECT_EQ((std::array<short, 4>{got.x, got.y, got.cx, got.cy}), want.rect);
    if (want.text) {
      EXPECT_EQ(got.text.ordinal, -1);
      EXPECT_EQ(got.text.text, want.text);
    } else {
      EXPECT_EQ(got.text.ordinal, IDB_HAND);
    }
  }
}

TEST(Resources, SettingsDialogTemplate) {
  const DialogTemplate d = ParseDialog(Resource(RT_DIALOG, IDD_SETTINGS));
  EXPECT_EQ(d.version, 1);
  EXPECT_EQ(d.signature, 0xFFFF);
  EXPECT_EQ(d.style, static_cast<DWORD>(WS_CAPTION | DS_SETFONT));
  EXPECT_EQ(d.ex_style, 0u);
  EXPECT_EQ((std::array<short, 4>{d.x, d.y, d.cx, d.cy}), (std::array<short, 4>{0, 0, 224, 142}));
  EXPECT_EQ(d.menu.text, L"");
  EXPECT_EQ(d.cls.text, L"");
  EXPECT_EQ(d.title, L"Vemto 觸控屏設定程序");
  EXPECT_EQ(d.point_size, 12);
  EXPECT_EQ(d.weight, 400);
  EXPECT_EQ(d.italic, 0);
  EXPECT_EQ(d.charset, 0);
  EXPECT_EQ(d.face, L"Microsoft Sans Serif");
  const DWORD radio = BS_AUTORADIOBUTTON | WS_TABSTOP | kChild;
  const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP | kChild;
  const DWORD group = BS_GROUPBOX | kChild;
  ExpectItems(d, {
                     {IDC_METHOD_NONE, kButton, radio | WS_GROUP, 0, {97, 16, 30, 10}, L"無"},
                     {IDC_METHOD_BUTTON, kButton, radio, 0, {97, 24, 101, 10}, L"右鍵功能按鈕方式"},
                     {IDC_METHOD_HOLD, kButton, radio, 0, {97, 33, 101, 10}, L"按住且不移動方式"},
                     {IDC_LEFT_SOUND, kButton, check, 0, {18, 60, 63, 10}, L"左鍵聲音提示"},
                     {IDC_RIGHT_SOUND, kButton, check, 0, {18, 74, 63, 10}, L"右鍵聲音提示"},
                     {IDC_RIGHT_FLASH, kButton, check, 0, {18, 88, 63, 10}, L"右鍵動畫提示"},
                     {IDC_WAIT_SLIDER, 0, TBS_AUTOTICKS | WS_TABSTOP | kChild, WS_EX_STATICEDGE, {98, 91, 96, 15}, L""},
                     {IDOK, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP | kChild, 0, {40, 121, 50, 14}, L"確定"},
                     {IDCANCEL, kButton, BS_PUSHBUTTON | WS_TABSTOP | kChild, 0, {135, 121, 50, 14}, L"取消"},
                     {IDC_GROUP_HOLD, kButton, group, 0, {85, 72, 124, 45}, L"按住且不移動方式"},
                     {IDC_WAIT_CAPTION, kStatic, SS_LEFT | WS_GROUP | kChild, 0, {105, 81, 84, 8}, L"右鍵按住啟動時間"},
                     {IDC_WAIT_LABEL, kStatic, SS_CENTER | SS_CENTERIMAGE | WS_GROUP | kChild, 0, {129, 107, 38, 9},
                      L"1.0秒"},
                     {IDC_HAND_PICTURE, kStatic, SS_BITMAP | kChild, 0, {23, 13, 46, 40}, nullptr},
                     {IDC_GROUP_METHOD, kButton, group, 0, {85, 7, 124, 39}, L"右鍵模擬啟動方式"},
                     {IDC_ONCE_ONLY, kButton, check, 0, {97, 57, 107, 10}, L"右鍵只作用一次"},
                     {IDC_GROUP_BUTTON, kButton, group, 0, {85, 47, 124, 23}, L"右鍵功能按鈕方式"},
                     // Hidden until a policy is in force.
                     {IDC_MANAGED_NOTE, kStatic, SS_LEFT | WS_GROUP | WS_CHILD, 0, {7, 131, 210, 9},
                      L"某些設定由您的組織管理。"},
                 });
}

TEST(Resources, PopupAndStatusDialogTemplates) {
  const DialogTemplate popup = ParseDialog(Resource(RT_DIALOG, IDD_POPUP));
  EXPECT_EQ(popup.signature, 0xFFFF);
  EXPECT_EQ(popup.style, static_cast<DWORD>(WS_POPUP | DS_SETFONT | DS_FIXEDSYS));
  EXPECT_EQ(popup.ex_style, static_cast<DWORD>(WS_EX_TOPMOST));
  EXPECT_EQ((std::array<short, 2>{popup.cx, popup.cy}), (std::array<short, 2>{32, 29}));
  EXPECT_EQ(popup.count, 0);
  EXPECT_EQ(popup.title, L"");
  EXPECT_EQ(popup.face, L"MS Shell Dlg");
  EXPECT_EQ(popup.point_size, 8);
  EXPECT_EQ(popup.weight, 400);
  EXPECT_EQ(popup.charset, DEFAULT_CHARSET);

  const DialogTemplate status = ParseDialog(Resource(RT_DIALOG, IDD_STATUS));
  EXPECT_EQ(status.signature, 0xFFFF);
  EXPECT_EQ(status.style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
  EXPECT_EQ(status.style & (WS_SYSMENU | WS_VISIBLE), 0u);
  EXPECT_EQ(status.ex_style, static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_NOACTIVATE));
  EXPECT_EQ((std::array<short, 2>{status.cx, status.cy}), (std::array<short, 2>{214, 162}));
  EXPECT_EQ(status.title, L"Form1");
  EXPECT_EQ(status.face, L"MS Shell Dlg");
  EXPECT_EQ(status.point_size, 8);
  ExpectItems(status,
              {
                  {IDC_STATUS_LOG, kEdit,
                   ES_MULTILINE | ES_READONLY | ES_NUMBER | WS_VSCROLL | WS_BORDER | WS_TABSTOP | kChild,
                   WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME, {7, 7, 199, 126}, L""},
                  {IDC_STATUS_BUTTON, kButton, BS_DEFPUSHBUTTON | WS_TABSTOP | kChild, 0, {161, 139, 45, 17}, L"關閉"},
              });
}

INT_PTR CALLBACK IgnoreAll(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

TEST(Resources, SettingsDialogCreatesHiddenWithItsPictureAndTrackbar) {
  INITCOMMONCONTROLSEX init{sizeof(init), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&init));
  HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, IgnoreAll, 0);
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowVisible(dialog));
  auto picture = reinterpret_cast<HBITMAP>(SendDlgItemMessageW(dialog, IDC_HAND_PICTURE, STM_GETIMAGE, IMAGE_BITMAP, 0));
  ASSERT_NE(picture, nullptr);
  BITMAP info{};
  GetObjectW(picture, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 104);
  EXPECT_EQ(info.bmHeight, 100);
  std::array<wchar_t, 64> cls{};
  GetClassNameW(GetDlgItem(dialog, IDC_WAIT_SLIDER), cls.data(), static_cast<int>(cls.size()));
  EXPECT_EQ(CompareStringOrdinal(cls.data(), -1, TRACKBAR_CLASSW, -1, TRUE), CSTR_EQUAL);
  DestroyWindow(dialog);

  for (int id : {IDD_POPUP, IDD_STATUS}) {
    HWND other = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr, IgnoreAll, 0);
    ASSERT_NE(other, nullptr) << id;
    EXPECT_FALSE(IsWindowVisible(other)) << id;
    EXPECT_NE(GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_TOPMOST, 0) << id;
    DestroyWindow(other);
  }
}

// ---------------------------------------------------------------------------------------------
// String, icons, manifest.

// Spelled out, not taken from res/resource_ids.h: other programs find the main window by this name,
// so a change of the shared constant must fail here.
TEST(Resources, ClassNameString) {
  std::array<wchar_t, 100> text{};
  const int length = LoadStringW(GetModuleHandleW(nullptr), IDS_CLASS_NAME, text.data(), static_cast<int>(text.size()));
  EXPECT_EQ(length, 38);
  EXPECT_STREQ(text.data(), L"{A3F450AB-AF1C-4d36-BDAA-9B69162F70D0}");
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

void ExpectIconGroup(int group_id, const std::multiset<std::pair<int, int>>& expected) {
  SCOPED_TRACE(group_id);
  const Bytes group = Resource(RT_GROUP_ICON, group_id);
  ASSERT_GE(group.size(), 6u);
  EXPECT_EQ(Get<WORD>(group, 2), 1);
  const WORD count = Get<WORD>(group, 4);
  ASSERT_EQ(group.size(), 6u + count * sizeof(GroupIconEntry));
  std::multiset<std::pair<int, int>> got;
  for (WORD i = 0; i < count; ++i) {
    const auto entry = Get<GroupIconEntry>(group, 6 + i * sizeof(GroupIconEntry));
    const int size = entry.width ? entry.width : 256;
    got.insert({size, entry.bits});
    SCOPED_TRACE(size);
    SCOPED_TRACE(entry.bits);
    EXPECT_EQ(entry.height, entry.width);
    EXPECT_EQ(entry.planes, 1);
    EXPECT_EQ(entry.colours, entry.bits == 4 ? 16 : 0);
    const Bytes image = Resource(RT_ICON, entry.id);
    ASSERT_EQ(image.size(), entry.bytes);
    const auto info = Get<BITMAPINFOHEADER>(image, 0);
    EXPECT_EQ(info.biWidth, size);
    EXPECT_EQ(info.biHeight, 2 * size);
    EXPECT_EQ(info.biBitCount, entry.bits);
    if (entry.bits == 32) {
      // Transparent corners, an opaque middle, and soft (anti-aliased) edges in between.
      std::set<int> alpha;
      for (int p = 0; p < size * size; ++p) alpha.insert(image[info.biSize + 4 * p + 3]);
      EXPECT_EQ(image[info.biSize + 3], 0) << "corner";
      EXPECT_EQ(image[info.biSize + 4 * (size * size / 2 + size / 2) + 3], 255) << "middle";
      EXPECT_GT(alpha.size(), 2u);
    } else {
      // The AND mask (1 = transparent) follows the palette and the colour bits.
      const std::size_t palette = 4u << entry.bits;
      const std::size_t stride = ((size * entry.bits + 31) / 32) * 4;
      const std::size_t mask = info.biSize + palette + stride * size;
      EXPECT_NE(image[mask] & 0x80, 0) << "corner";
      const std::size_t mask_stride = ((size + 31) / 32) * 4;
      const int half = size / 2;
      EXPECT_EQ(image[mask + mask_stride * half + half / 8] & (0x80 >> (half % 8)), 0) << "middle";
    }
  }
  EXPECT_EQ(got, expected);
}

TEST(Resources, IconGroupsHoldEverySizeAndDepth) {
  ExpectIconGroup(IDI_APP, {{48, 32}, {32, 32}, {16, 32}, {48, 8}, {32, 8}, {16, 8}, {32, 4}, {16, 4}});
  ExpectIconGroup(IDI_SECOND, {{48, 32}, {32, 32}, {24, 32}, {16, 32}});
  for (int size : {16, 32, 48}) {
    auto icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr) << size;
    DestroyIcon(icon);
  }
}

TEST(Resources, ManifestAsksForTheCallersRightsPerMonitorScaleAndClassicControls) {
  const Bytes manifest = Resource(RT_MANIFEST, 1);
  ASSERT_FALSE(manifest.empty());
  const std::string text(manifest.begin(), manifest.end());
  EXPECT_NE(text.find(R"(level="asInvoker")"), std::string::npos);
  EXPECT_NE(text.find(R"(uiAccess="false")"), std::string::npos);
  EXPECT_EQ(text.find("Common-Controls"), std::string::npos);
  // Per-monitor v2 where the system has it (Windows 10 1703 on); per-monitor v1 on 1607, which reads
  // dpiAwareness (and then ignores dpiAware) but knows no PerMonitorV2, and on 8.1 (dpiAware).
  // Each element counts only in its own namespace.
  EXPECT_NE(
      text.find(
          R"(<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>)"),
      std::string::npos);
  EXPECT_NE(text.find(R"(<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>)"),
            std::string::npos);
  EXPECT_NE(text.find(R"(<application xmlns="urn:schemas-microsoft-com:asm.v3">)"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Version information of the shipped programs, read from their files as Explorer reads it.

std::wstring Widen(const char* text) { return std::wstring(text, text + std::strlen(text)); }

struct VersionInfo {
  std::vector<BYTE> data;
  std::wstring block;  // "\\StringFileInfo\\llllcccc\\" of the first translation

  const VS_FIXEDFILEINFO* Fixed() {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(value);
  }
  std::wstring String(const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), (block + name).c_str(), &value, &length) || !value) return L"<missing>";
    return static_cast<const wchar_t*>(value);
  }
};

VersionInfo ReadVersionInfo(const wchar_t* file_name) {
  std::array<wchar_t, MAX_PATH> path{};
  GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  std::wstring file(path.data());
  file = file.substr(0, file.find_last_of(L'\\') + 1) + file_name;
  VersionInfo info;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &handle);
  if (size == 0) return info;
  info.data.resize(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, info.data.data())) {
    info.data.clear();
    return info;
  }
  struct Translation {
    WORD language, code_page;
  };
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(info.data.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
      length >= sizeof(Translation)) {
    const auto* translation = static_cast<const Translation*>(value);
    std::array<wchar_t, 40> block{};
    std::swprintf(block.data(), block.size(), L"\\StringFileInfo\\%04x%04x\\", translation->language,
                  translation->code_page);
    info.block = block.data();
  }
  return info;
}

TEST(Resources, ShippedProgramsCarryTheProjectVersionAndTheirOwnDescriptions) {
  const std::pair<const wchar_t*, const wchar_t*> programs[] = {{L"Ostinel.exe", L"Ostinel touch feedback"},
                                                                {L"OstinelSettings.exe", L"Ostinel Settings"}};
  for (const auto& [file, description] : programs) {
    SCOPED_TRACE(testing::Message() << std::string(file, file + std::wcslen(file)));
    VersionInfo info = ReadVersionInfo(file);
    ASSERT_FALSE(info.data.empty()) << "no version information";
    ASSERT_EQ(info.block, L"\\StringFileInfo\\040904b0\\") << "US English, Unicode";
    const VS_FIXEDFILEINFO* fixed = info.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD high = MAKELONG(OSTINEL_VERSION_MINOR, OSTINEL_VERSION_MAJOR);
    const DWORD low = MAKELONG(OSTINEL_VERSION_BUILD, OSTINEL_VERSION_PATCH);
    EXPECT_EQ(fixed->dwFileVersionMS, high);
    EXPECT_EQ(fixed->dwFileVersionLS, low);
    EXPECT_EQ(fixed->dwProductVersionMS, high);
    EXPECT_EQ(fixed->dwProductVersionLS, low);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
    EXPECT_EQ(fixed->dwFileFlags & fixed->dwFileFlagsMask, 0u) << "no debug or pre-release flags";
    // The text versions say the same as the numbers.
    std::array<wchar_t, 64> numbers{};
    std::swprintf(numbers.data(), numbers.size(), L"%u.%u.%u.%u", HIWORD(high), LOWORD(high), HIWORD(low),
                  LOWORD(low));
    EXPECT_EQ(info.String(L"FileVersion"), numbers.data());
    EXPECT_EQ(info.String(L"ProductVersion"), Widen(OSTINEL_VERSION_STRING));
    EXPECT_EQ(info.String(L"ProductName"), L"Ostinel");
    EXPECT_EQ(info.String(L"CompanyName"), L"Vemto");
    EXPECT_EQ(info.String(L"FileDescription"), description);
    EXPECT_EQ(info.String(L"OriginalFilename"), file);
  }
}

std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), static_cast<int>(out.size()), nullptr,
                                    nullptr);
  out.resize(n > 0 ? static_cast<std::size_t>(n - 1) : 0);
  return out;
}

// The insertion strings the program sends with each event.
std::uint16_t InsertionsOf(std::uint32_t id) {
  std::array<EventRecord, CONTROLLER_EVENTS_PER_NOTICE_MAX> device;
  std::array<EventRecord, 2> settings;
  ControllerReportState fresh;
  switch (id) {
    case EVENT_STARTED: return StartedEvent(L"1.0", StoredDefaults(), false).StringCount;
    case EVENT_RESTARTED: return StartedEvent(L"1.0", StoredDefaults(), true).StringCount;
    case EVENT_ENDED: return EndedEvent(L"1.0").StringCount;
    case EVENT_START_FAILED: return StartFailedEvent(L"bitmaps", 1814).StringCount;
    case EVENT_SUPPORT_SECTION_TAKEN:
      return SupportSectionTakenEvent(L"\\Sessions\\1\\BaseNamedObjects\\OstinelSupport").StringCount;
    case EVENT_SERVICES_SESSION: return ServicesSessionEvent(L"NT AUTHORITY\\SYSTEM").StringCount;
    case EVENT_CONTROLLER_CONNECTED: ControllerNoticeEvents(fresh, DeviceNotice::Connected, 0, L"p", 0, device); break;
    case EVENT_CONNECTION_LOST: ControllerNoticeEvents(fresh, DeviceNotice::Lost, 109, L"p", 0, device); break;
    case EVENT_CONTROLLER_NOT_FOUND: ControllerNoticeEvents(fresh, DeviceNotice::AttemptFailed, 0, L"", 0, device); break;
    case EVENT_LEFT_TO_OTHER_SESSION:
      ControllerNoticeEvents(fresh, DeviceNotice::LeftToOtherSession, 0, L"", 0, device);
      break;
    case EVENT_TAKEN_BACK: ControllerNoticeEvents(fresh, DeviceNotice::TakenBack, 0, L"", 0, device); break;
    case EVENT_REPORTS_HELD_BACK:
      fresh.Holding = true;
      fresh.HeldBack = 1;
      TakeHeldBackSummary(fresh, 0, true, device);
      break;
    case EVENT_SETTINGS_CHANGED: SettingsOkEvents(StoredDefaults(), SettingValues::Filled(1), true, 0, settings); return settings[0].StringCount;
    case EVENT_SETTINGS_NOT_SAVED: return SettingsNotSavedEvent(5).StringCount;
    case EVENT_POLICIES_IN_FORCE: return PoliciesInForceEvent(Policies{}, StoredDefaults()).StringCount;
    case EVENT_POLICY_IGNORED: return PolicyIgnoredEvent(PolicyValue::HoldTime, RawPolicyValue{}).StringCount;
    default: return 0xFFFF;
  }
  EXPECT_EQ(device[0].Id, id);
  return device[0].StringCount;
}

// The message file that the installers register is Ostinel.exe itself: every event ID has a text
// in every interface language (English, Simplified and Traditional Chinese) that shows each value the program sends and no
// other, and the Chinese texts came through the message compiler as Chinese (a wrong input code
// page turns them into Latin-1 letters).
TEST(Resources, EventMessagesOfEveryIdInEveryLanguageShowEveryInsertion) {
  std::array<wchar_t, MAX_PATH> path{};
  GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
  std::wstring program(path.data());
  program = program.substr(0, program.find_last_of(L'\\') + 1) + L"Ostinel.exe";
  HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr) << GetLastError();

  std::array<std::wstring, EVENT_MAX_STRINGS> markers;  // <v1>, <v2>, ...
  std::array<DWORD_PTR, EVENT_MAX_STRINGS> arguments{};
  for (std::size_t i = 0; i < markers.size(); ++i) {
    markers[i] = L"<v" + std::to_wstring(i + 1) + L">";
    arguments[i] = reinterpret_cast<DWORD_PTR>(markers[i].c_str());
  }
  const auto languages = InterfaceLanguages();
  for (std::uint32_t id : ALL_EVENT_IDS) {
    const std::uint16_t insertions = InsertionsOf(id);
    std::map<std::string, std::wstring> texts;  // by language code
    for (const InterfaceLanguage& language : languages) {
      SCOPED_TRACE(testing::Message() << "event " << id << ", language " << language.Code);
      std::array<wchar_t, 1024> text{};
      const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id,
                                          language.LangId, text.data(), static_cast<DWORD>(text.size()),
                                          reinterpret_cast<va_list*>(arguments.data()));
      ASSERT_GT(length, 0u) << "no text: " << GetLastError();
      const std::wstring& got = texts[language.Code] = text.data();
      for (std::size_t i = 0; i < markers.size(); ++i) {
        EXPECT_EQ(got.find(markers[i]) != std::wstring::npos, i < insertions) << "insertion " << i + 1;
      }
      EXPECT_EQ(got.find(L'%'), std::wstring::npos);
      bool chinese = false, latin1 = false;
      for (wchar_t c : got) {
        chinese = chinese || (c >= 0x4E00 && c <= 0x9FFF);
        latin1 = latin1 || (c >= 0x80 && c <= 0xFF);
      }
      EXPECT_FALSE(latin1) << Narrow(got);
      EXPECT_EQ(chinese, std::string(language.Code).starts_with("zh-")) << Narrow(got);
    }
    std::set<std::wstring> distinct;
    for (const auto& [code, text] : texts) distinct.insert(text);
    EXPECT_EQ(distinct.size(), texts.size()) << "event " << id << ": two languages have the same text";
    if (id == EVENT_SETTINGS_NOT_SAVED) {  // the characters as written, not a misread of the file
      EXPECT_NE(texts["zh-CN"].find(L"\u65E0\u6CD5\u4FDD\u5B58"), std::wstring::npos) << Narrow(texts["zh-CN"]);
      EXPECT_NE(texts["zh-TW"].find(L"\u7121\u6CD5\u5132\u5B58"), std::wstring::npos) << Narrow(texts["zh-TW"]);
    }
  }
  FreeLibrary(module);
}

}  // namespace
