// Component ownership and notices, and string lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Streams.h"

namespace {

// Records what it hears and when it dies.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, std::vector<std::string>* log, const std::string& name = "")
      : TComponent(owner), log_(log) {
    if (!name.empty()) SetName(name);
  }
  ~TProbe() override { log_->push_back("free " + Name()); }
  void Loaded() override {
    TComponent::Loaded();
    log_->push_back("loaded " + Name());
  }
  std::vector<std::pair<TComponent*, TOperation>> heard;

 protected:
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    heard.emplace_back(c, op);
  }

 private:
  std::vector<std::string>* log_;
};

TEST(Component, OwnerFreesOwnedLastCreatedFirst) {
  std::vector<std::string> log;
  auto* form = new TProbe(nullptr, &log, "Form1");
  auto* a = new TProbe(form, &log, "A");
  auto* b = new TProbe(form, &log, "B");
  new TProbe(a, &log, "A1");  // owned one level deeper
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(1), b);
  EXPECT_EQ(a->Owner(), form);
  EXPECT_EQ(form->FindComponent("b"), b);
  EXPECT_EQ(form->FindComponent("A1"), nullptr);  // only directly owned ones
  delete form;
  // Each destructor body runs before the owned components go, so A's line precedes A1's.
  EXPECT_EQ(log, (std::vector<std::string>{"free Form1", "free B", "free A", "free A1"}));
}

TEST(Component, FreeingOneLeavesItsOwnerAndTellsTheSiblings) {
  std::vector<std::string> log;
  TProbe form(nullptr, &log, "Form1");
  auto* a = new TProbe(&form, &log, "A");
  auto* b = new TProbe(&form, &log, "B");
  // b heard its own insertion, and a heard b's.
  ASSERT_FALSE(a->heard.empty());
  EXPECT_EQ(a->heard.back(), std::make_pair(static_cast<TComponent*>(b), opInsert));
  a->heard.clear();
  auto bAddr = reinterpret_cast<uintptr_t>(b);
  delete b;
  EXPECT_EQ(form.ComponentCount(), 1);
  ASSERT_EQ(a->heard.size(), 1u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a->heard[0].first), bAddr);
  EXPECT_EQ(a->heard[0].second, opRemove);
}

TEST(Component, FreeNotificationReachesAcrossOwners) {
  std::vector<std::string> log;
  TProbe formA(nullptr, &log, "FormA");
  auto* source = new TProbe(&formA, &log, "Source");
  {
    TProbe module(nullptr, &log, "Module");
    auto* table = new TProbe(&module, &log, "Table");
    source->FreeNotification(table);
    auto tableAddr = reinterpret_cast<uintptr_t>(table);
    delete table;
    ASSERT_FALSE(source->heard.empty());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(source->heard.back().first), tableAddr);
    EXPECT_EQ(source->heard.back().second, opRemove);
  }
  // The other way round: the dead one must not be told later (no dangling notice).
  TProbe other(nullptr, &log, "Other");
  other.FreeNotification(source);
  delete source;
  EXPECT_EQ(other.heard.back().second, opRemove);
}

TEST(Component, NamesAreIdentifiersUniqueInTheOwner) {
  TComponent owner;
  auto* a = new TComponent(&owner);
  a->SetName("Edit1");
  auto* b = new TComponent(&owner);
  EXPECT_THROW(b->SetName("EDIT1"), EComponentError);
  EXPECT_THROW(b->SetName("1Edit"), EComponentError);
  EXPECT_THROW(b->SetName("Ed it"), EComponentError);
  b->SetName("Edit2");
  b->SetName("");  // unnamed is fine
  TComponent standalone;
  standalone.SetName("Edit1");  // other owner, no clash
  EXPECT_THROW(owner.InsertComponent(&standalone), EComponentError);
  EXPECT_EQ(standalone.Owner(), nullptr);
}

