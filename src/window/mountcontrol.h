#pragma once

// The window's mount files: open one into the ten drive-train boxes and the
// clock option (nothing else changes: no Calculate, no file written), save
// those values, and remember recently used files. Reached by Ctrl+O,
// Ctrl+S, Ctrl+Shift+S, the drive-train area's menu and by dropping a file
// on the window. While a file is open the title starts with its mount's
// name, marked when the boxes no longer hold what the file does.

#include "calculate.h"
#include "mountfile.h"
#include "mounthistory.h"

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class QAction;
class QButtonGroup;
class QFileDialog;
class QLineEdit;
class QMenu;
class QWidget;

namespace app {

// What the mount actions read and fill: the drive-train boxes and the clock
// option group (id 0: 2 MHz, 1: 250 kHz), picked by a click as the operator
// would.
struct MountBoxes {
    std::array<QLineEdit *, 5> ra{};
    std::array<QLineEdit *, 5> dec{};
    QButtonGroup *clock = nullptr;
};

// The drive trains and clock as the boxes show them: the one reading that
// Calculate, the advisor and the mount files all start from.
calc::CalcInput shown_drive_trains(const MountBoxes &boxes);

class MountControl : public QObject {
    Q_OBJECT

public:
    // Where a failure to open is said: in a message box when the operator
    // asked for the file, on the status line when start-up did.
    enum class Report { Dialog, StatusLine };

    MountControl(QWidget *window, MountBoxes boxes, QString title, MountHistory history);

    // At start-up: the file given on the command line, or else the last one
    // used when the operator asked for that; true when one opened.
    bool start(const QString &file);
    bool open(const QString &path, Report report = Report::Dialog);
    bool save_to(const QString &path, const QString &name);

    // The mount actions, then a separator, at the top of menu.
    void add_to_menu(QMenu *menu);

    // The boxes no longer hold what the open mount file does.
    bool modified() const;
    // The open mount file and its name; empty when none is open.
    std::pair<QString, QString> opened_file() const
    {
        return m_path ? std::pair(*m_path, m_saved.name) : std::pair<QString, QString>();
    }
    // Runs go at once when nothing would be lost; otherwise asks first
    // whether to save, discard or cancel (the default), and runs go after a
    // save that worked or a discard.
    void ask_then(const std::function<void()> &go);

signals:
    void status(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    files::Mount shown() const;
    void show_mount(const files::Mount &mount);
    // Takes path as the open file; a note when the history was not saved.
    QString opened(const QString &path, const files::Mount &mount);
    void update_title();
    QFileDialog *file_dialog(const QString &object_name, const QString &title) const;
    void ask_open();
    void save();
    bool save_open(); // to the open file; false when it could not
    void ask_save();
    void ask_rename();
    void fill_recent(QMenu *menu);
    QString start_directory() const;

    QWidget *m_window;
    MountBoxes m_boxes;
    QString m_title;
    MountHistory m_history;
    std::optional<QString> m_path;
    files::Mount m_saved; // what the open file holds
    QAction *m_open = nullptr;
    QAction *m_save = nullptr;
    QAction *m_save_as = nullptr;
    QAction *m_rename = nullptr;
    QAction *m_open_last = nullptr;
};

} // namespace app
