#include "childprogram.h"
#include "datadir.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

struct IcoEntry {
    int width = 0;
    int height = 0;
    int colours = 0; // from the directory entry: 16, or 0 for 256
    int bits = 0;
    int headerBits = 0; // from the image's own bitmap header
    int headerHeight = 0;
};

// An independent reader of the icon directory and each image's header.
QList<IcoEntry> read_ico(const QByteArray &d)
{
    QList<IcoEntry> entries;
    if (d.size() < 6 || qFromLittleEndian<quint16>(d.constData() + 2) != 1)
        return entries;
    const int count = qFromLittleEndian<quint16>(d.constData() + 4);
    for (int i = 0; i < count; ++i) {
        const char *e = d.constData() + 6 + static_cast<qsizetype>(16) * i;
        IcoEntry entry;
        entry.width = static_cast<quint8>(e[0]);
        entry.height = static_cast<quint8>(e[1]);
        entry.colours = static_cast<quint8>(e[2]);
        entry.bits = qFromLittleEndian<quint16>(e + 6);
        const auto size = qFromLittleEndian<quint32>(e + 8);
        const auto offset = qFromLittleEndian<quint32>(e + 12);
        if (offset + size > static_cast<quint32>(d.size()))
            return {};
        const char *bmp = d.constData() + offset;
        entry.headerHeight = qFromLittleEndian<qint32>(bmp + 8);
        entry.headerBits = qFromLittleEndian<quint16>(bmp + 14);
        entries.append(entry);
    }
    return entries;
}

} // namespace

class tst_Packaging : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowsIcon();
    void pngIcons();
    void systemDirectories_data();
    void systemDirectories();
    void filesBesideWritableProgram();
    void filesInUserDirectoryOtherwise();
    void readOnlyProgramDirectory();
    void udevRuleInstalled();

private:
    QTemporaryDir m_home;
};

void tst_Packaging::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
    QCoreApplication::setApplicationName(QStringLiteral("rw7300-speedtable"));
}

void tst_Packaging::windowsIcon()
{
    QFile file(QStringLiteral(ICON_DIR "/rw7300.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<IcoEntry> entries = read_ico(file.readAll());
    QCOMPARE(entries.size(), 6);
    QSet<QString> seen;
    for (const IcoEntry &e : entries) {
        QCOMPARE(e.width, e.height);
        QVERIFY(e.width == 16 || e.width == 32 || e.width == 48);
        QVERIFY(e.bits == 4 || e.bits == 8);
        QCOMPARE(e.colours, e.bits == 4 ? 16 : 0);
        QCOMPARE(e.headerBits, e.bits);
        QCOMPARE(e.headerHeight, 2 * e.height); // colour rows and mask rows
        seen.insert(QStringLiteral("%1/%2").arg(e.width).arg(e.bits));
    }
    QCOMPARE(seen.size(), 6);

    // Qt's own reader agrees and finds a grey chip in the middle.
    QImageReader reader(file.fileName());
    QCOMPARE(reader.imageCount(), 6);
    for (int i = 0; i < 6; ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 4);
        QVERIFY(centre.alpha() == 255);
        QVERIFY(qAbs(centre.red() - centre.green()) < 24 &&
                qAbs(centre.green() - centre.blue()) < 24);
        QVERIFY(image.pixelColor(0, 0).alpha() == 0); // corners are transparent
    }
}

void tst_Packaging::pngIcons()
{
    for (int size : {16, 32, 48}) {
        const QImage image(QStringLiteral(ICON_DIR "/rw7300-%1.png").arg(size));
        QCOMPARE(image.size(), QSize(size, size));
    }
}

void tst_Packaging::systemDirectories_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<bool>("system");
    QTest::newRow("/usr/bin") << "/usr/bin" << true;
    QTest::newRow("/usr/local/bin") << "/usr/local/bin" << true;
    QTest::newRow("/opt") << "/opt/rw7300/bin" << true;
    QTest::newRow("home") << "/home/user/rw7300" << false;
    QTest::newRow("prefix lookalike") << "/usrdata/rw7300" << false;
    QTest::newRow("build tree") << "/work/main/build/src/app" << false;
}

void tst_Packaging::systemDirectories()
{
    QFETCH(QString, dir);
    QFETCH(bool, system);
    QCOMPARE(app::is_system_directory(dir), system);
}

void tst_Packaging::filesBesideWritableProgram()
{
    QTemporaryDir portable;
    QCOMPARE(app::data_directory(portable.path()), portable.path());
    QCOMPARE(
        QDir(portable.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList()); // the probe leaves nothing behind
}

void tst_Packaging::filesInUserDirectoryOtherwise()
{
    const QString user_dir = m_home.filePath(QStringLiteral("rw7300-speedtable"));
    // Named without being made (--help shows it), then made for writing.
    QCOMPARE(app::data_directory(QStringLiteral("/usr/bin"), false), user_dir);
    QVERIFY(!QFileInfo::exists(user_dir));
    QCOMPARE(app::data_directory(QStringLiteral("/usr/bin")), user_dir);
    QVERIFY(QFileInfo(user_dir).isDir()); // created
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile f(plain);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(app::data_directory(plain), user_dir);
}

// A read-only copy of the program, run for real: it says it writes to the
// user's directory. Root ignores permission bits but not a read-only mount.
void tst_Packaging::readOnlyProgramDirectory()
{
    QTemporaryDir copy;
    const QString exe = copy.filePath(QStringLiteral("rw7300-speedtable"));
    QVERIFY(QFile::copy(QStringLiteral(SPEEDTABLE_EXE), exe));
    QVERIFY(QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner));
    QTemporaryDir home;
    QProcess sh;
    sh.setProcessEnvironment([&] {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
        return env;
    }());
    sh.start(QStringLiteral("unshare"),
             {QStringLiteral("-m"), QStringLiteral("--"), QStringLiteral("sh"),
              QStringLiteral("-c"),
              QStringLiteral("d='%1' && mount --bind \"$d\" \"$d\" && "
                             "mount -o remount,bind,ro \"$d\" && %2 --help")
                  .arg(copy.path(), shell_command(exe))});
    QVERIFY(sh.waitForFinished(30000));
    if (sh.exitCode() != 0 && sh.readAllStandardError().contains("mount"))
        QSKIP("no private mount namespace here (unshare -m refused)");
    const QString help = QString::fromLocal8Bit(sh.readAllStandardOutput());
    QVERIFY2(help.contains(home.filePath(QStringLiteral("rw7300-speedtable"))), qPrintable(help));
    // Named, not made: --help writes nothing.
    QVERIFY(!QFileInfo::exists(home.filePath(QStringLiteral("rw7300-speedtable"))));
}

// The package is made from the install: the rule goes where udev reads
// it, numbered before 73-seat-late.rules, which turns the tag into access.
void tst_Packaging::udevRuleInstalled()
{
    QFile script(QStringLiteral(PACKAGING_BUILD_DIR "/cmake_install.cmake"));
    QVERIFY(script.open(QIODevice::ReadOnly));
    QVERIFY(script.readAll().contains(
        R"(DESTINATION "${CMAKE_INSTALL_PREFIX}/lib/udev/rules.d" TYPE FILE FILES ")" PACKAGING_SOURCE_DIR
        "/70-rw7300-speedtable.rules\""));
}

QTEST_GUILESS_MAIN(tst_Packaging)
#include "tst_packaging.moc"
