#include "ppReport.h"

#include <algorithm>

#include "ppBands.h"
#include "ppDBPipeline.h"
#include "ppEngine.h"
#include "ppGroup.h"
#include "ppPrinterSetup.h"
#include "ppPublisher.h"
#include "ppForms.h"
#include "ppSubReport.h"
#include "ppTemplate.h"
#include "rtlAssert.h"
#include "rtlFiler.h"
#include "rtlReader.h"
#include "rtlConvert.h"
#include "rtlFloatText.h"
#include "rtlStrUtils.h"
#include "ppUnits.h"

const TClassInfo& TppCustomReport::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppCustomReport>("TppCustomReport")
          .Property("AutoStop", &TppCustomReport::AutoStop, &TppCustomReport::SetAutoStop)
          .Default(1)
          .Property("Columns", &TppCustomReport::Columns, &TppCustomReport::SetColumns)
          .Default(1)
          .Property("ColumnPositions", &TppCustomReport::ColumnPositions, &TppCustomReport::SetColumnPositions)
          .Property("mmColumnWidth", &TppCustomReport::ColumnWidth, &TppCustomReport::SetColumnWidth)
          .Property("NoDataBehaviors", &TppCustomReport::NoDataBehaviors, &TppCustomReport::SetNoDataBehaviors)
          .Property("PageLimit", &TppCustomReport::PageLimit, &TppCustomReport::SetPageLimit)
          .Default(0)
          .Property("PassSetting", &TppCustomReport::PassSetting, &TppCustomReport::SetPassSetting)
          .Default(psOnePass)
          .Property("PrinterSetup", &TppCustomReport::PrinterSetup, &TppCustomReport::SetPrinterSetup)
          .Property("SaveAsTemplate", &TppCustomReport::SaveAsTemplate, &TppCustomReport::SetSaveAsTemplate)
          .Default(0)
          .Property("Template", &TppCustomReport::TemplateObject, &TppCustomReport::SetTemplate)
          .Property("Units", &TppCustomReport::Units, &TppCustomReport::SetUnits)
          .Default(utInches)
          .Event("OnEndColumn", &TppCustomReport::OnEndColumn)
          .Event("OnEndFirstPass", &TppCustomReport::OnEndFirstPass)
          .Event("OnEndPage", &TppCustomReport::OnEndPage)
          .Event("OnEndSecondPass", &TppCustomReport::OnEndSecondPass)
          .Event("OnNoData", &TppCustomReport::OnNoData)
          .Event("OnStartColumn", &TppCustomReport::OnStartColumn)
          .Event("OnStartFirstPass", &TppCustomReport::OnStartFirstPass)
          .Event("OnStartPage", &TppCustomReport::OnStartPage)
          .Event("OnStartSecondPass", &TppCustomReport::OnStartSecondPass)
          .Build();
  return info;
}

TppCustomReport::TppCustomReport(TComponent* owner)
    : TppProducer(owner),
      passSetting(psOnePass),
      noDataBehaviors(TppNoDataBehaviors{ndBlankPage}),
      engine(std::make_unique<TppEngine>(nullptr, this)),
      reportTemplate(std::make_unique<TppReportTemplate>(this)) {
  StoreUserName("Report");
  // A new report's print jobs carry its user name.
  PrinterSetup()->SetDocumentName("Report");
  columnPositionTexts.OnChange = [this](TStrings&) { ColumnPositionsChanged(); };
}

TppCustomReport::~TppCustomReport() {
  // The list outlives the engine its change handler resets.
  columnPositionTexts.OnChange = nullptr;
  ClearLayout();
}

void TppCustomReport::BeforeDestruction() {
  ClearLayout();
  inherited::BeforeDestruction();
}

void TppCustomReport::ClearLayout() {
  clearing = true;
  while (!modules.empty()) {
    TppCommunicator* module = modules.back();
    modules.pop_back();
    module->Free();
  }
  while (!groups.empty()) groups.back()->Free();
  while (!bands.empty()) bands.back()->Free();
  clearing = false;
  engine->Reset();
}

