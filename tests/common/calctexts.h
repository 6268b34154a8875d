#pragma once

// Between the calculation core's standard strings and Qt's, for tests that
// state their inputs and expected texts as Qt lists and strings.

#include "commands.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <string>

// The five drive-train texts of an axis, in window order.
inline calc::DriveTrainTexts drive_train(const QStringList &list)
{
    calc::DriveTrainTexts texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = list.value(static_cast<qsizetype>(i)).toStdString();
    return texts;
}

inline QString qs(const std::string &text)
{
    return QString::fromStdString(text);
}
