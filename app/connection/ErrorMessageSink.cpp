// The connection bring-up's messages go to the window's error box.
#include "app/connection/ErrorMessageSink.h"

#include "platform/qt/MessageBox.h"

namespace vistrel::app {

void MessageBoxSink::showError(const QString& caption, const QString& text) {
    platform::qt::ShowErrorMessage(caption, text);
}

}  // namespace vistrel::app
