// The class library's object model: TObject, TPersistent, components with ownership and
// notifications, and string lists.
//
// Conventions of this layer (and of everything built on it):
// - A property with behaviour is a read method named as the property and a SetX method
//   (Name() / SetName()); a plain value without side effects is a public member (Tag).
// - Events are std::function members named as the event (OnChange).
// - An owner frees what it owns: deleting a component deletes its owned components (last
//   created first). A component may be created without an owner; then its creator deletes it.
//
// Notifications: inserting a component into an owner calls owner->Notification(c, opInsert),
// removing it calls owner->Notification(c, opRemove); the base Notification passes the notice on
// to every owned component, so every component of the owner hears it. A component that refers
// to a component of another owner calls FreeNotification() on it to hear of its destruction.
// C++ note: the insert notice is sent from TComponent's constructor and the remove notice from
// TComponent's destructor, so at those moments the component is only a TComponent: receivers
// identify it by address, never by dynamic_cast. A class that must register itself by its own
// class does so in its own constructor and destructor. Likewise a derived destructor body runs
// before TComponent frees the owned components: a form whose components' events reach back
// into the form's own members calls DestroyComponents() first in its destructor.
//
// Not thread-safe: components live on the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/SysUtils.h"

// Puts v into a property's field; true when that changed it, so the setter announces (repaints,
// notifies) only real changes.
template <class T>
bool StoreChanged(T& field, const T& v) {
  if (field == v) return false;
  field = v;
  return true;
}

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject();

  // The class name as C++ knows it, without namespaces ("TXbTable").
  std::string ClassName() const;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Objects that can copy their published state from another.
class TPersistent : public TObject {
 public:
  // Copies Source into this object; the base raises EConvertError
  // "Cannot assign a <Source class> to a <this class>".
  virtual void Assign(TPersistent* Source);

 protected:
  // Asks Dest to copy from this object; the base raises the same error.
  virtual void AssignTo(TPersistent* Dest);
};

enum TOperation { opInsert, opRemove };

// Component state flags (a set).
enum : unsigned {
  csLoading = 1u << 0,
  csReading = 1u << 1,
  csWriting = 1u << 2,
  csDestroying = 1u << 3,
  csDesigning = 1u << 4,
  csUpdating = 1u << 5,
};
using TComponentState = unsigned;

class TComponent : public TPersistent {
 public:
  // Inserts the new component into AOwner (when given). A component created while its owner
  // is loading is loading as well.
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;

  // Name: empty, or an identifier (letter or '_' then letters, digits, '_') unique among the
  // owner's components without regard to case. Violations raise EComponentError.
  const std::string& Name() const { return FName; }
  virtual void SetName(const std::string& NewName);

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Owned components in creation order; an index out of range raises EListError.
  TComponent* Components(int Index) const;
  // Position of this component in its owner's list, -1 without owner.
  int ComponentIndex() const;

  TComponentState ComponentState() const { return FComponentState; }
  bool HasState(TComponentState s) const { return (FComponentState & s) != 0; }

  // The owned component with that name (case-insensitive), or nullptr.
  TComponent* FindComponent(std::string_view AName) const;

  // Moves ownership: InsertComponent takes AComponent from its old owner first.
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Deletes every owned component, last created first.
  void DestroyComponents();

  // Mutual destruction notices with a component of another owner.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Loading: BeginLoading marks this component and everything it owns (recursively) as
  // loading; EndLoading calls Loaded on each of them in creation order, owned ones before
  // their owner. Loaded clears csLoading.
  void BeginLoading();
  void EndLoading();
  virtual void Loaded();

  // Frames are searched one level deep by component searches; a UI frame answers true.
  virtual bool IsFrame() const { return false; }

  intptr_t Tag = 0;

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);
  // Sets csDestroying on this component and everything it owns.
  void Destroying();
  void SetComponentState(TComponentState s) { FComponentState = s; }
  void IncludeState(TComponentState s) { FComponentState |= s; }
  void ExcludeState(TComponentState s) { FComponentState &= ~s; }

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void ValidateName(const std::string& NewName, const TComponent* owner) const;
  void AddFreeNotify(TComponent* AComponent);
  void RemoveFreeNotify(TComponent* AComponent);

  std::string FName;
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  TComponentState FComponentState = 0;
};

