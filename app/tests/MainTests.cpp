#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>

#include "About.h"
#include "AppImages.h"
#include "AppMonitor.h"
#include "SettingsKeys.h"
#include "VirtualStringTree.h"
#include "ReportOptions.h"
#include "appTestSupport.h"
#include "splConstants.h"
#include "splCupsSpooler.h"
#include "splPrivateCupsd.h"
#include "uiApplication.h"

namespace {

JobInfo2 SampleJob(const std::string& document) {
  TSpoolingJobShape shape;
  shape.MachineName = "\\\\DESK7";
  shape.TotalPages = 3;
  shape.Size = 2048;
  return SpoolingJob(document, shape);
}

bool HasSetting(const std::string& name) {
  TMorvaneRegistry registry;
  return registry.OpenKeyReadOnly(GetSettingsKey()) && registry.ValueExists(name);
}

}  // namespace

TEST_F(AppTest, DiscoveryFillsTheTreeWithServersAndPrintersInOrderWithTheirTextsAndImages) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  const std::string ink = AddPrinter(Local, UniqueQueue("Ink"));
  spooler->AddServer("\\\\SRV2");
  const std::string remote = AddPrinter("\\\\SRV2", UniqueQueue("Far"));
  spooler->SetDefaultPrinter(ink);

  StartForm({laser, ink});
  ASSERT_EQ(ChildTexts(nullptr), std::vector<std::string>{Local});
  // A server typed without its "\\" is looked for upper-cased.
  typedServer = "srv2";
  form->AddServer1Click();
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(remote) != nullptr; }));

  EXPECT_EQ(ChildTexts(nullptr), (std::vector<std::string>{Local, "\\\\SRV2"}));
  PVirtualNode local = form->FindServerNode(Local);
  EXPECT_EQ(ChildTexts(local), (std::vector<std::string>{laser, ink}));
  EXPECT_EQ(ChildTexts(form->FindServerNode("\\\\SRV2")), std::vector<std::string>{remote});
  EXPECT_EQ(ImageOf(local), 0);
  EXPECT_EQ(ImageOf(form->FindPrinterNode(laser)), 2);
  EXPECT_EQ(ImageOf(form->FindPrinterNode(ink)), 4) << "the default printer";
  EXPECT_TRUE(form->TreeRecord(form->FindPrinterNode(ink))->IsDefault);
  EXPECT_EQ(form->FindPrinterNode(laser)->CheckState, csCheckedNormal) << "every monitored printer is recorded";

  // Adding a server that is watched already does nothing.
  const uint32_t roots = form->Tree->RootNodeCount();
  form->AddServer1Click();
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(form->Tree->RootNodeCount(), roots);
}

TEST_F(AppTest, TheNamesAndImagesOfPrinterRecordsFollowTheirAttributes) {
  PrinterInfo2 printer;
  printer.PrinterName = "\\\\SRV\\Laser";
  printer.DriverName = "\\\\SRV\\LocalName";
  EXPECT_EQ(TreePrinterName(printer, "\\\\SRV"), "\\\\SRV\\Laser");
  EXPECT_EQ(ListPrinterName(printer, "\\\\SRV"), "Laser on SRV");
  EXPECT_EQ(ListPrinterName(printer, "\\\\OTHER"), "Laser on SRV");
  printer.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  printer.DriverName = "Local Raw Printer";
  EXPECT_EQ(TreePrinterName(printer, "\\\\SRV"), "Laser") << "a local queue by the name lp -d takes";
  EXPECT_EQ(ListPrinterName(printer, "\\\\SRV"), "Laser");

  TPrinterRecord record;
  EXPECT_EQ(PrinterImageIndex(record, false, 3), 2);
  EXPECT_EQ(PrinterImageIndex(record, true, 3), 29);
  record.IsDefault = true;
  EXPECT_EQ(PrinterImageIndex(record, true, 0), 31);
  record.IsLocal = true;
  EXPECT_EQ(PrinterImageIndex(record, false, 0), 10);
  EXPECT_EQ(PrinterImageIndex(record, true, 4), 10);
  record.IsShared = true;
  EXPECT_EQ(PrinterImageIndex(record, false, 0), 5);
  EXPECT_EQ(PrinterImageIndex(record, true, 1), 17);
  record.IsDefault = false;
  EXPECT_EQ(PrinterImageIndex(record, false, 0), 3);
  EXPECT_EQ(PrinterImageIndex(record, true, 0), 21);
  record.IsShared = false;
  EXPECT_EQ(PrinterImageIndex(record, false, 0), 1);
  EXPECT_EQ(PrinterImageIndex(record, true, 2), 13);
}

