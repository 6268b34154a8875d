#pragma once

// 「送信記録」: the records of every controller action, newest first, and
// what the device of the port in use holds by them. It only reads: the
// record is written by the actions themselves.

#include "sendrecord.h"

#include <QDialog>
#include <QKeySequence>
#include <QStringList>

namespace app {

inline const QKeySequence kRecordDialogKey(Qt::CTRL | Qt::Key_H);

class RecordDialog : public QDialog {
    Q_OBJECT

public:
    // device_names: the device in use, and its stable name; running_id: the
    // record of the window's action still running, shown as such.
    RecordDialog(const files::RecordsRead &read, const QStringList &device_names,
                 const QString &running_id, QWidget *parent);
};

} // namespace app
