#pragma once

// The hidden game's panel: the balls of GamePhysics.h drawn as circles in
// the game's sliding section, kicked and held with the mouse.

#include <QWidget>

#include "GamePhysics.h"

class TKVGamePanel;

// A ball on the screen; the mouse on it reaches its body.
class TKVShape : public QWidget {
    Q_OBJECT
  public:
    TKVShape(TKVGamePanel *panel, KVGameBody *body);
    KVGameBody *Body() const { return m_body; }
    // Follows the body: the game's plane has y upwards from the bottom.
    void Place();

  protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;

  private:
    TKVGamePanel *m_panel;
    KVGameBody *m_body;
};

class TKVGamePanel : public QWidget {
    Q_OBJECT
  public:
    // A new game of three to eight balls, in a panel across parent.
    explicit TKVGamePanel(QWidget *parent, bool running);
    ~TKVGamePanel() override;

    void SetRunning(bool running) { m_world.running = running; }
    bool Running() const { return m_world.running; }
    // One step of elapsedMs, while running.
    void Step(double elapsedMs);
    // Nothing on the screen moves and nothing is held: the timer need not
    // run for the game.
    bool AtRest() const { return m_world.AtRest(); }
    // A click or a new size: the balls may move again.
    void Stir() { m_world.Stir(); }
    void SetColour(uint32_t colour); // 0x00BBGGRR
    GameWorld &World() { return m_world; }
    TKVShape *Shape(int slot) const { return m_shapes[slot]; }

  signals:
    // A ball was clicked: whoever runs the steps must be awake.
    void touched();

  protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *e) override;

  private:
    GameWorld m_world;
    TKVShape *m_shapes[GameWorld::kSlots] = {};
    uint32_t m_colour = 0xE1FFFF;
};