TEST_F(AppTest, ThePrinterViewAndTheJobViewShowTheirColumnsAndTextsAndAJobPrintedAppearsLive) {
  const std::string queue = UniqueQueue("Laser");
  const std::string laser = AddPrinter(Local, queue);
  StartForm({laser});

  form->Tree->SetFocusedNode(form->FindServerNode(Local));
  ASSERT_EQ(form->ListView(), TListView::Printers);
  TVirtualTreeColumns& columns = form->TreeList->Header().Columns();
  ASSERT_EQ(columns.Count(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(columns.Items(i).Text(), PrinterColumnTitles[i]);
    EXPECT_GE(columns.Items(i).Width(), PrinterColumnDefaults[i]) << "the design's width, scaled to a wider font";
  }
  EXPECT_EQ(ListText(0, 0), queue + " on " + Local.substr(2));
  EXPECT_EQ(ListText(0, 1), "0");
  EXPECT_EQ(ListText(0, 3), "Generic Driver");
  EXPECT_EQ(ListText(0, 4), "Floor 2");
  EXPECT_EQ(ListText(0, 5), "by the stairs");
  EXPECT_EQ(ListText(0, 6), "LPT1:");
  EXPECT_EQ(form->windowTitle().toStdString(), "Orvelle - [ " + Local + " ]");

  form->Tree->SetFocusedNode(form->FindPrinterNode(laser));
  ASSERT_EQ(form->ListView(), TListView::Jobs);
  ASSERT_EQ(columns.Count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(columns.Items(i).Text(), JobColumnTitles[i]);
  EXPECT_EQ(form->TreeList->RootNodeCount(), 0u) << "the list is cleared at once";
  EXPECT_EQ(form->windowTitle().toStdString(), "Orvelle - [ " + laser + " ]");

  spooler->SubmitJob(laser, SampleJob("budget.xls"));
  ASSERT_TRUE(PumpUntil([&] { return form->TreeList->RootNodeCount() == 1; }));
  EXPECT_EQ(ListText(0, 0), "budget.xls");
  EXPECT_EQ(ListText(0, 2), "anna");
  EXPECT_NE(ImageOf(form->FindPrinterNode(laser)), 2) << "a printer with jobs is animated";
}

TEST_F(AppTest, ExclusionsKeepADeletedPrinterAndServerOutAcrossARestart) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  const std::string ink = AddPrinter(Local, UniqueQueue("Ink"));
  spooler->AddServer("\\\\SRV3");
  const std::string far = AddPrinter("\\\\SRV3", UniqueQueue("Far"));
  StartForm({laser, ink});
  typedServer = "\\\\SRV3";
  form->AddServer1Click();
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(far) != nullptr; }));
  WaitWatched(far);

  form->Tree->SetFocusedNode(form->FindPrinterNode(laser));
  form->DeletePrinter1Click();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].Text, "Are you sure you want to cancel monitoring the highlighted printer?");
  EXPECT_TRUE(HasSetting(laser));
  EXPECT_EQ(form->FindPrinterNode(laser), nullptr);
  EXPECT_EQ(form->Tree->FocusedNode(), form->FindPrinterNode(ink)) << "the next printer takes the focus";

  form->Tree->SetFocusedNode(form->FindServerNode("\\\\SRV3"));
  form->DeleteServer1Click();
  EXPECT_TRUE(HasSetting("\\\\SRV3"));
  ASSERT_TRUE(PumpUntil([&] { return form->FindServerNode("\\\\SRV3") == nullptr; }));

  // A refusal changes nothing.
  answer = mrNo;
  form->Tree->SetFocusedNode(form->FindPrinterNode(ink));
  form->DeletePrinter1Click();
  EXPECT_NE(form->FindPrinterNode(ink), nullptr);

  CloseForm();
  StartForm({ink});
  EXPECT_EQ(ChildTexts(form->FindServerNode(Local)), std::vector<std::string>{ink});
  typedServer = "\\\\SRV3";
  form->AddServer1Click();
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(form->FindServerNode("\\\\SRV3"), nullptr);
}

