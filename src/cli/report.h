#pragma once

// The calculation as the command line prints it: the report, the JSON
// object of --json and the lines naming what cannot be sent as it stands.

#include "accuracy.h"
#include "calculate.h"
#include "sendcheck.h"

#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <array>

namespace app {

// Every value a calculation would send, checked as it goes on the wire.
struct SendChecks {
    std::array<calc::SendCheck, calc::kTableRows> ra_rows;
    std::array<calc::SendCheck, calc::kTableRows> dec_rows;
    std::array<calc::SendCheck, calc::kRateCount> rates;
    calc::SendCheck ra_total;
    calc::SendCheck dec_total;
};

SendChecks send_checks(const calc::CalcOutput &out);

// One line for each value that cannot be sent as it stands, in report
// order: RA rows, rates and total, then DEC rows and total. With
// upload_only, the rates (which the upload does not send) are left out.
QStringList send_problem_lines(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
                               const SendChecks &checks, bool upload_only);

// Every box of the window, with its accuracy and what would be sent.
QJsonDocument to_json(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
                      const SendChecks &checks);

// The text --calculate prints: both axes' tables, the rates and a warning
// for each value that cannot be sent as it stands.
QString report(const calc::CalcOutput &out, const calc::TableAccuracy &accuracy,
               const SendChecks &checks);

} // namespace app
