#pragma once

// The send record: one line of JSON per controller action, appended to a
// per-user file, so that what each controller was sent (and so what it
// holds: it never answers) outlives the window.
//
//   $XDG_STATE_HOME/rw7300-speedtable/sends.jsonl   (~/.local/state/… by default)
//   {"started":"2026-12-07T21:12:03.120+09:00","ended":…,"version":"1.2",
//    "port":"Com1","device":"/dev/ttyUSB0","stable_device":"/dev/serial/by-id/…",
//    "mount_file":"/home/…/EM-200.rwm","mount":"EM-200","clock":2000000,
//    "result":"done","reason":"","stop":{"cause":"none"},"sent":109,"planned":109,
//    "commands":["=TCLK1",…],
//    "computed_from":{"clock":250000,"ra":{"worm":"240",…,"microstep":"8"},"dec":{…}}}
//
// computed_from, the drive trains and clock of the Calculate the values came
// from, and stop, why the action ended as a kind ({"cause":"open_failed",
// "errno":2}, {"cause":"signal","signal":1}), are missing from the lines of
// older versions; they are read all the same, their reason (a sentence of
// the program that wrote them) kept as it was. Newer lines leave reason
// empty: the words are the reader's.
//
// An action's record is written twice: once before its first frame leaves,
// with result "incomplete" and nothing sent, and again, whole, when it ends;
// both lines carry the same "id", and the reader keeps the last line of an
// id in the place of the first. Each is one append under the lock, so no
// line is half-written and the bound below holds; a record with no second
// line (the program killed outright, the power cut) stays incomplete: the
// action stopped at a point nobody knows. Older versions pass over the
// incomplete lines (a result they do not know) and read the whole ones.
//
// Appends take the lock beside the file (path + ".lock"), so two runs at
// once lose nothing; a run killed mid-line leaves a torn last line, which
// the reader passes over and the next append starts a fresh line after; an
// append whose write fails is truncated back. A symbolic link in the file's
// place is refused (WriteFault::Link): its target is some other file.
// The file is bounded: an append that would take it past kRecordFileLimit
// first drops the oldest records, down to kRecordFileTrimmed, in an atomic
// rewrite under the same lock.

#include "atomicfile.h"
#include "calculate.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace files {

// Why an action ended, as a kind.
struct StopReason {
    enum class Cause { None, Operator, Signal, FrameBreaker, OpenFailed, LineFailed };
    Cause cause = Cause::None;
    int system_error = 0; // errno, when the system gave one
    int signal = 0;       // the signal that stopped it, if one did
    bool operator==(const StopReason &) const = default;
};

// "none", "operator", "signal", "frame_breaker", "open_failed", "line_failed".
QString stop_cause_key(StopReason::Cause cause);

struct SendRecord {
    // Cancelled: the operator stopped it; Stopped: a value that would break
    // its frame ended it before that command; Failed: the port failed;
    // Incomplete: it was starting, and what came of it was never written.
    enum class Result { Done, Cancelled, Stopped, Failed, Incomplete };

    QString id; // the same in an action's two lines; empty in older ones
    QDateTime started;
    QDateTime ended;
    QString version;
    QString port;          // "Com1", or a device path given directly
    QString device;        // what the port opened; empty when it did not open
    QString stable_device; // the device's stable name, when it has one
    QString mount_file;    // when one was open
    QString mount_name;
    std::int32_t base_clock = 0;
    QStringList commands; // the bodies handed to the port, in order
    int planned = 0;      // the action's length
    Result result = Result::Done;
    QString reason;                 // why it failed or stopped, as an older program said it
    std::optional<StopReason> stop; // missing from older lines
    // The texts of the ten drive-train boxes and the clock the values were
    // computed from; nothing when that is not known.
    std::optional<calc::CalcInput> computed_from;

    int sent() const { return static_cast<int>(commands.size()); }
    bool operator==(const SendRecord &) const = default;
};

inline constexpr qint64 kRecordFileLimit = qint64{4} * 1024 * 1024; // about 2,000 uploads
inline constexpr qint64 kRecordFileTrimmed = qint64{3} * 1024 * 1024;
// A line longer than this is no record of ours (an upload's is about 2 KiB).
inline constexpr qsizetype kMaxRecordLine = qsizetype{64} * 1024;
inline const QString kRecordFileName = QStringLiteral("sends.jsonl");

// $XDG_STATE_HOME when it is an absolute path, else ~/.local/state; then
// rw7300-speedtable/.
QString state_directory();
QString record_path(); // state_directory() + kRecordFileName

// "done", "cancelled", "stopped", "failed", "incomplete".
QString result_key(SendRecord::Result result);

// The record as the line holds it.
QJsonObject record_object(const SendRecord &record);
// One line, '\n' included.
QByteArray record_line(const SendRecord &record);
// Nothing for a line that is not a whole, sound record (one that says done
// with fewer sent than planned, or ended before it started, contradicts
// itself). Whether its bodies are commands is the link's to say
// (recorded::pass_over_unsound).
std::optional<SendRecord> parse_record_line(QByteArrayView line);

struct RecordsRead {
    QList<SendRecord> records; // oldest first, as written
    int skipped = 0;           // lines that were no record (a torn last one, for one)
    WriteOutcome failure;      // ok when the file was read or is missing
};
// Every record in bytes; lines that are no record are counted and passed
// over; of the lines of one id, the last stands where the first was.
RecordsRead parse_records(QByteArrayView bytes);
// The file's last kRecordFileLimit bytes at most (a longer file's first,
// partial line is passed over); a missing file holds no record.
RecordsRead read_records(const QString &path);

// Appends the record's line, making the folder when needed, dropping the
// oldest records first when the file would pass kRecordFileLimit.
WriteOutcome append_record(const QString &path, const SendRecord &record);

} // namespace files