std::string AlertTexts() {
  std::string texts;
  for (int i = 0; i < MainForm()->lvAlerts->topLevelItemCount(); ++i)
    texts += MainForm()->lvAlerts->topLevelItem(i)->text(2).toStdString() + "\n";
  return texts;
}

TEST_F(AppTest, AlertsAppearOnTheAlertsPageAndAFailedOpenOfAServerIsOne) {
  spooler->AddServer("\\\\SRV4");
  AddPrinter("\\\\SRV4", UniqueQueue("Shut"));
  spooler->FailCall(SpoolCall::OpenPrinter, 5, 100);
  StartForm({});
  typedServer = "\\\\SRV4";
  form->AddServer1Click();
  ASSERT_TRUE(PumpUntil([&] {
    for (int i = 0; i < form->lvAlerts->topLevelItemCount(); ++i)
      if (form->lvAlerts->topLevelItem(i)->text(2).contains("denied", Qt::CaseInsensitive)) return true;
    return false;
  })) << AlertTexts();
  const int before = form->lvAlerts->topLevelItemCount();
  GetAlerter()->Add(std::make_unique<EAlertWarning>("Toner is low"));
  ASSERT_TRUE(PumpUntil([&] { return form->lvAlerts->topLevelItemCount() == before + 1; }));
  QTreeWidgetItem* row = form->lvAlerts->topLevelItem(before);
  EXPECT_EQ(row->text(1).toStdString(), "Warning");
  EXPECT_TRUE(row->text(2).contains("Toner is low")) << row->text(2).toStdString();
  EXPECT_EQ(form->lvAlerts->headerItem()->text(0).toStdString(), "Date-time");
  ASSERT_FALSE(asked.empty()) << "adding a server that fails says so on screen";
  EXPECT_TRUE(asked.back().Text.find("denied") != std::string::npos) << asked.back().Text;
  const QFontMetrics alertFont(form->lvAlerts->font());
  EXPECT_LE(alertFont.horizontalAdvance(row->text(0)), form->lvAlerts->columnWidth(0)) << "the time stamp shows whole";
  EXPECT_LE(alertFont.horizontalAdvance(QString(AlertSeverityWords[3])), form->lvAlerts->columnWidth(1));
}

TEST_F(AppTest, SettingsAreWrittenAtExitAndReadAtStart) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  StartForm({laser});
  form->setGeometry(40, 50, 700, 380);
  form->Tree->SetFocusedNode(form->FindPrinterNode(laser));
  form->TreeList->Header().Columns().Items(2).SetWidth(99);
  form->lvAlerts->setColumnWidth(1, 88);
  CloseForm();

  TMorvaneRegistry registry;
  ASSERT_TRUE(registry.OpenKeyReadOnly(GetSettingsKey()));
  EXPECT_EQ(registry.ReadInteger("Width"), 700);
  EXPECT_EQ(registry.ReadInteger("Height"), 380);
  EXPECT_EQ(registry.ReadInteger("TreeListColumn2"), 99);
  EXPECT_GE(registry.ReadInteger("TreeColumn0"), PrinterColumnDefaults[0]);
  EXPECT_EQ(registry.ReadInteger("AlertsColumn1"), 88);
  EXPECT_EQ(registry.ReadString("DataPath"), DataPath);
  EXPECT_EQ(registry.ReadInteger("HintDelay"), DefaultHintPause);
  {
    TMorvaneRegistry writer;
    ASSERT_TRUE(writer.OpenKey(GetSettingsKey(), false));
    writer.WriteInteger("HintDelay", 120);
  }

  StartForm({laser});
  EXPECT_EQ(HintPause(), 120) << "the stored hint delay is the application's hint pause";
  EXPECT_EQ(form->width(), 700);
  EXPECT_EQ(form->lvAlerts->columnWidth(1), 88);
  form->Tree->SetFocusedNode(form->FindPrinterNode(laser));
  EXPECT_EQ(form->TreeList->Header().Columns().Items(2).Width(), 99);
}

