// The device list read from a fake sysfs tree: which entries count as ports, the order, and
// the failures.

#include "FakeSysfs.h"

#include "serial/EComPort.h"
#include "serial/widgets/SerialPortList.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

TEST(ListSerialPorts, SortsCaseInsensitivelyWhateverTheDirectoryOrder)
{
    FakeSysfs sys;
    for (const char* name : {"COM2", "COM10", "COM1"})
        sys.add(QString::fromLatin1(name));
    QStringList list{QStringLiteral("stale entry")};
    ListSerialPorts(list, sys.root());
    EXPECT_EQ(list, (QStringList{"/dev/COM1", "/dev/COM10", "/dev/COM2"}));

    FakeSysfs mixed;
    for (const char* name : {"ttyUSB1", "ttyacm1", "ttyACM0", "ttyUSB0"})
        mixed.add(QString::fromLatin1(name));
    ListSerialPorts(list, mixed.root());
    EXPECT_EQ(list, (QStringList{"/dev/ttyACM0", "/dev/ttyacm1", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
}

TEST(ListSerialPorts, KeepsOnlyEntriesWithARealDevice)
{
    FakeSysfs sys;
    sys.add(QStringLiteral("tty0"), false); // virtual console
    sys.add(QStringLiteral("ptmx"), false);
    sys.add(QStringLiteral("ttyS0"), true, 4); // 16550A
    sys.add(QStringLiteral("ttyS1"), true, 0); // slot without a UART
    sys.add(QStringLiteral("ttyS2"), true, 0);
    sys.add(QStringLiteral("ttyAMA0"), true, 1);
    sys.add(QStringLiteral("ttyUSB0"));
    sys.add(QStringLiteral("ttyACM0"));
    sys.addLinked(QStringLiteral("ttyUSB1"));
    QStringList list;
    ListSerialPorts(list, sys.root());
    EXPECT_EQ(
        list, (QStringList{"/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"}));
}

TEST(ListSerialPorts, UnreadableTreeRaisesRegistryErrorAndKeepsTheList)
{
    QTemporaryDir dir;
    QFile notADir(dir.path() + QStringLiteral("/class"));
    ASSERT_TRUE(notADir.open(QIODevice::WriteOnly));
    notADir.close();
    const struct {
        QString root;
        int errorCode;
    } cases[] = {
        {dir.path() + QStringLiteral("/missing"), ENOENT},
        {dir.path(), ENOTDIR},
    };
    for (const auto& c : cases) {
        QStringList list{QStringLiteral("/dev/ttyS0")};
        try {
            ListSerialPorts(list, c.root);
            ADD_FAILURE() << "no error for " << c.root.toStdString();
        } catch (const EComPort& e) {
            EXPECT_EQ(e.PortError(), 23);
            EXPECT_EQ(e.SystemError(), c.errorCode);
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Registry error"))) << e.what();
            EXPECT_TRUE(e.Message().contains(QString::number(c.errorCode))) << e.what();
        }
        EXPECT_EQ(list, QStringList{QStringLiteral("/dev/ttyS0")});
    }
}

TEST(SerialDeviceExists, OnlyCharacterDevices)
{
    QTemporaryDir dir;
    QFile plain(dir.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString pty = QString::fromLocal8Bit(ptsname(master));

    EXPECT_TRUE(SerialDeviceExists(pty));
    EXPECT_TRUE(SerialDeviceExists(QStringLiteral("null"))); // a bare name means /dev/<name>
    EXPECT_FALSE(SerialDeviceExists(QString()));
    EXPECT_FALSE(SerialDeviceExists(plain.fileName()));
    EXPECT_FALSE(SerialDeviceExists(dir.path()));
    EXPECT_FALSE(SerialDeviceExists(dir.path() + QStringLiteral("/nothing")));
    ::close(master);
}

TEST(ListSerialPorts, ThisMachinesListReads)
{
    if (!QFile::exists(QStringLiteral("/sys/class/tty")))
        GTEST_SKIP() << "no sysfs";
    QStringList list;
    ASSERT_NO_THROW(ListSerialPorts(list));
    for (const QString& port : list) {
        EXPECT_TRUE(port.startsWith(QStringLiteral("/dev/"))) << port.toStdString();
        EXPECT_FALSE(port.startsWith(QStringLiteral("/dev/tty0"))) << "a virtual console was listed";
    }
}

// USB adapters are offered once each, by their stable name, described by what they report.
TEST(ListSerialDevices, StableNamesWithDescriptions)
{
    FakeSysfs sys;
    FakeDev dev;
    sys.add(QStringLiteral("ttyS0"), true, 4);
    sys.addUsb(QStringLiteral("ttyUSB0"), "FTDI", "FT232R USB UART", "A1B2C3");
    sys.addUsb(QStringLiteral("ttyACM0"), "Orvik", "", "");
    sys.addUsb(QStringLiteral("ttyUSB1"), "", "", ""); // an adapter that says nothing
    for (const char* node : {"ttyS0", "ttyUSB0", "ttyACM0", "ttyUSB1"})
        dev.addNode(QString::fromLatin1(node));
    const QString ftdi = QStringLiteral("usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0");
    dev.addById(ftdi, QStringLiteral("ttyUSB0"));
    dev.addById(QStringLiteral("usb-Orvik-if00"), QStringLiteral("ttyACM0"));

    const std::vector<TSerialDeviceInfo> devices = ListSerialDevices(sys.root(), dev.root());
    struct Expected {
        QString path, kernelName, description;
    };
    const Expected expected[] = {
        {dev.byId(ftdi), "ttyUSB0", "FTDI FT232R USB UART, serial A1B2C3 (ttyUSB0)"},
        {dev.byId("usb-Orvik-if00"), "ttyACM0", "Orvik (ttyACM0)"},
        {dev.root() + "/ttyS0", "ttyS0", "ttyS0"},
        {dev.root() + "/ttyUSB1", "ttyUSB1", "ttyUSB1"},
    };
    ASSERT_EQ(devices.size(), std::size(expected));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(devices[i].path, expected[i].path);
        EXPECT_EQ(devices[i].kernelName, expected[i].kernelName);
        EXPECT_EQ(devices[i].description, expected[i].description);
    }

    // Renumbered on re-plugging: the stable name stays, and points at the new tty.
    FakeSysfs again;
    FakeDev dev2;
    again.addUsb(QStringLiteral("ttyUSB3"), "FTDI", "FT232R USB UART", "A1B2C3");
    dev2.addNode(QStringLiteral("ttyUSB3"));
    dev2.addById(ftdi, QStringLiteral("ttyUSB3"));
    const std::vector<TSerialDeviceInfo> replugged = ListSerialDevices(again.root(), dev2.root());
    ASSERT_EQ(replugged.size(), 1u);
    EXPECT_EQ(QFileInfo(replugged[0].path).fileName(), ftdi);
    EXPECT_EQ(replugged[0].description, QStringLiteral("FTDI FT232R USB UART, serial A1B2C3 (ttyUSB3)"));
}
