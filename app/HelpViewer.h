// The help manual: where it lies and the window that shows it.
//
// The manual is a compiled HTML help file (.chm) beside the program's executable. Tolvik
// shows it in a viewer of its own, read with chmlib: a separate, non-modal window with the
// manual's contents on the left and its pages on the right, following the pages' links and
// showing their pictures.
#pragma once

#include <QIcon>
#include <QString>

#include "registry.h"

class QWidget;

namespace tolvik {

// The manual's file name.
inline constexpr char kHelpManualFileName[] = "Help-Manual.chm";

// The manual's path for the folder that holds the executable: the folder, one separator
// ('\' in the Windows form, '/' otherwise), then "Help-Manual.chm". A folder that already
// ends with a separator, such as a root, gets no second one; in the Windows form a trailing
// '/' counts as a separator too. An empty folder gives the bare file name.
QString HelpManualPath(const QString& executableFolder, PathStyle style = kNativeStyle);

// Opens the help viewer on the manual's default topic, or brings it to the front and back
// to that topic when it is open already, and returns at once. The viewer belongs to `owner`
// (it closes with it and does not keep the program running) but never blocks it. A manual
// that is missing or cannot be read is reported inside the viewer window itself.
void ShowHelpManual(QWidget* owner, const QString& chmPath);

// The program's icon with every size drawn for it (16 to 256 pixels).
QIcon TolvikIcon();

}  // namespace tolvik
