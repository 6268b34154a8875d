#include "statusline.h"

#include "alerts.h"

#include <QFontMetrics>

namespace app {

namespace {

QString joined(const ActionEnd &end, const QString &device, bool with_rest)
{
    QString text = end.head + QLatin1Char(' ') + end.port;
    if (!device.isEmpty())
        text += QStringLiteral(" (%1)").arg(device);
    text += QLatin1Char(' ') + end.tail;
    if (with_rest && !end.rest.isEmpty())
        text += QLatin1Char(' ') + end.rest;
    return text;
}

// The line for end within width: whole when it fits; else without the rest
// (an ellipsis says there is more); else with the device cut in the middle.
// The result, count, port and time are never cut.
QString fitted_result(const ActionEnd &end, const QFontMetrics &metrics, int width)
{
    const auto fits = [&](const QString &text) { return metrics.horizontalAdvance(text) <= width; };
    QString whole = joined(end, end.device, true);
    if (fits(whole))
        return whole;
    // An ellipsis at the end: the tooltip has more.
    const QString more = end.rest.isEmpty() ? QString() : QStringLiteral(" …");
    const QString kept = joined(end, end.device, false);
    for (const QString &text : {kept + more, kept}) {
        if (fits(text))
            return text;
    }
    // What the device's name may take: the rest, a little less each time
    // the parts joined come out wider than their sum.
    int room = width - metrics.horizontalAdvance(joined(end, QString(), false) + more +
                                                 QStringLiteral(" ()"));
    for (; room > 0; room -= metrics.averageCharWidth()) {
        const QString cut =
            joined(end, metrics.elidedText(end.device, Qt::ElideMiddle, room), false);
        if (cut != kept && fits(cut + more))
            return cut + more;
    }
    return metrics.elidedText(joined(end, QString(), false), Qt::ElideMiddle, width);
}

} // namespace

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

void StatusLine::warn(const QString &line, const QString &details)
{
    say(line, true);
    setToolTip(details);
}

void StatusLine::say_result(const ActionEnd &end)
{
    const QString whole = joined(end, end.device, true);
    say(whole);
    setText(fitted_result(end, fontMetrics(), contentsRect().width()));
    setToolTip(whole + QStringLiteral("\n\nコントローラーは何も返さないため、わかるのはコマンドを"
                                      "ポートへ書き込んだことまでです。届いたか、受け付けられた"
                                      "かはわかりません。"));
}

} // namespace app
