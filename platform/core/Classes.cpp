// Object model: components with ownership and notices, and string lists.
#include "platform/core/Classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "platform/core/Cp949.h"
#include "platform/core/Streams.h"

// ---- TObject / TPersistent ----------------------------------------------------------------

TObject::~TObject() = default;

std::string TObject::ClassName() const {
  const char* raw = typeid(*this).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> dem(abi::__cxa_demangle(raw, nullptr, nullptr, &status),
                                             std::free);
  std::string name = (status == 0 && dem) ? dem.get() : raw;
  std::size_t colon = name.rfind("::");
  if (colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

void TPersistent::Assign(TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
    return;
  }
  throw EConvertError("Cannot assign a nil to a " + ClassName());
}

void TPersistent::AssignTo(TPersistent* Dest) {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " +
                      (Dest ? Dest->ClassName() : std::string("nil")));
}

// ---- TComponent -----------------------------------------------------------------------------

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) {
    if (AOwner->HasState(csLoading)) FComponentState |= csLoading;
    AOwner->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked for a free notice; each forgets us in return.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    other->RemoveFreeNotify(this);
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

void TComponent::ValidateName(const std::string& NewName, const TComponent* owner) const {
  if (NewName.empty()) return;
  auto letter = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
  };
  bool ok = letter(NewName[0]);
  for (char c : NewName) ok = ok && (letter(c) || (c >= '0' && c <= '9'));
  if (!ok) throw EComponentError("'" + NewName + "' is not a valid component name");
  if (owner != nullptr) {
    TComponent* other = owner->FindComponent(NewName);
    if (other != nullptr && other != this)
      throw EComponentError("A component named " + NewName + " already exists");
  }
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == FName) return;
  ValidateName(NewName, FOwner);
  FName = NewName;
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FComponents[static_cast<std::size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (FOwner == nullptr) return -1;
  auto& v = FOwner->FComponents;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TComponent* TComponent::FindComponent(std::string_view AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(FComponents.begin(), FComponents.end(), AComponent);
  if (it != FComponents.end()) FComponents.erase(it);
  AComponent->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner == this) return;
  AComponent->ValidateName(AComponent->FName, this);
  if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent->FOwner != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    // The notice goes out while every sibling is still alive; then the component is gone.
    RemoveComponent(c);
    delete c;
  }
}

void TComponent::Destroying() {
  if (FComponentState & csDestroying) return;
  FComponentState |= csDestroying;
  for (TComponent* c : FComponents) c->Destroying();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
  // Iterate over a copy: a handler may create or free components.
  std::vector<TComponent*> list = FComponents;
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    TComponent* c = *it;
    if (std::find(FComponents.begin(), FComponents.end(), c) == FComponents.end()) continue;
    c->Notification(AComponent, Operation);
  }
}

void TComponent::AddFreeNotify(TComponent* AComponent) {
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
}

void TComponent::RemoveFreeNotify(TComponent* AComponent) {
  auto it = std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent);
  if (it != FFreeNotifies.end()) FFreeNotifies.erase(it);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  // Both sides hear of each other's end, whichever goes first.
  AddFreeNotify(AComponent);
  AComponent->AddFreeNotify(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  RemoveFreeNotify(AComponent);
  AComponent->RemoveFreeNotify(this);
}

void TComponent::BeginLoading() {
  FComponentState |= csLoading;
  for (TComponent* c : FComponents) c->BeginLoading();
}

void TComponent::EndLoading() {
  std::vector<TComponent*> list = FComponents;
  for (TComponent* c : list)
    if (std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end()) c->EndLoading();
  if (FComponentState & csLoading) Loaded();
}

void TComponent::Loaded() { FComponentState &= ~csLoading; }

// ---- TStrings -------------------------------------------------------------------------------

namespace {

// Holds one update level for a block, also when the block throws.
class TUpdateScope {
 public:
  explicit TUpdateScope(TStrings& s) : s_(s) { s_.BeginUpdate(); }
  ~TUpdateScope() { s_.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  TStrings& s_;
};

}  // namespace

void TStrings::RaiseIndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TStrings::Put(int Index, const std::string& S) {
  TObject* obj = GetObject(Index);
  Delete(Index);
  InsertObject(Index, S, obj);
}

TObject* TStrings::GetObject(int) const { return nullptr; }
void TStrings::PutObject(int, TObject*) {}

void TStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  Insert(Index, S);
  PutObject(Index, AObject);
}

