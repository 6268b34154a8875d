#pragma once

// A window fits the screen it opens on: a dialog is no larger than the
// screen's free area, and the main window, whose controls keep their fixed
// places, scrolls inside a window that fits when the screen is smaller than
// it. The free area (QScreen::availableGeometry, in device-independent
// pixels) is passed in, so a test can stand in any screen.

#include <QRect>
#include <QScrollArea>
#include <QSize>

#include <memory>

namespace app {

// What the window manager's title bar and borders take around a window: not
// known before the window is shown, so a generous guess.
inline constexpr QSize kFrameAllowance{16, 48};

// The free area of the screen widget opens on; empty when there is none.
QRect available_geometry(const QWidget *widget);

// The largest size up to wanted that fits available with its frame; wanted
// itself when available is unknown (empty).
QSize fitted_size(QSize wanted, const QRect &available);

// The window for content too large for the screen: content keeps its size
// and scrolls. Title, icon and the unsaved mark follow the content's, and
// closing asks the content, which may keep the window open.
class ScrollingWindow : public QScrollArea {
    Q_OBJECT

public:
    ScrollingWindow(QWidget &content, const QRect &available);
    // Gives the content back to its owner, unshown.
    ~ScrollingWindow() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *m_content;
};

// A ScrollingWindow holding window when window (a top-level widget of fixed
// size, not yet shown) does not fit available; nullptr when it does, and
// window is left as it was. The result must go before window does.
std::unique_ptr<ScrollingWindow> fit_to_screen(QWidget &window, const QRect &available);

} // namespace app