TEST_F(AppTest, ShutdownWithJobsInFlightEndsEveryThreadWithinItsBoundAndOnlyOnce) {
  std::vector<std::string> printers;
  for (int i = 0; i < 3; ++i) printers.push_back(AddPrinter(Local, UniqueQueue("Busy")));
  StartForm(printers);
  for (const std::string& printer : printers)
    for (int j = 0; j < 5; ++j) spooler->SubmitJob(printer, SampleJob("doc" + std::to_string(j)));
  const auto start = std::chrono::steady_clock::now();
  form->ShutdownMonitoring();
  EXPECT_EQ(RunningThreads().GetValue(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::duration<double>(PrinterStopLimitDays * 86400));
  EXPECT_TRUE(form->ShuttingDown());
  // A second call (window closed hidden after Exit) does nothing more.
  form->ShutdownMonitoring();
  form->close();
  EXPECT_EQ(form->Tree->RootNodeCount(), 0u) << "every thread handed its node back";
}

TEST_F(AppTest, ClosingTheWindowHidesItOnlyWhereATrayCanBringItBack) {
  const auto systemTray = TOrvelle_MainForm::SystemTrayAvailable;
  for (const bool trayAvailable : {true, false}) {
    SCOPED_TRACE(trayAvailable ? "with a tray" : "without a tray");
    TOrvelle_MainForm::SystemTrayAvailable = [&] { return trayAvailable; };
    StartForm({});
    form->show();
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ShuttingDown(), !trayAvailable) << "an unreachable process must never be left running";
    if (trayAvailable) {
      form->Restore1Click();
      EXPECT_TRUE(form->isVisible());
    }
    CloseForm();
  }
  TOrvelle_MainForm::SystemTrayAvailable = systemTray;
}

TEST_F(AppTest, TheReportsButtonShowsTheReportOptionsAndThePagesHaveTheirCaptions) {
  StartForm({});
  std::string shown;
  SetReportOptionsRunner([&shown](TReportOptions& options) {
    shown = options.windowTitle().toStdString();
    return QDialog::Rejected;
  });
  form->btnPreviewClick();
  SetReportOptionsRunner(nullptr);
  EXPECT_EQ(shown, "Report Options");
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(form->pages->tabText(0).toStdString(), "Printers");
  EXPECT_EQ(form->pages->tabText(1).toStdString(), "Print Activity");
  EXPECT_EQ(form->pages->tabText(2).toStdString(), "Alerts");
}

TEST_F(AppTest, APrinterThatCannotBeOpenedShiftsNoOtherPrinterInTheTreeOrTheList) {
  const std::string first = AddPrinter(Local, UniqueQueue("First"));
  PrinterInfo2 closed;
  closed.PrinterName = Local + "\\" + UniqueQueue("Closed");
  spooler->AddPrinter(closed, 0);
  const std::string last = AddPrinter(Local, UniqueQueue("Last"));
  StartForm({first, last});
  EXPECT_EQ(ChildTexts(form->FindServerNode(Local)), (std::vector<std::string>{first, last}));
  EXPECT_EQ(form->FindPrinterNode(closed.PrinterName), nullptr);

  form->Tree->SetFocusedNode(form->FindServerNode(Local));
  ASSERT_EQ(form->TreeList->RootNodeCount(), 2u);
  EXPECT_EQ(ListText(1, 0), last.substr(Local.size() + 1) + " on " + Local.substr(2));

  form->Tree->SetFocusedNode(form->FindPrinterNode(last));
  spooler->SubmitJob(last, SampleJob("for the last one"));
  ASSERT_TRUE(PumpUntil([&] { return form->TreeList->RootNodeCount() == 1; }));
  EXPECT_EQ(ListText(0, 0), "for the last one");
  EXPECT_EQ(form->windowTitle().toStdString(), "Orvelle - [ " + last + " ]");
}

