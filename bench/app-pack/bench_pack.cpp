// bench_pack [notes=100000]: times the sort dialog's work on a generated note file of that
// many notes, run through the program's forms on an offscreen display: building the TIT2 tag
// (the sort), then the pack in that order, then a pack in natural order.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/NoteFile.h"
#include "app/Program.h"
#include "app/UdfTable.h"
#include "bench/engine/NoteGen.h"
#include "platform/core/FakeServices.h"
#include "platform/ui/FakeDialogs.h"
#include "platform/ui/Forms.h"
#include "table/XbEngine.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}


}  // namespace

int main(int argc, char** argv) {
  const long long notes = argc > 1 ? std::atoll(argv[1]) : 100000;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const fs::path folder = fs::temp_directory_path() / ("orv_bench_pack_" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  for (const auto& e : fs::directory_iterator(fs::path(ORV_BINARY_DIR) / "share"))
    if (e.is_regular_file()) fs::copy_file(e.path(), folder / e.path().filename());
  fs::current_path(folder);
  if (!notegen::GenerateNoteFileApart((folder / "bench.dbf").string(), notes)) {
    std::fprintf(stderr, "bench_pack: cannot write the note file\n");
    return 1;
  }

  TApplication app;
  EnsureEngineLoaded();
  TFakeServices services;  // no box may wait for an answer
  TFakeDialogs dialogs;
  SetModalHook([](TCustomForm*) {});
  PlaceShippedFiles(folder.string());
  {
    TXbTable settings;
    settings.SetTableType(ttXBNSX);
    settings.SetDatabaseName(folder.string());
    settings.SetTableName("condb20.dbf");
    settings.Open();
    ReplaceLocked(settings, "d2", "0270");
    ReplaceLocked(settings, "fname", "bench.dbf");
    settings.Close();
  }
  CreateProgramForms(app);
  MainForm->Show();
  app.ProcessMessages();
  TXbTable& table = *MainForm->NoteTable;
  if (!table.Active()) {
    std::fprintf(stderr, "bench_pack: the note file did not open\n");
    return 1;
  }
  IndexDlg->FormActivate(IndexDlg);
  std::printf("bench_pack: %lld notes, %.1f MB data file\n", notes,
              static_cast<double>(fs::file_size(folder / "bench.dbf")) / 1e6);

  auto t0 = std::chrono::steady_clock::now();
  const bool sorted = IndexDlg->MakeIndex(table, "TIT2", "tit2");
  std::printf("sort by title 2 (tag build, exclusive reopen): %.3f s%s\n", Seconds(t0), sorted ? "" : " FAILED");

  t0 = std::chrono::steady_clock::now();
  const bool packed = IndexDlg->NotePack();
  std::printf("pack in title-2 order: %.3f s%s\n", Seconds(t0), packed ? "" : " FAILED");

  t0 = std::chrono::steady_clock::now();
  const bool again = IndexDlg->NotePack();
  std::printf("pack in natural order: %.3f s%s\n", Seconds(t0), again ? "" : " FAILED");
  std::printf("records after the packs: %ld\n", static_cast<long>(table.RecCount()));
  for (const TMessageBoxCall& b : services.Boxes) std::printf("message: %s\n", b.Text.c_str());

  DestroyProgramForms();
  SetModalHook(nullptr);
  std::error_code ec;
  fs::current_path(fs::temp_directory_path(), ec);
  fs::remove_all(folder, ec);
  return sorted && packed && again ? 0 : 1;
}
