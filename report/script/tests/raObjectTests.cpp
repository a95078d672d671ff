#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "ppCtrls.h"
#include "ppMemo.h"
#include "ppVar.h"
#include "ppPrintablesKit.h"
#include "ppPrinterSetup.h"
#include "ppRichText.h"
#include "ppShapes.h"
#include "uiGraphicsBitmap.h"
#include "raAdapters.h"
#include "raEnumTypes.h"
#include "raObjects.h"
#include "raProgram.h"
#include "rtlStrUtils.h"

namespace {

// A report over three jobs with a label and a memo on its detail band; a
// script reaches them, the report ("Report") and the pipeline by name.
struct TScriptReport : TPrintablesFixture {
  TppLabel* Label;
  TppMemo* Memo;
  TScriptReport() : TPrintablesFixture({{"A", 1, ""}, {"B", 2, ""}, {"C", 3, ""}}) {
    Pipeline->SetUserName("DBPipeline1");
    Label = Add<TppLabel>(Detail, 0, 0, mm(40), mm(5));
    Label->SetUserName("Label1");
    Memo = Add<TppMemo>(Detail, mm(50), 0, mm(40), mm(5));
    Memo->SetUserName("Memo1");
  }
  TObject* Lookup(const std::string& name) {
    if (SameText(name, "Report")) return Report;
    if (SameText(name, Pipeline->GetUserName())) return Pipeline;
    return Report->FindUserName(name);
  }
  // "" when the block compiled and ran; else the first compile error or
  // the script error's text.
  std::string Run(const std::string& declarations, const std::string& body, std::string* out = nullptr) {
    TraProgram program;
    program.OnObjectLookup = [this](TraProgram&, const std::string& name) { return Lookup(name); };
    program.SetSource("procedure Test;\r\n" + (declarations.empty() ? std::string() : "var " + declarations + "\r\n") +
                      "begin\r\n" + body + "\r\nend;");
    if (!program.Compile()) return "compile: " + program.SyntaxError(0).Message;
    try {
      program.Execute();
    } catch (const Exception& e) {
      return "script: " + e.Message;
    }
    if (out) *out = program.FindDeclared("R") ? program.FindDeclared("R")->Bound().GetText() : "";
    return "";
  }
};

TEST(ObjectAccessTest, MembersReadWrittenAndCalledThroughTheClassManager) {
  const struct {
    const char* Declarations;
    const char* Body;
    const char* Expected;  // R's text afterwards
  } cases[] = {
      {"R: String;", "Label1.Caption := 'Hello'; R := Label1.Caption;", "Hello"},
      {"R: String;", "Label1 .Caption := 'Blank'; R := Label1 .Caption;", "Blank"},
      {"R: Boolean;", "Label1.Font.Bold := True; R := Label1.Font.Bold and not Label1.Font.Normal;", "True"},
      {"R: Boolean;", "Label1.Font.Bold := True; Label1.Font.Italic := True; Label1.Font.Normal := False; R := Label1.Font.Italic;", "True"},
      {"R: Boolean;", "Label1.Font.Bold := True; Label1.Font.Normal := True; R := Label1.Font.Bold;", "False"},
      {"R: Integer;", "Memo1.Lines.Add('one'); R := Memo1.Lines.Add('two');", "1"},
      {"R: String;", "Memo1.Lines.Text := 'a=1'; Memo1.Lines.Strings[0] := 'b=2'; R := Memo1.Lines.Values['b'];", "2"},
      {"R: String;", "Memo1.Lines.Values['x'] := 'y'; R := Memo1.Lines.Values['missing'] + Memo1.Lines.Text;", "x=y\r\n"},
      {"R: String;", "DBPipeline1.Open; DBPipeline1.First; DBPipeline1.Next; R := DBPipeline1.GetFieldValue('OWNER') + DBPipeline1.FieldValues['OWNER'];", "BB"},
      {"R: String;", "R := Report.ClassName;", "TppReport"},
      {"R: Integer;", "Label1.Tag := 7; R := Label1.Tag;", "7"},
      {"R: Boolean;", "R := Label1 is TppLabel;", "True"},
      {"R: Boolean;", "R := Label1 is TppCustomText;", "True"},
      {"R: Boolean;", "R := Memo1 is TppLabel;", "False"},
      {"R: Boolean; L: TppLabel;", "R := L is TppLabel;", "False"},
      {"R: String; C: TppComponent;", "C := Label1; R := (C as TppLabel).ClassName + TppCustomText(C).ClassName;", "TppLabelTppLabel"},
      {"R: Boolean; C: TppComponent;", "C := Memo1; R := (C as TppLabel) = nil;", "True"},
      {"R: Boolean;", "Report.PrinterSetup.Orientation := poLandscape; R := Report.PrinterSetup.Orientation = poLandscape;", "True"},
      {"R: String;", "R := Label1.Band.ClassName + IntToStr(Label1.BandType) + IntToStr(Label1.GroupNo);", "TppDetailBand4-1"},
      {"R: String;", "R := Label1.NextSibling.ClassName + IntToStr(Memo1.Index) + IntToStr(Memo1.ParentIndex);", "TppMemo11"},
      {"R: Boolean;", "R := (Memo1.NextSibling = nil) and (Label1.Region = nil) and (Label1.ResetGroup = nil);", "True"},
      {"R: Boolean;", "Label1.ParentDataPipeline := False; R := Label1.ParentDataPipeline;", "False"},
      {"R: Integer; L: TppLabel;", "L := TppLabel.Create(Report); L.Band := Label1.Band; R := L.Index + L.BandType;", "6"},
      {"R: String; L: TppLabel;", "L := TppLabel.Create(Report); L.Caption := 'new'; R := L.Caption + L.Owner.ClassName; L.Free;", "newTppReport"},
      // Object slots hold handles: what a script stored comes back, nothing else does.
      {"R: String;", "Memo1.Lines.AddObject('l', Label1); Memo1.Lines.InsertObject(0, 'm', Memo1); Memo1.Lines.Add('none');"
                     " R := Memo1.Lines.Objects[1].ClassName + IntToStr(Memo1.Lines.IndexOfObject(Memo1));"
                     " if Memo1.Lines.Objects[2] = nil then R := R + 'nil';", "TppLabel0nil"},
      {"R: Boolean;", "Memo1.Lines.Add('x'); Memo1.Lines.Objects[0] := Report; R := Memo1.Lines.Objects[0] = Report;", "True"},
      // Members bound to the engine's own getters and setters.
      {"R: Integer;", "Label1.spLeft := 96; R := Label1.mmLeft;", "25400"},
      {"R: Integer;", "Label1.Units := utMillimeters; Label1.Left := 5; R := Label1.mmLeft;", "5000"},
      {"R: Integer;", "Report.Units := utMillimeters; Report.Detail.Height := 12.5; R := Report.Detail.mmHeight;", "12500"},
      {"R: Integer;", "Report.Units := utMillimeters; Report.ColumnWidth := 50; R := Report.mmColumnWidth;", "50000"},
      {"R: Boolean;", "Report.Units := utInches; R := (Report.Detail.Units = utInches) and (Report.Detail.mmWidth > 0);", "True"},
      {"R: Boolean;", "Report.Detail.BandsPerRecordCount := 3; Report.Detail.DataPipeline := DBPipeline1; R := (Report.Detail.BandsPerRecordCount = 3) and (Report.Detail.DataPipeline = DBPipeline1);", "True"},
      {"R: Boolean;", "R := (Label1.Parent = Report.GetBand(4, 0)) and (Report.Bands[Label1.Parent.Index] = Label1.Parent);", "True"},
      {"R: String;", "R := Report.GetBand(4, 0).Objects[1].UserName + IntToStr(Report.GetBand(4, 0).ObjectCount);", "Memo12"},
      {"R: Integer;", "Label1.Position := 1; R := Memo1.Position * 10 + Label1.ZOrder;", "1"},
      {"R: String;", "Label1.Caption := 'shown'; R := Label1.Text;", "shown"},
      {"R: Boolean;", "Report.GetBand(4, 0).Visible := False; R := Report.GetBand(4, 0).Visible;", "False"},
      {"R: String;", "Report.TextFileName := 'out.txt'; R := Report.TextFileName;", "out.txt"},
      // Header, detail and footer: two page bands, no report band.
      {"R: Integer;", "R := Report.ReportBandCount * 10 + Report.PageBandCount;", "2"},
      {"R: String; F: TppAutoSearchField;",
       "F := Report.CreateAutoSearchCriteria('DBPipeline1', 'OWNER', soEqual, 'B', False);"
       " R := IntToStr(Report.AutoSearchFieldCount) + F.Value + Report.AutoSearchFields[0].Values[0];"
       " if Report.AutoSearchCriteriaByName('DBPipeline1', 'owner') = F then R := R + '=';", "1BB="},
      {"R: Boolean;", "R := (Report.Detail = Report.DetailBand) and (Report.Detail = Label1.Parent) and (Report.Title = nil) and (Report.MainReport = Report);", "True"},
      {"R: Integer;", "R := DBPipeline1.FieldCount;", "7"},
      {"R: String;", "R := Report.CacheManager.ClassName;", "TppCacheManager"},
      {"R: Boolean;", "Report.ShowAutoSearchDialog := True; R := Report.ShowAutoSearchDialog;", "True"},
      // The report's template: a layout template, kept by the report.
      {"R: String;", "Report.Template.Description := 'Usage'; R := Report.Template.Description + Report.Template.FileExtension +"
                     " Report.Template.FileFilter + Report.Template.Owner.ClassName + Report.Template.Root.ClassName;",
       "Usagertm" "Report file (*.rtm)|*.rtmTppReportTComponent"},
      {"R: Boolean;", "Report.Template.FileName := 'no-such-layout.rtm'; R := Report.Template.ReadOnly;", "False"},
      // A new layout: the default bands, nothing on them.
      {"R: String;", "Report.Template.New; R := IntToStr(Report.BandCount) + IntToStr(Report.Detail.ObjectCount) + Report.Detail.ClassName;",
       "30TppDetailBand"},
      {"R: String;", "Label1.Save := True; Report.Detail.Save := True; R := IntToStr(Report.Detail.SaveCount) + Report.Detail.Saves[0].UserName;", "1Label1"},
      // A list of objects lists what the script put in it, in the order it says.
      {"R: String; L: TList;", "L := TList.Create; L.Add(Label1); L.Add(Memo1); L.Insert(0, Report); L.Exchange(1, 2);"
                               " L.Move(0, 2); L.Remove(Memo1); L.Items[0] := Memo1;"
                               " R := IntToStr(L.Count) + L.First.ClassName + L.Last.ClassName + IntToStr(L.IndexOf(Report)); L.Free;", "2TppMemoTppReport1"},
      // A var parameter of a method comes back; the list the script made it may free.
      {"R: Integer; S: TStringList; Found: Boolean;",
       "S := TStringList.Create; S.Sorted := True; S.Add('b'); S.Add('d'); Found := S.Find('c', R); S.Free;", "1"},
  };
  for (const auto& c : cases) {
    TScriptReport report;
    std::string result;
    EXPECT_EQ(report.Run(c.Declarations, c.Body, &result), "") << c.Body;
    EXPECT_EQ(result, c.Expected) << c.Body;
  }
}

TEST(ObjectAccessTest, ObjectsAreHandlesNotNumbersAndScriptsMayNotHarmTheirHost) {
  const struct {
    const char* Declarations;
    const char* Body;
    const char* ErrorStart;
  } cases[] = {
      {"", "Label1.NoSuchMember := 1;", "compile: "},
      {"I: Integer;", "I := 5; I.Free;", "compile: "},
      {"I: Integer; L: TppLabel;", "I := 5; L := I;", "compile: "},
      {"I: Integer;", "I := Label1;", "compile: "},
      {"I: Integer;", "TppLabel(I).Caption := 'x';", "compile: "},
      {"V: Variant;", "V := Label1;", "compile: "},
      {"", "Label1.OnPrint;", "compile: "},
      {"", "Report.Free;", "script: A script may free only the objects it created"},
      {"", "Label1.Free;", "script: A script may free only the objects it created"},
      {"L: TppLabel;", "L.Caption := 'x';", "script: Cannot reach Caption of a nil object"},
      {"S: TStringList;", "S := TStringList.Create; S.Free; S.Add('again');", "script: Cannot reach Add of an object the script freed"},
      {"", "Memo1.Lines.SaveToFile('/tmp/ra-script-must-not-write.txt');", "script: File access is not allowed to scripts"},
      {"", "Memo1.Lines.LoadFromFile('/etc/passwd');", "script: File access is not allowed to scripts"},
      {"", "Report.Template.FileName := '/tmp/ra-script-must-not-write.txt'; Report.Template.SaveToFile;", "script: File access is not allowed to scripts"},
      {"", "Memo1.Lines.Strings[3] := 'x';", "script: List index out of bounds"},
      {"", "Report.PrinterSetup.Orientation := taCenter;", "script: Cannot write Orientation"},
      {"", "Report.Bands[9].Visible := False;", "script: List index out of bounds (9)"},
      {"", "Report.GroupHeader[0].Visible := False;", "script: List index out of bounds (0)"},
      {"", "Label1.Parent := Report.PrinterSetup;", "script: Cannot write Parent"},
  };
  std::filesystem::remove("/tmp/ra-script-must-not-write.txt");
  for (const auto& c : cases) {
    TScriptReport report;
    const std::string error = report.Run(c.Declarations, c.Body);
    EXPECT_EQ(error.rfind(c.ErrorStart, 0), 0u) << c.Body << " gave " << error;
    EXPECT_EQ(report.Report->ClassName(), "TppReport");
  }
  EXPECT_FALSE(std::filesystem::exists("/tmp/ra-script-must-not-write.txt"));
}

TEST(ObjectAccessTest, WhatAScriptMadeAndLeftIsFreedWithItsRunAndWhatItHandedOverStays) {
  const struct {
    const char* Declarations;
    const char* Body;
    const char* ErrorStart;  // "" when the run ends well
    int LeftInPool;          // objects the run made and neither freed nor lost
    int NewReportComponents;
    int NewBandChildren;
  } cases[] = {
      {"S: TStringList; L: TList; M: TMemoryStream;",
       "S := TStringList.Create; L := TList.Create; M := TMemoryStream.Create; S.Add('x'); L.Add(S); Memo1.Lines.Strings[9] := 'x'; S.Free;",
       "script: List index out of bounds", 3, 0, 0},
      {"S: TStringList; L: TList;", "S := TStringList.Create; S.Free; L := TList.Create; L.Free;", "", 0, 0, 0},
      {"S: TStringList;", "S := TStringList.Create; S.Add('never freed');", "", 1, 0, 0},
      {"L: TppLabel;", "L := TppLabel.Create(Report); L.Caption := 'kept'; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 1, 1, 0},
      {"L: TppLabel;", "L := TppLabel.Create(nil); L.Parent := Label1.Parent; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 1, 0, 1},
      {"L: TppLabel;", "L := TppLabel.Create(nil); L.Band := Label1.Band; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 1, 0, 1},
      {"L: TppLabel;", "L := TppLabel.Create(nil); L.Caption := 'dropped'; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 1, 0, 0},
      // A parent made by the script frees its children, first or last made.
      {"L, M: TppLabel;", "L := TppLabel.Create(nil); M := TppLabel.Create(nil); M.Parent := L; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 2, 0, 0},
      {"L, M: TppLabel;", "M := TppLabel.Create(nil); L := TppLabel.Create(nil); M.Parent := L; Memo1.Lines.Strings[9] := 'x';",
       "script: List index out of bounds", 2, 0, 0},
      {"L, M: TppLabel;", "L := TppLabel.Create(nil); M := TppLabel.Create(nil); M.Parent := L; L.Free;", "", 0, 0, 0},
  };
  for (const bool hostPool : {true, false}) {
    for (const auto& c : cases) {
      TScriptReport report;
      const int components = report.Report->ComponentCount();
      TppRelative* band = report.Label->Parent();
      ASSERT_NE(band, nullptr);
      const int children = band->ChildCount();
      std::string error;
      {
        TraObjectPool pool;
        if (hostPool) {
          TraObjectPoolScope scope(pool);
          error = report.Run(c.Declarations, c.Body);
          EXPECT_EQ(pool.Count(), c.LeftInPool) << c.Body;
        } else {
          // On its own, the run owns what it makes.
          error = report.Run(c.Declarations, c.Body);
        }
      }
      EXPECT_EQ(TraObjectPool::Current(), nullptr);
      EXPECT_EQ(error.rfind(c.ErrorStart, 0), 0u) << c.Body << " gave " << error;
      if (!*c.ErrorStart) {
        EXPECT_EQ(error, "") << c.Body;
      }
      EXPECT_EQ(report.Report->ComponentCount() - components, c.NewReportComponents) << c.Body;
      EXPECT_EQ(band->ChildCount() - children, c.NewBandChildren) << c.Body;
    }
  }
}

TEST(ObjectAccessTest, PicturesReachFilesOnlyWhenTheHostAllowsIt) {
  TScriptReport report;
  auto* image = report.Add<TppImage>(report.Detail, mm(100), 0, mm(20), mm(20));
  image->SetUserName("Image1");
  image->Picture()->NewBitmap().SetSize(3, 2);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("ra-picture-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "p.png").string();
  const std::string missing = (dir / "missing.png").string();

  EXPECT_EQ(report.Run("", "Image1.Picture.SaveToFile('" + file + "');").rfind("script: File access is not allowed", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));

  raFilePolicy().AllowFileAccess = true;
  EXPECT_EQ(report.Run("", "Image1.Picture.SaveToFile('" + file + "');"), "");
  image->Picture()->NewBitmap().SetSize(9, 9);
  // A file that does not load leaves the picture as it was.
  EXPECT_EQ(report.Run("", "Image1.Picture.LoadFromFile('" + missing + "');").rfind("script: Cannot load the picture", 0), 0u);
  EXPECT_EQ(image->Picture()->Bitmap()->Width(), 9);
  EXPECT_EQ(report.Run("", "Image1.Picture.LoadFromFile('" + file + "');"), "");
  EXPECT_EQ(image->Picture()->Bitmap()->Width(), 3);
  image->Picture()->Clear();
  EXPECT_EQ(report.Run("", "Image1.Picture.SaveToFile('" + missing + "');").rfind("script: The picture is empty", 0), 0u);
  raFilePolicy().AllowFileAccess = false;
  std::filesystem::remove_all(dir);
}

TEST(ObjectAccessTest, ObjectSlotsTheHostFilledReadAsNil) {
  TScriptReport report;
  TObject hostData;
  report.Memo->Lines()->AddObject("host", &hostData);
  std::string result;
  EXPECT_EQ(report.Run("R: Boolean;", "R := Memo1.Lines.Objects[0] = nil;", &result), "");
  EXPECT_EQ(result, "True");
}

TEST(ObjectAccessTest, APipelinesFieldsAndLinksAreObjectsThatOutliveItsReopening) {
  const struct {
    const char* Declarations;
    const char* Body;
    const char* Expected;
  } cases[] = {
      {"R: String;", "DBPipeline1.Open; DBPipeline1.First; DBPipeline1.Next;"
                     " R := DBPipeline1.Fields[0].FieldName + DBPipeline1.FieldObjects['owner'].AsString +"
                     " FloatToStr(DBPipeline1.FieldObjects['PAGES'].AsDouble + 0.5) + DBPipeline1.Fields[1].DataPipeline.UserName;",
       "OWNERB2.5DBPipeline1"},
      {"R: Boolean;", "DBPipeline1.Open; R := DBPipeline1.FieldObjects['missing'] = nil;", "True"},
      // Closed, a field has no value.
      {"R: Boolean; F: TppField;", "DBPipeline1.Open; F := DBPipeline1.Fields[0]; DBPipeline1.Close; R := F.IsNull and (F.AsString = '');", "True"},
      // Fields made again as the data opens are the objects a script holds.
      {"R: String; F: TppField;", "DBPipeline1.Open; F := DBPipeline1.Fields[0]; DBPipeline1.Close; DBPipeline1.Open; DBPipeline1.First;"
                                  " R := F.AsString; if F = DBPipeline1.Fields[0] then R := R + '=';", "A="},
      {"R: String;", "R := DBPipeline1.Links[0].MasterFieldName + '>' + DBPipeline1.Links[0].DetailFieldName;", "ID>OWNER"},
      {"R: Boolean;", "R := DBPipeline1.Fields[0].AsPicture.ClassName = 'TppPicture';", "True"},
  };
  for (const auto& c : cases) {
    TScriptReport report;
    report.Pipeline->AddLink("ID", "OWNER");
    std::string result;
    EXPECT_EQ(report.Run(c.Declarations, c.Body, &result), "") << c.Body;
    EXPECT_EQ(result, c.Expected) << c.Body;
  }
}

TEST(ObjectAccessTest, RichTextIsSearchedAndEditedThroughItsSelection) {
  TScriptReport r;
  auto* rich = r.Add<TppRichText>(r.Detail, mm(100), 0, mm(40), mm(5));
  rich->SetUserName("Rich1");
  rich->SetRichText("{\\rtf1 The theme of \\b the\\b0  day\\par}");
  const struct {
    const char* Body;
    const char* Expected;
  } cases[] = {
      {"R := IntToStr(Rich1.FindText('the', 1, -1, True, False));", "13"},
      {"R := IntToStr(Rich1.FindText('THE', 0, -1, False, True));", "-1"},
      {"Rich1.SelStart := Rich1.FindText('theme', 0, -1, True, True); Rich1.SelLength := 5;"
       " Rich1.SelText := '{\\par}'; R := Rich1.PlainText;",
       "The {\\par} of the day"},
      {"Rich1.RichText := '{\\rtf1 new}'; R := Rich1.PlainText + IntToStr(Rich1.EndCharPos);", "new-1"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(r.Run("R: String;", c.Body, &out), "") << c.Body;
    EXPECT_EQ(out, c.Expected) << c.Body;
  }
  EXPECT_EQ(r.Run("", "Rich1.SaveToFile('/tmp/ra-script-must-not-write.rtf');"),
            "script: File access is not allowed to scripts: /tmp/ra-script-must-not-write.rtf");
}

TEST(ObjectAccessTest, RichTextTravelsByStreamAndFormatsItsSelection) {
  TScriptReport r;
  auto* rich = r.Add<TppRichText>(r.Detail, mm(100), 0, mm(40), mm(5));
  rich->SetUserName("Rich1");
  auto* other = r.Add<TppRichText>(r.Detail, mm(100), mm(6), mm(40), mm(5));
  other->SetUserName("Rich2");
  const struct {
    const char* Body;
    const char* Expected;
  } cases[] = {
      // A stream of the script's own carries the text; read from where it stands.
      {"S := TMemoryStream.Create; Rich1.SaveToRTFStream(S); S.Position := 0; Rich2.LoadFromRTFStream(S);"
       " R := Rich2.PlainText + IntToStr(S.Position - S.Size); S.Free;",
       "Plain bold end0"},
      {"S := TMemoryStream.Create; Rich1.SaveToRTFStream(S); Rich2.LoadFromRTFStream(S); R := Rich2.PlainText; S.Free;",
       ""},
      // The component's own stream holds its text from the start.
      {"Rich2.LoadFromRTFStream(Rich1.RichTextStream); R := Rich2.PlainText;", "Plain bold end"},
      // One attribute changes over a mixed selection; the others stay each character's.
      {"Rich1.SelStart := 4; Rich1.SelLength := 3; Rich1.SelAttributes.Size := 20;"
       " Rich1.SelStart := 6; R := IntToStr(Rich1.SelAttributes.Size) + IntToStr(Rich1.SelAttributes.Style);"
       " Rich1.SelStart := 4; R := R + IntToStr(Rich1.SelAttributes.Style);",
       "2010"},
      {"Rich1.SelStart := 0; Rich1.SelLength := 1; Rich1.SelAttributes.Name := 'Courier New'; R := Rich1.SelAttributes.Name;",
       "Courier New"},
      {"Rich1.SelStart := 7; Rich1.Paragraph.LeftIndent := 36; Rich1.Paragraph.Alignment := taCenter;"
       " R := IntToStr(Rich1.Paragraph.LeftIndent);"
       " if Rich1.Paragraph.Alignment = taCenter then R := R + 'c';",
       "36c"},
  };
  for (const auto& c : cases) {
    rich->SetRichText("{\\rtf1 Plain \\b bold\\b0  end\\par}");
    other->SetRichText("");
    std::string out;
    EXPECT_EQ(r.Run("R: String; S: TMemoryStream;", c.Body, &out), "") << c.Body;
    EXPECT_EQ(out, c.Expected) << c.Body;
  }
  // What the script set is in the document the component prints.
  rich->SetSelStart(0);
  const TRichParagraphFormat format = rich->Paragraph();
  EXPECT_EQ(format.LeftIndent, 36 * 20);
  EXPECT_EQ(format.Alignment, raCenter);
  EXPECT_EQ(r.Run("", "Rich1.LoadFromRTFStream(nil);"), "script: LoadFromRTFStream needs a stream");
}

TEST(ObjectAccessTest, APrinterSetupWrittenByAScriptShapesThePage) {
  TScriptReport report;
  ASSERT_EQ(report.Run("", "Report.PrinterSetup.Orientation := poLandscape;"), "");
  const auto pages = report.PrintAll();
  ASSERT_FALSE(pages.empty());
  EXPECT_EQ(pages[0]->PrinterSetup()->Orientation(), poLandscape);
  EXPECT_GT(pages[0]->PrinterSetup()->PaperWidth(), pages[0]->PrinterSetup()->PaperHeight());
}

TEST(AdapterTest, RegistryAnswersTheNearestDescribedAncestorAndListsNames) {
  TraClassManager& manager = TraClassManager::Instance();
  // A label has no adapter of its own: the custom text's answers.
  EXPECT_EQ(&FindRTTIAdapter(TppLabel::StaticClassType())->RefClass(), &TppCustomText::StaticClassType());
  EXPECT_EQ(FindClassByName("TppPage"), &TppPage::StaticClassType());
  EXPECT_EQ(FindClassByName("TObject"), &TObject::StaticClassType());
  EXPECT_EQ(FindClassByName("TNoSuchClass"), nullptr);
  const size_t before = RTTIAdapterList().size();
  RegisterRTTIAdapter(*FindRTTIAdapter(TppLabel::StaticClassType()));
  EXPECT_EQ(RTTIAdapterList().size(), before);

  TraPropRec rec;
  ASSERT_TRUE(manager.GetMemberRec(TppVariable::StaticClassType(), "OnCalc", rec));
  EXPECT_TRUE(rec.IsEvent());
  EXPECT_EQ(rec.EventID, ppevCalc);
  ASSERT_EQ(rec.Params.Count(), 1);
  EXPECT_TRUE(rec.Params[0].IsVar);
  ASSERT_TRUE(manager.GetMemberRec(TppLabel::StaticClassType(), "caption", rec));
  EXPECT_TRUE(rec.IsPublished);
  EXPECT_EQ(rec.DataType, daString);
  ASSERT_TRUE(manager.GetMemberRec(TppDBPipeline::StaticClassType(), "FieldValues", rec));
  EXPECT_TRUE(rec.IsArrayProp());
  EXPECT_TRUE(manager.ValidEvent(TppDetailBand::StaticClassType(), "BeforePrint"));
  EXPECT_FALSE(manager.ValidEvent(TppDetailBand::StaticClassType(), "OnCalc"));
  const auto names = manager.PropList(TppLabel::StaticClassType());
  for (const char* name : {"Caption", "Font", "Tag", "Owner"})
    EXPECT_NE(std::find(names.begin(), names.end(), std::string(name)), names.end()) << name;
}

TEST(EnumTypeTest, ValueNamesAnswerTheirTypeAndOrdinal) {
  raRegisterEnumTables();
  EXPECT_EQ(EnumTypeList().size(), 27u);
  const struct {
    const char* Value;
    bool Found;
    const char* Type;
    int Ordinal;
  } cases[] = {
      {"poLandscape", true, "TPrinterOrientation", 1}, {"POLANDSCAPE", true, "TPrinterOrientation", 1},
      {"bcCode39", true, "TppBarCodeType", 6},         {"taCenter", true, "TAlignment", 2},
      {"soDescending", true, "TppSortOrderType", 1},   {"btCustomField", true, "TppBreakType", 1},
      {"clRed", false, "", 0},                         {"", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string type = "stale";
    int ordinal = -1;
    EXPECT_EQ(FindEnumValue(c.Value, type, ordinal), c.Found) << c.Value;
    EXPECT_EQ(type, c.Type) << c.Value;
    EXPECT_EQ(ordinal, c.Ordinal) << c.Value;
  }
  EXPECT_EQ(GetEnumValueName("tppunittype", 4), "utMMThousandths");
  EXPECT_EQ(GetEnumValueName("TNoSuchType", 0), "");
  // Registered after the first search: named, but its values are not searched.
  static const TEnumTypeInfo late("TLateType", {"ltFirst", "ltSecond"});
  RegisterEnumType("TLateType", late);
  std::string type;
  int ordinal;
  EXPECT_EQ(GetEnumValueName("TLateType", 1), "ltSecond");
  EXPECT_FALSE(FindEnumValue("ltSecond", type, ordinal));
  UnregisterEnumType("TLateType");
  EXPECT_EQ(EnumTypeList().size(), 27u);
}

}  // namespace
