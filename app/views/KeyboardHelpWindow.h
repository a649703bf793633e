#pragma once
// Help > Keyboard: the shortcut table as the user reads it.

#include <QDialog>

class QTableWidget;

namespace vistrel::app {

class KeyboardHelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit KeyboardHelpWindow(QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }

private:
    QTableWidget* table_ = nullptr;
};

}  // namespace vistrel::app
