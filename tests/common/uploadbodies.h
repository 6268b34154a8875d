#pragma once

// The 109 bodies an upload of a calculation sends, built from the
// calculation core alone, for tests that read what reached the line.

#include "calculate.h"

#include <QString>
#include <QStringList>

inline QStringList upload_bodies(const calc::CalcOutput &out)
{
    QStringList bodies{out.base_clock == calc::kClock2MHz ? "=TCLK1" : "=TCLK2", "=SD"};
    for (int i = 0; i < calc::kTableRows; ++i)
        bodies << QStringLiteral("&RA%1=%2")
                      .arg(i + 1, 2, 10, QLatin1Char('0'))
                      .arg(QString::fromStdString(out.ra.hex_rows[i]));
    bodies << "=SD";
    for (int i = 0; i < calc::kTableRows; ++i)
        bodies << QStringLiteral("&DEC%1=%2")
                      .arg(i + 1, 2, 10, QLatin1Char('0'))
                      .arg(QString::fromStdString(out.dec.hex_rows[i]));
    bodies << "=SD"
           << "=NEW"
           << "&XRA00" + QString::fromStdString(out.ra.total_hex)
           << "&XDEC00" + QString::fromStdString(out.dec.total_hex) << "&XNEW"
           << "=SD";
    return bodies;
}
