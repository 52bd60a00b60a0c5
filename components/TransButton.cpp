// The transparent button: painting of frames, glyph images and caption, and the mouse
// states (held, tracking, drawn pressed, inside).
#include "components/TransButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeySequence>
#include <QPainter>
#include <QShortcut>
#include <QWidget>
#include <cctype>

#include "platform/core/Classes.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/QtGraphics.h"

namespace {

// Frames of Width pixels, top-left lines in TopLeft and bottom-right lines in BottomRight;
// R shrinks by the frame, so the next frame goes inside it.
void Frame3D(TCanvas& C, TRect& R, TColor TopLeft, TColor BottomRight, int Width) {
  C.Pen().Width = 1;
  C.Pen().Style = psSolid;
  R.Bottom -= 1;
  R.Right -= 1;
  for (int k = 0; k < Width; ++k) {
    C.Pen().Color = TopLeft;
    C.MoveTo(R.Left, R.Bottom);
    C.LineTo(R.Left, R.Top);
    C.LineTo(R.Right, R.Top);
    C.Pen().Color = BottomRight;
    C.MoveTo(R.Right, R.Top);
    C.LineTo(R.Right, R.Bottom);
    C.LineTo(R.Left - 1, R.Bottom);
    R.Left += 1;
    R.Top += 1;
    R.Right -= 1;
    R.Bottom -= 1;
  }
  R.Bottom += 1;
  R.Right += 1;
}

// The accelerator of a caption: the character after a single '&' (0 when there is none).
char AccelChar(const std::string& caption) {
  for (size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return caption[i + 1];
  }
  return 0;
}

QImage Rgb(const TBitmap& B) { return B.Image().convertToFormat(QImage::Format_RGB32); }

// The picture with its transparent colour (the bottom-left pixel) see-through.
QImage Masked(const TBitmap& B) {
  QImage img = B.Image().convertToFormat(QImage::Format_ARGB32);
  if (img.isNull()) return img;
  QRgb key = img.pixel(0, img.height() - 1) | 0xFF000000u;
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x)
      if ((line[x] | 0xFF000000u) == key) line[x] = 0;
  }
  return img;
}

void DrawImage(TCanvas& C, int X, int Y, const QImage& img) {
  if (QPainter* p = C.Painter()) {
    p->drawImage(X, Y, img);
  } else if (QImage* target = C.Target()) {
    QPainter p2(target);
    p2.drawImage(X, Y, img);
  }
}

void DrawText(TCanvas& C, const QRect& r, int flags, const QString& text, TColor color) {
  QFont f = orv::ToQFont(C.Font());
  auto draw = [&](QPainter& p) {
    p.setFont(f);
    p.setPen(orv::ToQColor(color));
    p.drawText(r, flags, text);
  };
  if (QPainter* p = C.Painter()) {
    draw(*p);
  } else if (QImage* target = C.Target()) {
    QPainter p2(target);
    draw(p2);
  }
}

}  // namespace

TTransparentButton::TTransparentButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(Left(), Top(), 40, 40);
  FDoubleClicks = false;  // each press is a click of its own
  FGlyph.OnChange = [this](TObject*) { GlyphChanged(); };
  FShortcut = new QShortcut(Widget());
  FShortcut->setContext(Qt::WindowShortcut);
  QObject::connect(FShortcut, &QShortcut::activated, [this] {
    SafeCall([this] { DialogChar(AccelChar(FCaption)); });
  });
  UpdateShortcut();
}

TTransparentButton::~TTransparentButton() {
  if (FPopUpMenu) FPopUpMenu->RemoveFreeNotification(this);
  FGlyph.OnChange = nullptr;
}

// ---- Properties ---------------------------------------------------------------------------

void TTransparentButton::SetAutoGray(bool v) {
  if (StoreChanged(FAutoGray, v)) Invalidate();
}

void TTransparentButton::SetBorderWidth(unsigned v) {
  if (StoreChanged(FBorderWidth, v)) Invalidate();
}

void TTransparentButton::SetText(const std::string& v) {
  if (v == FCaption) return;
  FCaption = v;
  UpdateShortcut();
  Invalidate();
}

void TTransparentButton::SetDown(bool v) {
  FDown = v;
  FTracking = v;
  FDrawPressed = v;
  Repaint();
}

void TTransparentButton::SetFrameStyle(TFrameStyle v) {
  if (StoreChanged(FFrameStyle, v)) Invalidate();
}

void TTransparentButton::SetGlyph(TBitmap* v) {
  auto notice = std::move(FGlyph.OnChange);
  FGlyph.OnChange = nullptr;
  FGlyph.Assign(v);
  FGlyph.OnChange = std::move(notice);
  GlyphChanged();
}