int TStrings::Add(const std::string& S) { return AddObject(S, nullptr); }

int TStrings::AddObject(const std::string& S, TObject* AObject) {
  int i = Count();
  InsertObject(i, S, AObject);
  return i;
}

int TStrings::IndexOf(std::string_view S) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (SameText(Get(i), S)) return i;
  return -1;
}

int TStrings::IndexOfObject(const TObject* AObject) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == AObject) return i;
  return -1;
}

void TStrings::AddStrings(const TStrings& Other) {
  TUpdateScope scope(*this);
  for (int i = 0, n = Other.Count(); i < n; ++i) AddObject(Other.Get(i), Other.GetObject(i));
}

void TStrings::Exchange(int Index1, int Index2) {
  if (Index1 == Index2) return;
  TUpdateScope scope(*this);
  std::string s1 = Get(Index1), s2 = Get(Index2);
  TObject* o1 = GetObject(Index1);
  TObject* o2 = GetObject(Index2);
  Put(Index1, s2);
  PutObject(Index1, o2);
  Put(Index2, s1);
  PutObject(Index2, o1);
}

void TStrings::Move(int CurIndex, int NewIndex) {
  if (CurIndex == NewIndex) return;
  TUpdateScope scope(*this);
  std::string s = Get(CurIndex);
  TObject* o = GetObject(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
}

bool TStrings::Equals(const TStrings& Other) const {
  if (Count() != Other.Count()) return false;
  for (int i = 0, n = Count(); i < n; ++i)
    if (Get(i) != Other.Get(i)) return false;
  return true;
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0, n = Count(); i < n; ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view Value) {
  TUpdateScope scope(*this);
  Clear();
  std::size_t i = 0;
  while (i < Value.size()) {
    std::size_t start = i;
    while (i < Value.size() && Value[i] != '\r' && Value[i] != '\n') ++i;
    Add(std::string(Value.substr(start, i - start)));
    if (i < Value.size() && Value[i] == '\r') ++i;
    if (i < Value.size() && Value[i] == '\n') ++i;
  }
}

std::string TStrings::CommaText() const {
  std::string out;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (i) out += ',';
    std::string s = Get(i);
    bool quote = s.empty() && n == 1;
    for (char c : s)
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(std::string_view Value) {
  TUpdateScope scope(*this);
  Clear();
  std::size_t i = 0;
  auto skipBlanks = [&] {
    while (i < Value.size() && static_cast<unsigned char>(Value[i]) <= ' ') ++i;
  };
  skipBlanks();
  while (i < Value.size()) {
    std::string item;
    if (Value[i] == '"') {
      ++i;
      while (i < Value.size()) {
        if (Value[i] == '"') {
          if (i + 1 < Value.size() && Value[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += Value[i++];
      }
    } else {
      while (i < Value.size() && Value[i] != ',' &&
             static_cast<unsigned char>(Value[i]) > ' ')
        item += Value[i++];
    }
    Add(item);
    skipBlanks();
    if (i < Value.size() && Value[i] == ',') {
      ++i;
      skipBlanks();
      if (i == Value.size()) Add("");
    }
  }
}

std::string TStrings::Names(int Index) const {
  std::string s = Get(Index);
  std::size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

int TStrings::IndexOfName(std::string_view Name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    std::string s = Get(i);
    std::size_t eq = s.find('=');
    if (eq != std::string::npos && SameText(std::string_view(s).substr(0, eq), Name)) return i;
  }
  return -1;
}

std::string TStrings::Values(std::string_view Name) const {
  int i = IndexOfName(Name);
  if (i < 0) return std::string();
  std::string s = Get(i);
  return s.substr(s.find('=') + 1);
}

void TStrings::SetValues(std::string_view Name, const std::string& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line = std::string(Name) + "=" + Value;
  if (i < 0) Add(line);
  else Put(i, line);
}

void TStrings::LoadFromStream(TStream& Stream) {
  int64_t n = Stream.Size() - Stream.Position();
  std::string buf(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (!buf.empty()) Stream.ReadBuffer(buf.data(), static_cast<int64_t>(buf.size()));
  SetText(buf);
}

void TStrings::SaveToStream(TStream& Stream) const {
  std::string t = Text();
  Stream.WriteBuffer(t.data(), static_cast<int64_t>(t.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount <= 0) return;
  if (--FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TStrings*>(Source)) {
    if (src == this) return;
    TUpdateScope scope(*this);
    Clear();
    AddStrings(*src);
    return;
  }
  TPersistent::Assign(Source);
}

// ---- TStringList ----------------------------------------------------------------------------

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (OwnsObjects)
    for (auto& it : FList) delete it.Obj;
}

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseIndexError(Index);
}

std::string TStringList::Get(int Index) const {
  CheckIndex(Index);
  return FList[static_cast<std::size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string& S) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  CheckIndex(Index);
  Changing();
  FList[static_cast<std::size_t>(Index)].S = S;
  Changed();
}

TObject* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return FList[static_cast<std::size_t>(Index)].Obj;
}

void TStringList::PutObject(int Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  auto& item = FList[static_cast<std::size_t>(Index)];
  if (OwnsObjects && item.Obj != AObject) delete item.Obj;
  item.Obj = AObject;
  Changed();
}

void TStringList::InsertItem(int Index, const std::string& S, TObject* AObject) {
  Changing();
  FList.insert(FList.begin() + Index, Item{S, AObject});
  Changed();
}

void TStringList::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const std::string& S, TObject* AObject) {
  if (FSorted) throw EListError("Operation not allowed on sorted list");
  if (Index < 0 || Index > Count()) RaiseIndexError(Index);
  InsertItem(Index, S, AObject);
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Changing();
  auto it = FList.begin() + Index;
  TObject* obj = it->Obj;
  FList.erase(it);
  if (OwnsObjects) delete obj;
  Changed();
}

void TStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(FList);
  if (OwnsObjects)
    for (auto& it : old) delete it.Obj;
  Changed();
}

int TStringList::AddObject(const std::string& S, TObject* AObject) {
  int index;
  if (!FSorted) {
    index = Count();
  } else if (Find(S, index)) {
    switch (Duplicates) {
      case dupIgnore:
        return index;
      case dupError:
        throw EListError("String list does not allow duplicates");
      case dupAccept:
        break;
    }
  }
  InsertItem(index, S, AObject);
  return index;
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return FCaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

int TStringList::IndexOf(std::string_view S) const {
  if (FSorted) {
    int i;
    return Find(S, i) ? i : -1;
  }
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(FList[static_cast<std::size_t>(i)].S, S) == 0) return i;
  return -1;
}

bool TStringList::Find(std::string_view S, int& Index) const {
  // Lower bound, so that with duplicates accepted the first equal item is found.
  int lo = 0, hi = Count();
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (CompareStrings(FList[static_cast<std::size_t>(mid)].S, S) < 0) lo = mid + 1;
    else hi = mid;
  }
  Index = lo;
  return lo < Count() && CompareStrings(FList[static_cast<std::size_t>(lo)].S, S) == 0;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(FList.begin(), FList.end(), [this](const Item& a, const Item& b) {
    return CompareStrings(a.S, b.S) < 0;
  });
  Changed();
}

void TStringList::CustomSort(const std::function<int(TStringList&, int, int)>& Compare) {
  if (FSorted || Count() < 2) return;
  Changing();
  // Sort positions while the list stays as it is, since the comparer reads it by index.
  std::vector<int> order(FList.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return Compare(*this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(FList.size());
  for (int i : order) sorted.push_back(std::move(FList[static_cast<std::size_t>(i)]));
  FList.swap(sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (FSorted == Value) return;
  if (Value) Sort();
  FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
  if (FCaseSensitive == Value) return;
  FCaseSensitive = Value;
  if (FSorted) Sort();
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) Changing();
  else Changed();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}
