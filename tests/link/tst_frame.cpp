#include "detectedports.h"
#include "frame.h"
#include "ports.h"
#include "scopedenv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>

using namespace rwlink;
using calc::Axis;

namespace {

// "PATH" is a device under /dev; "PATH>TARGET" a link to another entry.
DeviceFiles device_files(const QStringList &entries)
{
    DeviceFiles files;
    for (const QString &entry : entries)
        files.insert(entry.section('>', 0, 0), entry.section('>', 1));
    return files;
}

} // namespace

Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(calc::Axis)
Q_DECLARE_METATYPE(rwlink::PortSource)
Q_DECLARE_METATYPE(rwlink::Presence)

class tst_Frame : public QObject {
    Q_OBJECT

private slots:
    void frameBytes_data();
    void frameBytes();
    void portNumber_data();
    void portNumber();
    void portMapping_data();
    void portMapping();
    void stableNameKept_data();
    void stableNameKept();
    void stableNamesFound_data();
    void stableNamesFound();
    void accessAskedOfPresentDevice_data();
    void accessAskedOfPresentDevice();
    void machineAccess_data();
    void machineAccess();
    void rowBody_data();
    void rowBody();
    void valueBodies_data();
    void valueBodies();
};

void tst_Frame::frameBytes_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("store data") << "=SD" << QByteArray::fromHex("233A3D534423");
    QTest::newRow("empty body") << "" << QByteArray::fromHex("233A23");
    QTest::newRow("table row") << "&RA01=57A7" << QByteArray::fromHex("233A26524130313D3537413723");
    QTest::newRow("accented letter") << "&RA05é" << QByteArray("#:&RA05?#");
    QTest::newRow("full-width digit") << "&RA05２" << QByteArray("#:&RA05?#");
    QTest::newRow("surrogate pair is one character")
        << "&RA05\U0001F600" << QByteArray("#:&RA05?#");
    QTest::newRow("lone high surrogate")
        << QStringLiteral("&RA05") + QChar(0xD83D) + QStringLiteral("1")
        << QByteArray("#:&RA05?1#");
    QTest::newRow("blank and DEL stay") << " \x7F" << QByteArray("#: \x7F#");
    QTest::newRow("row with a character outside the BMP")
        << row_body(Axis::Ra, 4, "12\U0001F600") << QByteArray("#:&RA04=012?#");
}

void tst_Frame::frameBytes()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, bytes);
    QCOMPARE(frame(body), bytes);
}

void tst_Frame::portNumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<int>>("number");
    QTest::newRow("first") << "Com1" << std::optional<int>(1);
    QTest::newRow("two digits") << "Com10" << std::optional<int>(10);
    QTest::newRow("last") << "Com20" << std::optional<int>(20);
    const std::optional<int> none;
    QTest::newRow("lower case") << "com3" << none;
    QTest::newRow("upper case") << "COM3" << none;
    QTest::newRow("trailing space") << "Com3 " << none;
    QTest::newRow("leading space") << " Com3" << none;
    QTest::newRow("beyond the list") << "Com21" << none;
    QTest::newRow("zero") << "Com0" << none;
    QTest::newRow("leading zero") << "Com01" << none;
    QTest::newRow("no number") << "Com" << none;
    QTest::newRow("negative") << "Com-1" << none;
    QTest::newRow("full-width digit") << "Com３" << none;
    QTest::newRow("empty") << "" << none;
}

void tst_Frame::portNumber()
{
    QFETCH(QString, name);
    QFETCH(std::optional<int>, number);
    QCOMPARE(port_number_for(name), number);
}

