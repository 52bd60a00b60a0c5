// The screen cursors and the icon clipboard format, registered at start-up.
#include "components/Cursors.h"

#include <map>
#include <memory>

namespace {

// The program's cursor resources: '#' black, '.' white, anything else see-through.
struct CursorResource {
  const char* Name;
  int HotX, HotY;
  const char* Rows[32];
};

const CursorResource kResources[] = {
    {"CX_HANDCUR", 6, 16,
     {"",
      "",
      "",
      "",
      "",
      "",
      "     ##",
      "    #..#",
      "    #..#",
      "    #..#",
      "    #..#",
      "    #..###",
      "    #..#..###",
      "    #..#..#..##",
      "    #..#..#..#.#",
      " ## #..#..#..#..#",
      " #..#..........#.#",
      " #...#...........#",
      "  #..#...........#",
      "   #.............#",
      "   #.............#",
      "    #...........#",
      "    #...........#",
      "     #.........#",
      "     #.........#",
      "      #.......#",
      "      #########",
      "", "", "", "", ""}},
    {"CX_DRAGCUR", 15, 16,
     {"",
      "",
      "",
      "",
      "",
      "",
      "               #",
      "              #.#",
      "             #...#",
      "            #.....#",
      "              #.#",
      "          #   #.#   #",
      "         ##   #.#   ##",
      "        #.#####.#####.#",
      "       #...............#",
      "        #.#####.#####.#",
      "         ##   #.#   ##",
      "          #   #.#   #",
      "              #.#",
      "            #.....#",
      "             #...#",
      "              #.#",
      "               #",
      "", "", "", "", "", "", "", "", ""}},
};

std::map<TCursor, std::unique_ptr<TScreenCursor>>& Table() {
  static auto* t = new std::map<TCursor, std::unique_ptr<TScreenCursor>>;
  return *t;
}

struct StartUp {
  StartUp() { RegisterCursorsAndIconFormat(); }
} const gStartUp;

}  // namespace

bool LoadScreenCursor(TCursor Cursor, const std::string& ResourceName) {
  for (const CursorResource& r : kResources) {
    if (ResourceName != r.Name) continue;
    auto c = std::make_unique<TScreenCursor>();
    c->ResourceName = r.Name;
    c->HotSpot = TPoint{r.HotX, r.HotY};
    c->Picture.SetSize(32, 32);
    c->Mask.SetSize(32, 32);
    for (int y = 0; y < 32; ++y) {
      std::string row = r.Rows[y];
      for (int x = 0; x < 32; ++x) {
        char ch = x < static_cast<int>(row.size()) ? row[static_cast<size_t>(x)] : ' ';
        c->Picture.SetPixel(x, y, ch == '#' ? clBlack : clWhite);
        c->Mask.SetPixel(x, y, ch == '#' || ch == '.' ? clBlack : clWhite);
      }
    }
    // The controls and the screen show it from now on.
    SetScreenCursor(Cursor, c->Picture, c->Mask, c->HotSpot);
    Table()[Cursor] = std::move(c);
    return true;
  }
  return false;
}

const TScreenCursor* ScreenCursor(TCursor Cursor) {
  auto it = Table().find(Cursor);
  return it == Table().end() ? nullptr : it->second.get();
}

void RegisterCursorsAndIconFormat() {
  LoadScreenCursor(crHandCursor, "CX_HANDCUR");
  LoadScreenCursor(crDragCursor, "CX_DRAGCUR");
  TPicture::RegisterClipboardFormat(IconClipboardFormat(), "TIcon",
                                    [] { return std::unique_ptr<TGraphic>(new TIcon); });
}
