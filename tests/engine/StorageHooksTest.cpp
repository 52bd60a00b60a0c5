// The storage side of the order hooks: navigation follows an active order, visibility joins
// SET DELETED and the hooks' own test, and every write reaches the hooks after it is stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/src/WorkArea.h"
#include "helpers/NoteFixture.h"

namespace {

using xbtest::EngineTest;

// An order that runs backwards over record numbers and hides the records in `hidden`.
class Backwards : public xbe::OrderHooks {
 public:
  explicit Backwards(xbe::RecordSource& t) : table(t) {}
  bool HasActiveOrder() const override { return active; }
  int32_t First() override { return table.RecordCount(); }
  int32_t Last() override { return table.RecordCount() > 0 ? 1 : 0; }
  int32_t Next(int32_t r) override { return r > 1 ? r - 1 : 0; }
  int32_t Prior(int32_t r) override { return r < table.RecordCount() ? r + 1 : 0; }
  bool Visible(int32_t r, const char*) override {
    return std::find(hidden.begin(), hidden.end(), r) == hidden.end();
  }
  void RecordWritten(int32_t r, const char* oldImage, const char* newImage) override {
    std::string before(oldImage, table.Fields()[0].offset + table.Fields()[0].width);
    std::string after(newImage, before.size());
    // Called after the record is stored: reading it back gives the new image.
    std::string stored;
    table.ReadImage(r, stored);
    written.push_back({r, before.substr(1), after.substr(1), stored.compare(0, after.size(), after) == 0});
  }
  void RecordAppended(int32_t r, const char*) override { appended.push_back(r); }
  void TableRewritten() override { ++rewritten; }
  void Closing() override { ++*closing; }

  struct Write {
    int32_t rec;
    std::string before, after;
    bool stored;
  };
  xbe::RecordSource& table;
  bool active = true;
  std::vector<int32_t> hidden;
  std::vector<Write> written;
  std::vector<int32_t> appended;
  int rewritten = 0;
  int* closing = nullptr;
};

TEST_F(EngineTest, NavigationFollowsTheActiveOrderAndWritesReachTheHooks) {
  std::string path = Path("hooks.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 1), 0);
  xb_CreateField("NAME", "C", 4, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  std::unique_ptr<xbe::WorkArea> w = xbe::WorkArea::Open(path, "H", XB_OPEN_EXCLUSIVE, XB_TT_CDX, 0);
  ASSERT_TRUE(w);
  auto owned = std::make_unique<Backwards>(*w);
  Backwards& h = *owned;
  int closing = 0;
  h.closing = &closing;
  w->AttachHooks(std::move(owned));
  for (int i = 1; i <= 5; ++i) {
    ASSERT_TRUE(w->AppendBlank());
    w->SetRaw(0, "R" + std::to_string(i));
    w->Commit();
  }
  EXPECT_EQ(h.appended, (std::vector<int32_t>{1, 2, 3, 4, 5}));
  ASSERT_EQ(h.written.size(), 5u);
  EXPECT_EQ(h.written[2].before, "    ");
  EXPECT_EQ(h.written[2].after, "R3  ");
  EXPECT_TRUE(h.written[2].stored);

  // Record 4 hidden by the order's scope, record 2 deleted and hidden by SET DELETED.
  h.hidden = {4};
  w->Go(2);
  w->Delete();
  xbe::Settings().deletedHidden = true;
  std::vector<int32_t> walk;
  for (w->GoTop(); !w->Eof(); w->Skip(1)) walk.push_back(w->CurrentRecNo());
  EXPECT_EQ(walk, (std::vector<int32_t>{5, 3, 1}));
  w->GoBottom();
  EXPECT_EQ(w->CurrentRecNo(), 1);
  w->Skip(-1);
  EXPECT_EQ(w->CurrentRecNo(), 3);
  w->GoTop();
  w->Skip(-1);
  EXPECT_EQ(w->CurrentRecNo(), 5);
  EXPECT_TRUE(w->Bof());
  w->GoBottom();
  w->Skip(1);
  EXPECT_TRUE(w->Eof());
  w->Skip(-1);
  EXPECT_EQ(w->CurrentRecNo(), 1);
  EXPECT_EQ(w->CountVisible(), 3);

  // Without an active order the same visibility holds in record order.
  h.active = false;
  walk.clear();
  for (w->GoTop(); !w->Eof(); w->Skip(1)) walk.push_back(w->CurrentRecNo());
  EXPECT_EQ(walk, (std::vector<int32_t>{1, 3, 5}));

  // A pending change is written, and reaches the hooks, before a move or on request.
  size_t before = h.written.size();
  w->Go(3);
  w->SetRaw(0, "X");
  EXPECT_EQ(h.written.size(), before);
  w->WritePending();
  ASSERT_EQ(h.written.size(), before + 1);
  EXPECT_EQ(h.written.back().after, "X   ");
  w->Recall();
  w->Go(2);
  w->Recall();
  EXPECT_EQ(h.written.size(), before + 2);

  ASSERT_TRUE(w->Pack());
  EXPECT_EQ(h.rewritten, 1);
  w->Close();
  EXPECT_EQ(closing, 1);
}

}  // namespace