void TppCustomReport::AddModule(TppCommunicator* module) {
  if (module && std::find(modules.begin(), modules.end(), module) == modules.end()) modules.push_back(module);
}

void TppCustomReport::RemoveModule(TppCommunicator* module) {
  modules.erase(std::remove(modules.begin(), modules.end(), module), modules.end());
}

int TppCustomReport::IndexOfGroup(const TppGroup* group) const {
  const auto it = std::find(groups.begin(), groups.end(), group);
  return it == groups.end() ? -1 : static_cast<int>(it - groups.begin());
}

int TppCustomReport::IndexOfBand(const TppBand* band) const {
  const auto it = std::find(bands.begin(), bands.end(), band);
  return it == bands.end() ? -1 : static_cast<int>(it - bands.begin());
}

TppBand* TppCustomReport::GetBand(TppBandType type, int groupIndex) const {
  if (type == btGroupHeader || type == btGroupFooter) {
    if (groupIndex < 0 || groupIndex >= GroupCount()) return nullptr;
    const TppGroup* group = Groups(groupIndex);
    return type == btGroupHeader ? static_cast<TppBand*>(group->HeaderBand())
                                 : static_cast<TppBand*>(group->FooterBand());
  }
  for (TppBand* band : bands)
    if (band->BandTypeCode() == type) return band;
  return nullptr;
}

void TppCustomReport::SortBands() {
  std::stable_sort(bands.begin(), bands.end(),
                   [](const TppBand* a, const TppBand* b) { return a->GetSortKey() < b->GetSortKey(); });
}

void TppCustomReport::AddBand(TppBand* band) {
  if (!band || IndexOfBand(band) >= 0) return;
  bands.push_back(band);
  band->SetParent(this);
  SortBands();
  Reset();
}

void TppCustomReport::RemoveBand(TppBand* band) {
  const auto it = std::find(bands.begin(), bands.end(), band);
  if (it == bands.end()) return;
  bands.erase(it);
  if (band->Parent() == this) band->SetParent(nullptr);
  if (!clearing) Reset();
}

void TppCustomReport::AddGroup(TppGroup* group) {
  if (!group || IndexOfGroup(group) >= 0) return;
  groups.push_back(group);
  group->SetParent(this);
  SortBands();
  Reset();
}

void TppCustomReport::RemoveGroup(TppGroup* group) {
  const auto it = std::find(groups.begin(), groups.end(), group);
  if (it == groups.end()) return;
  groups.erase(it);
  if (group->Parent() == this) group->SetParent(nullptr);
  SortBands();
  if (!clearing) Reset();
}

void TppCustomReport::CreateDefaultBands() {
  if (!GetBand(btHeader)) (new TppHeaderBand(this))->SetReport(this);
  if (!GetBand(btDetail)) (new TppDetailBand(this))->SetReport(this);
  if (!GetBand(btFooter)) (new TppFooterBand(this))->SetReport(this);
}

void TppCustomReport::SetDataPipeline(TppDataPipeline* value) {
  if (value == dataPipeline) return;
  TppDataPipeline* old = dataPipeline;
  if (dataPipeline) {
    dataPipeline->RemoveFreeNotification(this);
    dataPipeline->RemoveEventNotify(this);
  }
  dataPipeline = value;
  if (dataPipeline) {
    dataPipeline->FreeNotification(this);
    dataPipeline->AddEventNotify(this);
  }
  // Components that followed the old pipeline follow the new one.
  for (TppBand* band : bands) {
    // A detail band with a pipeline of its own keeps it.
    if (auto* detail = dynamic_cast<TppDetailBand*>(band); detail && detail->DataPipeline()) continue;
    for (int i = 0; i < band->ObjectCount(); ++i) {
      TppComponent* c = band->Objects(i);
      if (c->IsDataAware() && c->ParentDataPipeline() && (c->DataPipeline() == old || !c->DataPipeline()))
        c->SetDataPipeline(value);
    }
  }
  autoStop = value == nullptr;
  Reset();
}

