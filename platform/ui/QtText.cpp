// QString <-> code page 949 for the widgets, over cp949::ToUtf8 / TryFromUtf8.
#include "platform/ui/QtText.h"

#include <QFile>

#include "platform/core/OsText.h"
#include "platform/core/TextCodec.h"

namespace orv {

QString ToQ(std::string_view cp949Text) {
  if (cp949Text.empty()) return QString();
  std::string u = cp949::ToUtf8(cp949Text);
  return QString::fromUtf8(u.data(), static_cast<qsizetype>(u.size()));
}

std::string FromQ(const QString& text) {
  if (text.isEmpty()) return std::string();
  QByteArray u = text.toUtf8();
  std::string out;
  if (cp949::TryFromUtf8(std::string_view(u.constData(), static_cast<size_t>(u.size())), out))
    return out;
  // Slow path: one code point at a time, '?' for what has no form.
  out.clear();
  for (qsizetype i = 0; i < text.size();) {
    qsizetype n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
    QByteArray piece = text.mid(i, n).toUtf8();
    std::string one;
    if (cp949::TryFromUtf8(std::string_view(piece.constData(), static_cast<size_t>(piece.size())),
                           one))
      out += one;
    else
      out += '?';
    i += n;
  }
  return out;
}

bool Convertible(const QString& text) {
  QByteArray u = text.toUtf8();
  std::string out;
  return cp949::TryFromUtf8(std::string_view(u.constData(), static_cast<size_t>(u.size())), out);
}

int ByteLength(const QString& text) { return static_cast<int>(FromQ(text).size()); }

QString NameToQ(std::string_view programName) { return ToQ(programName); }

bool NameFromQ(const QString& name, std::string& programName, std::string& message) {
  const QByteArray u = name.toUtf8();
  if (cp949::TryFromUtf8(std::string_view(u.constData(), static_cast<size_t>(u.size())), programName)) return true;
  const QByteArray raw = QFile::encodeName(name);
  message = ostext::NameMessage(std::string_view(raw.constData(), static_cast<size_t>(raw.size())));
  return false;
}

QString LfBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar('\r'), QChar('\n'));
  return text;
}

QString FromCrLf(std::string_view cp949Text) { return LfBreaks(ToQ(cp949Text)); }

std::string ToCrLf(const QString& text) {
  QString q = text;
  q.replace(QChar('\n'), QStringLiteral("\r\n"));
  return FromQ(q);
}

}  // namespace orv
