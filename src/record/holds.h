#pragma once

// What a controller holds, as far as anyone can know: it never answers, so
// it is the last value the send record says went to each of its entries.
//
//   records of the device, oldest first ─► each one's commands, in order,
//   up to where it stopped ─► the clock, both tables, both totals and the
//   rate in RA entry 05, each with when it went and from which mount
//
// A rate and RA row 05 share the controller's entry 05: whichever went
// last is what it holds, and the other is no longer held.
//
// Mixed: the values a table upload sets (the clock, both tables, both
// totals) are not all, and exactly, what the device's last complete upload
// sent, or some are unknown. A stopped upload of other values leaves it
// mixed until a complete one; a total sent alone that differs from the
// upload's does too (the tables and the total no longer match). A tracking
// rate in entry 05 is a deliberate choice, not a mix, when its action
// completed; one whose action stopped half-way leaves it mixed.
//
// An incomplete record (the program killed mid-action) leaves every value
// unknown, and the device mixed, until a complete upload.

#include "sendrecord.h"

#include "calculate.h"
#include "commands.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace recorded {

struct Held {
    QString value; // as sent: the clock's body, a value's digits
    QDateTime at;  // when the action that sent it ended
    QString mount; // the mount open then, if any
};
using HeldEntry = std::optional<Held>;

struct Holds {
    HeldEntry clock;
    std::array<HeldEntry, calc::kTableRows> ra{};
    std::array<HeldEntry, calc::kTableRows> dec{};
    HeldEntry ra_total;
    HeldEntry dec_total;
    HeldEntry rate;                        // a rate entry 05 holds; ra[4] is then empty
    int actions = 0;                       // records of the device
    std::optional<files::SendRecord> last; // the newest of them
    bool mixed = true;                     // nothing known is no whole set either

    // The drive train each axis's values held were computed from, by the
    // newest record that sent a value of the axis; nothing when that record
    // does not say (an older version's) or there is none.
    std::optional<calc::DriveTrainTexts> ra_train;
    std::optional<calc::DriveTrainTexts> dec_train;

    // What RA entry 05 holds, row or rate.
    const HeldEntry &ra05() const;
};

// Whether every body the record says went is a command of the controller's:
// a record of others contradicts itself (no run of ours sends them).
bool sound_bodies(const files::SendRecord &record);
// Passes over the records whose bodies are not sound, counting each as a
// line skipped, as a torn one is.
void pass_over_unsound(files::RecordsRead &read);

// records but the one of id running_id, an action still running: its
// incomplete line is no action that died. All of them for an empty id.
QList<files::SendRecord> without_running(QList<files::SendRecord> records,
                                         const QString &running_id);

// Whether the record is of the device named by any of names (its path, its
// stable name).
bool of_device(const files::SendRecord &record, const QStringList &names);

// records oldest first, as read.
Holds holds_of(const QList<files::SendRecord> &records, const QStringList &names);

// For scripts: {"actions", "mixed", "clock", "ra": [50], "dec": [50],
// "ra_total", "dec_total", "rate", "ra05_holds_rate"}, each entry {"value",
// "at", "mount"} or null.
QJsonObject holds_json(const Holds &holds);

// Of the values among bodies (the clock, rows, rates, totals; not "=SD"),
// how many the controller would hold differently or not at all.
struct Difference {
    int values = 0;
    int differing = 0;
};
Difference difference(const Holds &holds, const QStringList &bodies);

// What the values among bodies were computed from (input) that differs from
// what the device was last sent: the microstep factor of an axis whose
// values go (the driver's switches must match it), and the clock, either
// sent (an upload) or the one the divisors were computed for (a rate).
// Only what the record knows is compared.
struct SetupChange {
    std::optional<calc::Axis> axis; // its microstep factor; nothing: the clock
    double held = 0;                // the factor, or the clock in Hz
    double now = 0;
};
std::vector<SetupChange> setup_changes(const Holds &holds, const QStringList &bodies,
                                       const calc::CalcInput &input);

} // namespace recorded
