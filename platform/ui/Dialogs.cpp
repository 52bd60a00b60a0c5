// Message dialogs, the dialog service and the common dialog components.
#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>
#include <utility>

#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/QtText.h"

using orv::FromQ;
using orv::ToQ;

IDialogService::~IDialogService() = default;

// ---- Message dialogs ----------------------------------------------------------------------

int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
  unsigned flags = MB_OK;
  bool yes = Buttons.Contains(mbYes), no = Buttons.Contains(mbNo);
  bool ok = Buttons.Contains(mbOK), cancel = Buttons.Contains(mbCancel);
  if (yes && no && cancel) flags = MB_YESNOCANCEL;
  else if (yes && no) flags = MB_YESNO;
  else if (Buttons.Contains(mbAbort) || Buttons.Contains(mbIgnore)) flags = MB_ABORTRETRYIGNORE;
  else if (Buttons.Contains(mbRetry)) flags = MB_RETRYCANCEL;
  else if (ok && cancel) flags = MB_OKCANCEL;
  std::string caption;
  switch (DlgType) {
    case mtWarning: flags |= MB_ICONWARNING; caption = cp949::K("경고"); break;
    case mtError: flags |= MB_ICONERROR; caption = ErrorCaption(); break;
    case mtInformation: flags |= MB_ICONINFORMATION; caption = cp949::K("정보"); break;
    case mtConfirmation: flags |= MB_ICONQUESTION; caption = cp949::K("확인"); break;
    default: caption = ApplicationTitle(); break;
  }
  return MessageBox(Msg, caption, flags);
}

// ---- Service registry ---------------------------------------------------------------------

namespace {
IDialogService* g_dialogs = nullptr;

TQtDialogService& QtDialogs() {
  static TQtDialogService s;
  return s;
}

// A chosen name without a code page 949 form is told to the user and not taken.
bool ChosenName(const QString& chosen, std::string& name) {
  std::string message;
  if (orv::NameFromQ(chosen, name, message)) return true;
  MessageBox(message, ApplicationTitle(), MB_OK | MB_ICONWARNING);
  return false;
}

// "Text|*.TXT;*.ASC|All|*.*" -> Qt's "Text (*.TXT *.txt *.ASC *.asc)" entries; patterns take
// both letter cases, as the file system here tells them apart.
QStringList QtFilters(const std::string& filter) {
  QStringList parts = ToQ(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList pats;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      QString t = p.trimmed();
      pats << t;
      if (t.toLower() != t) pats << t.toLower();
      if (t.toUpper() != t) pats << t.toUpper();
    }
    out << QString("%1 (%2)").arg(parts[i], pats.join(' '));
  }
  return out;
}
}  // namespace

IDialogService* SetDialogService(IDialogService* Service) {
  return std::exchange(g_dialogs, Service);
}

IDialogService& DialogService() { return g_dialogs ? *g_dialogs : QtDialogs(); }

std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                     const std::string& ADefault) {
  std::string v = ADefault;
  if (!DialogService().InputQuery(ACaption, APrompt, v)) return ADefault;
  return v;
}

bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value) {
  return DialogService().InputQuery(ACaption, APrompt, Value);
}

// ---- Qt dialogs ---------------------------------------------------------------------------

namespace {
// The boxes' buttons speak the program's language, as its message boxes do.
const char* const kOkText = "확인";
const char* const kCancelText = "취소";
}  // namespace

bool TQtDialogService::InputQuery(const std::string& Caption, const std::string& Prompt,
                                  std::string& Value) {
  QInputDialog dlg(QApplication::activeWindow());
  dlg.setWindowTitle(ToQ(Caption));
  dlg.setLabelText(ToQ(Prompt));
  dlg.setTextValue(ToQ(Value));
  dlg.setOkButtonText(QString::fromUtf8(kOkText));
  dlg.setCancelButtonText(QString::fromUtf8(kCancelText));
  if (dlg.exec() != QDialog::Accepted) return false;
  Value = FromQ(dlg.textValue());
  return true;
}

bool TQtDialogService::ChooseFile(TFileDialogRequest& Request) {
  // Without a title of its own the box is named in the program's language, not Qt's "Open".
  const QString title = Request.Title.empty() ? QString::fromUtf8(Request.Save ? "다른 이름으로 저장" : "열기")
                                              : ToQ(Request.Title);
  QFileDialog dlg(QApplication::activeWindow(), title);
  dlg.setAcceptMode(Request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(Request.Save ? QFileDialog::AnyFile
                               : (Request.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile));
  // The overwrite question is asked by the dialog component itself.
  dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  dlg.setLabelText(QFileDialog::Accept, QString::fromUtf8(Request.Save ? "저장" : "열기"));
  dlg.setLabelText(QFileDialog::Reject, QString::fromUtf8(kCancelText));
  dlg.setLabelText(QFileDialog::LookIn, QString::fromUtf8("찾는 위치"));
  dlg.setLabelText(QFileDialog::FileName, QString::fromUtf8("파일 이름"));
  dlg.setLabelText(QFileDialog::FileType, QString::fromUtf8("파일 형식"));
  QStringList filters = QtFilters(Request.Filter);
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    int i = std::clamp(Request.FilterIndex, 1, static_cast<int>(filters.size())) - 1;
    dlg.selectNameFilter(filters[i]);
  }
  if (!Request.InitialDir.empty()) dlg.setDirectory(orv::NameToQ(Request.InitialDir));
  if (!Request.FileName.empty()) dlg.selectFile(orv::NameToQ(Request.FileName));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  if (!ChosenName(dlg.selectedFiles().first(), Request.FileName)) return false;
  Request.FilterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
  if (Request.FilterIndex <= 0) Request.FilterIndex = 1;
  return true;
}

