#include "ppPage.h"

#include <algorithm>

#include "ppDevice.h"
#include "ppDrwCmd.h"
#include "ppMessages.h"
#include "rtlConvert.h"

const TClassInfo& TppPage::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPage>("TppPage")
          .Property("AbsolutePageNo", &TppPage::AbsolutePageNo, &TppPage::AbsolutePageNo)
          .Default(0)
          .Property("AbsolutePageCount", &TppPage::AbsolutePageCount, &TppPage::AbsolutePageCount)
          .Default(0)
          .Property("Calculation", &TppPage::Calculation, &TppPage::Calculation)
          .Default(0)
          .Property("ControlGroupBreakNo", &TppPage::ControlGroupBreakNo, &TppPage::ControlGroupBreakNo)
          .Default(0)
          .Property("DocumentName", &TppPage::DocumentName, &TppPage::DocumentName)
          .Property("FirstPage", &TppPage::FirstPage, &TppPage::FirstPage)
          .Default(0)
          .Property("Final", &TppPage::Final, &TppPage::Final)
          .Default(0)
          .Property("LanguageIndex", &TppPage::LanguageIndex, &TppPage::LanguageIndex)
          .Default(0)
          .Property("LastPage", &TppPage::LastPage, &TppPage::LastPage)
          .Default(0)
          .Property("PageDef", &TppPage::PageDef)
          .Property("PageNo", &TppPage::PageNo, &TppPage::PageNo)
          .Default(0)
          .Property("PageCount", &TppPage::PageCount, &TppPage::PageCount)
          .Default(0)
          .Property("PassSetting", &TppPage::PassSetting, &TppPage::PassSetting)
          .Default(psOnePass)
          .Property("PrintDateTime", &TppPage::PrintDateTime, &TppPage::PrintDateTime)
          .AsDateTime()
          .Property("PrinterSetup", &TppPage::PrinterSetup, &TppPage::SetPrinterSetup)
          .Build();
  return info;
}

TppPage::TppPage(TComponent* owner) : TComponent(owner), printerSetup(std::make_unique<TppPrinterSetup>(this)) {}

TppPage::~TppPage() { ClearDrawCommands(); }

TppPageDef* TppPage::PageDef() const { return const_cast<TppPageDef*>(&printerSetup->PageDef()); }

void TppPage::SetPrinterSetup(TppPrinterSetup* value) {
  if (!value) return;
  printerSetup->SetNotifications(false);
  printerSetup->Assign(value);
  printerSetup->SetNotifications(true);
}

void TppPage::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TppPage*>(source);
  if (!other) {
    inherited::Assign(source);
    return;
  }
  AbsolutePageNo = other->AbsolutePageNo;
  AbsolutePageCount = other->AbsolutePageCount;
  Calculation = other->Calculation;
  ControlGroupBreakNo = other->ControlGroupBreakNo;
  DocumentName = other->DocumentName;
  FirstPage = other->FirstPage;
  Final = other->Final;
  LanguageIndex = other->LanguageIndex;
  LastPage = other->LastPage;
  PageNo = other->PageNo;
  PageCount = other->PageCount;
  PassSetting = other->PassSetting;
  PrintDateTime = other->PrintDateTime;
  SetPrinterSetup(other->printerSetup.get());
  ClearDrawCommands();
  for (TppDrawCommand* source : other->drawCommands) {
    const TClassInfo::TFactory factory = source->ClassType().Factory();
    if (!factory) continue;
    auto* copy = static_cast<TppDrawCommand*>(factory(this));
    copy->Assign(source);
    copy->SetPage(this);
  }
}

void TppPage::Clear() {
  ClearDrawCommands();
  omittedCommands = 0;
  AbsolutePageNo = AbsolutePageCount = ControlGroupBreakNo = LanguageIndex = PageNo = PageCount = 0;
  Calculation = Final = LastPage = false;
  DocumentName.clear();
}

void TppPage::AddDrawCommand(TppDrawCommand* command) {
  if (!command || std::find(drawCommands.begin(), drawCommands.end(), command) != drawCommands.end()) return;
  drawCommands.push_back(command);
  if (command->IsLookAhead()) lookAhead.push_back(command);
  if (command->Clickable()) clickable.push_back(command);
  if (command->Owner() != this) {
    if (command->Owner()) command->Owner()->RemoveComponent(command);
    InsertComponent(command);
  }
}