TEST_F(AppTest, ThePopupMenuOffersWhatTheFocusedNodeAllows) {
  const std::string laser = AddPrinter(Local, UniqueQueue("Laser"));
  const std::string ink = AddPrinter(Local, UniqueQueue("Ink"));
  spooler->SetDefaultPrinter(ink);
  StartForm({laser, ink});
  form->Tree->SetFocusedNode(form->FindPrinterNode(ink));
  form->TreeMenuPopup();
  EXPECT_FALSE(form->popDefault->isEnabled()) << "the default printer already";
  EXPECT_TRUE(form->popDeletePrinter->isEnabled());
  EXPECT_TRUE(form->DeleteServer1->isEnabled());

  // A right click focuses the printer it lands on, so the menu acts on it.
  const TRect laserRow = form->Tree->GetDisplayRect(form->FindPrinterNode(laser), -1, true);
  form->Tree->HandleMouseDown((laserRow.Left + laserRow.Right) / 2, (laserRow.Top + laserRow.Bottom) / 2, Qt::RightButton,
                              Qt::NoModifier);
  EXPECT_EQ(form->Tree->FocusedNode(), form->FindPrinterNode(laser));
  form->TreeMenuPopup();
  EXPECT_TRUE(form->Default1->isEnabled());
  form->Default1Click();
  EXPECT_EQ(form->DefaultPrinterName(), laser);
  EXPECT_TRUE(form->TreeRecord(form->FindPrinterNode(laser))->IsDefault);
  EXPECT_FALSE(form->TreeRecord(form->FindPrinterNode(ink))->IsDefault);

  form->Tree->SetFocusedNode(form->FindServerNode(Local));
  form->TreeMenuPopup();
  EXPECT_FALSE(form->popDeletePrinter->isEnabled());
  EXPECT_FALSE(form->popDefault->isEnabled());
  EXPECT_TRUE(form->popDeleteServer->isEnabled());
}

TEST_F(AppTest, AServerThatCannotBeReachedIsNamedInTheAlertAndOnScreen) {
  spooler->AddServer("\\\\SRV5");
  AddPrinter("\\\\SRV5", UniqueQueue("Far"));
  spooler->FailCall(SpoolCall::EnumPrinters, RPC_S_SERVER_UNAVAILABLE, 100);
  StartForm({});
  typedServer = "\\\\SRV5";
  form->AddServer1Click();
  const std::string sentence = "Print server \"\\\\SRV5\" cannot be reached: ";
  ASSERT_TRUE(PumpUntil([&] { return !asked.empty() && asked.back().Text.rfind(sentence, 0) == 0; }))
      << (asked.empty() ? std::string("nothing asked") : asked.back().Text);
  EXPECT_EQ(asked.back().Text.find("1722"), std::string::npos);
  ASSERT_TRUE(PumpUntil([&] { return AlertTexts().find(sentence) != std::string::npos; })) << AlertTexts();
  EXPECT_EQ(form->FindServerNode("\\\\SRV5"), nullptr);
}

TEST_F(AppTest, TwoLocalCupsQueuesOfOneModelAreToldApartByTheirQueueNames) {
  TPrivateCupsd cupsd;
  ASSERT_TRUE(cupsd.Start()) << cupsd.Error();
  ASSERT_TRUE(cupsd.AddQueue("front", "Room 1", "By the door"));
  ASSERT_TRUE(cupsd.AddQueue("back", "Room 2", "By the window"));
  SetCurrentSpooler(std::make_shared<TCupsSpooler>(cupsd.Config(Local)));
  const std::string front = Local + "\\front", back = Local + "\\back";
  // Not StartForm: its wait for the watches asks the simulated spooler.
  AppTerminateEvent().ResetEvent();
  form = std::make_unique<TOrvelle_MainForm>();
  form->startTimer.Trigger();
  ASSERT_TRUE(PumpUntil([&] { return form->FindPrinterNode(front) && form->FindPrinterNode(back); }));
  const std::vector<std::string> shown = ChildTexts(form->FindServerNode(Local));
  EXPECT_NE(std::find(shown.begin(), shown.end(), "front"), shown.end()) << ::testing::PrintToString(shown);
  EXPECT_NE(std::find(shown.begin(), shown.end(), "back"), shown.end()) << ::testing::PrintToString(shown);
  CloseForm();
}

