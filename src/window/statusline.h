#pragma once

// The line under the command band: what the last action did, or a note
// (the port in use, why nothing was sent). It shares its place with the
// RA progress bar, which covers it while an upload runs.

#include <QLabel>

namespace app {

// An action's end in the parts the line keeps: what happened with the count,
// the port and its device, the time; and the rest, which the line shows
// only when there is room.
struct ActionEnd {
    QString head;   // "送信完了: 109 個 →"
    QString port;   // "Com1"
    QString device; // "/dev/ttyUSB0"; may be empty
    QString tail;   // "16.3 秒 21:14:03"
    QString rest;   // a note on the send record, a pointer to the message
};

class StatusLine : public QLabel {
    Q_OBJECT

public:
    // bar: the progress bar in the same place.
    StatusLine(QWidget *bar, QWidget *parent);

    // One line, its end cut when too long; whole in the tooltip. Marked
    // when it calls for the operator's eye; the next line says whether.
    void say(const QString &text, bool marked = false);
    // Something to fix before sending: line, made to fit, marked; details
    // in the tooltip. The next say() takes the mark away.
    void warn(const QString &line, const QString &details);
    // An action's end, fitted to the line; whole in the tooltip, which also
    // says how little a one-way line tells.
    void say_result(const ActionEnd &end);

private:
    QWidget *m_bar;
};

} // namespace app
