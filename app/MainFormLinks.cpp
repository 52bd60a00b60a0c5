// TMainForm: links in the body and in the titles: marking a link, inserting a file link with
// the picture preview, following a link to another note or opening it outside (LinkFile)
// (MainForm.h). The scan and the path rules are in LinkScan.
#include <cstdio>
#include <csetjmp>

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QImage>
#include <QLabel>
#include <QPixmap>

#include <jpeglib.h>

#include "app/IndexDlg.h"
#include "app/LinkScan.h"
#include "app/MainForm.h"
#include "app/Udf.h"
#include "components/GifImage.h"
#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"
#include "platform/core/Services.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/QtText.h"
#include "platform/ui/ShellApi.h"

using cp949::K;

namespace {

// A link is text both underlined and green.
constexpr TColor kLinkColour = clGreen;

bool IsLinkFormat(TTextAttributes& a) {
  return a.Style().Contains(fsUnderline) && ColorToRGB(a.Color()) == ColorToRGB(kLinkColour);
}

// The body as the link scan asks for it: each question is a selection of the body.
class BodyProbe : public ILinkBody {
 public:
  explicit BodyProbe(TRichEdit& m) : FMemo(m), FText(m.Text()) {}
  int Length() override { return static_cast<int>(FText.size()); }
  bool Underlined(int Start, int Count) override {
    // A line break ends a link.
    for (int i = Start; i < Start + Count; ++i)
      if (FText[static_cast<std::size_t>(i)] == '\r' || FText[static_cast<std::size_t>(i)] == '\n') return false;
    Select(Start, Count);
    return FMemo.SelAttributes().Style().Contains(fsUnderline);
  }
  std::string Text(int Start, int Count) override {
    Select(Start, Count);
    return FMemo.SelText();
  }

 private:
  void Select(int Start, int Count) {
    FMemo.SetSelStart(Start);
    FMemo.SetSelLength(Count);
  }
  TRichEdit& FMemo;
  std::string FText;
};

QString TextToQ(const std::string& t) { return QString::fromStdString(cp949::ToUtf8(t)); }

// ---- picture preview --------------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

void JpegFail(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

// Decodes a JPEG file; a null image when it is not one or is damaged.
QImage DecodeJpeg(const std::string& fileName) {
  FILE* f = std::fopen(ostext::SystemPath(fileName).c_str(), "rb");
  if (!f) return QImage();
  jpeg_decompress_struct info{};
  JpegError err{};
  info.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = JpegFail;
  // Kept outside the jump's reach: the image built so far is dropped on a failure.
  QImage* image = new QImage();
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    delete image;
    return QImage();
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, f);
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  // A preview needs no more than an eighth of a large picture.
  if (info.image_width > 1600 || info.image_height > 1600) info.scale_denom = 8;
  jpeg_start_decompress(&info);
  *image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB888);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->scanLine(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::fclose(f);
  QImage result = *image;
  delete image;
  return result;
}

// The first frame of a GIF picture; a null image when it is damaged or holds none.
QImage DecodeGif(const std::string& fileName) {
  try {
    TBitmap bitmap;
    LoadGifBitmap(fileName, bitmap);
    return bitmap.Image();
  } catch (const std::exception&) {
    return QImage();
  }
}

// The preview of a chosen file: JPEG, GIF and BMP pictures; nothing for other files.
QImage PreviewImage(const std::string& fileName) {
  const std::string ext = cp949::Lower(ExtractFileExt(fileName));
  if (ext == ".jpg" || ext == ".jpeg") return DecodeJpeg(fileName);
  if (ext == ".gif") return DecodeGif(fileName);
  if (ext == ".bmp") {
    try {
      const std::string bytes = ReadFileBytes(fileName);
      return QImage::fromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()), "BMP");
    } catch (const std::exception&) {
      return QImage();
    }
  }
  return QImage();
}

