// The clipboard: text (code page 949), pictures, and formats registered by name (the picture
// components' "GIF Image" and icon formats), over the system clipboard.
//
// Writing a format adds it to what the clipboard holds (as the system does after one
// emptying); Open ... Close groups several writes, and Clear empties it. Registered formats
// hold bytes exactly as written. GUI thread only.
#pragma once

#include <string>

#include "platform/core/Classes.h"

class TBitmap;
class QMimeData;

using TClipboardFormat = unsigned;
enum : unsigned { CF_TEXT = 1, CF_BITMAP = 2, CF_DIB = 8, CF_UNICODETEXT = 13 };

// The number of a format name; the same name (letters folded) always gets the same number,
// from 0xC000 up.
TClipboardFormat RegisterClipboardFormat(const std::string& Name);

class TClipboard : public TPersistent {
 public:
  std::string AsText() const;
  void SetAsText(const std::string& Text);
  bool HasFormat(TClipboardFormat Format) const;
  // The bytes of a registered format ("" when absent).
  std::string GetData(TClipboardFormat Format) const;
  void SetData(TClipboardFormat Format, const std::string& Bytes);
  // Pictures (CF_BITMAP / CF_DIB).
  bool GetBitmap(TBitmap& Bitmap) const;
  void SetBitmap(const TBitmap& Bitmap);
  void Clear();
  // Writes between Open and the matching Close reach the clipboard together at Close.
  void Open();
  void Close();

 private:
  QMimeData* Pending();
  int FOpenCount = 0;
  QMimeData* FPending = nullptr;
};

TClipboard& Clipboard();
