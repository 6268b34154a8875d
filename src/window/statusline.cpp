#include "statusline.h"

#include "alerts.h"

namespace app {

StatusLine::StatusLine(QWidget *bar, QWidget *parent) : QLabel(parent), m_bar(bar)
{
    setObjectName(QStringLiteral("statusLine"));
}

void StatusLine::say(const QString &text)
{
    if (property("marked").toBool())
        set_marked(this, false);
    setToolTip(text);
    setText(fontMetrics().elidedText(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                     Qt::ElideRight, width()));
    if (!m_bar->isVisible())
        show();
}

void StatusLine::warn(const QString &line, const QString &details)
{
    say(line);
    set_marked(this, true);
    // Within the frame the mark draws.
    setText(fontMetrics().elidedText(line, Qt::ElideRight, contentsRect().width()));
    setToolTip(details);
}

void StatusLine::say_result(const QString &text)
{
    say(text);
    setText(fontMetrics().elidedText(text, Qt::ElideMiddle, width()));
    setToolTip(text + QStringLiteral("\n\nコントローラーは何も返さないため、わかるのはコマンドを"
                                     "ポートへ書き込んだことまでです。届いたか、受け付けられた"
                                     "かはわかりません。"));
}

} // namespace app
