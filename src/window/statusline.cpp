#include "statusline.h"

#include "alerts.h"

namespace app {

StatusLine::StatusLine(QWidget *bar, QWidget *parent) : QLabel(parent), m_bar(bar)
{
    setObjectName(QStringLiteral("statusLine"));
}

void StatusLine::say(const QString &text, bool marked)
{
    if (property("marked").toBool() != marked)
        set_marked(this, marked);
    setToolTip(text);
    // Within the frame, when there is one.
    setText(fontMetrics().elidedText(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')),
                                     Qt::ElideRight, contentsRect().width()));
    if (!m_bar->isVisible())
        show();
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
