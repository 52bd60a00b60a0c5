// Operand primitives and headers of the report stream.
#include "report/stream/ReportStream.h"

#include <cstring>

#include "platform/core/Cp949.h"

bool IsPageRecordCode(uint8_t c) {
  return (c >= 1 && c <= 30) || (c >= 40 && c <= 43) || (c >= 50 && c <= 58) || (c >= 70 && c <= 74) ||
         c == rcEndPage;
}

// ---- Writer ---------------------------------------------------------------------------------

void TReportWriter::Byte(uint8_t v) { FStream.WriteBuffer(&v, 1); }

void TReportWriter::Int32(int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                        static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  FStream.WriteBuffer(b, 4);
}

void TReportWriter::Text(const std::string& v) {
  size_t n = v.size() <= 255 ? v.size() : cp949::CutLength(v, 255);
  Byte(static_cast<uint8_t>(n));
  if (n) FStream.WriteBuffer(v.data(), static_cast<int64_t>(n));
}

void TReportWriter::Number(double v) {
  float f = static_cast<float>(v);
  int32_t bits;
  std::memcpy(&bits, &f, 4);
  Int32(bits);
}

void TReportWriter::Point(double X, double Y) {
  Number(X);
  Number(Y);
}

void TReportWriter::Rect(const TStreamRect& R) {
  Point(R.TopLeft.X, R.TopLeft.Y);
  Point(R.BottomRight.X, R.BottomRight.Y);
}

void TReportWriter::Graphic(uint8_t Kind, const std::string& Bytes) {
  Byte(Kind);
  Int32(static_cast<int32_t>(Bytes.size()));
  if (!Bytes.empty()) FStream.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
}

void TReportWriter::ReportHeader(const TReportHeader& H) {
  Byte(rcReportHeader);
  Int32(H.PageCount);
  Int32(H.FirstPage);
  Int32(H.LastPage);
  Number(H.PageWidth);
  Number(H.PageHeight);
  Number(H.OffsetLeft);
  Number(H.OffsetRight);
  Number(H.OffsetTop);
  Number(H.OffsetBottom);
  Byte(H.Orientation);
  Int32(H.Copies);
  Int32(H.PaperSize);
  Int32(H.PaperWidth);
  Int32(H.PaperLength);
  Text(H.OutputPort);
}

int64_t TReportWriter::PageHeader(const TPageHeader& H) {
  int64_t pos = Position();
  if (pos > INT32_MAX) throw EReportKit(kStreamTooLong);
  Byte(rcPageHeader);
  Int32(H.PrevLink);
  Int32(H.NextLink);
  Int32(H.PageNumber);
  Byte(H.Orientation);
  return pos;
}

void TReportWriter::PatchInt32(int64_t Pos, int32_t v) {
  // Back to where the writing stands, which is not the stream's end when a caller's stream
  // held more than this report.
  const int64_t at = FStream.Position();
  FStream.SetPosition(Pos);
  Int32(v);
  FStream.SetPosition(at);
}

// ---- Reader ---------------------------------------------------------------------------------

int64_t TReportReader::Remaining() {
  int64_t pos = FStream.Position();
  int64_t size = FStream.Size();
  return size > pos ? size - pos : 0;
}

void TReportReader::Need(int64_t Count) {
  if (Count < 0 || Count > Remaining()) throw EReadError("Stream read error");
}

void TReportReader::Seek(int64_t Pos) {
  // A link outside the stream is damage, not a place to read from.
  if (Pos < 0 || Pos >= FStream.Size()) throw EReadError("Stream read error");
  FStream.SetPosition(Pos);
}

uint8_t TReportReader::Byte() {
  uint8_t v;
  FStream.ReadBuffer(&v, 1);
  return v;
}

int32_t TReportReader::Int32() {
  unsigned char b[4];
  FStream.ReadBuffer(b, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                              (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

std::string TReportReader::Text() {
  uint8_t n = Byte();
  std::string s(n, '\0');
  if (n) FStream.ReadBuffer(s.data(), n);
  return s;
}

double TReportReader::Number() {
  int32_t bits = Int32();
  float f;
  std::memcpy(&f, &bits, 4);
  return static_cast<double>(f);
}

TStreamPoint TReportReader::Point() {
  TStreamPoint p;
  p.X = Number();
  p.Y = Number();
  return p;
}

TStreamRect TReportReader::Rect() {
  TStreamRect r;
  r.TopLeft = Point();
  r.BottomRight = Point();
  return r;
}

void TReportReader::Graphic(uint8_t& Kind, std::string& Bytes) {
  Kind = Byte();
  int32_t n = Int32();
  Need(n);  // before allocating: a damaged length must not ask for gigabytes
  Bytes.assign(static_cast<size_t>(n), '\0');
  if (n) FStream.ReadBuffer(Bytes.data(), n);
}

std::vector<TStreamPoint> TReportReader::Points() {
  int32_t h = Int32();
  if (h < 0) throw EReadError("Stream read error");
  Need((static_cast<int64_t>(h) + 1) * 8);
  std::vector<TStreamPoint> pts(static_cast<size_t>(h) + 1);
  for (TStreamPoint& p : pts) p = Point();
  return pts;
}

void TReportReader::ExpectCode(uint8_t Code) {
  if (Byte() != Code) throw EReportKit(kUnexpectedCode);
}

TReportHeader TReportReader::ReportHeader() {
  TReportHeader H;
  H.PageCount = Int32();
  H.FirstPage = Int32();
  H.LastPage = Int32();
  H.PageWidth = Number();
  H.PageHeight = Number();
  H.OffsetLeft = Number();
  H.OffsetRight = Number();
  H.OffsetTop = Number();
  H.OffsetBottom = Number();
  H.Orientation = Byte();
  H.Copies = Int32();
  H.PaperSize = Int32();
  H.PaperWidth = Int32();
  H.PaperLength = Int32();
  H.OutputPort = Text();
  return H;
}

TPageHeader TReportReader::PageHeader() {
  TPageHeader H;
  H.PrevLink = Int32();
  H.NextLink = Int32();
  H.PageNumber = Int32();
  H.Orientation = Byte();
  return H;
}
