// Decode and encode speed of GIF rasters: a large 8-bit picture (smooth areas with noise, as
// photographs reduced to 256 colours look) and a 24-bit picture reduced and encoded the way
// the writer does it. Prints megapixels per second; the best of several rounds counts.
//
//   bench_gif [width height [rounds]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "components/ColorReduce.h"
#include "components/GifFile.h"
#include "components/Lzw.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

std::string Picture8(int w, int h) {
  uint8_t palette[1024];
  for (int i = 0; i < 256; ++i) {
    palette[4 * i] = static_cast<uint8_t>(i);
    palette[4 * i + 1] = static_cast<uint8_t>(255 - i);
    palette[4 * i + 2] = static_cast<uint8_t>(i * 3);
    palette[4 * i + 3] = 0;
  }
  std::string f = MakeDibFile(w, h, 8, palette, 256);
  uint8_t* px = DibPixels(f);
  int64_t row = RowBytes(static_cast<int64_t>(w) * 8);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      px[y * row + x] = static_cast<uint8_t>(((x / 16) + (y / 16) * 3 + (rng() % 4 == 0 ? rng() % 8 : 0)) & 0xFF);
  return f;
}

std::string Picture24(int w, int h) {
  std::string f = MakeDibFile(w, h, 24, nullptr, 0);
  uint8_t* px = DibPixels(f);
  int64_t row = RowBytes(static_cast<int64_t>(w) * 24);
  std::mt19937 rng(9);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = px + y * row + 3 * x;
      p[0] = static_cast<uint8_t>(x * 255 / w);
      p[1] = static_cast<uint8_t>(y * 255 / h);
      p[2] = static_cast<uint8_t>((x + y) / 8 + rng() % 3);
    }
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  int w = argc > 2 ? std::atoi(argv[1]) : 4096;
  int h = argc > 2 ? std::atoi(argv[2]) : 4096;
  int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
  if (w <= 0 || h <= 0 || rounds <= 0) {
    std::fprintf(stderr, "usage: bench_gif [width height [rounds]]\n");
    return 2;
  }
  const double mpix = static_cast<double>(w) * h / 1e6;
  std::string dib = Picture8(w, h);
  DibView v = CheckedDib(dib.data(), dib.size());

  double encodeBest = 1e9, decodeBest = 1e9, loadBest = 1e9;
  size_t rasterBytes = 0;
  TMemoryStream raster;
  for (int r = 0; r < rounds; ++r) {
    raster.Clear();
    auto t0 = Clock::now();
    EncodeRaster(raster, w, h, 8, false, nullptr, v.Pixels);
    auto t1 = Clock::now();
    encodeBest = std::min(encodeBest, Seconds(t0, t1));
    rasterBytes = static_cast<size_t>(raster.Size());
  }
  std::string out = MakeDibFile(w, h, 8, nullptr, 0);
  for (int r = 0; r < rounds; ++r) {
    raster.SetPosition(0);
    bool damaged = false;
    auto t0 = Clock::now();
    DecodeRaster(raster, w, h, 8, false, nullptr, damaged, DibPixels(out), 8, false);
    auto t1 = Clock::now();
    decodeBest = std::min(decodeBest, Seconds(t0, t1));
  }
  if (std::string(reinterpret_cast<const char*>(DibPixels(out)), static_cast<size_t>(v.RowSize * h)) !=
      std::string(reinterpret_cast<const char*>(v.Pixels), static_cast<size_t>(v.RowSize * h))) {
    std::fprintf(stderr, "decoded picture differs from the encoded one\n");
    return 1;
  }
  // The whole road of a file: write it, read it back and decode its frame.
  TGifImageCore img;
  img.FrameList.push_back(std::make_unique<TGifFrameCore>(&img));
  img.FrameList[0]->SetDecodedFile(dib);
  img.FormatVersion = 1;
  TMemoryStream file;
  img.WriteGif(file, false);
  for (int r = 0; r < rounds; ++r) {
    file.SetPosition(0);
    TGifImageCore back;
    auto t0 = Clock::now();
    back.LoadGifData(file.Size(), file, true);
    auto t1 = Clock::now();
    loadBest = std::min(loadBest, Seconds(t0, t1));
  }

  // 24 bits: histogram reduction plus encoding, as the writer does for true-colour frames.
  int w24 = std::min(w, 2048), h24 = std::min(h, 2048);
  std::string dib24 = Picture24(w24, h24);
  double reduceBest = 1e9, medianBest = 1e9;
  for (int r = 0; r < rounds; ++r) {
    DibView v24 = CheckedDib(dib24.data(), dib24.size());
    auto t0 = Clock::now();
    std::string reduced = ReduceDib(v24, pf8bit, crHistogram);
    auto t1 = Clock::now();
    std::string median = ReduceDib(v24, pf8bit, crMedianCut);
    auto t2 = Clock::now();
    reduceBest = std::min(reduceBest, Seconds(t0, t1));
    medianBest = std::min(medianBest, Seconds(t1, t2));
  }
  const double mpix24 = static_cast<double>(w24) * h24 / 1e6;

  std::printf("picture %dx%d, 8 bits, raster %zu bytes (%.2f bytes/pixel)\n", w, h, rasterBytes,
              static_cast<double>(rasterBytes) / (static_cast<double>(w) * h));
  std::printf("lzw encode      %8.1f Mpixel/s  (%.3f s)\n", mpix / encodeBest, encodeBest);
  std::printf("lzw decode      %8.1f Mpixel/s  (%.3f s)\n", mpix / decodeBest, decodeBest);
  std::printf("file load+decode%8.1f Mpixel/s  (%.3f s)\n", mpix / loadBest, loadBest);
  std::printf("reduce histogram%8.1f Mpixel/s  (%dx%d, %.3f s)\n", mpix24 / reduceBest, w24, h24, reduceBest);
  std::printf("reduce mediancut%8.1f Mpixel/s  (%dx%d, %.3f s)\n", mpix24 / medianBest, w24, h24, medianBest);
  return 0;
}