TEST_F(AppTest, AnExceptionOfAHandlerBecomesAnAlertOfItsSeverity) {
  StartForm({});
  Guarded([] { throw EAlertWarning("paper low"); });
  Guarded([] { throw Exception("plain failure"); });
  auto severityOf = [&](const char* text) {
    for (int i = 0; i < form->lvAlerts->topLevelItemCount(); ++i)
      if (form->lvAlerts->topLevelItem(i)->text(2).contains(text)) return form->lvAlerts->topLevelItem(i)->text(1);
    return QString();
  };
  ASSERT_TRUE(PumpUntil([&] { return !severityOf("plain failure").isEmpty(); })) << AlertTexts();
  EXPECT_EQ(severityOf("paper low").toStdString(), "Warning");
  EXPECT_EQ(severityOf("plain failure").toStdString(), "Serious Error");
  EXPECT_NE(dynamic_cast<EAlertCritical*>(AlertCopy(EAlertCritical("x")).get()), nullptr);
  EXPECT_NE(dynamic_cast<EAlertInfo*>(AlertCopy(ENoDatabase("x")).get()), nullptr);
}

TEST_F(AppTest, TheAboutBoxShowsTheProgramsVersionBlock) {
  TAboutBox about(nullptr);
  EXPECT_EQ(about.windowTitle().toStdString(), "About");
  EXPECT_EQ(about.Labels[0]->text().toStdString(), GetAppDescription());
  EXPECT_TRUE(about.Labels[1]->text().startsWith("Version ")) << about.Labels[1]->text().toStdString();
  const QLabel* icon = about.findChild<QLabel*>("icon");
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull()) << "the About box shows the program's icon";
  for (const int size : {16, 32, 64})
    EXPECT_EQ(ProgramIcon().pixmap(size, size).width(), size) << "an icon drawn for every size";
}

// On a high-density screen each picture has twice the pixels each way, drawn
// anew: a plain enlargement of the single-density one would look blurred or
// blocky.
TEST_F(AppTest, PicturesHaveDoubleDensityPixelsOfTheirOwn) {
  auto enlarged = [](const QImage& single) {
    return single.scaled(single.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .convertToFormat(QImage::Format_RGB32);
  };
  const std::unique_ptr<TImageList> images = TreeImages(ImageSize, AnimationFrames);
  ASSERT_EQ(images->PixelRatios(), 2);
  for (int index = 0; index < images->Count(); ++index) {
    const QImage twice = images->Image(index, 2).Image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(twice.size(), QSize(ImageSize * 2, ImageSize * 2)) << index;
    EXPECT_NE(twice, enlarged(images->Image(index, 1).Image())) << "tree image " << index;
  }
  for (const int size : {16, 32, 48}) {
    const QPixmap twice = ProgramIcon().pixmap(QSize(size, size), 2.0);
    ASSERT_EQ(twice.width(), size * 2) << size;
    EXPECT_NE(twice.toImage().convertToFormat(QImage::Format_RGB32),
              enlarged(ProgramIcon().pixmap(QSize(size, size), 1.0).toImage()))
        << "icon of " << size;
  }
}

TEST_F(AppTest, EveryPrinterStateHasAPictureOfItsOwnAndTheAnimationMoves) {
  const std::unique_ptr<TImageList> images = TreeImages(ImageSize, AnimationFrames);
  ASSERT_EQ(images->Count(), 36);
  auto pixels = [&](int index) {
    std::vector<TColor> all;
    const TBitmap& image = images->Image(index);
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) all.push_back(image.Pixel(x, y));
    return all;
  };
  // The still image of each of the six looks the tree shows.
  TPrinterRecord record;
  std::vector<int> stills;
  for (const bool local : {false, true})
    for (const bool isDefault : {false, true})
      for (const bool shared : {false, true}) {
        if (!local && shared) continue;
        record.IsLocal = local;
        record.IsDefault = isDefault;
        record.IsShared = shared;
        stills.push_back(PrinterImageIndex(record, false, 0));
        std::vector<std::vector<TColor>> frames;
        for (int frame = 0; frame < AnimationFrames; ++frame) frames.push_back(pixels(PrinterImageIndex(record, true, frame)));
        for (int frame = 1; frame < AnimationFrames; ++frame) EXPECT_NE(frames[frame - 1], frames[frame]) << frame;
        EXPECT_EQ(frames.back(), pixels(stills.back())) << "the still image is where the animation ends";
      }
  stills.push_back(0);
  for (size_t i = 0; i < stills.size(); ++i)
    for (size_t j = i + 1; j < stills.size(); ++j)
      EXPECT_NE(pixels(stills[i]), pixels(stills[j])) << stills[i] << " and " << stills[j] << " look alike";
}