void tst_Frame::portMapping_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("variable");  // RW7300_COM<port>; null = unset
    QTest::addColumn<QStringList>("assigned"); // "N=DEVICE"; FILE stands for an ordinary file
    QTest::addColumn<QList<DetectedPort>>("present");
    QTest::addColumn<QStringList>("files"); // what /dev holds besides
    QTest::addColumn<QString>("device");
    QTest::addColumn<PortSource>("source");
    QTest::addColumn<Presence>("presence");
    using S = PortSource;
    using P = Presence;
    const QList<DetectedPort> none;
    const QList<DetectedPort> one_adapter{built_in_port("/dev/ttyS0"),
                                          usb_adapter("/dev/ttyUSB0", kAdapterStableName)};
    const QList<DetectedPort> two_adapters{usb_adapter("/dev/ttyUSB0", kAdapterStableName),
                                           usb_adapter("/dev/ttyUSB1")};
    QTest::newRow("first built-in port")
        << 1 << QByteArray() << QStringList() << none << QStringList() << "/dev/ttyS0" << S::Default
        << P::Missing;
    QTest::newRow("last built-in port")
        << 20 << QByteArray() << QStringList() << none << QStringList() << "/dev/ttyS19"
        << S::Default << P::Missing;
    QTest::newRow("reported built-in port")
        << 1 << QByteArray() << QStringList() << QList<DetectedPort>{built_in_port("/dev/ttyS0")}
        << QStringList() << "/dev/ttyS0" << S::Default << P::Detected;
    QTest::newRow("variable overrides the assignment")
        << 3 << QByteArray("/dev/ttyACM0") << QStringList{"3=/dev/ttyUSB1"} << none << QStringList()
        << "/dev/ttyACM0" << S::Override << P::Missing;
    QTest::newRow("empty variable is unset")
        << 3 << QByteArray("") << QStringList{"3=/dev/ttyUSB1"} << none << QStringList()
        << "/dev/ttyUSB1" << S::Assigned << P::Missing;
    QTest::newRow("assignment") << 3 << QByteArray() << QStringList{"3=/dev/ttyUSB0"} << one_adapter
                                << QStringList() << "/dev/ttyUSB0" << S::Assigned << P::Detected;
    QTest::newRow("assigned stable name found under another number")
        << 3 << QByteArray() << QStringList{"3=" + kAdapterStableName}
        << QList<DetectedPort>{usb_adapter("/dev/ttyUSB1", kAdapterStableName)} << QStringList()
        << kAdapterStableName << S::Assigned << P::Detected;
    QTest::newRow("assigned adapter absent")
        << 3 << QByteArray() << QStringList{"3=" + kAdapterStableName}
        << QList<DetectedPort>{usb_adapter("/dev/ttyUSB1")} << QStringList() << kAdapterStableName
        << S::Assigned << P::Missing;
    // The machine's link to an adapter it no longer reports: a device file,
    // not a port.
    QTest::newRow("stable name left where no adapter is reported")
        << 3 << QByteArray() << QStringList{"3=" + kAdapterStableName}
        << QList<DetectedPort>{usb_adapter("/dev/ttyUSB1")}
        << QStringList{kAdapterStableName + ">/dev/ttyUSB0", "/dev/ttyUSB0"} << kAdapterStableName
        << S::Assigned << P::Exists;
    QTest::newRow("built-in port's file there but not reported")
        << 2 << QByteArray() << QStringList() << none << QStringList{"/dev/ttyS1"} << "/dev/ttyS1"
        << S::Default << P::Exists;
    QTest::newRow("a link made by hand to a reported adapter")
        << 6 << QByteArray() << QStringList{"6=/dev/mount-ra"} << one_adapter
        << QStringList{"/dev/mount-ra>/dev/ttyUSB0", "/dev/ttyUSB0"} << "/dev/mount-ra"
        << S::Assigned << P::Detected;
    QTest::newRow("a link leading nowhere")
        << 6 << QByteArray() << QStringList{"6=/dev/mount-ra"} << one_adapter
        << QStringList{"/dev/mount-ra>/dev/ttyUSB5"} << "/dev/mount-ra" << S::Assigned
        << P::Missing;
    QTest::newRow("assigned file that is no serial port")
        << 4 << QByteArray() << QStringList{"4=FILE"} << none << QStringList() << "FILE"
        << S::Assigned << P::Exists;
    QTest::newRow("one adapter and nothing assigned: Com1 is the adapter")
        << 1 << QByteArray() << QStringList() << one_adapter << QStringList() << kAdapterStableName
        << S::SingleAdapter << P::Detected;
    QTest::newRow("the one adapter is for Com1 only")
        << 2 << QByteArray() << QStringList() << one_adapter << QStringList() << "/dev/ttyS1"
        << S::Default << P::Missing;
    QTest::newRow("two adapters: the operator chooses")
        << 1 << QByteArray() << QStringList() << two_adapters << QStringList() << "/dev/ttyS0"
        << S::Default << P::Missing;
    QTest::newRow("any assignment ends the first-use rule")
        << 1 << QByteArray() << QStringList{"5=/dev/ttyUSB7"} << one_adapter << QStringList()
        << "/dev/ttyS0" << S::Default << P::Detected;
    QTest::newRow("variable overrides the first-use rule")
        << 1 << QByteArray("/dev/ttyACM0") << QStringList() << one_adapter << QStringList()
        << "/dev/ttyACM0" << S::Override << P::Missing;
}