// The open dialog of the file links with its picture preview beside the file list; used when
// the Qt dialogs answer (tests answer through their own dialog service).
bool ChoosePictureFile(TOpenPictureDialog& d) {
  if (!dynamic_cast<TQtDialogService*>(&DialogService())) return d.Execute();
  QFileDialog dlg(QApplication::activeWindow());
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setFileMode(QFileDialog::ExistingFile);
  QStringList filters;
  const std::vector<std::string> parts = [&] {
    std::vector<std::string> r;
    std::string cur;
    for (char c : d.Filter) {
      if (c == '|') {
        r.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    r.push_back(cur);
    return r;
  }();
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    // Names here tell letter cases apart; a pattern takes both.
    QStringList patterns;
    for (const QString& p : TextToQ(parts[i + 1]).split(';', Qt::SkipEmptyParts)) {
      patterns << p;
      if (p.toUpper() != p) patterns << p.toUpper();
    }
    filters << TextToQ(parts[i]) + " (" + patterns.join(' ') + ")";
  }
  dlg.setNameFilters(filters);
  if (!filters.isEmpty()) dlg.selectNameFilter(filters[std::clamp(d.FilterIndex, 1, static_cast<int>(filters.size())) - 1]);
  if (!d.InitialDir.empty()) dlg.setDirectory(orv::NameToQ(d.InitialDir));
  auto* preview = new QLabel(&dlg);
  preview->setFixedSize(200, 200);
  preview->setAlignment(Qt::AlignCenter);
  if (auto* grid = dynamic_cast<QGridLayout*>(dlg.layout())) grid->addWidget(preview, 1, 3);
  QObject::connect(&dlg, &QFileDialog::currentChanged, preview, [preview](const QString& path) {
    std::string name, unnamed;
    const QImage image = orv::NameFromQ(path, name, unnamed) ? PreviewImage(name) : QImage();
    preview->setPixmap(image.isNull() ? QPixmap()
                                      : QPixmap::fromImage(image.scaled(200, 200, Qt::KeepAspectRatio,
                                                                        Qt::SmoothTransformation)));
  });
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  std::string unnamed;
  if (orv::NameFromQ(dlg.selectedFiles().first(), d.FileName, unnamed)) return true;
  ShowMessage(unnamed);
  return false;
}

}  // namespace

bool TMainForm::PreviewPicture(const std::string& FileName, int& Width, int& Height) {
  const QImage image = PreviewImage(FileName);
  if (image.isNull()) return false;
  Width = image.width();
  Height = image.height();
  return true;
}

// ---- marking and inserting --------------------------------------------------------------

void TMainForm::MarkLinkClick(TObject*) {
  if (memo1->PlainText() || memo1->SelLength() <= 0) return;
  TTextAttributes& a = memo1->SelAttributes();
  a.SetStyle(TFontStyles{fsUnderline});
  a.SetColor(kLinkColour);
}

void TMainForm::InsertFileLinkClick(TObject*) {
  // Until a title or the body has been entered there is nowhere to put the link.
  if (!ActiveEdit) return;
  OpenPictureDialog1->InitialDir = LinkDir;
  OpenPictureDialog1->FilterIndex = 1;
  if (!ChoosePictureFile(*OpenPictureDialog1)) return;
  std::string rel;
  if (!FileLinkText(OpenPictureDialog1->FileName, LinkDir, rel)) {
    ShowMessage(LinkDir + K(" 하위폴더에 있는 파일만 지정가능합니다."));
    return;
  }
  TempEd->SetText(rel);
  TempEd->SelectAll();
  TempEd->CopyToClipboard();
  TempEd->Clear();
  ActiveEdit->PasteFromClipboard();
}

// ---- following ----------------------------------------------------------------------------

