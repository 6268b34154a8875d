#pragma once

// The advisor as the command line prints it: the ranked candidates of each
// axis as text, or the JSON object of --advise --json.

#include "advisor.h"

#include <QJsonDocument>
#include <QString>

namespace app {

// recommended, then candidates: one object per axis, clock and factor,
// ranked within each axis (RA's first).
QJsonDocument advice_json(const calc::Advice &advice);

// The recommendation, then each axis's ranking with the setting in use
// (clock and the microstep boxes) marked.
QString advice_report(const calc::Advice &advice, std::int32_t current_clock,
                      const calc::DriveTrainTexts &ra, const calc::DriveTrainTexts &dec);

} // namespace app
