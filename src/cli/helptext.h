#pragma once

// The help's prose: what --help (and the manual page made from it) says of
// each option and of the program. The option table in options.cpp holds
// the names, values and checks, and takes its descriptions from here.

#include <QCommandLineOption>
#include <QList>
#include <QString>

namespace app {

// The description of the option of that name (no dashes); empty for one
// the help does not describe.
QString option_description(QLatin1StringView name);

// The text above the option list: what the program does, the forms it is
// run in (usage_forms, already laid out), where its files are and its exit
// statuses.
QString program_description(const QString &usage_forms);

// The whole help in Qt's form, with Japanese headings, each line within the
// terminal's width.
QString help_text(const QString &description, const QList<QCommandLineOption> &options);

// What --help-all adds: the window takes Qt's own options too.
QString help_all_note();

} // namespace app