void TTransparentButton::SetNumGlyphs(TNumGlyphs v) {
  v = std::clamp(v, 1, 4);
  if (v == FNumGlyphs) return;
  FNumGlyphs = v;
  BuildImages();
  Invalidate();
}

void TTransparentButton::SetSpacing(int v) {
  if (StoreChanged(FSpacing, v)) Invalidate();
}

void TTransparentButton::SetTextAlign(TTextAlign v) {
  if (StoreChanged(FTextAlign, v)) Invalidate();
}

void TTransparentButton::SetTransparent(bool v) {
  if (StoreChanged(FTransparent, v)) Invalidate();
}

void TTransparentButton::SetShowPressed(bool v) {
  if (StoreChanged(FShowPressed, v)) Invalidate();
}

void TTransparentButton::SetWordWrap(bool v) {
  if (StoreChanged(FWordWrap, v)) Invalidate();
}

void TTransparentButton::SetPopUpMenu(TPopupMenu* v) {
  if (v == FPopUpMenu) return;
  if (FPopUpMenu) FPopUpMenu->RemoveFreeNotification(this);
  FPopUpMenu = v;
  if (v) v->FreeNotification(this);
}

void TTransparentButton::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopUpMenu) FPopUpMenu = nullptr;
}

void TTransparentButton::UpdateShortcut() {
  char c = AccelChar(FCaption);
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x20 && u < 0x80 && std::isalnum(u)) {
    FShortcut->setKey(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(std::toupper(u)))));
    FShortcut->setEnabled(true);
  } else {
    FShortcut->setKey(QKeySequence());
    FShortcut->setEnabled(false);
  }
}

// ---- Glyph images -------------------------------------------------------------------------

void TTransparentButton::GlyphChanged() {
  Invalidate();
  int w = FGlyph.Width(), h = FGlyph.Height();
  if (h > 0 && w % h == 0) {
    int n = w / h;
    FNumGlyphs = n > 4 ? 1 : n;
  }
  BuildImages();
}

void TTransparentButton::BuildImages() {
  FImages.clear();
  if (FGlyph.Empty()) return;
  int w = FGlyph.Width() / FNumGlyphs;
  if (w == 0) w = FGlyph.Width();
  int h = FGlyph.Height();
  QImage strip = Rgb(FGlyph);
  for (int i = 0; i < FNumGlyphs; ++i) {
    auto cell = std::make_unique<TBitmap>();
    cell->SetImage(strip.copy(i * w, 0, w, h));
    if (i == 0) {
      FGray.SetImage(cell->Image());
      GrayBitmap(FGray);
      FDisabled.SetImage(cell->Image());
      DisabledBitmap(FDisabled);
    }
    FImages.push_back(std::move(cell));
  }
  for (const TBitmap* extra : {&FGray, &FDisabled}) {
    auto copy = std::make_unique<TBitmap>();
    copy->SetImage(extra->Image());
    FImages.push_back(std::move(copy));
  }
  Invalidate();
}

void TTransparentButton::GrayBitmap(TBitmap& B) {
  QImage img = Rgb(B);
  for (int y = 0; y < img.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < img.width(); ++x) {
      int g = (11 * qRed(line[x]) + 59 * qGreen(line[x]) + 30 * qBlue(line[x])) / 100;
      line[x] = qRgb(g, g, g);
    }
  }
  B.SetImage(img);
}

void TTransparentButton::DisabledBitmap(TBitmap& B) {
  QImage img = Rgb(B);
  if (img.isNull()) return;
  int w = img.width(), h = img.height();
  QRgb bg = img.pixel(0, 0);
  QRgb white = qRgb(255, 255, 255);
  // The glyph's outline: everything that is neither white nor the background.
  std::vector<bool> mask(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      QRgb p = img.pixel(x, y) | 0xFF000000u;
      mask[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
          p != (white | 0xFF000000u) && p != (bg | 0xFF000000u);
    }
  // Embossed on the button face: the outline in highlight one pixel down and right, then in
  // shadow at its place.
  QImage out(w, h, QImage::Format_RGB32);
  out.fill(orv::ToQColor(ColorToRGB(clBtnFace)));
  QRgb hi = orv::ToQColor(ColorToRGB(clBtnHighlight)).rgb();
  QRgb sh = orv::ToQColor(ColorToRGB(clBtnShadow)).rgb();
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (mask[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] &&
          x + 1 < w && y + 1 < h)
        out.setPixel(x + 1, y + 1, hi);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (mask[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)])
        out.setPixel(x, y, sh);
  B.SetImage(out);
}

int TTransparentButton::ImageIndex() const {
  if (FImages.empty()) return -1;
  int index = 0;
  if (FNumGlyphs == 2) index = Enabled() ? 0 : 1;
  else if (FNumGlyphs >= 3) index = !Enabled() ? 1 : FDrawPressed ? 2 : 0;
  if (FFrameStyle == fsExplorer && FAutoGray && !FMouseInside) index = FNumGlyphs;
  if (!Enabled() && FNumGlyphs == 1) index = FNumGlyphs + 1;
  return index;
}