void TMainForm::memo1MouseDown(TObject*, TMouseButton Button, TShiftState, int X, int) {
  if (Button == mbRight) {
    PopupMenu1->SetAutoPopup(true);
    return;
  }
  if (Button != mbLeft) return;
  if (X != LastClickX) {
    LastClickX = X;
    return;
  }
  LastClickX = -1;
  if (!IsLinkFormat(memo1->SelAttributes())) return;

  const int p = memo1->SelStart();
  BodyProbe probe(*memo1);
  const TLinkScan scan = ScanLink(probe, p);
  memo1->SetSelStart(std::max(scan.SelStart, 0));
  memo1->SetSelLength(scan.SelLength - (scan.SelStart < 0 ? -scan.SelStart : 0));
  if (scan.Result == TLinkScan::lsPastEnd) {
    memo1->SetSelLength(0);
    memo1->SetSelStart(scan.Caret);
    return;
  }
  if (scan.Result == TLinkScan::lsLink) FollowLink(scan.Link);
}

void TMainForm::FollowLink(const std::string& Link) {
  if (!NoteTable->Active()) return;
  const XbLong remembered = NoteTable->RecNo();
  // Leaving the body adds the history entry and saves; text that could not be saved keeps
  // the note where it is.
  if (DBGrid1->CanFocus()) DBGrid1->SetFocus();
  if (!SaveNote()) return;

  AttachDisplay(false);
  struct Reattach {
    TMainForm* f;
    ~Reattach() { f->AttachDisplay(true); }
  } reattach{this};

  bool found = false;
  if (NoteTable->TagName(1) != "TIT1") {
    Screen->SetCursor(crHourGlass);
    IndexDlg->MakeIndex(*NoteTable, "TIT1", "tit1");
    Screen->SetCursor(crDefault);
    // The reopen may have moved the table: every later step starts from the note left.
    NoteTable->SetRecNo(static_cast<int>(remembered));
  }
  const XbShort order = NoteTable->TagArea("TIT1");
  if (order > 0) {
    XbEnv1->SetSoftSeek(true);
    NoteTable->SetOrder(order);
    NoteTable->Tag = 1;
    NoteTable->Seek(Link);
    XbEnv1->SetSoftSeek(false);
    found = !NoteTable->Eof() && NoteTable->GetString("tit1").compare(0, Link.size(), Link) == 0;
  }
  if (found) {
    RBankAdd();
  } else {
    NoteTable->SetRecNo(static_cast<int>(remembered));
    LinkFile(Link);
  }

  AttachDisplay(true);
  NoteTable->SetRecNo(static_cast<int>(NoteTable->RecNo()));
  NoteDataSourceDataChange(NoteDataSource, nullptr);
  memo1->SetSelStart(0);
  memo1->SetSelLength(0);
  TempEd->Clear();
}

void TMainForm::LinkDblClick(TObject* Sender) {
  auto* e = dynamic_cast<TEdit*>(Sender);
  if (!e) return;
  LinkFile(WordAtCaret(e->Text(), e->SelStart()));
}

void TMainForm::LinkFile(const std::string& Text) {
  const std::string t = Trim(Text);
  switch (ClassifyLink(t)) {
    case lkNone:
      return;
    case lkMail:
      ShellExecute(Handle(), "open", "mailto:" + t, "", "", SW_SHOWNORMAL);
      return;
    case lkWeb:
      if (IsWebAddress(t)) {
        ShellExecute(Handle(), "open", t, "", "", SW_SHOWNORMAL);
        return;
      }
      break;
    case lkFile:
      break;
  }
  // A file below the link folder, and never anything outside it or a program.
  std::string full;
  switch (ResolveFileLink(Trim(LinkDir).empty() ? DataFolder : Trim(LinkDir), t, full)) {
    case flOk:
      ShellExecute(0, "open", full, "", "", SW_SHOWNORMAL);
      break;
    case flOutside:
      ShowMessage(LinkDir + K(" 하위폴더에 있는 파일만 지정가능합니다."));
      break;
    case flProgram:
      ShowMessage(t + K(" : 프로그램은 링크로 열 수 없습니다."));
      break;
    case flUnnamed:
      ShowMessage(full);
      break;
  }
}
