// TXbSearchObject: walks the application's data modules and forms for components of a class
// (or of a descendant). The environment, the table open and the remote layer use it to find
// the environment, databases and tables wherever the program put them.
//
// Order of a walk: data modules in creation order, then forms in the screen's order; in each,
// the owned components in creation order; a frame on a form is searched one level deep.
// Each matching component is returned once per walk; nullptr at the end, and on every call
// after it. The walk keeps indexes, not pointers: components added behind the walk's position
// are found, ones removed shift what follows.
//
// GUI thread only.
#pragma once

#include <functional>

class TComponent;

class TXbSearchObject {
 public:
  using TMatch = std::function<bool(TComponent*)>;

  // Clears the walk state, then walks.
  TComponent* FindFirst(const TMatch& IsMatch);
  TComponent* FindNext(const TMatch& IsMatch);

  template <class T>
  T* FindFirst() {
    return dynamic_cast<T*>(FindFirst(IsA<T>));
  }
  template <class T>
  T* FindNext() {
    return dynamic_cast<T*>(FindNext(IsA<T>));
  }

  template <class T>
  static bool IsA(TComponent* c) {
    return dynamic_cast<T*>(c) != nullptr;
  }

  // The walk state; all 0 after FindFirst.
  int ModuleIndex = 0;
  int ModuleComponentIndex = 0;
  int FormIndex = 0;
  int FormComponentIndex = 0;
  int FrameComponentIndex = 0;
};