// ---- Painting -----------------------------------------------------------------------------

void TTransparentButton::Paint() {
  TCanvas& C = Canvas();
  int W = Width(), H = Height();
  int bw = static_cast<int>(FBorderWidth);
  C.Brush().Color = clBtnFace;
  C.Brush().Style = bsSolid;
  C.Pen().Color = clBlack;
  C.Pen().Width = bw;
  bool designing = HasState(csDesigning);
  switch (FFrameStyle) {
    case fsRegular:
      if (FTransparent) C.Brush().Style = bsClear;
      C.Rectangle(1, 1, W, H);
      break;
    case fsIndent:
      C.Pen().Color = clBtnShadow;
      if (FTransparent) C.Brush().Style = bsClear;
      C.Rectangle(0, 0, W - 1, H - 1);
      C.Pen().Color = clBtnHighlight;
      C.Brush().Style = bsClear;
      C.Rectangle(1, 1, W, H);
      break;
    default: {
      if (!FTransparent) C.FillRect(TRect{0, 0, W, H});
      if (designing) {
        TRect r{0, 0, W, H};
        switch (FFrameStyle) {
          case fsNone: Frame3D(C, r, clBlack, clBlack, 1); break;
          case fsDark: Frame3D(C, r, clBtnFace, cl3DDkShadow, 1); break;
          case fsMono: Frame3D(C, r, clBtnHighlight, cl3DDkShadow, 1); break;
          default: Frame3D(C, r, clBtnHighlight, clBtnShadow, 1); break;
        }
      }
      break;
    }
  }
  C.Brush().Style = bsSolid;

  TRect R{0, 0, W, H};  // the face (1, 1, W - 1, H - 1) with its one-pixel edge
  if (FDrawPressed && FFrameStyle != fsNone) {
    switch (FFrameStyle) {
      case fsRegular:
      case fsIndent:
        if (FShowPressed) {
          Frame3D(C, R, clBlack, clBtnHighlight, bw);
          Frame3D(C, R, clBtnShadow, clBtnFace, bw);
        }
        break;
      case fsExplorer:
        if (FMouseInside || FDown) {
          if (FShowPressed) Frame3D(C, R, clBtnShadow, clBtnHighlight, bw);
          else Frame3D(C, R, clBtnHighlight, clBtnShadow, bw);
        }
        break;
      case fsLight: if (FShowPressed) Frame3D(C, R, clBtnShadow, clBtnHighlight, 1); break;
      case fsDark: if (FShowPressed) Frame3D(C, R, cl3DDkShadow, clBtnFace, 1); break;
      case fsMono: if (FShowPressed) Frame3D(C, R, cl3DDkShadow, clBtnHighlight, 1); break;
      default: break;
    }
  } else if (!FDrawPressed) {
    switch (FFrameStyle) {
      case fsRegular:
        Frame3D(C, R, clBtnHighlight, clBlack, bw);
        Frame3D(C, R, clBtnFace, clBtnShadow, bw);
        break;
      case fsIndent: Frame3D(C, R, clBtnShadow, clBtnHighlight, bw); break;
      case fsExplorer: if (FMouseInside) Frame3D(C, R, clBtnHighlight, clBtnShadow, bw); break;
      case fsLight: Frame3D(C, R, clBtnHighlight, clBtnShadow, 1); break;
      case fsDark: Frame3D(C, R, clBtnFace, cl3DDkShadow, 1); break;
      case fsMono: Frame3D(C, R, clBtnHighlight, cl3DDkShadow, 1); break;
      default: break;
    }
  }
  DrawContent(C);
}

