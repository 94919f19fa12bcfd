#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "exchange/download_fixture.h"
#include "exchange/supervision.h"

namespace kavelin2 {
namespace {

using ::testing::ElementsAre;

class SupervisionTest : public DownloadFixture {
 protected:
  // A download under way in state '6', with the table open.
  void DownloadUnderWay() {
    WriteFile("tables/TABLE.001", "A       .DAT 02 B\r\n");
    WriteFile("trans/A.DAT", "aabb");
    Stamp();
    Identify("001");
    Ack();
    Ack();
    Ack();
    Ack();
    ASSERT_EQ(kStateSendingData, L().LineState);
    Sent();
  }
  // An upload under way in state '1', writing recu/CDE.001.
  void UploadUnderWay() {
    Stamp();
    std::memcpy(L().HandheldId, "001", 4);
    L().LinePhase = kPhaseUpload;
    L().LineState = kStateReceiving;
    std::strcpy(L().RecvFilePath, "recu/CDE.001");
    WriteFile(L().RecvFilePath, "partial");
  }
  void Timeouts(int count) {
    for (int i = 0; i < count; ++i) {
      HandleTimeout(ts.st, ts.st.LineTable[0]);
    }
  }
};

TEST_F(SupervisionTest, TimeOutsInADownloadPromptWithEnqThenTheEleventhEndsTo) {
  DownloadUnderWay();
  for (int i = 1; i <= 10; ++i) {
    int32_t now = ts.clock.NowMs();
    EXPECT_EQ(Io::kOk, HandleTimeout(ts.st, ts.st.LineTable[0]));
    EXPECT_EQ(now + 3000, L().LineDeadline.ms());
    EXPECT_EQ(Byte(ENQ), Sent()) << i;
    EXPECT_EQ(kStateSendingData, L().LineState);
  }
  EXPECT_EQ(10u, Commands("AFFICHE, timeout,1=").size());
  EXPECT_EQ("AFFICHE, timeout,1=10", Commands("AFFICHE, timeout,1=").back());
  ts.ui->commands.clear();

  HandleTimeout(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ(Byte(EOT), Sent());
  EXPECT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(kPhaseNone, L().LinePhase);
  EXPECT_EQ(11, L().TimeoutCount);  // until the next byte arrives
  EXPECT_EQ(nullptr, L().DataFile);
  EXPECT_EQ(nullptr, L().TableFile);
  EXPECT_EQ("TO 001 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
  // The time-out state and phase first, then the end of LogResult, which
  // leaves TIMEOUT shown: "FIN" over it would read as a success.
  EXPECT_THAT(ts.ui->commands,
              ElementsAre("AFFICHE, PHASE,1=ATTENTE", "AFFICHE, ETAT,1=TIMEOUT",
                          "JOURNAL,Ligne 1, portable 001 : TO (11 time-out de suite), 0 s ; "
                          "recus : aucun ; envoyes : aucun",
                          "AFFICHE, TEMPS,1=00'00", "AFFICHE, RESULTAT,1=TO 11 time-out de suite",
                          "AFFICHE, PHASE,1=ATTENTE"));
  EXPECT_STREQ("TO", L().LastResult);
  EXPECT_STREQ("11 time-out de suite", L().LastReason);
  EXPECT_EQ(1, line.purges);
}

TEST_F(SupervisionTest, TimeOutsInUploadStatesSendNothingUntilTheEleventh) {
  for (char state : {kStateUploadOpen, kStateHeaderAccepted, kStateReceiving}) {
    UploadUnderWay();
    L().LineState = state;
    L().TimeoutCount = 0;
    Timeouts(10);
    EXPECT_EQ("", Sent()) << state;
    Timeouts(1);
    EXPECT_EQ(Byte(EOT), Sent());
    EXPECT_EQ(kStateIdle, L().LineState);
  }
  EXPECT_EQ(3 * 37u, ReadFile("STAT.TXT").size());
}

TEST_F(SupervisionTest, AfterAnAcceptedFileTheIdleStateIsPromptedWithEnq) {
  UploadUnderWay();
  L().LineState = kStateIdle;  // the file was accepted, the exchange goes on
  std::memset(L().RecvFilePath, 0, sizeof L().RecvFilePath);
  Timeouts(1);
  EXPECT_EQ(Byte(ENQ), Sent());
}

TEST_F(SupervisionTest, TimeOutEndDeletesThePartialUpload) {
  UploadUnderWay();
  L().TimeoutCount = 10;
  Timeouts(1);
  EXPECT_FALSE(FileExists("recu/CDE.001"));
  EXPECT_FALSE(FileExists("UNLINK.TXT"));
  EXPECT_STREQ("", L().RecvFilePath);
}

TEST_F(SupervisionTest, UndeletableFileIsListedAfterTwoSecondsOfRetries) {
  UploadUnderWay();
  // A non-empty directory in place of the file cannot be unlinked.
  std::strcpy(L().RecvFilePath, "recu/STUCK.001");
  ::mkdir("recu/STUCK.001", 0777);
  WriteFile("recu/STUCK.001/inner", "x");
  int64_t start = ts.clock.now();
  int64_t slept = ts.clock.slept();
  DiscardReceivedFile(ts.st, ts.st.LineTable[0]);
  EXPECT_GE(ts.clock.now() - start, 2000);
  EXPECT_LE(ts.clock.now() - start, 2100);
  EXPECT_EQ(ts.clock.now() - start, ts.clock.slept() - slept);  // waits on the clock
  std::string expected =
      "001 1 06/12/26 09:15:02 recu/STUCK.001" + std::string(92 - 14, '\0') + "\r\n";
  EXPECT_EQ(expected, ReadFile("UNLINK.TXT"));
  EXPECT_STREQ("recu/STUCK.001", L().RecvFilePath);  // LogResult empties it, not this
  DiscardReceivedFile(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ(2 * 118u, ReadFile("UNLINK.TXT").size());
}

TEST_F(SupervisionTest, DeletionRetriesKeepTheirTwoSecondsAcrossTheClockWrap) {
  UploadUnderWay();
  std::strcpy(L().RecvFilePath, "recu/STUCK.001");
  ::mkdir("recu/STUCK.001", 0777);
  WriteFile("recu/STUCK.001/inner", "x");
  ts.clock.Advance(int64_t{2147483647} - 1000 - ts.clock.now());  // wraps in one second
  int64_t start = ts.clock.now();
  DiscardReceivedFile(ts.st, ts.st.LineTable[0]);
  EXPECT_GE(ts.clock.now() - start, 2000);
  EXPECT_LE(ts.clock.now() - start, 2100);
  EXPECT_EQ(118u, ReadFile("UNLINK.TXT").size());
  // The time-out deadline wraps the same way.
  HandleTimeout(ts.st, ts.st.LineTable[0]);
  EXPECT_TRUE(L().LineDeadline.PassedAt(ts.clock.NowMs() + 3001));
  EXPECT_FALSE(L().LineDeadline.PassedAt(ts.clock.NowMs() + 3000));
}

TEST_F(SupervisionTest, FileAlreadyGoneNeedsNoRetryAndNoRecord) {
  UploadUnderWay();
  std::strcpy(L().RecvFilePath, "recu/NEVER.001");
  int64_t start = ts.clock.now();
  DiscardReceivedFile(ts.st, ts.st.LineTable[0]);
  EXPECT_EQ(start, ts.clock.now());
  EXPECT_FALSE(FileExists("UNLINK.TXT"));
}

TEST_F(SupervisionTest, NothingToDiscardWithoutAReceivedFile) {
  int64_t start = ts.clock.now();
  DiscardReceivedFile(ts.st, ts.st.LineTable[0]);
  EXPECT_FALSE(FileExists("UNLINK.TXT"));
  EXPECT_EQ(start, ts.clock.now());
}

TEST_F(SupervisionTest, AbortShowsErrorThenPhaseAndDeletesThePartialFile) {
  UploadUnderWay();
  AbortWithError(ts.st, ts.st.LineTable[0], FailWhy::kRejectedFile);
  EXPECT_EQ(Byte(EOT), Sent());
  EXPECT_FALSE(FileExists("recu/CDE.001"));
  EXPECT_EQ("ER 001 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
  EXPECT_THAT(ts.ui->commands,
              ElementsAre("AFFICHE, ETAT,1=ERREUR", "AFFICHE, PHASE,1=ATTENTE",
                          "JOURNAL,Ligne 1, portable 001 : ER (fichier recu rejete (taille ou "
                          "disque)), 0 s ; recus : aucun ; envoyes : aucun",
                          "AFFICHE, TEMPS,1=00'00",
                          "AFFICHE, RESULTAT,1=ER fichier recu rejete (taille ou disque)",
                          "AFFICHE, PHASE,1=ATTENTE"));
}

TEST_F(SupervisionTest, EndingsSpeakEveryLanguage) {
  std::strcpy(ts.st.CurrentLanguage, "Anglais");
  UploadUnderWay();
  AbortWithError(ts.st, ts.st.LineTable[0], FailWhy::kRejectedFile);
  EXPECT_THAT(ts.ui->commands,
              ElementsAre("AFFICHE, ETAT,1=ERROR", "AFFICHE, PHASE,1=WAITING",
                          "JOURNAL,Line 1, handheld 001: ER (received file rejected (size or "
                          "disk)), 0 s; received: none; sent: none",
                          "AFFICHE, TEMPS,1=00'00",
                          "AFFICHE, RESULTAT,1=ER received file rejected (size or disk)",
                          "AFFICHE, PHASE,1=WAITING"));
  ts.ui->commands.clear();
  std::strcpy(ts.st.CurrentLanguage, "Espagnol");
  UploadUnderWay();
  L().TimeoutCount = 10;
  Timeouts(1);
  EXPECT_THAT(ts.ui->commands,
              ElementsAre("AFFICHE, PHASE,1=ESPERA", "AFFICHE, ETAT,1=TIMEOUT",
                          "JOURNAL,Linea 1, portatil 001: TO (11 time-out seguidos), 0 s; "
                          "recibidos: ninguno; enviados: ninguno",
                          "AFFICHE, TEMPS,1=00'00", "AFFICHE, RESULTAT,1=TO 11 time-out seguidos",
                          "AFFICHE, PHASE,1=ESPERA"));
  ts.ui->commands.clear();
  std::strcpy(ts.st.CurrentLanguage, "Espagnol");
  UploadUnderWay();
  AbortWithError(ts.st, ts.st.LineTable[0], FailWhy::kRejectedFile);
  EXPECT_EQ("AFFICHE, ETAT,1=ERROR", ts.ui->commands.front());
  ts.ui->commands.clear();
  std::strcpy(ts.st.CurrentLanguage, "");
  UploadUnderWay();
  AbortWithError(ts.st, ts.st.LineTable[0], FailWhy::kRejectedFile);
  // No localized display; the log still says what happened, in English.
  EXPECT_THAT(ts.ui->commands,
              ElementsAre("JOURNAL,Line 1, handheld 001: ER (received file rejected (size or "
                          "disk)), 0 s; received: none; sent: none",
                          "AFFICHE, TEMPS,1=00'00",
                          "AFFICHE, RESULTAT,1=ER received file rejected (size or disk)"));
}

TEST_F(SupervisionTest, FailedExchangeDeletesItsOwnTableOnlyWithBothOptions) {
  ts.st.Options.SUP_TAB = 'O';
  ts.st.Options.PORTABLE = 'O';
  DownloadUnderWay();
  Timeouts(11);
  EXPECT_FALSE(FileExists("tables/TABLE.001"));
  EXPECT_FALSE(L().ReachedDownloadStart);

  ts.st.Options.PORTABLE = 'N';
  DownloadUnderWay();
  Timeouts(11);
  EXPECT_TRUE(FileExists("tables/TABLE.001"));

  ts.st.Options.PORTABLE = 'O';
  ts.st.Options.SUP_TAB = 'N';
  DownloadUnderWay();
  for (int i = 0; i < 11; ++i) Nak();
  EXPECT_TRUE(FileExists("tables/TABLE.001"));

  ts.st.Options.SUP_TAB = 'O';
  DownloadUnderWay();
  for (int i = 0; i < 11; ++i) Nak();
  EXPECT_FALSE(FileExists("tables/TABLE.001"));
}

TEST_F(SupervisionTest, RefusalsOfAnEndedExchangeDoNotCountInTheNext) {
  DownloadUnderWay();
  for (int i = 0; i < 11; ++i) Nak();
  ASSERT_EQ(kStateIdle, L().LineState);

  // The next exchange on the line: the handheld refuses its ENQ before any ACK.
  Stamp();
  Identify("001");
  ASSERT_EQ(Byte(ACK) + Byte(ENQ), Sent());
  for (int i = 1; i <= 10; ++i) EXPECT_EQ(Byte(ENQ), Nak()) << i;
  EXPECT_EQ(kStateNextEntry, L().LineState);
  EXPECT_EQ(Byte(EOT), Nak());

  // Refusals followed by silence do not shorten the next exchange either.
  DownloadUnderWay();
  for (int i = 0; i < 5; ++i) Nak();
  Timeouts(11);
  ASSERT_EQ(kStateIdle, L().LineState);
  EXPECT_EQ(0, L().NakCount);
}

TEST_F(SupervisionTest, ExchangeThatNeverReachedItsDownloadLeavesAnEarlierTable) {
  ts.st.Options.SUP_TAB = 'O';
  ts.st.Options.PORTABLE = 'O';
  Identify("001");  // an earlier exchange: no table, ends well
  AckToTheEnd();
  ASSERT_STREQ("tables/TABLE.001", L().TablePath);
  WriteFile("tables/TABLE.001", "written anew for the next handheld 001\r\n");

  UploadUnderWay();
  L().TimeoutCount = 10;
  Timeouts(1);
  EXPECT_TRUE(FileExists("tables/TABLE.001"));
  UploadUnderWay();
  AbortWithError(ts.st, ts.st.LineTable[0], FailWhy::kRejectedFile);
  EXPECT_TRUE(FileExists("tables/TABLE.001"));
}

TEST_F(SupervisionTest, BadIdentificationThenSilenceLogsUnknownHandheld) {
  line.ArriveNow(std::string("001") + '\x7f');
  StartDownload(ts.st, ts.st.LineTable[0]);
  Stamp();  // the dispatcher stamps after the download start
  ASSERT_EQ(Byte(NAK), Sent());
  Timeouts(11);
  EXPECT_EQ("TO ??? 1 06/12/26 09:15:02 00.00'00\r\n", ReadFile("STAT.TXT"));
}

TEST_F(SupervisionTest, EndProgramIsRequestedAfterEveryResultWhenSelected) {
  Stamp();
  EndExchange(ts.st, ts.st.LineTable[0], ExchangeResult::kOk);
  EXPECT_EQ(0, ts.st.PendingProgram);
  ts.st.Schedule.SELFIN = 'O';
  UploadUnderWay();
  L().TimeoutCount = 10;
  Timeouts(1);
  EXPECT_EQ(1, ts.st.PendingProgram);
}

class LogResultTest : public DownloadFixture {};

TEST_F(LogResultTest, ElapsedTimeGoesToTheRecordAndMinutesAndSecondsToTheScreen) {
  Stamp();
  std::memcpy(L().HandheldId, "A01", 4);
  ts.clock.Advance(3725 * 1000);
  EndExchange(ts.st, ts.st.LineTable[0], ExchangeResult::kOk);
  EXPECT_EQ("OK A01 1 06/12/26 09:15:02 01.02'05\r\n", ReadFile("STAT.TXT"));
  EXPECT_THAT(Commands("AFFICHE, TEMPS,1="), ElementsAre("AFFICHE, TEMPS,1=02'05"));
}

TEST_F(LogResultTest, ReturnsTheLineToIdleAndAppendsOneRecordPerExchange) {
  for (int i = 0; i < 3; ++i) {
    Stamp();
    std::memcpy(L().HandheldId, "A01", 4);
    std::strcpy(L().RecvFilePath, "recu/X");
    L().LineState = kStateTableDone;
    L().LinePhase = kPhaseDownload;
    L().EnqCount = 5;
    L().ReachedDownloadStart = true;
    line.ArriveNow("late bytes");
    EndExchange(ts.st, ts.st.LineTable[0], static_cast<ExchangeResult>(i));
    EXPECT_EQ(37u * (i + 1), ReadFile("STAT.TXT").size());
    EXPECT_EQ(kStateIdle, L().LineState);
    EXPECT_EQ(kPhaseNone, L().LinePhase);
    EXPECT_STREQ("???", L().HandheldId);
    EXPECT_EQ(0, L().ExchangeDate[0]);
    EXPECT_EQ(0, L().ExchangeTime[0]);
    EXPECT_EQ(0, L().RecvFilePath[0]);
    EXPECT_EQ(0, L().EnqCount);
    EXPECT_FALSE(L().ReachedDownloadStart);
    EXPECT_TRUE(line.queue().empty());  // what came after the end is dropped
  }
  EXPECT_EQ("TO", ReadFile("STAT.TXT").substr(37, 2));
  EXPECT_EQ("ER", ReadFile("STAT.TXT").substr(74, 2));
}

TEST_F(LogResultTest, LineTwoWritesItsNumber) {
  StampExchange(ts.st, ts.st.LineTable[1]);
  EndExchange(ts.st, ts.st.LineTable[1], ExchangeResult::kError);
  std::string rec = ReadFile("STAT.TXT");
  ASSERT_EQ(37u, rec.size());
  EXPECT_EQ("ER", rec.substr(0, 2));
  EXPECT_EQ('2', rec[7]);
  EXPECT_FALSE(Commands("AFFICHE, PHASE,2=ATTENTE").empty());
  EXPECT_STREQ("ER", ts.st.LineTable[1].LastResult);
}

}  // namespace
}  // namespace kavelin2
