#include "app/views/KeyboardHelpWindow.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/views/ShortcutMap.h"

namespace vistrel::app {

KeyboardHelpWindow::KeyboardHelpWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Keyboard"));
    auto* layout = new QVBoxLayout(this);
    table_ = new QTableWidget(0, 2, this);
    table_->setHorizontalHeaderLabels({tr("Key"), tr("Does")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    for (const ShortcutBinding& b : ShortcutBindings()) {
        if (!b.showInHelp) continue;
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0, new QTableWidgetItem(b.keys));
        table_->setItem(row, 1, new QTableWidgetItem(b.description));
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, 480);
}

}  // namespace vistrel::app