void TppCustomReport::FixUpDataPipeline(TppDataPipeline* pipeline) {
  if (!pipeline) return;
  reportTemplate->DatabaseSettings().FixUpDataPipeline(pipeline);
  const std::string name = pipeline->GetUserName();
  for (TppBand* band : bands)
    for (int i = 0; i < band->ObjectCount(); ++i) band->Objects(i)->FixUpDataPipeline(pipeline, name);
}

void TppCustomReport::Notification(TComponent* component, TOperation operation) {
  inherited::Notification(component, operation);
  if (operation == opRemove && component == parentReport) parentReport = nullptr;
  if (operation == opRemove) reportTemplate->DatabaseSettings().Forget(component);
  if (operation == opRemove && component == dataPipeline) {
    dataPipeline = nullptr;
    autoStop = true;
    Reset();
  }
}

void TppCustomReport::SetColumns(int value) {
  columns = std::max(value, 1);
  columnWidth = 0;
  Reset();
}

int TppCustomReport::ColumnWidth() const {
  const int printable = PrinterSetup()->PageDef().mmPrintableWidth();
  return columnWidth > 0 ? std::min(columnWidth, printable) : printable / columns;
}

void TppCustomReport::SetColumnWidth(int value) {
  columnWidth = std::max(value, 0);
  Reset();
}

TStringList* TppCustomReport::ColumnPositions() const {
  const TComponentState state = ComponentState();
  if (state.Contains(csReading) || state.Contains(csLoading)) return &columnPositionTexts;
  rebuildingPositions = true;
  columnPositionTexts.BeginUpdate();
  columnPositionTexts.Clear();
  // Stored layouts carry the texts: no locale.
  const TFormatSettings neutral;
  for (const int position : columnPositions)
    columnPositionTexts.Add(
        FloatToStrF(ppMMThousandthsToUnits(position, units, axHorizontal), ffGeneral, 7, 0, neutral));
  columnPositionTexts.EndUpdate();
  rebuildingPositions = false;
  return &columnPositionTexts;
}

void TppCustomReport::SetColumnPositions(TStringList* value) {
  if (value && value != &columnPositionTexts) columnPositionTexts.Assign(*value);
}

std::vector<int> TppCustomReport::ParseColumnPositions() const {
  std::vector<int> positions;
  for (int i = 0; i < columnPositionTexts.Count(); ++i)
    positions.push_back(ppUnitsToMMThousandths(StrToFloat(Trim(columnPositionTexts.Get(i))), units, axHorizontal));
  return positions;
}

void TppCustomReport::ColumnPositionsChanged() {
  const TComponentState state = ComponentState();
  if (rebuildingPositions || state.Contains(csReading) || state.Contains(csLoading)) return;
  columnPositions = ParseColumnPositions();
  Reset();
}

void TppCustomReport::SetPassSetting(TppPassSettingType value) {
  passSetting = value;
  modified = true;
  Reset();
}

void TppCustomReport::SetPageLimit(int value) {
  pageLimit = std::max(value, 0);
  Reset();
}

void TppCustomReport::SetNoDataBehaviors(TppNoDataBehaviors value) {
  if (value.Contains(ndBlankReport) && noDataBehaviors.Contains(ndBlankPage)) value = value - TppNoDataBehaviors{ndBlankPage};
  if (value.Contains(ndBlankPage) && noDataBehaviors.Contains(ndBlankReport)) value = value - TppNoDataBehaviors{ndBlankReport};
  if (!value.Contains(ndBlankPage) && !value.Contains(ndBlankReport)) value = value + TppNoDataBehaviors{ndBlankPage};
  if (value.Contains(ndBlankPage)) value = value - TppNoDataBehaviors{ndMessageOnPage};
  noDataBehaviors = value;
  Reset();
}

void TppCustomReport::SetTemplate(TppReportTemplate* value) {
  if (value && value != reportTemplate.get()) reportTemplate->Assign(value);
}