void TTransparentButton::DrawContent(TCanvas& C) {
  int W = Width(), H = Height();
  int w = FNumGlyphs > 0 ? FGlyph.Width() / FNumGlyphs : 0;
  if (w == 0) w = FGlyph.Width();
  int h = FGlyph.Height();
  int gt, gl;
  switch (FTextAlign) {
    case ttaBottomRight: case ttaBottom: case ttaBottomLeft: gt = FSpacing; break;
    case ttaRight: case ttaLeft: case ttaCenter: gt = (H - h) / 2; break;
    default: gt = H - h - FSpacing; break;
  }
  if (FTextAlign == ttaLeft) gl = W - w - FSpacing;
  else if (FTextAlign == ttaRight) gl = FSpacing;
  else gl = (W - w) / 2;
  int shift = FDrawPressed && FShowPressed ? 1 : 0;
  FGlyphPos = TPoint{gl + shift, gt + shift};

  int index = ImageIndex();
  if (index >= 0) DrawImage(C, gl + shift, gt + shift, Masked(*FImages[static_cast<size_t>(index)]));

  if (FCaption.empty()) return;
  C.Font().Assign(&Font());
  QString text = QString::fromUtf8(cp949::ToUtf8(FCaption));
  int flags = Qt::TextShowMnemonic | (FWordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
  QFontMetrics fm(orv::ToQFont(C.Font()));
  QRect measured = fm.boundingRect(QRect(0, 0, W, H), flags | Qt::AlignLeft | Qt::AlignTop, text);
  int tw = measured.width(), th = measured.height();
  int gb = gt + h;
  int left = 0, top = 0;
  switch (FTextAlign) {
    case ttaTopLeft: left = FSpacing; top = gt - th - FSpacing; break;
    case ttaTop: left = W / 2 - tw / 2; top = gt - th - FSpacing; break;
    case ttaTopRight: left = W - tw - FSpacing; top = gt - th - FSpacing; break;
    case ttaRight: left = W - tw - FSpacing; top = H / 2 - th / 2; break;
    case ttaBottomRight: left = W - tw - FSpacing; top = gb + FSpacing; break;
    case ttaBottom: left = W / 2 - tw / 2; top = gb + FSpacing; break;
    case ttaBottomLeft: left = FSpacing; top = gb + FSpacing; break;
    case ttaLeft: left = FSpacing; top = H / 2 - th / 2; break;
    case ttaCenter: left = W / 2 - tw / 2; top = H / 2 - th / 2; break;
  }
  FTextRect = TRect{left + shift, top + shift, left + shift + tw, top + shift + th};
  QRect r(left + shift, top + shift, tw, th);
  int drawFlags = flags | Qt::AlignCenter | Qt::TextDontClip;
  if (Enabled()) {
    DrawText(C, r, drawFlags, text, C.Font().Color());
  } else {
    DrawText(C, r.translated(1, 1), drawFlags, text, clBtnHighlight);
    DrawText(C, r, drawFlags, text, clBtnShadow);
  }
}

// ---- Mouse and keys -----------------------------------------------------------------------

void TTransparentButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (!Enabled() || FHeld) return;
  FHeld = true;
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (FMovable) {
    FPressX = X;
    FPressY = Y;
  }
  if (X >= 0 && X < Width() && Y >= 0 && Y < Height()) {
    FTracking = true;
    FDrawPressed = true;
    Repaint();
  }
  if (FPopUpMenu) {
    int sx = 0, sy = 0;
    ClientToScreen(0, Height(), sx, sy);
    FPopUpMenu->Popup(sx, sy);
    // The presses and releases made while the menu was open were the menu's.
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                           QEvent::MouseButtonDblClick, QEvent::MouseMove})
      QCoreApplication::removePostedEvents(Widget(), t);
    MouseUp(Button, Shift, X, Y);
  }
}

void TTransparentButton::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (!FTracking) return;
  if (FMovable) {
    SetTop(Top() + Y - FPressY);
    SetLeft(Left() + X - FPressX);
  }
  bool inside = X >= 0 && X < Width() && Y >= 0 && Y < Height();
  if (inside != FDrawPressed) {
    FDrawPressed = inside;
    Repaint();
  }
}

void TTransparentButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (!Enabled() || !FHeld) return;
  FHeld = false;
  if (FDown) return;
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  FTracking = false;
  FDrawPressed = false;
  Repaint();
}

void TTransparentButton::MouseEnter() {
  if (!Enabled()) return;
  FMouseInside = true;
  if (OnMouseEnter) OnMouseEnter(this);
  if (FFrameStyle == fsExplorer) Repaint();
}

void TTransparentButton::MouseLeave() {
  if (!Enabled()) return;
  FMouseInside = false;
  if (OnMouseExit) OnMouseExit(this);
  if (FFrameStyle == fsExplorer) Repaint();
}

bool TTransparentButton::WidgetEvent(QObject* watched, QEvent* e) {
  if (watched == Widget()) {
    if (e->type() == QEvent::Enter) MouseEnter();
    else if (e->type() == QEvent::Leave) MouseLeave();
  }
  return TGraphicControl::WidgetEvent(watched, e);
}

void TTransparentButton::SetEnabled(bool v) {
  TGraphicControl::SetEnabled(v);
  if (!v) {
    FDrawPressed = false;
    FTracking = false;
    FHeld = false;
    FMouseInside = false;
  }
  Repaint();
}

void TTransparentButton::Click() { TGraphicControl::Click(); }

bool TTransparentButton::DialogChar(char Key) {
  char accel = AccelChar(FCaption);
  if (!accel || !Enabled()) return false;
  auto fold = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
  if (fold(accel) != fold(Key)) return false;
  Click();
  return true;
}
