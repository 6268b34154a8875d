#include "screenfit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QStyle>

namespace app {

QRect available_geometry(const QWidget *widget)
{
    const QScreen *screen = widget->screen();
    return screen ? screen->availableGeometry() : QRect();
}

QSize fitted_size(QSize wanted, const QRect &available)
{
    if (available.isEmpty())
        return wanted;
    return wanted.boundedTo(available.size() - kFrameAllowance).expandedTo(QSize(1, 1));
}

ScrollingWindow::ScrollingWindow(QWidget &content, const QRect &available) : m_content(&content)
{
    setObjectName(QStringLiteral("scrollingWindow"));
    setFrameShape(QFrame::NoFrame);
    setWindowTitle(content.windowTitle());
    setWindowIcon(content.windowIcon());
    setWindowModified(content.isWindowModified());
    const QSize size = content.size();
    setWidget(&content);
    content.installEventFilter(this);

    // A scroll bar one way takes room the other way too.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const QSize room = fitted_size(size, available);
    bool across = size.width() > room.width();
    bool down = size.height() > room.height();
    across = across || (down && size.width() + bar > room.width());
    down = down || (across && size.height() + bar > room.height());
    const QSize whole = size + QSize(down ? bar : 0, across ? bar : 0);
    setMaximumSize(whole);
    resize(fitted_size(whole, available));
    move(available.topLeft());

    // Tab brings the control it reaches into view; so does any other move
    // of the focus (an action's end gives the focus back to its button).
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && m_content->isAncestorOf(now))
            ensureWidgetVisible(now, 8, 8);
    });
}

ScrollingWindow::~ScrollingWindow()
{
    m_content->removeEventFilter(this);
    takeWidget();
}

bool ScrollingWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The icon is the content's from the start: a change of the window's
    // icon reaches the content again, so following it would never end.
    if (watched == m_content) {
        if (event->type() == QEvent::WindowTitleChange)
            setWindowTitle(m_content->windowTitle());
        else if (event->type() == QEvent::ModifiedChange &&
                 isWindowModified() != m_content->isWindowModified())
            setWindowModified(m_content->isWindowModified());
    }
    return QScrollArea::eventFilter(watched, event);
}

void ScrollingWindow::closeEvent(QCloseEvent *event)
{
    // The content asks what it asks as a window of its own (an action
    // running, unsaved mount edits) and may keep the window open.
    event->setAccepted(m_content->close());
}

std::unique_ptr<ScrollingWindow> fit_to_screen(QWidget &window, const QRect &available)
{
    if (fitted_size(window.size(), available) == window.size())
        return nullptr;
    return std::make_unique<ScrollingWindow>(window, available);
}

} // namespace app