void TppCustomReport::SetParentReport(TppCustomReport* value) {
  ORV_ASSERT(value != this);
  if (value == parentReport) return;
  if (parentReport) parentReport->RemoveFreeNotification(this);
  parentReport = value;
  if (parentReport) parentReport->FreeNotification(this);
}

TppCustomReport* TppCustomReport::MainReport() {
  TppCustomReport* report = this;
  while (report->parentReport) report = report->parentReport;
  return report;
}

int TppCustomReport::AbsolutePageNo() const { return engine->AbsolutePageNo(); }
int TppCustomReport::AbsolutePageCount() const { return engine->AbsolutePageCount(); }
bool TppCustomReport::FirstPass() const {
  // A child report runs in the passes of the report that holds it.
  const TppCustomReport* main = this;
  while (main->parentReport) main = main->parentReport;
  return main->engine->FirstPass();
}
int TppCustomReport::PageNo() const { return engine->PageNo(); }
int TppCustomReport::PageCount() const { return engine->PageCount(); }
int TppCustomReport::CurrentColumn() const { return engine->CurrentColumn(); }
bool TppCustomReport::DonePrinting() const { return engine->DonePrinting(); }
void TppCustomReport::PageLimitReached() { engine->PageLimitReached(); }

bool TppCustomReport::PrintingAsSubReport() const {
  const TppCustomReport* main = this;
  while (main->parentReport) main = main->parentReport;
  return main != this && main->Printing();
}
bool TppCustomReport::SecondPass() const { return engine->SecondPass(); }

void TppCustomReport::Reset() {
  if (Printing() && engine->Busy()) return;
  engine->Reset();
  Publisher()->Clear();
}

void TppCustomReport::RegenerateFromPage(int pageNo) {
  // A two-pass report's page count may change with any page.
  if (passSetting == psTwoPass) pageNo = 1;
  engine->DiscardPagesFrom(pageNo);
  Publisher()->ForgetPagesFrom(pageNo);
}

void TppCustomReport::ServePageRequest(TppPageRequest& request) { engine->ServePageRequest(request); }

void TppCustomReport::ResetEngine() { engine->Reset(); }

void TppCustomReport::StopGeneration() { engine->RequestStop(); }

bool TppCustomReport::FindComponentByUserName(const std::string& name, int& bandIndex,
                                              TppComponent*& component) const {
  for (size_t b = 0; b < bands.size(); ++b) {
    const int index = bands[b]->FindObjectByName(name);
    if (index < 0) continue;
    bandIndex = static_cast<int>(b);
    component = bands[b]->Objects(index);
    return true;
  }
  bandIndex = 0;
  component = nullptr;
  return false;
}

TppCommunicator* TppCustomReport::FindUserName(const std::string& name) {
  if (SameText(name, GetUserName())) return this;
  for (TppBand* band : bands)
    if (SameText(band->GetUserName(), name)) return band;
  for (TppBand* band : bands)
    for (int i = 0; i < band->ObjectCount(); ++i)
      if (SameText(band->Objects(i)->GetUserName(), name)) return band->Objects(i);
  for (TppGroup* group : groups)
    if (SameText(group->GetUserName(), name)) return group;
  return nullptr;
}

void TppCustomReport::DoStartPage() {
  if (OnStartPage) OnStartPage(this);
  SendEventNotify(this, ppevStartPage, nullptr);
}

void TppCustomReport::DoEndPage() {
  if (OnEndPage) OnEndPage(this);
  SendEventNotify(this, ppevEndPage, nullptr);
}

void TppCustomReport::DoPassEvent(TppNotifyEvent& event, int eventId) {
  if (event) event(this);
  SendEventNotify(this, eventId, nullptr);
}

