// The window's error message box: the one place it tells the user of a failure in a box.
#pragma once

#include <QString>

namespace vistrel::platform::qt {

// Application-modal, without owner window, stop icon and one OK button; returns once the user
// has closed it.
void ShowErrorMessage(const QString& caption, const QString& text);

}  // namespace vistrel::platform::qt
