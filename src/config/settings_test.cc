// File images of the settings records, without touching the disk.
#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/settings_test_util.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

const uint8_t* U8(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string PortImage(const PortSettings& p) {
  uint8_t out[kPortSettingsSize];
  EncodePortSettings(p, out);
  return std::string(reinterpret_cast<char*>(out), sizeof out);
}

std::string ScheduleImageOf(const ScheduleSettings& s) {
  uint8_t out[kScheduleSettingsSize];
  EncodeScheduleSettings(s, out);
  return std::string(reinterpret_cast<char*>(out), sizeof out);
}

TEST(SettingsFiles, NamesAndSizesAreTheFileImages) {
  EXPECT_STREQ("CONF_COM.CFG", SettingsFileName(SettingsFile::kPorts));
  EXPECT_STREQ("CONF_MOD.CFG", SettingsFileName(SettingsFile::kModems));
  EXPECT_STREQ("CHEMIN.CFG", SettingsFileName(SettingsFile::kPaths));
  EXPECT_STREQ("CONF_FIC.CFG", SettingsFileName(SettingsFile::kFileOptions));
  EXPECT_STREQ("HEURE.CFG", SettingsFileName(SettingsFile::kSchedule));
  EXPECT_STREQ("LANGUE.CFG", SettingsFileName(SettingsFile::kLanguage));
  EXPECT_EQ(46u, SettingsFileSize(SettingsFile::kPorts));
  EXPECT_EQ(64u, SettingsFileSize(SettingsFile::kModems));
  EXPECT_EQ(324u, SettingsFileSize(SettingsFile::kPaths));
  EXPECT_EQ(6u, SettingsFileSize(SettingsFile::kFileOptions));
  EXPECT_EQ(401u, SettingsFileSize(SettingsFile::kSchedule));
  EXPECT_EQ(9u, SettingsFileSize(SettingsFile::kLanguage));
}

TEST(PortImage, NumbersAreLittleEndianAtOddOffsets) {
  PortSettings p;
  p.line[1].ACTIVE = 'O';
  std::memcpy(p.line[1].PORT, "COM7", 5);
  p.line[1].VITESSE = 0x11223344;
  p.line[1].DONNEES = -1;
  p.line[1].PARITE = 4;
  p.line[1].STOPBIT = 3;
  p.line[1].IRDA = 'O';
  std::string img = PortImage(p);
  ASSERT_EQ(46u, img.size());
  EXPECT_EQ(std::string(23, '\0'), img.substr(0, 23));
  EXPECT_EQ(PortEntryImage('O', "COM7", 0x11223344, 0xFFFFFFFF, 4, 3, 'O'), img.substr(23));
  // Line 2's VITESSE starts at file offset 29, low byte first.
  EXPECT_EQ('\x44', img[29]);
  EXPECT_EQ('\x11', img[32]);

  PortSettings back;
  DecodePortSettings(U8(img), img.size(), &back);
  EXPECT_EQ(PortImage(p), PortImage(back));
  EXPECT_EQ(-1, back.line[1].DONNEES);
}

TEST(PortImage, ShortDataReplacesOnlyTheLeadingBytesEvenInsideANumber) {
  PortSettings p;
  p.line[0].VITESSE = 0x01020304;
  p.line[0].DONNEES = 7;
  p.line[1].ACTIVE = 'O';
  // Eight bytes: ACTIVE, PORT and the two low bytes of VITESSE.
  std::string data = std::string("O") + Field("COM3", 5) + "\xAA\xBB";
  DecodePortSettings(U8(data), data.size(), &p);
  EXPECT_EQ('O', p.line[0].ACTIVE);
  EXPECT_STREQ("COM3", p.line[0].PORT);
  EXPECT_EQ(0x0102BBAA, p.line[0].VITESSE);
  EXPECT_EQ(7, p.line[0].DONNEES);
  EXPECT_EQ('O', p.line[1].ACTIVE);
}

TEST(PortImage, LongDataIsReadUpToTheRecordSize) {
  std::string data = DefaultPortImage() + std::string(100, 'X');
  PortSettings p;
  DecodePortSettings(U8(data), data.size(), &p);
  EXPECT_EQ(DefaultPortImage(), PortImage(p));
}

TEST(PortImage, AFiveCharacterNameFillsItsFieldAndIsKeptWhole) {
  // "COM19" fills the five bytes with no terminator: cutting it at the fourth
  // character would open COM1, another line's port.
  std::string data = PortEntryImage('O', "COM12", 1, 2, 1, 1, 'N');
  data[5] = '9';
  PortSettings p;
  DecodePortSettings(U8(data), data.size(), &p);
  EXPECT_EQ("COM19", PortName(p.line[0]));
  EXPECT_EQ(data, PortImage(p).substr(0, 23));
  for (const char* name : {"COM19", "USB0", "ACM_1", "1"}) EXPECT_TRUE(IsPortName(name)) << name;
  for (const char* name : {"", "COM123", "US B", "../x", "tty/0"})
    EXPECT_FALSE(IsPortName(name)) << name;
}

TEST(ModemImage, EntriesOf32BytesWithPresentAtTheirLastByte) {
  ModemSettings m;
  std::memcpy(m.line[0].MODEM, "AT&F", 5);
  m.line[0].PRESENT = 'O';
  m.line[1].PRESENT = 'N';
  uint8_t out[kModemSettingsSize];
  EncodeModemSettings(m, out);
  std::string img(reinterpret_cast<char*>(out), sizeof out);
  EXPECT_EQ(Field("AT&F", 31) + "O" + std::string(31, '\0') + "N", img);

  std::string garbage(64, 'Z');
  ModemSettings back;
  DecodeModemSettings(U8(garbage), garbage.size(), &back);
  EXPECT_EQ(30u, std::strlen(back.line[0].MODEM));
  EXPECT_EQ('Z', back.line[1].PRESENT);
}

TEST(PathImage, FourTextsOf81Bytes) {
  PathSettings p;
  std::memcpy(p.RECU, "C:\\RECU\\", 9);
  std::memcpy(p.FICLOG, "L\\", 3);
  uint8_t out[kPathSettingsSize];
  EncodePathSettings(p, out);
  std::string img(reinterpret_cast<char*>(out), sizeof out);
  EXPECT_EQ(Field("", 81) + Field("C:\\RECU\\", 81) + Field("", 81) + Field("L\\", 81), img);

  PathSettings back;
  DecodePathSettings(U8(img), 100, &back);  // short: TABLE and the start of RECU
  EXPECT_STREQ("", back.TABLE);
  EXPECT_STREQ("C:\\RECU\\", back.RECU);
  EXPECT_STREQ("", back.FICLOG);
}

TEST(FileOptionsImage, SixFlagsInFileOrder) {
  FileOptions o{'a', 'b', 'c', 'd', 'e', 'f'};
  uint8_t out[kFileOptionsSize];
  EncodeFileOptions(o, out);
  EXPECT_EQ("abcdef", std::string(reinterpret_cast<char*>(out), 6));
  FileOptions back{'N', 'N', 'N', 'N', 'N', 'N'};
  DecodeFileOptions(U8("OO"), 2, &back);
  EXPECT_EQ('O', back.SUP_TAB);
  EXPECT_EQ('O', back.APPEND);
  EXPECT_EQ('N', back.PORTABLE);
  EXPECT_EQ('N', back.DOS);
}

TEST(ScheduleImage, TimesHaveNoTerminatorAndFieldsSitAtTheirOffsets) {
  ScheduleSettings s;
  s.AVANT = 'N';
  std::memcpy(s.HEUREC, "12:34", 5);
  s.SELC = 'O';
  std::memcpy(s.PROGC, "C.BAT", 6);
  std::memcpy(s.HEURED, "9:3", 3);
  s.SELD = 'O';
  std::memcpy(s.PROGD, "D.BAT", 6);
  s.SELFIN = 'O';
  std::memcpy(s.PROGFIN, "FIN.BAT", 8);
  std::string img = ScheduleImageOf(s);
  ASSERT_EQ(401u, img.size());
  EXPECT_EQ(ScheduleImage('N', "12:34", 'O', "C.BAT", "9:3", 'O', "D.BAT", 'O', "FIN.BAT"), img);
  EXPECT_EQ('O', img[6]);
  EXPECT_EQ('D', img[142]);
  EXPECT_EQ('O', img[271]);
  EXPECT_EQ('F', img[272]);

  ScheduleSettings back;
  DecodeScheduleSettings(U8(img), img.size(), &back);
  EXPECT_EQ(img, ScheduleImageOf(back));
  EXPECT_EQ(0, std::memcmp(back.HEUREC, "12:34", 5));
}

TEST(SetDefaults, FillsEveryRecordAsANewFileHoldsIt) {
  TestStation ts;
  Station& st = ts.st;
  std::string z(401, 'Z');
  DecodeModemSettings(U8(z), 64, &st.Modems);
  DecodeScheduleSettings(U8(z), 401, &st.Schedule);
  std::memcpy(st.CurrentLanguage, "Espagnol", 9);
  ts.UseDefaultSettings();
  EXPECT_EQ(DefaultPortImage(), PortImage(st.Ports));
  uint8_t modem[kModemSettingsSize];
  EncodeModemSettings(st.Modems, modem);
  EXPECT_EQ(DefaultModemImage(), std::string(reinterpret_cast<char*>(modem), 64));
  EXPECT_EQ(DefaultScheduleImage(), ScheduleImageOf(st.Schedule));
  EXPECT_EQ('N', st.Options.SUP_TAB);
  EXPECT_EQ('N', st.Options.DOS);
  EXPECT_EQ(std::string("Francais", 9), std::string(st.CurrentLanguage, 9));
}

TEST(CopyField, CutsToTheWidthAndZeroesTheRest) {
  char f[6];
  std::memset(f, 'Z', sizeof f);
  CopyField(f, sizeof f, "ab");
  EXPECT_EQ(std::string("ab\0\0\0\0", 6), std::string(f, 6));
  CopyField(f, sizeof f, "abcdefghij");
  EXPECT_EQ(std::string("abcde\0", 6), std::string(f, 6));
  CopyField(f, sizeof f, "");
  EXPECT_EQ(std::string(6, '\0'), std::string(f, 6));
}

}  // namespace
}  // namespace kavelin2