void TppCustomReport::DoNoData(bool& showDialog, TObject* drawCommand, bool& addDrawCommand) {
  if (OnNoData) OnNoData(this, nullptr, showDialog, drawCommand, addDrawCommand);
  // The listeners (scripts) get the dialog, whether it shows, the draw
  // command and whether it is kept, and may change the two answers.
  TppEventParams params{Variant::Null(), Variant(showDialog),
                        Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(drawCommand))),
                        Variant(addDrawCommand)};
  SendEventNotify(this, ppevNoData, &params);
  showDialog = params[1].AsBoolean();
  addDrawCommand = params[3].AsBoolean();
  if (!showDialog) return;
  TppDialogRequest request;
  request.Kind = dkNoData;
  request.Producer = this;
  ppRunDialog(request);
}

void TppCustomReport::GetChildren(const TGetChildProc& proc, TComponent* root) {
  for (TppBand* band : bands)
    if (!band->Group()) proc(band);
  for (TppGroup* group : groups) proc(group);
  for (TppCommunicator* module : modules) proc(module);
}

void TppCustomReport::Loaded() {
  // A group read without its bands gets new ones.
  for (TppGroup* group : groups) {
    if (!group->HeaderBand()) group->AttachBand(new TppGroupHeaderBand(this));
    if (!group->FooterBand()) group->AttachBand(new TppGroupFooterBand(this));
  }
  SortBands();
  if (bands.empty()) CreateDefaultBands();
  // The Units are read now: the stored positions can be measured.
  columnPositions = ParseColumnPositions();
  // The layout is whole: an older one is converted now.
  inherited::Loaded();
  // A layout kept as a template replaces the one read, unless this read is
  // the template's own (a layout stored with the setting would load itself
  // for ever). A child report's layout comes with its main report's.
  if (!saveAsTemplate || parentReport || TppReportTemplate::Operating()) return;
  TppTemplateDBSettings& settings = reportTemplate->DatabaseSettings();
  if (!settings.DataPipeline())
    settings.FixUpDataPipeline(ppFindPipeline(Owner(), settings.DataPipelineName()));
  reportTemplate->Load();
}

void TppCustomReport::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts: read, never written.
  filer.DefineProperty("UserName", [](TReader& reader) { reader.ReadString(); }, nullptr, false);
  filer.DefineProperty(
      "ColumnWidth", [this](TReader& reader) { legacyColumnWidth = static_cast<double>(reader.ReadFloat()); },
      nullptr, false);
  filer.DefineProperty(
      "RulerUnits",
      [this](TReader& reader) {
        const std::string ident = reader.ReadIdent();
        if (ident == "utPixels") units = utScreenPixels;
        else if (ident == "utInches") units = utInches;
        else if (ident == "utMillimeters") units = utMillimeters;
      },
      nullptr, false);
}

void TppCustomReport::ConvertFromVersion(int versionNo) {
  if (versionNo < 4100) autoStop = false;
  if (versionNo < 3000) {
    // Sizes were kept in the report's units.
    PrinterSetup()->SetUnits(units);
    if (legacyColumnWidth >= 0)
      columnWidth = std::max(ppUnitsToMMThousandths(legacyColumnWidth, units, axHorizontal), 0);
    // Columns that did not fit side by side share the page's width.
    const int printable = PrinterSetup()->PageDef().mmPrintableWidth();
    if (columnPositions.empty() && columns >= 2 && printable < columns * columnWidth) columnWidth = printable / columns;
    passSetting = psTwoPass;
  }
  legacyColumnWidth = -1;
  for (TppBand* band : bands) band->ConvertFromVersion(versionNo);
  for (TppGroup* group : groups) group->ConvertFromVersion(versionNo);
  modified = true;
}

