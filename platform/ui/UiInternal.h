// Helpers shared by the Qt side of the control layer; not for code above platform/ui.
#pragma once

#include <Qt>
#include <QCursor>

#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

class QAbstractScrollArea;

class QKeyEvent;
class TCustomForm;

namespace orv {

// The cursor of a cursor number: the program's own from the screen's table, else the system's.
QCursor CursorOf(TCursor c);
TShiftState ShiftFromQt(Qt::KeyboardModifiers m, Qt::MouseButtons b = Qt::NoButton);
// The virtual-key code of a Qt key event (0 when it has none).
uint16_t VirtualKeyOf(const QKeyEvent* e);
// Installs the control layer's event handling on w for control c.
void WatchWidget(QWidget* w, TControl* c);
void UnwatchWidget(QWidget* w);
// The scroll bars of an editor: always shown where the style asks for them, else as needed.
void ApplyScrollBars(QAbstractScrollArea* area, TScrollStyle style);

}  // namespace orv
