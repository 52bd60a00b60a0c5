// The report stream: the byte-coded, device-independent record of a report's pages, and the
// error class of the report units.
//
// Layout: a report header (code 81), then per output page a page header (80), the page's
// drawing and state records and an end-of-page (82). Little-endian; numbers are IEEE single
// precision; texts are a length byte and at most 255 bytes of code page 949; positions are
// inches from the page's left and top edges.
//
// TReportWriter and TReportReader move the operand primitives over a TStream the caller owns.
// The reader checks every length against what is left in the stream before it reads or
// allocates, so a damaged or truncated stream ends in EReadError "Stream read error" (short
// data) or EReportKit (a code out of place), never in a wild read. No Qt here.
// Not thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

ORV_DECLARE_EXCEPTION(EReportKit, Exception);

// Texts of the report units.
inline constexpr const char* kNotPrinting = "Invalid method call.  ReportKit is not printing.";
inline constexpr const char* kAlreadyPrinting = "Invalid method call.  ReportKit already printing.";
inline constexpr const char* kUnexpectedCode = "Unexpected code found in report file.";
// The links between pages are 32-bit stream positions.
inline constexpr const char* kStreamTooLong = "Report too long: a report stream holds at most 2 GB.";

// Record codes.
enum : uint8_t {
  rcArc = 1, rcBrushCopy = 2, rcChord = 3, rcCopyRect = 4, rcDraw = 5, rcDrawFocusRect = 6,
  rcEllipse = 7, rcFillRect = 8, rcFloodFill = 9, rcFrameRect = 10, rcLineTo = 11, rcMoveTo = 12,
  rcPie = 13, rcPolygon = 14, rcPolyline = 15, rcBitmapScaled = 16, rcBitmapRect = 17,
  rcRectangle = 18, rcTabRectangle = 19, rcRoundRect = 20, rcStretchDraw = 21, rcTextRect = 22,
  rcTextCenter = 23, rcTextLeft = 24, rcTextRight = 25, rcTextBKMode = 26, rcBackColor = 27,
  rcScaleX = 28, rcScaleY = 29, rcPrinterData = 30,
  rcBrush = 40, rcBrushColor = 41, rcBrushStyle = 42, rcBrushBitmap = 43,
  rcFont = 50, rcFontName = 51, rcFontColor = 52, rcFontPitch = 53, rcFontSize = 54,
  rcFontBold = 55, rcFontUnderline = 56, rcFontItalic = 57, rcFontStrikeOut = 58,
  rcPen = 70, rcPenColor = 71, rcPenMode = 72, rcPenStyle = 73, rcPenWidth = 74,
  rcPageHeader = 80, rcReportHeader = 81, rcEndPage = 82,
};

// Whether a code may stand inside a page (1-30, 40-43, 50-58, 70-74, 82).
bool IsPageRecordCode(uint8_t Code);

// Graphic kinds of a graphic operand.
enum : uint8_t { gkBitmap = 1, gkMetafile = 2, gkIcon = 3, gkOther = 4 };

struct TStreamPoint {
  double X = 0, Y = 0;
};
struct TStreamRect {
  TStreamPoint TopLeft, BottomRight;
};

// The report header (code 81). Offsets of its operands are fixed: the page count at 1.
struct TReportHeader {
  static constexpr int64_t PageCountOffset = 1;
  int32_t PageCount = 0;
  int32_t FirstPage = 1;
  int32_t LastPage = 9999;
  double PageWidth = 8.5, PageHeight = 11.0;
  double OffsetLeft = 0, OffsetRight = 0, OffsetTop = 0, OffsetBottom = 0;
  uint8_t Orientation = 0;
  int32_t Copies = 1, PaperSize = 0, PaperWidth = 0, PaperLength = 0;
  std::string OutputPort;
};

// A page header (code 80); links are stream positions of page headers, 0 for none.
struct TPageHeader {
  static constexpr int64_t NextLinkOffset = 5;  // from the code byte
  int32_t PrevLink = 0;
  int32_t NextLink = 0;
  int32_t PageNumber = 0;
  uint8_t Orientation = 0;
};

class TReportWriter {
 public:
  explicit TReportWriter(TStream& S) : FStream(S) {}
  TStream& Stream() { return FStream; }
  int64_t Position() { return FStream.Position(); }

  void Byte(uint8_t v);
  void Int32(int32_t v);
  // Longer texts are cut to their first 255 bytes, never inside a two-byte character, so the
  // length byte always equals what follows.
  void Text(const std::string& v);
  void Number(double v);
  void Point(double X, double Y);
  void Rect(const TStreamRect& R);
  // Kind, then the bytes the graphic saved of itself.
  void Graphic(uint8_t Kind, const std::string& Bytes);

  void ReportHeader(const TReportHeader& H);
  // Writes code 80 and the header; returns the position of its code byte. A page that would
  // begin past what a link can reach (2 GB) is refused with EReportKit kStreamTooLong.
  int64_t PageHeader(const TPageHeader& H);
  // Overwrites the int32 at Pos, then returns to the position it was called at.
  void PatchInt32(int64_t Pos, int32_t v);

 private:
  TStream& FStream;
};

class TReportReader {
 public:
  explicit TReportReader(TStream& S) : FStream(S) {}
  TStream& Stream() { return FStream; }
  int64_t Position() { return FStream.Position(); }
  void Seek(int64_t Pos);

  uint8_t Byte();
  int32_t Int32();
  std::string Text();
  double Number();
  TStreamPoint Point();
  TStreamRect Rect();
  // Reads a graphic operand into Kind and Bytes.
  void Graphic(uint8_t& Kind, std::string& Bytes);
  // h+1 points of a polygon or polyline; a count that cannot be in the stream is refused.
  std::vector<TStreamPoint> Points();

  // Reads a code byte and insists on Code (EReportKit kUnexpectedCode otherwise).
  void ExpectCode(uint8_t Code);
  // Reads the header after its code byte.
  TReportHeader ReportHeader();
  TPageHeader PageHeader();

  // Bytes left after the present position.
  int64_t Remaining();

 private:
  void Need(int64_t Count);
  TStream& FStream;
};