bool TQtDialogService::ChooseFont(TFont& Font) {
  // The font dialog of the class library also chooses the colour among the 16 standard ones.
  static const TColor colours[] = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple,
                                   clTeal,  clGray,   clSilver, clRed,  clLime, clYellow,
                                   clBlue,  clFuchsia, clAqua, clWhite};
  static const char* names[] = {"검정", "밤색", "녹색", "올리브", "남색", "자주", "청록", "회색",
                                "은색", "빨강", "라임", "노랑", "파랑", "분홍", "하늘", "흰색"};
  QDialog dlg(QApplication::activeWindow());
  dlg.setWindowTitle(QString::fromUtf8("글꼴"));
  auto* layout = new QVBoxLayout(&dlg);
  auto* fd = new QFontDialog(orv::ToQFont(Font), &dlg);
  fd->setWindowFlags(Qt::Widget);
  fd->setOptions(QFontDialog::NoButtons);
  layout->addWidget(fd);
  auto* colour = new QComboBox(&dlg);
  int current = -1;
  for (int i = 0; i < 16; ++i) {
    colour->addItem(QString::fromUtf8(names[i]));
    if (ColorToRGB(Font.Color()) == colours[i]) current = i;
  }
  colour->setCurrentIndex(current < 0 ? 0 : current);
  layout->addWidget(new QLabel(QString::fromUtf8("색"), &dlg));
  layout->addWidget(colour);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8(kOkText));
  buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8(kCancelText));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  layout->addWidget(buttons);
  if (dlg.exec() != QDialog::Accepted) return false;
  orv::AssignQFont(Font, fd->currentFont(), orv::ToQColor(colours[colour->currentIndex()]));
  return true;
}

bool TQtDialogService::ChooseFolder(const std::string& Caption, std::string& Folder) {
  QString r = QFileDialog::getExistingDirectory(QApplication::activeWindow(), ToQ(Caption),
                                                orv::NameToQ(Folder));
  return !r.isEmpty() && ChosenName(r, Folder);
}

bool TQtDialogService::PrinterSetup() {
  MessageBox(cp949::K("프린터 설정은 아직 준비되지 않았습니다."), ApplicationTitle(),
             MB_OK | MB_ICONINFORMATION);
  return false;
}

// ---- Components ---------------------------------------------------------------------------

std::string AddDefaultExt(const std::string& Name, const std::string& DefaultExt) {
  if (Name.empty() || DefaultExt.empty() || !ExtractFileExt(Name).empty()) return Name;
  std::string ext = DefaultExt[0] == '.' ? DefaultExt.substr(1) : DefaultExt;
  return Name + "." + ext;
}

bool TOpenDialog::Run(bool save) {
  while (true) {
    TFileDialogRequest r;
    r.Save = save;
    r.Title = Title;
    r.InitialDir = InitialDir;
    r.FileName = FileName;
    r.Filter = Filter;
    r.FilterIndex = FilterIndex;
    r.DefaultExt = DefaultExt;
    r.MustExist = (Options & ofFileMustExist) != 0;
    if (!DialogService().ChooseFile(r)) return false;
    std::string name = AddDefaultExt(r.FileName, DefaultExt);
    if (save && (Options & ofOverwritePrompt) && FileExists(name)) {
      std::string q = name + cp949::K(" 이(가) 이미 있습니다.\n바꾸시겠습니까?");
      if (MessageBox(q, Title.empty() ? cp949::K("다른 이름으로 저장") : Title,
                     MB_YESNO | MB_ICONWARNING) != IDYES) {
        FileName = name;
        continue;  // asks for another name, as the system dialog does
      }
    }
    if (!save && (Options & ofFileMustExist) && !FileExists(name)) {
      MessageBox(name + cp949::K("\n파일을 찾을 수 없습니다."), Title, MB_OK | MB_ICONWARNING);
      FileName = name;
      continue;
    }
    FileName = name;
    FilterIndex = r.FilterIndex;
    return true;
  }
}

bool TOpenDialog::Execute() { return Run(false); }
bool TSaveDialog::Execute() { return Run(true); }

bool TFontDialog::Execute() {
  TFont f;
  f.Assign(&FFont);
  if (!DialogService().ChooseFont(f)) return false;
  FFont.Assign(&f);
  return true;
}