TEST(Component, LoadingEndsWithLoadedOwnedFirst) {
  std::vector<std::string> log;
  TProbe form(nullptr, &log, "Form1");
  form.BeginLoading();
  auto* t = new TProbe(&form, &log, "Table1");  // created while the owner loads
  EXPECT_TRUE(t->HasState(csLoading));
  form.EndLoading();
  EXPECT_FALSE(t->HasState(csLoading));
  EXPECT_FALSE(form.HasState(csLoading));
  EXPECT_EQ(log, (std::vector<std::string>{"loaded Table1", "loaded Form1"}));
}

TEST(StringList, TextUsesCrLfAndSplitsEveryLineBreak) {
  TStringList l;
  l.SetText("one\r\ntwo\nthree\rfour");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "four");
  EXPECT_EQ(l.Text(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  l.SetText("a\r\n\r\n");
  EXPECT_EQ(l.Count(), 2);  // the last break adds no line, the empty one stays
  l.SetText("");
  EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, SortedWithDuplicatesAndCaseInsensitiveLookup) {
  TStringList l;
  l.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) l.Add(s);
  ASSERT_EQ(l.Count(), 3);  // dupIgnore: "apple" matches "Apple"
  EXPECT_EQ(l[0], "Apple");
  EXPECT_EQ(l.IndexOf("FIG"), 1);
  EXPECT_EQ(l.IndexOf("kiwi"), -1);
  l.Duplicates = dupError;
  EXPECT_THROW(l.Add("PEAR"), EListError);
  l.Duplicates = dupAccept;
  l.Add("PEAR");
  EXPECT_EQ(l.Count(), 4);
  EXPECT_THROW(l.Insert(0, "x"), EListError);
  EXPECT_THROW(l.Get(4), EListError);
  TStringList u;
  u.Add("Tit1");
  EXPECT_EQ(u.IndexOf("TIT1"), 0);
}

TEST(StringList, CustomSortByTheCallersOrder) {
  TStringList l;
  l.SetCommaText("10,9,100,9");
  l.CustomSort([](TStringList& list, int a, int b) {
    return StrToInt(list[a]) - StrToInt(list[b]);
  });
  EXPECT_EQ(l.CommaText(), "9,9,10,100");
}

TEST(StringList, OnChangeWaitsForTheOutermostEndUpdate) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TObject*) { ++changes; };
  l.Add("a");
  EXPECT_EQ(changes, 1);
  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("b");
  l.Delete(0);
  l.EndUpdate();
  EXPECT_EQ(changes, 1);
  l.EndUpdate();
  EXPECT_EQ(changes, 2);
}

TEST(StringList, CommaTextAndValues) {
  TStringList l;
  l.SetCommaText("a, \"b c\",\"q\"\"x\",,d");
  ASSERT_EQ(l.Count(), 5);
  EXPECT_EQ(l[1], "b c");
  EXPECT_EQ(l[2], "q\"x");
  EXPECT_EQ(l[3], "");
  EXPECT_EQ(l.CommaText(), "a,\"b c\",\"q\"\"x\",,d");
  TStringList one;
  one.Add("");
  EXPECT_EQ(one.CommaText(), "\"\"");  // a lone empty item must not read back as no item
  TStringList v;
  v.Add("Font=Gulim");
  v.SetValues("Size", "12");
  EXPECT_EQ(v.Values("font"), "Gulim");
  EXPECT_EQ(v.Values("Size"), "12");
  v.SetValues("Font", "");
  EXPECT_EQ(v.IndexOfName("Font"), -1);
}

TEST(StringList, FileRoundTripKeepsBytes) {
  std::string path = ::testing::TempDir() + "orv_strings.txt";
  TStringList l;
  l.Add("\xB0\xA1\xB3\xAA");
  l.Add("x");
  l.SaveToFile(path);
  TStringList r;
  r.LoadFromFile(path);
  EXPECT_TRUE(r.Equals(l));
  EXPECT_THROW(r.LoadFromFile(path + ".missing"), EFOpenError);
  DeleteFile(path);
}

}  // namespace
