// TMainForm: showing the current note when the note table moves, and the pictures of the V
// and R buttons that show its state (MainForm.h). The save of the note being edited,
// DBMemo1Save, is in MainFormEdit.cpp.
#include "app/MainForm.h"

#include "app/UdfTable.h"
#include "platform/gfx/Canvas.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

namespace {

constexpr int kCell = 16;
// Painted see-through: the strip's bottom-left pixel has this colour.
constexpr TColor kClear = clFuchsia;

// One 16 x 16 picture of a state button at cell x. The V button: a box, ticked in red when
// marked. The R button: a page of lines, coloured and of mixed weight for a rich body, thin
// and grey for a plain one. Grey draws a disabled cell.
void DrawStateCell(TCanvas& c, int x, bool mark, bool on, bool grey) {
  auto colour = [grey](TColor k) { return grey ? clGray : k; };
  if (mark) {
    c.Pen().Width = 1;
    c.Pen().Color = colour(clDkGray);
    c.Brush().Color = grey ? clSilver : clWhite;
    c.Rectangle(x + 2, 2, x + 14, 14);
    if (!on) return;
    c.Pen().Width = 3;
    c.Pen().Color = colour(clRed);
    const TPoint tick[3] = {{x + 4, 7}, {x + 7, 11}, {x + 13, 2}};
    c.Polyline(tick, 3);
    return;
  }
  const TColor plain = colour(clGray);
  const TColor lines[4] = {on ? colour(clRed) : plain, on ? colour(clBlue) : plain, on ? colour(clGreen) : plain,
                           on ? colour(clBlack) : plain};
  const int widths[4] = {on ? 3 : 1, 1, on ? 2 : 1, 1};
  const int ends[4] = {13, 11, 13, 9};
  for (int i = 0; i < 4; ++i) {
    c.Pen().Width = widths[i];
    c.Pen().Color = lines[i];
    c.MoveTo(x + 2, 3 + i * 3);
    c.LineTo(x + ends[i], 3 + i * 3);
  }
}

}  // namespace

void TMainForm::ShowButtonState(TSpeedButton* Button, bool On) {
  const int count = On ? 2 : 1;
  // The state is the glyph count; each count has its own picture, and a two-cell strip has
  // its disabled look in the second cell.
  TBitmap pic;
  pic.SetSize(kCell * count, kCell);
  TCanvas& c = pic.Canvas();
  c.Brush().Color = kClear;
  c.FillRect(TRect{0, 0, kCell * count, kCell});
  for (int cell = 0; cell < count; ++cell) DrawStateCell(c, cell * kCell, Button == ChkBtn, On, cell == 1);
  Button->Glyph().Assign(&pic);
  Button->SetNumGlyphs(count);
}

void TMainForm::AttachDisplay(bool On) {
  if (On)
    NoteDataSource->OnDataChange = [this](TObject* s, TField* f) { NoteDataSourceDataChange(s, f); };
  else
    NoteDataSource->OnDataChange = nullptr;
}

void TMainForm::NoteDataSourceDataChange(TObject*, TField*) {
  if (!NoteTable->Active() || NoteTable->State() != dsBrowse) return;
  // The position text doubles as the marker of what is shown: only a move redisplays, so
  // text being typed survives a change that does not move.
  const std::string position = IntToStr(NoteTable->RecNo() - 1) + "/" + IntToStr(NoteTable->RecCount() - 1);
  if (position == Label77->Caption()) return;
  Label77->SetCaption(position);

  ShowButtonState(ChkBtn, NoteTable->GetString("chk") != " ");
  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  const char* fields[4] = {"tit1", "tit2", "tit3", "tit4"};
  for (int i = 0; i < 4; ++i) {
    ShownTitles[i] = Trim(NoteTable->GetString(fields[i]));
    edits[i]->SetText(ShownTitles[i]);
  }

  const bool rich = NoteTable->GetString("type") != " ";
  ShowButtonState(ARBtn, rich);
  memo1->SetPlainText(!rich);
  // Loaded whatever the text shown before: a plain body takes no format of a rich one.
  memo1->StreamIn(NoteTableMMM->AsString());
  memo1->SetModified(false);
  memo1->SetFont(TempEd->Font());
  memo1->ScrollToTop();
}
