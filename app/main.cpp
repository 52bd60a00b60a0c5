// Program entry. Until the main window is built this only says what is built.
#include <cstdio>

int main() {
  std::puts("Orvelane: the engine, platform and table layers are built; the note book window is not yet.");
  return 0;
}
