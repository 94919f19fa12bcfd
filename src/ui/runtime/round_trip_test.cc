// The station's channel and the real runtime library, loaded from beside the
// test program the way the station loads it.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "ui/ui_channel.h"

namespace kavelin2 {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kavelin2-roundtrip-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    unsetenv("KAVELIN2_UI_LIBRARY");
    unsetenv("KAVELIN2_UI");
    unsetenv("KAVELIN2_UI_TRANSCRIPT");
  }
  void TearDown() override {
    unsetenv("KAVELIN2_UI");
    unsetenv("KAVELIN2_UI_TRANSCRIPT");
    for (const char* f : {"/script.txt", "/transcript.txt"}) std::remove((dir_ + f).c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
};

TEST_F(RoundTrip, PortDialogThroughTheRuntimeLibrary) {
  std::ofstream(dir_ + "/script.txt") << "# user validates after choosing port 3\n"
                                         "ECRAN, SAISIE\t*V*\n";
  setenv("KAVELIN2_UI", ("script:" + dir_ + "/script.txt").c_str(), 1);
  setenv("KAVELIN2_UI_TRANSCRIPT", (dir_ + "/transcript.txt").c_str(), 1);

  UiChannel ui(NewDynamicUiRuntimeLink());
  ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
  EXPECT_TRUE(ui.link().IsLoaded());
  EXPECT_EQ(ui.UiReply.initialised, 1);
  ui.UiCall("OUVRE,SERIE.WDW");
  ui.UiCall("AFFICHE, ACTIVE%d,=%c", 1, 'O');
  ui.UiCall("AFFICHE, PORT%d,=%d", 1, 3);
  ui.UiCall("AFFICHE, VITESSE%d,=%d", 1, 2);
  ui.UiCall("ECRAN, SAISIE");
  ASSERT_STREQ(ui.UiReply.status, "*V*");
  ui.UiCall("ECRAN,RECUPERE,ACTIVE%d", 1);
  EXPECT_EQ(ui.UiReply.text[0], 'O');
  ui.UiCall("ECRAN,RECUPERE,PORT%d", 1);
  EXPECT_STREQ(ui.UiReply.text, "COM3");
  ui.UiCall("ECRAN,RECUPERE,VITESSE%d", 1);
  EXPECT_EQ(ui.UiReply.intValue, 2);
  EXPECT_STREQ(ui.UiReply.status, "*V*");
  ui.SetStatus("???");
  ui.UiCall("FERME");
  // Script used up: the headless answers.
  ui.UiCall("OUVRE,MENU.WDW");
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "ESC");
  testing::internal::CaptureStdout();
  ui.UiCall("OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?");
  std::string logged = testing::internal::GetCapturedStdout();
  EXPECT_EQ(ui.UiReply.intValue, 1);
  EXPECT_NE(logged.find("OUINON Etes vous sur de vouloir quitter KAVELIN2 ? -> OUI"),
            std::string::npos);
  ui.UiCall("FERME");
  ui.UiShutdown();
  EXPECT_FALSE(ui.link().IsLoaded());

  EXPECT_EQ(Slurp(dir_ + "/transcript.txt"),
            "BIBLI,DISQUE,KAVELIN2.WDL\n"
            "OUVRE,SERIE.WDW\n"
            "AFFICHE, ACTIVE1,=O\n"
            "AFFICHE, PORT1,=3\n"
            "AFFICHE, VITESSE1,=2\n"
            "ECRAN, SAISIE\n"
            "ECRAN,RECUPERE,ACTIVE1\n"
            "ECRAN,RECUPERE,PORT1\n"
            "ECRAN,RECUPERE,VITESSE1\n"
            "FERME\n"
            "OUVRE,MENU.WDW\n"
            "ECRAN, SAISIE\n"
            "OUINON, Etes vous sur de vouloir quitter KAVELIN2 ?\n"
            "FERME\n");
}

TEST_F(RoundTrip, SigtermStopsOnLineModeThroughTheLibrary) {
  setenv("KAVELIN2_UI", "headless", 1);
  UiChannel ui(NewDynamicUiRuntimeLink());
  testing::internal::CaptureStdout();
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "*N*");
  ASSERT_EQ(std::raise(SIGTERM), 0);
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "*P*");
  ui.UiShutdown();
  std::string logged = testing::internal::GetCapturedStdout();
  EXPECT_NE(logged.find("arrêté sur SIGTERM"), std::string::npos) << logged;
  // The instance is gone, and with it its handlers.
  struct sigaction now = {};
  ASSERT_EQ(sigaction(SIGTERM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, SIG_DFL);
}

TEST_F(RoundTrip, ARestartedInstanceStartsFromAnEmptyScreen) {
  UiChannel ui(NewDynamicUiRuntimeLink());
  ui.UiCall("OUVRE,MODEM.WDW");
  ui.UiCall("AFFICHE, MODEM1,=ATX");
  ui.UiShutdown();
  ui.UiCall("ECRAN,RECUPERE,MODEM1");
  EXPECT_EQ(ui.UiReply.initialised, 1);
  EXPECT_STREQ(ui.UiReply.text, "");
  ui.UiShutdown();
}

TEST_F(RoundTrip, AnUnknownFrontEndIsReportedAndHeadlessServes) {
  setenv("KAVELIN2_UI", "window", 1);
  UiChannel ui(NewDynamicUiRuntimeLink());
  testing::internal::CaptureStderr();
  ui.UiCall("OUVRE,KAVELIN2.WDW");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("KAVELIN2_UI=window"), std::string::npos);
  EXPECT_EQ(ui.UiReply.initialised, 1);
  ui.UiCall("ECRAN,SAISIE/NONBLOCANTE");
  EXPECT_STREQ(ui.UiReply.status, "*N*");
  ui.UiShutdown();
}

TEST(RuntimeLibrary, ExportsOnlyItsFiveEntryPoints) {
  void* lib = dlopen(KAVELIN2_BUILD_DIR "/libkavelin2ui.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char* name :
       {"WDInitInstance", "FinInstance", "WDCALLC", "AffTexteLongC", "WSIPPARTAGE"})
    EXPECT_NE(dlsym(lib, name), nullptr) << name;
  for (const char* name :
       {"_ZN8kavelin210ClearReplyEPh", "_ZN8kavelin24uirt19NewHeadlessFrontEndEv",
        "_ZN8kavelin24uirt13WindowLibraryEv"})
    EXPECT_EQ(dlsym(lib, name), nullptr) << name;
  dlclose(lib);
}

}  // namespace
}  // namespace kavelin2
