// TScrollForm: the auto-scrolling reader (ScrollForm.h).
#include "app/ScrollForm.h"

#include <string>

#include "app/MainForm.h"
#include "app/Udf.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/Canvas.h"

TScrollForm* ScrollForm = nullptr;

namespace {

// The window's first interval; one step below the pause, so the reader opens moving.
constexpr int kOpeningPace = 1499;
// A line is drawn while its top lies this far above the window at most.
constexpr int kTopSlack = 14;
// Page Up leaves this much of the old top in view, Page Down this much of the old bottom.
constexpr int kPageUpOverlap = 20;
constexpr int kPageDownOverlap = 23;

// num / den rounded to the nearest integer, halves to the even one (num >= 0, den > 0).
int RoundHalfEven(int num, int den) {
  const int q = num / den;
  const int r2 = 2 * (num % den);
  if (r2 > den || (r2 == den && q % 2 != 0)) return q + 1;
  return q;
}

}  // namespace

TScrollForm::TScrollForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ScrollForm");
  SetBorderStyle(bsSingle);
  SetBorderIcons(biSystemMenu);
  SetColor(clBlue);
  SetKeyPreview(true);
  SetBounds(0, 0, 640, 480);
  TFont f;
  f.Assign(&Font());
  f.SetName("Courier New");
  f.SetPitch(fpFixed);
  f.SetStyle(TFontStyles{fsBold});
  f.SetColor(clWhite);
  SetFont(f);

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(kOpeningPace);
  Timer1->SetOnTimer([this](TObject* s) { Timer1Timer(s); });

  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  OnClick = [this](TObject* s) { FormClick(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

int TScrollForm::LineHeight() const { return Font().Size() + 8; }

int TScrollForm::LineWidth() const { return RoundHalfEven(Width(), 5); }

void TScrollForm::FormActivate(TObject*) {
  ScrollOffset = 0;
  ScrollEndOffset = 0;
  // The timer keeps the pace the last key set, so the reader opens at the speed the user
  // left it at; the keys must work from that same pace, or Down would slow a fast reader.
  const int kept = static_cast<int>(Timer1->Interval());
  ScrollPace = kept > 0 && kept < kScrollPaused ? kept : kOpeningPace;
  if (static_cast<int>(Timer1->Interval()) != ScrollPace) Timer1->SetInterval(static_cast<unsigned>(ScrollPace));

  FLines.Clear();
  if (MainForm) {
    FLines.SetText(MainForm->memo1->Text());
    SetBounds(MainForm->Left(), MainForm->Top(), MainForm->Width(), MainForm->Height());
    SetCaption(MainForm->Edit1->Text());
    const TFont& body = MainForm->memo1->Font();
    TFont f;
    f.Assign(&Font());
    f.SetName(body.Name());
    f.SetSize(body.Size());
    f.SetStyle(body.Style());
    f.SetColor(clWhite);
    SetFont(f);
  }
  Timer1->SetEnabled(true);
  Canvas().Pen().Color = clBlue;
  FillBlue();
  AllDisp();
}

void TScrollForm::FillBlue() {
  TCanvas& c = Canvas();
  c.Brush().Style = bsSolid;
  c.Brush().Color = clBlue;
  c.FillRect(Rect(0, 0, ClientWidth(), Height()));
}

void TScrollForm::AllDisp() {
  TCanvas& c = Canvas();
  c.Font().Assign(&Font());
  c.Font().SetColor(clWhite);
  c.Brush().Style = bsSolid;
  c.Brush().Color = clBlue;

  const int n = FLines.Count();
  const int H = Height();
  const int W = LineWidth();
  const int L = LineHeight();

  if (ScrollEndOffset > 0 && ScrollEndOffset < ScrollOffset) ScrollOffset = ScrollEndOffset;

  for (int i = 0; i <= n; ++i) {
    const int y = i * L - ScrollOffset;
    if (y > H) break;
    if (y >= -kTopSlack && y < H) {
      const std::string text = i < n ? FLines.Get(i) : std::string();
      // The band of the line is cleared first: a font lower than the line leaves rows the
      // text itself does not cover, which would keep the previous position's pixels.
      c.FillRect(Rect(0, y, ClientWidth(), y + L));
      c.TextOut(0, y, StrSpace(2) + StrPadR(text, W));
      if (i == n) ScrollEndOffset = ScrollOffset;
    }
    if (i == n && y <= H) c.FillRect(Rect(0, y, ClientWidth(), H));
  }
}

void TScrollForm::Timer1Timer(TObject*) {
  if (ScrollPace == kScrollPaused) return;
  ++ScrollOffset;
  AllDisp();
  if (ScrollOffset < ScrollEndOffset) {
    // Move what is on screen up by one pixel; the row freed at the bottom turns blue.
    TCanvas& c = Canvas();
    const int w = ClientWidth();
    const int h = ClientHeight();
    c.CopyRect(Rect(0, 0, w, h - 1), c, Rect(0, 1, w, h));
    c.Brush().Color = clBlue;
    c.FillRect(Rect(0, h - 1, w, h));
  }
}

void TScrollForm::FormKeyDown(TObject*, uint16_t& Key, TShiftState) {
  switch (Key) {
    case VK_DOWN:
      ScrollPace = RoundHalfEven(ScrollPace, 2);
      break;
    case VK_UP:
      ScrollPace = ScrollPace * 2;
      break;
    case VK_PRIOR:
      ScrollOffset = ScrollOffset - ClientHeight() + kPageUpOverlap;
      if (ScrollOffset < 0) ScrollOffset = 0;
      FillBlue();
      AllDisp();
      break;
    case VK_NEXT:
      ScrollOffset = ScrollOffset + ClientHeight() - kPageDownOverlap;
      FillBlue();
      AllDisp();
      break;
    case VK_ESCAPE:
    case VK_SCROLL:
      Close();
      break;
    default:
      break;
  }
  if (ScrollPace > kScrollPaused) ScrollPace = kScrollPaused;
  if (ScrollPace <= 0) ScrollPace = kScrollFastest;
  Timer1->SetInterval(static_cast<unsigned>(ScrollPace));
}

void TScrollForm::FormClick(TObject*) { Close(); }

void TScrollForm::FormClose(TObject*, TCloseAction&) { Timer1->SetEnabled(false); }