const TClassInfo& TppReport::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppReport>("TppReport")
          .Property("AllowPrintToArchive", &TppReport::AllowPrintToArchive, &TppReport::SetAllowPrintToArchive)
          .Default(0)
          .Property("AllowPrintToFile", &TppReport::AllowPrintToFile, &TppReport::SetAllowPrintToFile)
          .Default(0)
          .Property("ArchiveFileName", &TppReport::ArchiveFileName, &TppReport::SetArchiveFileName)
          .Property("CachePages", &TppReport::CachePages, &TppReport::SetCachePages)
          .Default(0)
          .Property("DeviceType", &TppReport::DeviceType, &TppReport::SetDeviceType)
          .Property("Icon", &TppReport::Icon, &TppReport::SetIcon)
          .Property("Language", &TppReport::Language, &TppReport::SetLanguage)
          .Default(lgDefault)
          .Property("ModalCancelDialog", &TppReport::ModalCancelDialog, &TppReport::SetModalCancelDialog)
          .Default(1)
          .Property("ModalPreview", &TppReport::ModalPreview, &TppReport::SetModalPreview)
          .Default(1)
          .Property("SavePrinterSetup", &TppReport::SavePrinterSetup, &TppReport::SetSavePrinterSetup)
          .Default(0)
          .Property("ShowAutoSearchDialog", &TppReport::ShowAutoSearchDialog, &TppReport::SetShowAutoSearchDialog)
          .Default(0)
          .Property("ShowCancelDialog", &TppReport::ShowCancelDialog, &TppReport::SetShowCancelDialog)
          .Default(1)
          .Property("ShowPrintDialog", &TppReport::ShowPrintDialog, &TppReport::SetShowPrintDialog)
          .Default(1)
          .Property("TextFileName", &TppReport::TextFileName, &TppReport::SetTextFileName)
          .Property("TextFileType", &TppReport::TextFileType, &TppReport::SetTextFileType)
          .Default(ftComma)
          .Event("BeforeAutoSearchDialogCreate", &TppReport::BeforeAutoSearchDialogCreate)
          .Event("AfterAutoSearchDialogCreate", &TppReport::AfterAutoSearchDialogCreate)
          .Event("OnAutoSearchDialogClose", &TppReport::OnAutoSearchDialogClose)
          .Event("OnGetAutoSearchValues", &TppReport::OnGetAutoSearchValues)
          .Build();
  return info;
}

TppReport::TppReport(TComponent* owner) : TppCustomReport(owner) {}

TppReport::~TppReport() { autoSearchFields.clear(); }

void TppReport::FireAutoSearchEvent(TppNotifyEvent& event, int eventId) {
  if (event) event(this);
  SendEventNotify(this, eventId, nullptr);
}

TppDataPipeline* TppReport::FindPipeline(const std::string& userName) const {
  if (DataPipeline() && SameText(DataPipeline()->GetUserName(), userName)) return DataPipeline();
  if (!Owner()) return nullptr;
  for (int i = 0; i < Owner()->ComponentCount(); ++i)
    if (auto* pipeline = dynamic_cast<TppDataPipeline*>(Owner()->Components(i)))
      if (SameText(pipeline->GetUserName(), userName)) return pipeline;
  return nullptr;
}

TppAutoSearchField* TppReport::CreateAutoSearchCriteria(const std::string& dataPipelineName,
                                                        const std::string& fieldName,
                                                        TppSearchOperatorType searchOperator,
                                                        const std::string& expression, bool mandatory) {
  TObjectPtr<TppAutoSearchField> field(new TppAutoSearchField(nullptr));
  field->SetUserName(GetDefaultUserName(field.get()));
  field->SetDataPipelineName(dataPipelineName);
  field->SetFieldName(fieldName);
  field->SetSearchOperator(searchOperator);
  field->SetSearchExpression(expression);
  field->SetMandatory(mandatory);
  field->SetDataPipeline(FindPipeline(dataPipelineName));
  field->SetFirstField(autoSearchFields.empty());
  // New criteria mean new pages.
  field->OnChange = [this](TppAutoSearchField*) { Reset(); };
  TppAutoSearchField* created = field.get();
  autoSearchFields.push_back(std::move(field));
  Reset();
  TppEventParams params{Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(created)))};
  SendEventNotify(this, ppevAutoSearchFieldCreate, &params);
  return created;
}

