#pragma once
// The live grid: 4, 9 or 16 channels at once, each tile its own session, started one after
// another so that a grid does not hit the DVR with all its requests at once.

#include <QWidget>

#include <vector>

#include "app/views/GridTile.h"

class QGridLayout;
class QMenu;
class QTimer;

namespace vistrel::app {

inline constexpr int kGridSizes[] = {4, 9, 16};
// Between two tiles' starts.
inline constexpr int kGridStaggerMs = 150;

// 4 -> 9 -> 16 -> 4 (repeated G); anything else -> 4.
int NextGridSize(int tiles);
// 2, 3 or 4 tiles a side; 0 for a size that is not a grid size.
int GridSide(int tiles);

class GridView : public QWidget {
    Q_OBJECT
public:
    explicit GridView(QWidget* parent = nullptr);
    ~GridView() override;  // stops every session

    void setSource(const GridSource& source) { source_ = source; }
    void setStaggerMs(int ms) { staggerMs_ = ms; }
    // 4, 9 or 16 (anything else is taken as 4). Re-makes the tiles; running sessions restart
    // staggered with the new set of channels.
    void setTileCount(int tiles);
    int tileCount() const { return static_cast<int>(tiles_.size()); }
    GridTile* tile(int index) const { return tiles_.at(static_cast<std::size_t>(index)); }

    // Starts channels 1..N (staggered) / stops them all. GUI thread.
    void start();
    void stop();
    bool running() const { return running_; }
    // A menu choosing 2x2, 3x3 or 4x4, for the grid's toolbar button.
    QMenu* createLayoutMenu(QWidget* parent);

signals:
    // The user picked this channel for the single live view.
    void channelActivated(int channel);
    void tileCountChanged(int tiles);

private:
    void startNext();
    void makeTiles(int count);

    GridSource source_;
    int staggerMs_ = kGridStaggerMs;
    QGridLayout* layout_ = nullptr;
    std::vector<GridTile*> tiles_;  // children; GUI thread
    QTimer* stagger_ = nullptr;
    std::size_t nextToStart_ = 0;
    bool running_ = false;
};

}  // namespace vistrel::app
