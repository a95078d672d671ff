#include <gtest/gtest.h>

#include <sstream>

#include "raObjects.h"
#include "rtlStrUtils.h"

namespace {

// Every name a script may use on each class of the report engine and the
// class library: a name dropped from an adapter (or a published property
// renamed) shows here before a layout's code stops compiling.
struct TExposedNames {
  const char* ClassName;
  const char* Names;  // blank-separated
};

const TExposedNames exposed[] = {
    {"TObject", "ClassName Create Free"},
    {"TPersistent", "Assign"},
    {"TComponent", "Create Owner Tag"},
    {"TppCommunicator", "UserName"},
    {"TppRelative", "AllChildCount ChildCount ChildType FreeingChildren OrderedChildren Index Parent Position"},
    {"TppPrintable",
     "OnPrint OnDrawCommandCreate OnDrawCommandClick Alignment AutoSize Caption DataField DataPipeline DefaultPropHint "
     "DefaultPropName DefaultPropEditType Description DesignControl DrawComponent Font GenerationComplete Height Left "
     "LookupPipeline mmLeft mmHeight mmTop mmWidth OutOfSpace OverFlow ParentHeight ParentWidth ReprintOnOverFlow "
     "ResetOnCompute SelectionObject ShiftWithParent SpaceUsed spLeft spHeight spTop spWidth StretchWithParent Text Top "
     "Units Visible Width WordWrap ZOrder"},
    {"TppComponent", "Band BandType Index NextSibling ParentIndex GroupNo Parent ParentDataPipeline Region ResetGroup"},
    {"TppCustomText", "OnGetText AutoSize CharWrap Color Description SaveOrder Save SaveLength Text Transparent"},
    {"TppDBText",
     "AlreadyPrinted FieldValue FirstPage PriorValue PriorValueSame BlankWhenZero ReprintOnSubsequent SuppressRepeatedValues"},
    {"TppCustomRichText",
     "FindText LoadFromFile LoadFromRTFStream SaveToFile SaveToRTFStream EndCharPos RichText RichTextStream StartCharPos "
     "Paragraph PlainText SelAttributes SelLength SelStart SelText"},
    {"TppDBRichText", "AutoDisplay"},
    {"TMemoryStream", "Create Clear Position Size"},
    {"TTextAttributes", "Color Name Size Style"},
    {"TParaAttributes", "Alignment FirstIndent LeftIndent RightIndent TabCount"},
    {"TppBarCode",
     "AddOnCode AutoEncode AutoSizeFont BarCodeType BarColor BarWidth BearerBars CalcCheckDigit Data Orientation "
     "PrintHumanReadable WideBarRatio"},
    {"TppSubReport",
     "Count CurrentExpansionKey CurrentReportKey DrillDownComponent DrillDownExpanded ExpandAll ExpansionCount NewPrintJob "
     "ParentPrinterSetup PrintBehavior Report ResetPageNo TraverseAllData CreateReport Expansions"},
    {"TppBand",
     "AfterPrint BeforePrint AfterGenerate BeforeGenerate Caption CaptionIndex DrawPage Height Index LastBand mmBottomOffset "
     "mmHeight mmPrintPosition mmTop mmWidth ObjectCount Objects PrintHeight Report Save SaveCount Saves spHeight spTop "
     "spWidth Rank Units VariableCount Variables Visible"},
    {"TppHeaderBand", "PrintOnFirstPage PrintOnLastPage"},
    {"TppTitleBand", "NewPage"},
    {"TppDetailBand", "BandsPerRecord BandsPerRecordCount DataPipeline PrintCount"},
    {"TppGroupHeaderBand", "Description Generation SaveGeneration"},
    {"TppGroup",
     "AfterGroupBreak BeforeGroupBreak BeforeHeader BeforeFooter OnGetBreakValue BreakComponent Breaking BreakName BreakNo "
     "BreakType BreakValue CurrentValue DataPipeline Description FirstColumn FirstPage FirstPageNo FooterBand GroupNo "
     "HeaderBand HeaderForOrphanedFooter Index KeepTogether KeptTogether LastPageNo mmNewColumnThreshold "
     "mmNewPageThreshold NewColumn NewColumnThreshold NewPage NewPageThreshold Position PageNo PageCount PriorValue Report "
     "ReprintOnSubsequentColumn ReprintOnSubsequentPage ResetPageNo Units"},
    {"TppProducer",
     "AfterPrint BeforePrint OnCancel OnCancelDialogCreate OnCancelDialogClose OnPreviewFormCreate OnPreviewFormClose "
     "OnPrintDialogCreate OnPrintDialogClose OnSaveText AllowPrintToArchive AllowPrintToFile ArchiveFileName CancelDialog "
     "Converted ConvertedFromPre40 CurrentPage DeviceType EnableProcessMessages FileDevice Icon Language LanguageIndex "
     "ModalCancelDialog ModalPreview PreviewForm PrinterSetup Printer PrintDialog Printing Producing PrinterDevice "
     "Publisher SavePrinterSetup ShowAutoSearchDialog ShowCancelDialog ShowPrintDialog TextFileName TextFileType Version "
     "VersionNo"},
    {"TppCustomReport",
     "AbsolutePage AbsolutePageNo AbsolutePageCount BandCount Bands CurrentColumn DonePrinting Engine FirstPass GroupCount "
     "Groups MainReport mmColumnWidth Modified Page PageNo PageBandCount PageCount ParentReport ReportDesigner "
     "PrintDateTime PrintingAsSubReport ReportBandCount SecondPass spColumnWidth AutoStop Columns ColumnPositions "
     "ColumnWidth DataPipeline PageLimit PassSetting SaveAsTemplate Template Units GetBand Stop PageLimitReached OnNoData"},
    {"TppReport",
     "Title TitleBand Header HeaderBand ColumnHeader ColumnHeaderBand Detail DetailBand ColumnFooter ColumnFooterBand "
     "Footer FooterBand Summary SummaryBand GroupHeader GroupHeaderBand GroupFooter GroupFooterBand "
     "BeforeAutoSearchDialogCreate AfterAutoSearchDialogCreate OnAutoSearchDialogClose OnGetAutoSearchValues ActiveReport "
     "AutoSearchDialog AutoSearchFields AutoSearchDescription GetAutoSearchDescriptionAsString AutoSearchFieldCount "
     "CacheManager CachePages PreviewForm AutoSearchCriteriaByName CreateAutoSearchCriteria GetAutoSearchDescriptionLines"},
    {"TppDataPipeline",
     "OnRecordPositionChange OnMasterRecordPositionChange OnTraversal OnGotoBookmark OnDataChange OnFirst OnNext OnPrior "
     "OnLast OnOpen OnClose Active BOF DataTraversed DataView EOF SkipWhenNoRecords TraversalCount Visible CurrentField "
     "FieldCount MasterDataPipeline LinkCount FieldValues FieldObjects Fields Links GetFieldValue"},
    {"TppField", "AsDouble AsPicture AsString IsNull DataPipeline Value"},
    {"TppAutoSearchField", "DisableCriteria Value Values ValueCount"},
    {"TppDBPipeline",
     "AutoCreateFields MoveBy RangeBegin RangeEnd RangeEndCount DataSource CloseDataSource OpenDataSource RefreshAfterPost"},
    {"TppTemplateDBSettings", "DataPipeline Name NameField TemplateField"},
    {"TppCustomTemplate", "DatabaseSettings Description FileName Format Offset Owner SaveTo"},
    {"TppTemplate", "FileExtension FileFilter Root ReadOnly LoadFromDatabase LoadFromFile New SaveToDatabase SaveToFile"},
    {"TppReportTemplate",
     "Report DatabaseSettings FileName Format Offset Owner SaveTo Root LoadFromDatabase LoadFromFile SaveToDatabase SaveToFile"},
    {"TppDrawCommand", "Page Clickable RedrawPage"},
    {"TList", "Count Items Add Clear Delete Exchange First Last IndexOf Insert Move Remove"},
    {"TStrings",
     "Count Text Strings Objects Names Values Add AddObject AddStrings Append BeginUpdate Clear EndUpdate Delete Equals "
     "Exchange IndexOf IndexOfName IndexOfObject Insert InsertObject LoadFromFile SaveToFile Move"},
    {"TStringList", "Sorted Find Sort"},
    {"TppFont", "Bold Italic Underline Strikeout Normal"},
    {"TppPicture", "LoadFromFile SaveToFile"},
    {"TGraphic", "Empty Transparent LoadFromFile SaveToFile"},
    {"TBitmap", "TransparentColor TransparentMode"},
};

// Names not offered: what they name is absent here, or nothing in this
// system gives them a meaning. A name that becomes offered fails below
// until it is taken off this list, so the list stays the exact account of
// what is missing.
const TExposedNames pending[] = {
    // The designer's: its property editor, its controls, its selection;
    // no designer runs here. The lookup pipeline has no use without it.
    {"TppPrintable", "DefaultPropHint DefaultPropName DefaultPropEditType DesignControl LookupPipeline SelectionObject"},
    // A band's place and caption in the designer's window.
    {"TppBand", "Caption CaptionIndex DrawPage LastBand mmTop spTop Rank"},
    // Named without a meaning for a group band.
    {"TppGroupHeaderBand", "Generation SaveGeneration"},
    // Dialogs and the preview are windows the dialog runner shows, no
    // objects a script can hold; the printer is the printer device's own
    // (PrinterDevice reaches the device).
    {"TppProducer", "CancelDialog PreviewForm Printer PrintDialog"},
    // The designer's window.
    {"TppCustomReport", "ReportDesigner"},
    // Windows again; the active report is named without a meaning.
    {"TppReport", "ActiveReport AutoSearchDialog PreviewForm"},
    // Data views are not used here; the other three are named without a
    // meaning for a pipeline.
    {"TppDataPipeline", "DataTraversed DataView Visible CurrentField"},
    // Bitmaps here are no class-library objects and know no transparency.
    {"TGraphic", "*"},
    {"TBitmap", "*"},
};

bool IsPending(const std::string& className, const std::string& name) {
  for (const TExposedNames& entry : pending) {
    if (className != entry.ClassName) continue;
    std::istringstream names(entry.Names);
    for (std::string listed; names >> listed;)
      if (listed == "*" || listed == name) return true;
  }
  return false;
}

TEST(ExposedNamesTest, EveryListedNameIsFoundByTheClassManager) {
  const TraClassManager& manager = TraClassManager::Instance();
  for (const TExposedNames& entry : exposed) {
    const TClassInfo* classInfo = FindClassByName(entry.ClassName);
    if (!classInfo) {
      EXPECT_TRUE(IsPending(entry.ClassName, "*")) << "class " << entry.ClassName;
      continue;
    }
    std::istringstream names(entry.Names);
    std::string missing, nowOffered;
    for (std::string name; names >> name;) {
      TraPropRec rec;
      const bool found = manager.GetMemberRec(*classInfo, name, rec) || manager.ValidEvent(*classInfo, name);
      if (IsPending(entry.ClassName, name)) {
        if (found) nowOffered += " " + name;
      } else if (!found) {
        missing += " " + name;
      }
    }
    EXPECT_EQ(missing, "") << entry.ClassName;
    EXPECT_EQ(nowOffered, "") << entry.ClassName << ": offered now, take them off the pending list";
  }
}

}  // namespace
