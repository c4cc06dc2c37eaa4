// Pure helpers of the dialogs: port names, list positions, the Linux device node each name
// reaches, and the reading of number fields.
#include "dialogs/integer_text.h"
#include "dialogs/port_devices.h"
#include "link/port_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace krt6 {
namespace {

struct NumberCase {
  const char* name;
  const char* prefix;
  int number;
};

// The dialogs and the links read a port name with the same parser: a name the link would not
// open ("COM007", another prefix) shows no list item either.
TEST(PortNumberTest, TakesTheDecimalAfterThePrefix) {
  const NumberCase cases[] = {
      {"COM1", "COM", 1},  {"COM12", "COM", 12}, {"COM30", "COM", 30},
      {"LPT3", "LPT", 3},  {"COM007", "COM", 0}, {"LPT3", "COM", 0},
      {"COM", "COM", 0},   {"", "COM", 0},       {"CO", "COM", 0},
      {"COMx", "COM", 0},  {"COM1x", "COM", 0},  {"COM-1", "COM", 0},
      {"COM+1", "COM", 0}, {"COM 1", "COM", 0},  {"COM99999999999", "COM", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(PortNumber(c.name, c.prefix), c.number) << c.name;
}

TEST(PortNumberTest, ListPositionFallsBackForNamesOutsideTheList) {
  EXPECT_EQ(PortIndexFromName("COM1", "COM", 30), 0);
  EXPECT_EQ(PortIndexFromName("COM12", "COM", 30), 11);
  EXPECT_EQ(PortIndexFromName("COM30", "COM", 30), 29);
  EXPECT_EQ(PortIndexFromName("LPT3", "LPT", 4), 2);
  EXPECT_EQ(PortIndexFromName("LPT5", "LPT", 4), 0);
  EXPECT_EQ(PortIndexFromName("COM31", "COM", 30), 0);
  EXPECT_EQ(PortIndexFromName("COM0", "COM", 30, 7), 7);
  EXPECT_EQ(PortIndexFromName("garbage", "COM", 30, 3), 3);
  EXPECT_EQ(PortIndexFromName("COM007", "COM", 30, 3), 3);
  EXPECT_EQ(PortIndexFromName("LPT2", "COM", 30, 3), 3);
}

struct DeviceCase {
  const char* name;
  const char* device;
};

TEST(PortDeviceTest, SerialNamesMapOntoTheThreeDeviceFamilies) {
  const DeviceCase cases[] = {
      {"COM1", "/dev/ttyS0"},
      {"COM4", "/dev/ttyS3"},
      {"COM5", "/dev/ttyUSB0"},
      {"COM12", "/dev/ttyUSB7"},
      {"COM20", "/dev/ttyUSB15"},
      {"COM21", "/dev/ttyACM0"},
      {"COM30", "/dev/ttyACM9"},
      {"COM0", ""},
      {"COM31", ""},
      {"LPT1", ""},
      {"COM", ""},
      {"com1", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(SerialDeviceForPort(c.name), c.device) << c.name;
}

TEST(PortDeviceTest, ParallelNamesMapOntoLp) {
  const DeviceCase cases[] = {
      {"LPT1", "/dev/lp0"}, {"LPT4", "/dev/lp3"}, {"LPT0", ""}, {"LPT5", ""}, {"COM1", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ParallelDeviceForPort(c.name), c.device) << c.name;
}

TEST(PortDeviceTest, PresenceFollowsTheFileSystem) {
  char path[] = "/tmp/krt6-port-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_TRUE(DeviceNodePresent(path));
  ::unlink(path);
  EXPECT_FALSE(DeviceNodePresent(path));
  EXPECT_FALSE(DeviceNodePresent(""));
}

TEST(PortDeviceTest, AnOwnSerialPortNeedsAUartBehindItsNode) {
  char dir[] = "/tmp/krt6-tty-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string root = dir;
  auto write = [](const std::string& path, const char* text) {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    std::fputs(text, f);
    std::fclose(f);
  };
  for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB0"}) {
    write(root + "/" + name, "");
  }
  ::mkdir((root + "/sys").c_str(), 0700);
  ::mkdir((root + "/sys/ttyS0").c_str(), 0700);
  ::mkdir((root + "/sys/ttyS1").c_str(), 0700);
  write(root + "/sys/ttyS0/type", "0\n");  // an empty slot
  write(root + "/sys/ttyS1/type", "4\n");  // a 16550A
  const std::string sys = root + "/sys";
  EXPECT_FALSE(SerialDevicePresent(root + "/ttyS0", sys));
  EXPECT_TRUE(SerialDevicePresent(root + "/ttyS1", sys));
  EXPECT_TRUE(SerialDevicePresent(root + "/ttyS2", sys));  // no sysfs entry: the node decides
  EXPECT_TRUE(SerialDevicePresent(root + "/ttyUSB0", sys));
  EXPECT_FALSE(SerialDevicePresent(root + "/ttyUSB1", sys));
  EXPECT_FALSE(SerialDevicePresent(root + "/ttyS3", sys));
  std::filesystem::remove_all(root);
}

struct IntegerCase {
  const char* text;
  std::optional<int> value;
};

TEST(IntegerTextTest, AcceptsOnlyASignedDecimalThatFitsInThirtyTwoBits) {
  const IntegerCase cases[] = {
      {"8000", 8000},
      {"0", 0},
      {"  9100", 9100},
      {"+42", 42},
      {"-1", -1},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"abc", std::nullopt},
      {"80x", std::nullopt},
      {"9100 ", std::nullopt},
      {"0x1F", std::nullopt},
      {"1 2", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IntegerFromText(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(IntegerTextTest, ErrorTextQuotesTheFieldVerbatim) {
  EXPECT_EQ(NotAnIntegerText("abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(NotAnIntegerText("%1 %s"), "'%1 %s' is not a valid integer value");
  EXPECT_EQ(NotAnIntegerText(""), "'' is not a valid integer value");
}

}  // namespace
}  // namespace krt6
