#include "app/views/GridView.h"

#include <QActionGroup>
#include <QGridLayout>
#include <QMenu>
#include <QTimer>

namespace vistrel::app {

int NextGridSize(int tiles) {
    switch (tiles) {
        case 4: return 9;
        case 9: return 16;
        default: return 4;
    }
}

int GridSide(int tiles) {
    switch (tiles) {
        case 4: return 2;
        case 9: return 3;
        case 16: return 4;
        default: return 0;
    }
}

GridView::GridView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    layout_ = new QGridLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    stagger_ = new QTimer(this);
    stagger_->setSingleShot(true);
    connect(stagger_, &QTimer::timeout, this, &GridView::startNext);
    makeTiles(4);
}

GridView::~GridView() { stop(); }

void GridView::makeTiles(int count) {
    for (GridTile* t : tiles_) delete t;  // each stops its own session first
    tiles_.clear();
    const int side = GridSide(count);
    for (int i = 0; i < count; ++i) {
        auto* t = new GridTile(i + 1, this);
        connect(t, &GridTile::activated, this, &GridView::channelActivated);
        layout_->addWidget(t, i / side, i % side);
        tiles_.push_back(t);
    }
    for (int i = 0; i < 4; ++i) {
        layout_->setRowStretch(i, i < side ? 1 : 0);
        layout_->setColumnStretch(i, i < side ? 1 : 0);
    }
}

void GridView::setTileCount(int tiles) {
    if (GridSide(tiles) == 0) tiles = 4;
    if (tiles == tileCount()) return;
    const bool wasRunning = running_;
    stop();
    makeTiles(tiles);
    emit tileCountChanged(tiles);
    if (wasRunning) start();
}

void GridView::start() {
    stop();
    running_ = true;
    nextToStart_ = 0;
    startNext();
}

void GridView::stop() {
    stagger_->stop();
    running_ = false;
    for (GridTile* t : tiles_) t->stop();
}

void GridView::startNext() {
    if (!running_ || nextToStart_ >= tiles_.size()) return;
    tiles_[nextToStart_++]->start(source_);
    if (nextToStart_ < tiles_.size()) stagger_->start(staggerMs_);
}

QMenu* GridView::createLayoutMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    auto* group = new QActionGroup(menu);
    for (int tiles : kGridSizes) {
        const int side = GridSide(tiles);
        QAction* a = menu->addAction(tr("%1 x %2").arg(side).arg(side));
        a->setCheckable(true);
        a->setChecked(tiles == tileCount());
        group->addAction(a);
        connect(a, &QAction::triggered, this, [this, tiles] { setTileCount(tiles); });
        connect(this, &GridView::tileCountChanged, a, [a, tiles](int now) { a->setChecked(now == tiles); });
    }
    return menu;
}

}  // namespace vistrel::app