// ---- String lists -------------------------------------------------------------------------

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStream;

// An indexed list of strings with an object per string. Descendants store the strings (a
// TStringList, or a control's lines in the UI layer) by overriding the storage operations.
// Index errors raise EListError "List index out of bounds (<i>)".
class TStrings : public TPersistent {
 public:
  // ---- storage, overridden by descendants
  virtual int Count() const = 0;
  virtual std::string Get(int Index) const = 0;
  virtual void Put(int Index, const std::string& S);
  virtual TObject* GetObject(int Index) const;
  virtual void PutObject(int Index, TObject* AObject);
  virtual void Insert(int Index, const std::string& S) = 0;
  virtual void InsertObject(int Index, const std::string& S, TObject* AObject);
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const std::string& S);
  virtual int AddObject(const std::string& S, TObject* AObject);
  // Case-insensitive (single-byte letters folded); -1 when absent.
  virtual int IndexOf(std::string_view S) const;

  // ---- built on the storage
  std::string Strings(int Index) const { return Get(Index); }
  std::string operator[](int Index) const { return Get(Index); }
  void SetStrings(int Index, const std::string& S) { Put(Index, S); }
  TObject* Objects(int Index) const { return GetObject(Index); }
  void SetObjects(int Index, TObject* AObject) { PutObject(Index, AObject); }
  int IndexOfObject(const TObject* AObject) const;
  void Append(const std::string& S) { Add(S); }
  void AddStrings(const TStrings& Other);
  void Exchange(int Index1, int Index2);
  void Move(int CurIndex, int NewIndex);
  bool Equals(const TStrings& Other) const;

  // Every line followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, CR or LF; a final line break adds no empty line.
  void SetText(std::string_view Value);
  // Items separated by commas; items holding a blank, comma or quote are double-quoted
  // with inner quotes doubled.
  std::string CommaText() const;
  void SetCommaText(std::string_view Value);
  // "name=value" lines.
  std::string Names(int Index) const;
  int IndexOfName(std::string_view Name) const;
  std::string Values(std::string_view Name) const;
  void SetValues(std::string_view Name, const std::string& Value);

  // Text in its bytes, unchanged; load failures raise EFOpenError / EReadError.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream) const;

  // Nested; the change notices of descendants are held until the outermost EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  void Assign(TPersistent* Source) override;

 protected:
  // Called when the update count moves between 0 and 1.
  virtual void SetUpdateState(bool Updating) {}
  [[noreturn]] static void RaiseIndexError(int Index);

 private:
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(FList.size()); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  // On a sorted list Insert raises EListError "Operation not allowed on sorted list".
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  void Delete(int Index) override;
  void Clear() override;
  // On a sorted list: the sorted position; a duplicate is ignored (the existing index is
  // returned), accepted, or raises EListError "String list does not allow duplicates".
  int AddObject(const std::string& S, TObject* AObject) override;
  int IndexOf(std::string_view S) const override;

  // Binary search of a sorted list: true and the index when found, else the insert position.
  bool Find(std::string_view S, int& Index) const;
  void Sort();
  void CustomSort(const std::function<int(TStringList&, int, int)>& Compare);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates = dupIgnore;
  // False (the default): comparisons fold the single-byte letters.
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);

  // Objects stored in the list are not owned unless OwnsObjects is set.
  bool OwnsObjects = false;

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  void SetUpdateState(bool Updating) override;
  virtual void Changed();
  virtual void Changing();
  int CompareStrings(std::string_view a, std::string_view b) const;

 private:
  struct Item {
    std::string S;
    TObject* Obj = nullptr;
  };
  void InsertItem(int Index, const std::string& S, TObject* AObject);
  void CheckIndex(int Index) const;

  std::vector<Item> FList;
  bool FSorted = false;
  bool FCaseSensitive = false;
};
