// The window's error message box.
#include "platform/qt/MessageBox.h"

#include <QMessageBox>

namespace vistrel::platform::qt {

void ShowErrorMessage(const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace vistrel::platform::qt