void TppPage::RemoveDrawCommand(TppDrawCommand* command) {
  std::erase(discarded, command);
  std::erase(drawCommands, command);
  std::erase(lookAhead, command);
  std::erase(clickable, command);
  if (command && command->Owner() == this) RemoveComponent(command);
}

void TppPage::DiscardDrawCommand(TppDrawCommand* command) {
  if (!command || command->Page() != this) return;
  std::erase(drawCommands, command);
  std::erase(lookAhead, command);
  std::erase(clickable, command);
  discarded.push_back(command);
}

void TppPage::ClearDrawCommands() {
  while (!drawCommands.empty()) drawCommands.back()->Free();  // each leaves the page as it goes
  while (!discarded.empty()) discarded.back()->Free();
  lookAhead.clear();
  clickable.clear();
}

TppDrawCommand* TppPage::GetDrawCommand(int index) const {
  if (index < 0 || index >= GetDrawCommandCount()) return nullptr;
  return drawCommands[static_cast<size_t>(index)];
}

TppDrawCommand* TppPage::GetClickableDrawCommand(int index) const {
  if (index < 0 || index >= GetClickableCount()) return nullptr;
  return clickable[static_cast<size_t>(index)];
}

TppDrawCommand* TppPage::FindDrawCommand(const TClassInfo& commandClass) const {
  for (TppDrawCommand* command : drawCommands)
    if (command->InheritsFrom(commandClass)) return command;
  return nullptr;
}

TppDrawCommand* TppPage::FindOutline() const {
  const TClassInfo* outline = GetClass("TppDrawOutline");
  return outline ? FindDrawCommand(*outline) : nullptr;
}

void TppPage::UpdateLookAheadDrawCommands(TppDevice* device) {
  if (!device) return;
  const std::vector<TppDrawCommand*> snapshot = lookAhead;
  for (TppDrawCommand* command : snapshot)
    if (command->LookAheadPending()) device->RedrawDrawCommand(command);
}

void TppPage::ForEachDrawCommand(const std::function<void(TppDrawCommand*)>& proc) const {
  const std::vector<TppDrawCommand*> snapshot = drawCommands;
  for (TppDrawCommand* command : snapshot) proc(command);
}

std::string TppPage::PageCaption() const { return ppLoadMessage(18) + " " + IntToStr(AbsolutePageNo); }

std::string TppPage::PageOfCaption() const {
  return PageCaption() + " " + ppLoadMessage(16) + " " + IntToStr(AbsolutePageCount);
}

void TppPage::GetChildren(const TGetChildProc& proc, TComponent* root) {
  for (TppDrawCommand* command : drawCommands) proc(command);
}

void TppPage::CommandChanged(TppDrawCommand* command) {
  if (std::find(drawCommands.begin(), drawCommands.end(), command) == drawCommands.end()) return;
  // Both lists keep the drawing order.
  const std::vector<TppDrawCommand*> oldLookAhead = lookAhead;
  const std::vector<TppDrawCommand*> oldClickable = clickable;
  lookAhead.clear();
  clickable.clear();
  for (TppDrawCommand* c : drawCommands) {
    const bool wasLookAhead = std::find(oldLookAhead.begin(), oldLookAhead.end(), c) != oldLookAhead.end();
    const bool wasClickable = std::find(oldClickable.begin(), oldClickable.end(), c) != oldClickable.end();
    if (c == command ? c->IsLookAhead() : wasLookAhead) lookAhead.push_back(c);
    if (c == command ? c->Clickable() : wasClickable) clickable.push_back(c);
  }
}

void TppPage::Loaded() {
  inherited::Loaded();
  printerSetup->PaperSizeToPageDef();
  lookAhead.clear();
  clickable.clear();
  for (TppDrawCommand* c : drawCommands) {
    if (c->IsLookAhead()) lookAhead.push_back(c);
    if (c->Clickable()) clickable.push_back(c);
  }
}
