// Colour and font conversion for the Qt boundary.
#include "platform/gfx/QtGraphics.h"

#include <QFontDatabase>
#include <QHash>
#include <mutex>
#include <shared_mutex>

#include "platform/core/SysUtils.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/QtText.h"

namespace orv {

QPolygon ToQPolygon(const TPoint* Points, int Count) {
  QPolygon poly;
  for (int i = 0; i < Count; ++i) poly << QPoint(Points[i].X, Points[i].Y);
  return poly;
}

QColor ToQColor(TColor c) {
  TColor rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

namespace {

struct FaceMap {
  const char* face;  // UTF-8, compared without regard to ASCII case
  const char* family;
};

// Gothic faces -> NanumGothic, their fixed-pitch forms -> NanumGothicCoding, serif faces ->
// NanumMyeongjo (no brush face is installed, so Gungsuh takes the serif too). The Latin faces
// of printed pages go to the Liberation faces, which have their widths, so lines break and
// columns stand where they did.
constexpr FaceMap kFaces[] = {
    {"굴림", "NanumGothic"},         {"굴림체", "NanumGothicCoding"},
    {"돋움", "NanumGothic"},         {"돋움체", "NanumGothicCoding"},
    {"바탕", "NanumMyeongjo"},       {"바탕체", "NanumMyeongjo"},
    {"궁서", "NanumMyeongjo"},       {"궁서체", "NanumMyeongjo"},
    {"맑은 고딕", "NanumBarunGothic"}, {"새굴림", "NanumGothic"},
    {"gulim", "NanumGothic"},        {"gulimche", "NanumGothicCoding"},
    {"dotum", "NanumGothic"},        {"dotumche", "NanumGothicCoding"},
    {"batang", "NanumMyeongjo"},     {"batangche", "NanumMyeongjo"},
    {"gungsuh", "NanumMyeongjo"},    {"gungsuhche", "NanumMyeongjo"},
    {"ms sans serif", "NanumGothic"}, {"ms shell dlg", "NanumGothic"},
    {"system", "NanumGothic"},       {"arial", "Liberation Sans"},
    {"tahoma", "NanumGothic"},       {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"}, {"courier", "Liberation Mono"},
    {"fixedsys", "NanumGothicCoding"}, {"terminal", "NanumGothicCoding"},
};

}  // namespace

QString MapFontFamily(const std::string& faceName) {
  // Pages of a long document are drawn on several threads at once: the cache is shared.
  static QHash<QString, QString> cache;
  static std::shared_mutex guard;
  QString face = ToQ(Trim(faceName));
  {
    std::shared_lock<std::shared_mutex> reading(guard);
    auto it = cache.constFind(face);
    if (it != cache.constEnd()) return it.value();
  }
  QString key = face.toLower();
  QString family;
  for (const FaceMap& m : kFaces) {
    if (key == QString::fromUtf8(m.face)) {
      family = QString::fromUtf8(m.family);
      break;
    }
  }
  if (family.isEmpty()) {
    family = (!face.isEmpty() && QFontDatabase::hasFamily(face)) ? face
                                                                 : QStringLiteral("NanumGothic");
  }
  std::unique_lock<std::shared_mutex> writing(guard);
  cache.insert(face, family);
  return family;
}

QFont ToQFont(const TFont& f) {
  QFont q(MapFontFamily(f.Name()));
  q.setPointSize(f.Size() > 0 ? f.Size() : 9);
  TFontStyles s = f.Style();
  q.setBold(s.Contains(fsBold));
  q.setItalic(s.Contains(fsItalic));
  q.setUnderline(s.Contains(fsUnderline));
  q.setStrikeOut(s.Contains(fsStrikeOut));
  if (f.Pitch() == fpFixed) q.setFixedPitch(true);
  return q;
}

void AssignQFont(TFont& f, const QFont& q, const QColor& color) {
  if (MapFontFamily(f.Name()) != q.family()) f.SetName(FromQ(q.family()));
  if (q.pointSize() > 0) f.SetSize(q.pointSize());
  TFontStyles s;
  if (q.bold()) s.Include(fsBold);
  if (q.italic()) s.Include(fsItalic);
  if (q.underline()) s.Include(fsUnderline);
  if (q.strikeOut()) s.Include(fsStrikeOut);
  f.SetStyle(s);
  if (color.isValid()) f.SetColor(FromQColor(color));
}

}  // namespace orv
