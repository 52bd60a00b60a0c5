// The clipboard over QClipboard and QMimeData.
#include "platform/ui/Clipbrd.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <map>

#include "platform/core/SysUtils.h"
#include "platform/gfx/Bitmap.h"
#include "platform/ui/QtText.h"

namespace {

std::map<std::string, TClipboardFormat>& Registered() {
  static std::map<std::string, TClipboardFormat> m;
  return m;
}

// The MIME type that carries a registered format.
QString MimeOf(TClipboardFormat f) {
  for (const auto& [name, id] : Registered())
    if (id == f) return QStringLiteral("application/x-orvelane-") + QString::fromLatin1(QByteArray::fromStdString(name).toHex());
  return QString();
}

QMimeData* CopyOf(const QMimeData* src) {
  auto* m = new QMimeData;
  if (!src) return m;
  for (const QString& f : src->formats()) m->setData(f, src->data(f));
  if (src->hasImage()) m->setImageData(src->imageData());
  return m;
}

}  // namespace

TClipboardFormat RegisterClipboardFormat(const std::string& Name) {
  std::string key = UpperCase(Name);
  auto& m = Registered();
  auto it = m.find(key);
  if (it != m.end()) return it->second;
  TClipboardFormat id = 0xC000 + static_cast<TClipboardFormat>(m.size());
  m[key] = id;
  return id;
}

QMimeData* TClipboard::Pending() {
  if (!FPending) FPending = CopyOf(QApplication::clipboard()->mimeData());
  return FPending;
}

void TClipboard::Open() { ++FOpenCount; }

void TClipboard::Close() {
  if (FOpenCount == 0) return;
  if (--FOpenCount > 0 || !FPending) return;
  QApplication::clipboard()->setMimeData(FPending);  // the clipboard takes it
  FPending = nullptr;
}

void TClipboard::Clear() {
  delete FPending;
  FPending = FOpenCount > 0 ? new QMimeData : nullptr;
  if (!FPending) QApplication::clipboard()->clear();
}

std::string TClipboard::AsText() const { return orv::FromQ(QApplication::clipboard()->text()); }

void TClipboard::SetAsText(const std::string& Text) {
  Open();
  // Every other form of text goes: an editor pastes a rich form of the text copied before
  // in preference to this one.
  QMimeData* m = Pending();
  for (const QString& f : m->formats())
    if (f.startsWith(QLatin1String("text/")) || f.contains(QLatin1String("rich"), Qt::CaseInsensitive) ||
        f.contains(QLatin1String("rtf"), Qt::CaseInsensitive))
      m->removeFormat(f);
  m->setText(orv::ToQ(Text));
  Close();
}

bool TClipboard::HasFormat(TClipboardFormat Format) const {
  const QMimeData* m = FPending ? FPending : QApplication::clipboard()->mimeData();
  if (!m) return false;
  switch (Format) {
    case CF_TEXT: case CF_UNICODETEXT: return m->hasText();
    case CF_BITMAP: case CF_DIB: return m->hasImage();
    default: {
      QString mime = MimeOf(Format);
      return !mime.isEmpty() && m->hasFormat(mime);
    }
  }
}

std::string TClipboard::GetData(TClipboardFormat Format) const {
  const QMimeData* m = FPending ? FPending : QApplication::clipboard()->mimeData();
  QString mime = MimeOf(Format);
  if (!m || mime.isEmpty()) return std::string();
  QByteArray b = m->data(mime);
  return std::string(b.constData(), static_cast<size_t>(b.size()));
}

void TClipboard::SetData(TClipboardFormat Format, const std::string& Bytes) {
  QString mime = MimeOf(Format);
  if (mime.isEmpty()) throw EInvalidOperation(::Format("Clipboard format %u is not registered", Format));
  Open();
  Pending()->setData(mime, QByteArray(Bytes.data(), static_cast<qsizetype>(Bytes.size())));
  Close();
}

bool TClipboard::GetBitmap(TBitmap& Bitmap) const {
  const QMimeData* m = FPending ? FPending : QApplication::clipboard()->mimeData();
  if (!m || !m->hasImage()) return false;
  Bitmap.SetImage(qvariant_cast<QImage>(m->imageData()));
  return true;
}

void TClipboard::SetBitmap(const TBitmap& Bitmap) {
  Open();
  Pending()->setImageData(Bitmap.Image());
  Close();
}

TClipboard& Clipboard() {
  static TClipboard c;
  return c;
}