void tst_Frame::portMapping()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names its ports itself");
#endif
    QFETCH(int, port);
    QFETCH(QByteArray, variable);
    QFETCH(QStringList, assigned);
    QFETCH(QList<DetectedPort>, present);
    QFETCH(QStringList, files);
    QFETCH(QString, device);
    QFETCH(PortSource, source);
    QFETCH(Presence, presence);
    QTemporaryDir dir;
    const QString file = dir.filePath("not-a-port");
    QFile touch(file);
    QVERIFY(touch.open(QIODevice::WriteOnly));
    touch.close();
    device.replace("FILE", file);

    Assignments table{};
    for (const QString &entry : assigned) {
        const qsizetype equals = entry.indexOf('=');
        table[entry.left(equals).toUInt() - 1] = entry.mid(equals + 1).replace("FILE", file);
    }
    const QByteArray name = "RW7300_COM" + QByteArray::number(port);
    const ScopedEnv own(name.constData(), variable);
    // Another port's variable must not leak into this one.
    const ScopedEnv other(port == 1 ? "RW7300_COM2" : "RW7300_COM1", "/dev/elsewhere");

    const PortMapping m =
        PortMap(table, present, fake_devices(present, device_files(files)).resolve).mapping(port);
    QCOMPARE(m.number, port);
    QCOMPARE(m.device, device);
    QCOMPARE(m.source, source);
    QCOMPARE(m.presence, presence);
    QCOMPARE(m.detected.has_value(), presence == Presence::Detected);
}

void tst_Frame::stableNameKept_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("kept");
    QTest::newRow("adapter with a stable name") << "/dev/ttyUSB0" << kAdapterStableName;
    QTest::newRow("stable name itself") << kAdapterStableName << kAdapterStableName;
    QTest::newRow("adapter without one") << "/dev/ttyUSB1"
                                         << "/dev/ttyUSB1";
    QTest::newRow("path not reported") << "/tmp/line"
                                       << "/tmp/line";
    QTest::newRow("link under /dev to the adapter") << "/dev/mount" << kAdapterStableName;
    QTest::newRow("link in a folder to a reported device") << "DIR/link"
                                                           << "/dev/serial/by-id/usb-dir";
    QTest::newRow("link in a folder to nothing reported") << "DIR/stray"
                                                          << "DIR/stray";
}

void tst_Frame::stableNameKept()
{
    QFETCH(QString, device);
    QFETCH(QString, kept);
    // A device file and links to it where the file system itself resolves them.
    QTemporaryDir dir;
    QFile tty(dir.filePath("tty"));
    QVERIFY(tty.open(QIODevice::WriteOnly));
    tty.close();
    QVERIFY(QFile::link(tty.fileName(), dir.filePath("link")));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), dir.filePath("stray")));
    device.replace("DIR", dir.path());
    kept.replace("DIR", dir.path());
    const QList<DetectedPort> present{
        usb_adapter("/dev/ttyUSB0", kAdapterStableName), usb_adapter("/dev/ttyUSB1"),
        usb_adapter(QFileInfo(tty.fileName()).canonicalFilePath(), "/dev/serial/by-id/usb-dir")};
    const PortMap map(
        {}, present,
        fake_devices(present, device_files({"/dev/mount>/dev/ttyUSB0", "/dev/ttyUSB0"})).resolve);
    QCOMPARE(map.stable_name(device), kept);
}

