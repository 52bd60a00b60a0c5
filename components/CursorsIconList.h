// A persistent, streamable list of icons. The list owns its icons; an entry may hold no icon.
// A change to any icon of the list counts as a change of the list (OnChange), held back while
// BeginUpdate / EndUpdate are nested.
//
// Stream form (the streamed property "Icons"), little-endian: a 32-bit count, then per entry a
// 32-bit byte count (0 for no icon or an empty one) and the icon in icon-file format. No Qt;
// not thread-safe.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/CursorsIcon.h"

class TIconList : public TPersistent {
 public:
  TIconList() = default;
  ~TIconList() override;

  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  virtual void Changed();

  // The icon at Index (nullptr for an entry without one); a bad index raises EListError.
  virtual TIcon* GetIcon(int Index) const;
  TIcon* Icons(int Index) const { return GetIcon(Index); }
  virtual int GetCount() const { return static_cast<int>(FIcons.size()); }
  int Count() const { return GetCount(); }
  // Index = Count appends; the entry's icon takes a copy of Icon.
  virtual void PutIcon(int Index, TIcon* Icon);
  // A copy of Icon (an empty icon for nullptr) appended; its index.
  virtual int Add(TIcon* Icon);
  // Icon itself appended: the list takes ownership (nullptr gives an entry without icon).
  int AddIcon(TIcon* Icon);
  // An icon from a resource of the program: this system has no icon resources, so the new
  // entry's icon stays empty.
  virtual int AddResource(uintptr_t Instance, const std::string& ResName);
  virtual void Clear();
  virtual void Delete(int Index);
  virtual void Exchange(int Index1, int Index2);
  virtual int IndexOf(const TIcon* Icon) const;
  virtual void Insert(int Index, TIcon* Icon);
  virtual void InsertResource(int Index, uintptr_t Instance, const std::string& ResName);
  virtual void LoadFromStream(TStream& Stream);
  virtual void Move(int CurIndex, int NewIndex);
  virtual void SaveToStream(TStream& Stream);

  void Assign(TPersistent* Source) override;
  // Whether the streamed property "Icons" is written, against the ancestor (may be nullptr).
  bool StoresIcons(const TIconList* Ancestor) const;

  TNotifyEvent OnChange;

 private:
  void Hook(TIcon* Icon);
  void CheckIndex(int Index) const;
  std::vector<std::unique_ptr<TIcon>> FIcons;
  int FUpdateCount = 0;
};