TppAutoSearchField* TppReport::AutoSearchCriteriaByName(const std::string& dataPipelineName,
                                                        const std::string& fieldName) const {
  for (const auto& field : autoSearchFields)
    if (SameText(field->DataPipelineName(), dataPipelineName) && SameText(field->FieldName(), fieldName))
      return field.get();
  return nullptr;
}

void TppReport::FreeAutoSearchField(TppAutoSearchField* field) {
  std::erase_if(autoSearchFields, [field](const auto& held) { return held.get() == field; });
  for (size_t i = 0; i < autoSearchFields.size(); ++i) autoSearchFields[i]->SetFirstField(i == 0);
  Reset();
}

void TppReport::GetAutoSearchDescriptionLines(TStrings& lines) const {
  lines.Clear();
  for (const auto& field : autoSearchFields) lines.Add(field->Description());
}

std::string TppReport::AutoSearchDescription() const {
  std::string text;
  for (const auto& field : autoSearchFields) text += (text.empty() ? "" : " ") + field->Description();
  return text;
}

bool TppReport::DisplayAutoSearchDialog() {
  FireAutoSearchEvent(BeforeAutoSearchDialogCreate, ppevBeforeAutoSearchDialogCreate);
  if (!showAutoSearchDialog) return true;
  std::unique_ptr<TppCustomAutoSearchDialog> dialog = ppCreateForm<TppCustomAutoSearchDialog>();
  if (dialog) {
    dialog->SetReport(this);
    dialog->SetLanguageIndex(0);
  }
  FireAutoSearchEvent(AfterAutoSearchDialogCreate, ppevAfterAutoSearchDialogCreate);
  if (!dialog || autoSearchFields.empty()) return true;
  for (const auto& field : autoSearchFields) dialog->AutoSearchFields.push_back(field.get());
  dialog->OnDialogClose = [this](TppForm*) { FireAutoSearchEvent(OnAutoSearchDialogClose, ppevAutoSearchDialogClose); };
  dialog->Init();
  const int result = dialog->ShowModal();
  dialog.reset();
  if (result != ppmrOK) return false;
  Reset();
  if (!inPrint) FireAutoSearchEvent(OnGetAutoSearchValues, ppevGetAutoSearchValues);
  return true;
}

bool TppReport::Print() {
  {
    inPrint = true;
    struct TEnd {
      bool& flag;
      ~TEnd() { flag = false; }
    } end{inPrint};
    if (showAutoSearchDialog && !DisplayAutoSearchDialog()) return false;
    if (!Engine().Busy() && !autoSearchFields.empty())
      FireAutoSearchEvent(OnGetAutoSearchValues, ppevGetAutoSearchValues);
  }
  return TppProducer::Print();
}

void TppReport::DefineProperties(TFiler& filer) {
  inherited::DefineProperties(filer);
  // Older layouts: read, never written.
  for (const char* dropped : {"AllowPrintCancel", "PreviewPages", "SuppressFormFeed", "Viewer", "DataSource",
                              "OnPrintingComplete", "RowSpacing"})
    filer.DefineProperty(dropped, [](TReader& reader) { reader.SkipValue(); }, nullptr, false);
  filer.DefineProperty(
      "Orientation", [this](TReader& reader) { legacyLandscape = reader.ReadIdent() == "poLandscape"; }, nullptr,
      false);
  filer.DefineProperty("NoDataPages", [this](TReader& reader) { SetPageLimit(reader.ReadInteger()); }, nullptr,
                       false);
}

void TppReport::ConvertFromVersion(int versionNo) {
  if (versionNo < 1270 && legacyLandscape) PrinterSetup()->SetOrientation(poLandscape);
  inherited::ConvertFromVersion(versionNo);
}

void ppRegisterReportClasses() {
  ppRegisterBandClasses();
  RegisterClass(TppReport::StaticClassType());
  RegisterClass(TppGroup::StaticClassType());
  RegisterClass(TppDBPipeline::StaticClassType());
  ppRegisterSubReportClasses();
}