void tst_Frame::accessAskedOfPresentDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<Presence>("presence");
    QTest::addColumn<int>("error");
    QTest::newRow("reported and refused") << kAdapterStableName << Presence::Detected << EACCES;
    QTest::newRow("device file and refused") << "/dev/ttyS3" << Presence::Exists << EACCES;
    QTest::newRow("reported and allowed") << "/dev/ttyUSB1" << Presence::Detected << 0;
    QTest::newRow("missing: nothing to ask") << "/dev/ttyUSB9" << Presence::Missing << 0;
}

// What keeps a device from opening is asked only of one that is there.
void tst_Frame::accessAskedOfPresentDevice()
{
    QFETCH(QString, device);
    QFETCH(Presence, presence);
    QFETCH(int, error);
    const QList<DetectedPort> present{usb_adapter("/dev/ttyUSB0", kAdapterStableName),
                                      usb_adapter("/dev/ttyUSB1")};
    const Devices devices = fake_devices(present, device_files({"/dev/ttyS3"}),
                                         {kAdapterStableName, "/dev/ttyS3", "/dev/ttyUSB9"});
    const ScopedEnv no_override("RW7300_COM2", QByteArray());
    Assignments table{};
    table[1] = device;
    const PortMap map(table, present, devices.resolve, devices.access, devices.groups);
    for (const PortMapping &m : {map.mapping(2), map.examine(device)}) {
        QCOMPARE(m.device, device);
        QCOMPARE(m.presence, presence);
        QCOMPARE(m.access_error, error);
        // The group is asked of a refused device only.
        QCOMPARE(m.serial_group,
                 error ? rwlink::GroupMembership::NotMember : rwlink::GroupMembership::Unknown);
    }
    QCOMPARE(map.examine(device).number, 0);
}

void tst_Frame::machineAccess_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("error");
    QTest::newRow("file there") << "DIR/tty" << 0;
    QTest::newRow("nothing there") << "DIR/none" << ENOENT;
    QTest::newRow("below a file") << "DIR/tty/x" << ENOTDIR;
    QTest::newRow("no path") << "" << ENOENT;
}

// The machine's own check, for what it tells even root (who may open any
// file there is).
void tst_Frame::machineAccess()
{
    QFETCH(QString, path);
    QFETCH(int, error);
    QTemporaryDir dir;
    QFile tty(dir.filePath("tty"));
    QVERIFY(tty.open(QIODevice::WriteOnly));
    tty.close();
    QCOMPARE(device_access(path.replace("DIR", dir.path())), error);
}

void tst_Frame::stableNamesFound_data()
{
    QTest::addColumn<QStringList>("links"); // the stable-name folder: "NAME>TARGET"
    QTest::addColumn<QStringList>("named"); // "LOCATION=STABLE NAME" of the two ports
    const QString adapter = kAdapterStableName;
    const QString other = QStringLiteral("/dev/serial/by-id/usb-Prolific_PL2303-if00-port0");
    QTest::newRow("link to a reported adapter")
        << QStringList{adapter + ">/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB0=" + adapter, "/dev/ttyUSB1="};
    QTest::newRow("link through another link")
        << QStringList{adapter + ">/dev/usb-serial", "/dev/usb-serial>/dev/ttyUSB1"}
        << QStringList{"/dev/ttyUSB0=", "/dev/ttyUSB1=" + adapter};
    QTest::newRow("link to a device not reported")
        << QStringList{adapter + ">/dev/ttyACM0"} << QStringList{"/dev/ttyUSB0=", "/dev/ttyUSB1="};
    QTest::newRow("link leading nowhere")
        << QStringList{adapter + ">/dev/ttyUSB9"} << QStringList{"/dev/ttyUSB0=", "/dev/ttyUSB1="};
    QTest::newRow("two links to one adapter: the first kept")
        << QStringList{adapter + ">/dev/ttyUSB0", other + ">/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB0=" + adapter, "/dev/ttyUSB1="};
    QTest::newRow("one link each")
        << QStringList{other + ">/dev/ttyUSB1", adapter + ">/dev/ttyUSB0"}
        << QStringList{"/dev/ttyUSB0=" + adapter, "/dev/ttyUSB1=" + other};
}

