// The icon list: entries, change notices and the stream form.
#include "components/CursorsIconList.h"

#include <algorithm>

#include "platform/core/Streams.h"

TIconList::~TIconList() {
  OnChange = nullptr;
  Clear();
}

void TIconList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) Changed();
}

void TIconList::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TIconList::Hook(TIcon* Icon) {
  if (Icon) Icon->OnChange = [this](TObject*) { Changed(); };
}

void TIconList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

TIcon* TIconList::GetIcon(int Index) const {
  CheckIndex(Index);
  return FIcons[static_cast<size_t>(Index)].get();
}

void TIconList::PutIcon(int Index, TIcon* Icon) {
  BeginUpdate();
  try {
    if (Index == Count()) Add(nullptr);
    CheckIndex(Index);
    auto& slot = FIcons[static_cast<size_t>(Index)];
    if (!slot) slot = std::make_unique<TIcon>();
    Hook(slot.get());
    slot->Assign(Icon);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TIconList::Add(TIcon* Icon) {
  auto icon = std::make_unique<TIcon>();
  if (Icon) icon->Assign(Icon);
  return AddIcon(icon.release());
}

int TIconList::AddIcon(TIcon* Icon) {
  FIcons.emplace_back(Icon);
  Hook(Icon);
  Changed();
  return Count() - 1;
}

int TIconList::AddResource(uintptr_t, const std::string&) { return AddIcon(new TIcon); }

void TIconList::Insert(int Index, TIcon* Icon) {
  if (Index < 0 || Index > Count()) CheckIndex(Index);
  auto icon = std::make_unique<TIcon>();
  if (Icon) icon->Assign(Icon);
  Hook(icon.get());
  FIcons.insert(FIcons.begin() + Index, std::move(icon));
  Changed();
}

void TIconList::InsertResource(int Index, uintptr_t, const std::string&) {
  if (Index < 0 || Index > Count()) CheckIndex(Index);
  auto icon = std::make_unique<TIcon>();
  Hook(icon.get());
  FIcons.insert(FIcons.begin() + Index, std::move(icon));
  Changed();
}

void TIconList::Delete(int Index) {
  CheckIndex(Index);
  auto& slot = FIcons[static_cast<size_t>(Index)];
  if (slot) slot->OnChange = nullptr;
  FIcons.erase(FIcons.begin() + Index);
  Changed();
}

void TIconList::Clear() {
  BeginUpdate();
  for (int i = Count() - 1; i >= 0; --i) Delete(i);
  EndUpdate();
}

void TIconList::Exchange(int Index1, int Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  std::swap(FIcons[static_cast<size_t>(Index1)], FIcons[static_cast<size_t>(Index2)]);
  Changed();
}

void TIconList::Move(int CurIndex, int NewIndex) {
  CheckIndex(CurIndex);
  CheckIndex(NewIndex);
  if (CurIndex == NewIndex) return;
  auto icon = std::move(FIcons[static_cast<size_t>(CurIndex)]);
  FIcons.erase(FIcons.begin() + CurIndex);
  FIcons.insert(FIcons.begin() + NewIndex, std::move(icon));
  Changed();
}

int TIconList::IndexOf(const TIcon* Icon) const {
  for (int i = 0; i < Count(); ++i)
    if (FIcons[static_cast<size_t>(i)].get() == Icon) return i;
  return -1;
}

void TIconList::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* list = dynamic_cast<TIconList*>(Source)) {
    if (list == this) return;
    BeginUpdate();
    try {
      Clear();
      for (int i = 0; i < list->Count(); ++i) Add(list->Icons(i));
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  if (auto* icon = dynamic_cast<TIcon*>(Source)) {
    Clear();
    Add(icon);
    return;
  }
  TPersistent::Assign(Source);
}

void TIconList::LoadFromStream(TStream& Stream) {
  BeginUpdate();
  try {
    Clear();
    int32_t count = 0;
    Stream.ReadBuffer(&count, 4);
    for (int32_t i = 0; i < count; ++i) {
      int32_t size = 0;
      Stream.ReadBuffer(&size, 4);
      if (size <= 0) {
        AddIcon(nullptr);
        continue;
      }
      // The entry's bytes, no more and no fewer, so a damaged icon cannot run into the next.
      int64_t left = Stream.Size() - Stream.Position();
      if (left < size) throw EReadError("Stream read error");
      std::string bytes(static_cast<size_t>(size), '\0');
      Stream.ReadBuffer(bytes.data(), size);
      auto icon = std::make_unique<TIcon>();
      icon->LoadFromMemory(bytes.data(), bytes.size());
      AddIcon(icon.release());
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TIconList::SaveToStream(TStream& Stream) {
  int32_t count = Count();
  Stream.WriteBuffer(&count, 4);
  for (const auto& icon : FIcons) {
    if (!icon || icon->IsEmpty()) {
      int32_t zero = 0;
      Stream.WriteBuffer(&zero, 4);
      continue;
    }
    TMemoryStream buffer;
    icon->SaveToStream(buffer);
    int32_t size = static_cast<int32_t>(buffer.Size());
    Stream.WriteBuffer(&size, 4);
    Stream.WriteBuffer(buffer.Memory(), size);
  }
}

bool TIconList::StoresIcons(const TIconList* Ancestor) const {
  if (Ancestor && Ancestor->Count() == Count() && Count() > 0) {
    for (int i = 0; i < Count(); ++i)
      if (Ancestor->FIcons[static_cast<size_t>(i)].get() != FIcons[static_cast<size_t>(i)].get()) return true;
    return false;
  }
  return Count() > 0;
}
