// The settings-to-line mapping for every combination of the seven settings (in range and out of
// range), and the fixed COM/LPT port table.
#include <gtest/gtest.h>

#include "link/port_names.h"
#include "link/serial_link.h"

namespace krt6 {
namespace {

speed_t ExpectedSpeed(int index) {
  static const speed_t speeds[] = {B2400, B4800, B9600, B19200, B38400, B57600, B115200};
  return index >= 0 && index <= 6 ? speeds[index] : B9600;
}

// A port left in the worst state another program could leave it in.
termios DirtyPort() {
  termios t{};
  t.c_iflag =
      IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ECHO | ECHONL | ICANON | ISIG | IEXTEN;
  t.c_cflag = CS5 | PARENB | PARODD | CSTOPB | CRTSCTS | B300 | HUPCL;
  t.c_cc[VMIN] = 5;
  t.c_cc[VTIME] = 9;
  t.c_cc[VSTART] = 0x11;
  t.c_cc[VSTOP] = 0x13;
  return t;
}

TEST(SerialSettingsTest, EveryCombinationMapsEachFieldIndependently) {
  const termios dirty = DirtyPort();
  int checked = 0;
  for (int baud = -1; baud <= 8; ++baud)
    for (int data = -1; data <= 2; ++data)
      for (int parity = -1; parity <= 3; ++parity)
        for (int stop = -1; stop <= 3; ++stop)
          for (int hd = -1; hd <= 5; ++hd)
            for (int sw = -1; sw <= 2; ++sw) {
              SerialSettings s;
              s.BaudRateIndex = baud;
              s.DataBitIndex = data;
              s.ParityIndex = parity;
              s.StopBitIndex = stop;
              s.HdShakIndex = hd;
              s.SWShakIndex = sw;
              const SerialLine line = MapSerialSettings(s, dirty);
              const termios& t = line.Attributes;
              SCOPED_TRACE(::testing::Message()
                           << "baud " << baud << " data " << data << " parity " << parity
                           << " stop " << stop << " hd " << hd << " sw " << sw);
              ASSERT_EQ(line.Speed, ExpectedSpeed(baud));
              ASSERT_EQ(cfgetospeed(&t), ExpectedSpeed(baud));
              ASSERT_EQ(cfgetispeed(&t), ExpectedSpeed(baud));
              ASSERT_EQ(t.c_cflag & CSIZE, data == 0 ? CS7 : CS8);
              ASSERT_EQ((t.c_cflag & PARENB) != 0, parity == 1 || parity == 2);
              ASSERT_EQ((t.c_cflag & PARODD) != 0, parity == 1);
              ASSERT_EQ((t.c_iflag & INPCK) != 0, parity == 1);  // checked for odd parity only
              ASSERT_EQ((t.c_cflag & CSTOPB) != 0, stop == 1 || stop == 2);
              ASSERT_EQ((t.c_cflag & CRTSCTS) != 0, hd != 0);
              ASSERT_EQ(line.HoldOutputOnDsr, hd != 0);
              ASSERT_EQ((t.c_iflag & IXON) != 0, sw == 1);
              ASSERT_EQ((t.c_iflag & IXOFF) != 0, sw == 1);
              // Raw mode whatever the port held before.
              ASSERT_EQ(t.c_iflag & (ISTRIP | IXANY | ICRNL | INLCR | IGNCR | PARMRK | BRKINT), 0u);
              ASSERT_EQ(t.c_oflag & OPOST, 0u);
              ASSERT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
              ASSERT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
              ASSERT_EQ(t.c_cc[VMIN], 0);
              ASSERT_EQ(t.c_cc[VTIME], 0);
              // What the settings do not name stays as the port had it.
              ASSERT_EQ(t.c_cc[VSTART], 0x11);
              ASSERT_EQ(t.c_cc[VSTOP], 0x13);
              ++checked;
            }
  EXPECT_EQ(checked, 10 * 4 * 5 * 5 * 7 * 4);
}

TEST(SerialSettingsTest, NamedCasesFromTheSetupDialog) {
  struct Case {
    SerialSettings s;
    int rate;
    tcflag_t cflag;  // CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS
  };
  const Case cases[] = {
      {{"COM1", 2, 1, 0, 0, 1, 0}, 9600, CS8 | CRTSCTS},            // the defaults
      {{"COM1", 7, 1, 0, 0, 5, 0}, 9600, CS8 | CRTSCTS},            // 7 gives 9600, 5 RTS/CTS
      {{"COM1", 6, 0, 2, 2, 0, 1}, 115200, CS7 | PARENB | CSTOPB},  // even, two stop bits
      {{"COM1", 0, 0, 1, 1, 2, 0}, 2400, CS7 | PARENB | PARODD | CSTOPB | CRTSCTS},
  };
  for (const Case& c : cases) {
    const SerialLine line = MapSerialSettings(c.s, termios{});
    EXPECT_EQ(line.Rate, c.rate);
    EXPECT_EQ(SerialRate(c.s.BaudRateIndex), c.rate);
    EXPECT_EQ(line.Attributes.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), c.cflag);
  }
}

TEST(PortTableTest, MapsEveryNameOfTheTableAndNothingElse) {
  const FixedPortTable table;
  const struct {
    const char* name;
    const char* serial;
  } serial[] = {{"COM1", "/dev/ttyS0"},
                {"COM4", "/dev/ttyS3"},
                {"COM5", "/dev/ttyUSB0"},
                {"COM10", "/dev/ttyUSB5"},
                {"COM20", "/dev/ttyUSB15"},
                {"COM21", "/dev/ttyACM0"},
                {"COM30", "/dev/ttyACM9"},
                {"COM0", ""},
                {"COM31", ""},
                {"COM01", ""},
                {"com1", ""},
                {"COM", ""},
                {"COM1 ", ""},
                {"LPT1", ""},
                {"COM99999", ""}};
  for (const auto& c : serial) EXPECT_EQ(table.SerialDevice(c.name), c.serial) << c.name;
  const struct {
    const char* name;
    const char* device;
  } parallel[] = {{"LPT1", "/dev/lp0"}, {"LPT4", "/dev/lp3"}, {"LPT0", ""},
                  {"LPT5", ""},         {"COM1", ""},         {"lpt1", ""}};
  for (const auto& c : parallel) EXPECT_EQ(table.ParallelDevice(c.name), c.device) << c.name;
}

}  // namespace
}  // namespace krt6