void tst_Frame::stableNamesFound()
{
    QFETCH(QStringList, links);
    QFETCH(QStringList, named);
    QList<DetectedPort> ports{usb_adapter("/dev/ttyUSB0"), usb_adapter("/dev/ttyUSB1")};
    QStringList entries = links;
    entries << "/dev/ttyUSB0"
            << "/dev/ttyUSB1"
            << "/dev/ttyACM0";
    QStringList names;
    for (const QString &link : links)
        names << link.section('>', 0, 0);
    add_stable_names(ports, names, fake_devices(ports, device_files(entries)).resolve);
    QStringList got;
    for (const DetectedPort &port : ports)
        got << port.location + '=' + port.stable_name;
    QCOMPARE(got, named);
}

void tst_Frame::rowBody_data()
{
    QTest::addColumn<Axis>("axis");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("body");
    QTest::newRow("first RA row") << Axis::Ra << 1 << "57A7"
                                  << "&RA01=57A7";
    QTest::newRow("first DEC row") << Axis::Dec << 1 << "74DE"
                                   << "&DEC01=74DE";
    QTest::newRow("single digit row, short text") << Axis::Ra << 9 << "7"
                                                  << "&RA09=0007";
    QTest::newRow("two digit row, long text") << Axis::Ra << 10 << "12345"
                                              << "&RA10=2345";
    QTest::newRow("last row, empty text") << Axis::Dec << 50 << ""
                                          << "&DEC50=0000";
    QTest::newRow("blank is kept") << Axis::Ra << 3 << " "
                                   << "&RA03=000 ";
    QTest::newRow("not hexadecimal, sent as is") << Axis::Dec << 4 << "zz"
                                                 << "&DEC04=00zz";
    QTest::newRow("character outside the BMP is one of the four") << Axis::Ra << 4 << "12\U0001F600"
                                                                  << "&RA04=012?";
    QTest::newRow("foreign character cut away") << Axis::Ra << 4 << "\u00E92BD3"
                                                << "&RA04=2BD3";
}

void tst_Frame::rowBody()
{
    QFETCH(Axis, axis);
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(QString, body);
    QCOMPARE(row_body(axis, row, text), body);
}

void tst_Frame::valueBodies_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("RA total") << total_body(Axis::Ra, "EA6000") << "&XRA00EA6000";
    QTest::newRow("DEC total") << total_body(Axis::Dec, "AFC800") << "&XDEC00AFC800";
    QTest::newRow("total not reshaped") << total_body(Axis::Ra, "ABC") << "&XRA00ABC";
    QTest::newRow("rate") << rate_body("2BF2") << "&RA052BF2";
    QTest::newRow("short rate not filled") << rate_body("1") << "&RA051";
    QTest::newRow("long rate not cut") << rate_body("12345") << "&RA0512345";
    QTest::newRow("blank rate") << rate_body(" ") << "&RA05 ";
    QTest::newRow("2 MHz clock") << clock_body(2000000).value_or("none") << "=TCLK1";
    QTest::newRow("250 kHz clock") << clock_body(250000).value_or("none") << "=TCLK2";
    QTest::newRow("other clock") << clock_body(1000000).value_or("none") << "none";
    QTest::newRow("unset clock") << clock_body(0).value_or("none") << "none";
}

void tst_Frame::valueBodies()
{
    QFETCH(QString, body);
    QFETCH(QString, expected);
    QCOMPARE(body, expected);
}

QTEST_GUILESS_MAIN(tst_Frame)
#include "tst_frame.moc"
