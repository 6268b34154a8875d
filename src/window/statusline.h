#pragma once

// The line under the command band: what the last action did, or a note
// (the port in use, why nothing was sent). It shares its place with the
// RA progress bar, which covers it while an upload runs.

#include <QLabel>

namespace app {

class StatusLine : public QLabel {
    Q_OBJECT

public:
    // bar: the progress bar in the same place.
    StatusLine(QWidget *bar, QWidget *parent);

    // One line, its end cut when too long; whole in the tooltip.
    void say(const QString &text);
    // Something to fix before sending: line, made to fit, marked; details
    // in the tooltip. The next say() takes the mark away.
    void warn(const QString &line, const QString &details);
    // An action's end: the port and device in the middle are cut, the time
    // at the end kept; the tooltip says how little a one-way line tells.
    void say_result(const QString &text);

private:
    QWidget *m_bar;
};

} // namespace app
