// Small files that describe a lot, on the picture path. It writes them, or runs one of them
// per call, so that a memory meter around the call (/usr/bin/time -v) sees that case alone:
//
//   bench_hostile_pictures write DIR   the files: steps20000.ani (88 KB, one 48 x 48 icon shown
//                                      by 20,000 "seq " steps), steps2000.ani (two icons, 2,000
//                                      steps), huge1.gif (798 bytes, one 8192 x 8192 frame),
//                                      huge2.gif (814 bytes, two such frames)
//   bench_hostile_pictures ani FILE    the cursor read and assigned to a GIF picture
//   bench_hostile_pictures gif FILE    the GIF read and each frame's bitmap asked for
//   bench_hostile_pictures             all of it: the files in a temporary folder, each case
//                                      in a process of its own, with its time and peak memory
//
// Prints what was made of each file and the time it took.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "components/CursorsAni.h"
#include "components/GifImage.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "tests/components/RiffFile.h"

namespace {

using Clock = std::chrono::steady_clock;

// A one-image icon of w x w pixels, 4 or 32 bits per pixel, in one colour with its mask open.
std::string IconFile(int w, int bits, uint32_t bgr) {
  int xorStride = ((w * bits + 31) / 32) * 4, andStride = ((w + 31) / 32) * 4;
  std::string img;
  Put32(img, 40); Put32(img, static_cast<uint32_t>(w)); Put32(img, static_cast<uint32_t>(2 * w));
  Put16(img, 1); Put16(img, static_cast<uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Put32(img, 0);
  if (bits == 4) {
    for (int i = 0; i < 16; ++i) Put32(img, i == 1 ? bgr : 0);
    img += std::string(static_cast<size_t>(xorStride * w), '\x11');
  } else {
    for (int i = 0; i < w * w; ++i) Put32(img, bgr | 0xFF000000u);
  }
  img += std::string(static_cast<size_t>(andStride * w), '\0');
  std::string f;
  Put16(f, 0); Put16(f, 1); Put16(f, 1);
  f += static_cast<char>(w); f += static_cast<char>(w); f += static_cast<char>(bits == 4 ? 16 : 0); f += '\0';
  Put16(f, 1); Put16(f, static_cast<uint32_t>(bits));
  Put32(f, static_cast<uint32_t>(img.size())); Put32(f, 22);
  return f + img;
}

std::string Cursor(int icons, int steps, int iconSize, int bits) {
  std::string anih;
  for (uint32_t v : {36u, uint32_t(icons), uint32_t(steps), 0u, 0u, 0u, 0u, 6u, 1u}) Put32(anih, v);
  std::string seq;
  for (int k = 0; k < steps; ++k) Put32(seq, static_cast<uint32_t>(k % icons));
  std::string fram = "fram";
  for (int i = 0; i < icons; ++i) fram += Chunk("icon", IconFile(iconSize, bits, 0x203040u * (i + 1)));
  return Riff(Chunk("anih", anih) + Chunk("seq ", seq) + Chunk("LIST", fram));
}

// 8192 x 8192 frames of a 256-colour table whose rasters hold a clear code and the end code.
std::string HugeGif(int frames) {
  std::string s = "GIF89a";
  Put16(s, 8192); Put16(s, 8192);
  s += static_cast<char>(0xF7); s += '\0'; s += '\0';
  for (int i = 0; i < 256; ++i) s += std::string{char(i), char(i), char(i)};
  for (int f = 0; f < frames; ++f) {
    s += ',';
    Put16(s, 0); Put16(s, 0); Put16(s, 8192); Put16(s, 8192);
    s += '\0';
    s += '\x08';  // code size 8: clear 256 and end 257, 9 bits each
    s += '\x03'; s += '\x00'; s += '\x03'; s += '\x02';
    s += '\0';
  }
  return s + ";";
}

bool Write(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

int WriteFiles(const std::string& dir) {
  const struct { const char* name; std::string bytes; } files[] = {
      {"steps20000.ani", Cursor(1, 20000, 48, 32)},
      {"steps2000.ani", Cursor(2, 2000, 16, 4)},
      {"huge1.gif", HugeGif(1)},
      {"huge2.gif", HugeGif(2)},
  };
  for (const auto& f : files) {
    std::string p = dir + "/" + f.name;
    if (!Write(p, f.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", p.c_str());
      return 1;
    }
    std::printf("%-16s %7zu bytes\n", f.name, f.bytes.size());
  }
  return 0;
}

// Every case in a child process of this program, with the child's time and peak memory.
int RunAll(const char* self) {
  char tmpl[] = "/tmp/orv-hostile-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  int rc = WriteFiles(dir);
  const struct { const char* what; const char* file; } cases[] = {
      {"ani", "steps20000.ani"}, {"ani", "steps2000.ani"}, {"gif", "huge1.gif"}, {"gif", "huge2.gif"}};
  for (const auto& c : cases) {
    if (rc != 0) break;
    std::fflush(stdout);
    const std::string file = dir + "/" + c.file;
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      execl(self, self, c.what, file.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage use{};
    if (pid < 0 || wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) rc = 1;
    std::printf("  %s: %.2f s, peak %ld MB\n", c.file, Since(t0), use.ru_maxrss / 1024);
  }
  std::filesystem::remove_all(dir);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return RunAll(argv[0]);
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_hostile_pictures [write DIR | ani FILE | gif FILE]\n");
    return 2;
  }
  std::string what = argv[1], path = argv[2];
  if (what == "write") return WriteFiles(path);
  auto t0 = Clock::now();
  try {
    if (what == "ani") {
      TAnimatedCursorImage ani;
      ani.LoadFromFile(path);
      double read = Since(t0);
      TGIFImage gif;
      gif.Assign(&ani);
      std::printf("%s: %d cursor frames (read %.3f s), %d GIF frames, %.3f s in all\n", path.c_str(),
                  ani.FrameCount(), read, gif.FrameCount(), Since(t0));
    } else if (what == "gif") {
      TGIFImage gif;
      gif.LoadFromFile(path);
      int decoded = 0;
      std::string refused;
      for (int k = 0; k < gif.FrameCount(); ++k) {
        try {
          gif.FrameAt(k)->FrameBitmap();
          ++decoded;
        } catch (const EOutOfMemory& e) {
          refused = std::string(", frame ") + std::to_string(k) + " refused: " + e.what();
          break;
        }
      }
      std::printf("%s: %d frames, %d decoded%s, %.3f s\n", path.c_str(), gif.FrameCount(), decoded,
                  refused.c_str(), Since(t0));
    } else {
      std::fprintf(stderr, "unknown case %s\n", what.c_str());
      return 2;
    }
  } catch (const std::exception& e) {
    std::printf("%s: refused: %s, %.3f s\n", path.c_str(), e.what(), Since(t0));
  }
  return 0;
}
