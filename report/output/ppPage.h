#pragma once
// A generated page: its numbers and flags, its own printer setup, and its
// draw commands in drawing order. Streamed whole, the commands as children.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppPrinterSetup.h"
#include "rtlDateTime.h"
#include "rtlTypeInfo.h"

class TppDrawCommand;
class TppDevice;

enum TppPassSettingType : uint8_t { psOnePass, psTwoPass };
RTL_ENUM_TYPE(TppPassSettingType, "psOnePass", "psTwoPass")

class TppPage : public TComponent {
  RTL_DECLARE_CLASS(TppPage, TComponent)

  explicit TppPage(TComponent* owner);
  ~TppPage() override;

  int AbsolutePageNo = 0;
  int AbsolutePageCount = 0;
  bool Calculation = false;
  int ControlGroupBreakNo = 0;
  std::string DocumentName;
  bool FirstPage = false;
  bool Final = false;
  int LanguageIndex = 0;
  bool LastPage = false;
  int PageNo = 0;
  int PageCount = 0;
  TppPassSettingType PassSetting = psOnePass;
  TDateTime PrintDateTime = 0;

  TppPageDef* PageDef() const;
  TppPrinterSetup* PrinterSetup() const { return printerSetup.get(); }
  // Copies the setup; nil is ignored.
  void SetPrinterSetup(TppPrinterSetup* value);

  void Assign(const TPersistent* source) override;
  // Frees the commands and resets the numbers; FirstPage, PassSetting,
  // PrintDateTime and the printer setup stay.
  void Clear();

  // Reached through the command's SetPage.
  void AddDrawCommand(TppDrawCommand* command);
  void RemoveDrawCommand(TppDrawCommand* command);
  void ClearDrawCommands();
  // Takes a command off the page for good: it is no longer drawn, and it
  // is freed with the page's other commands, so that whoever handed it out
  // (a component's draw-command event) may still hold it meanwhile.
  void DiscardDrawCommand(TppDrawCommand* command);
  int GetDrawCommandCount() const { return static_cast<int>(drawCommands.size()); }
  // A two-pass report's first pass makes no commands (its pages are never
  // delivered); the page still counts what would stand on it.
  void CountOmittedCommand() { ++omittedCommands; }
  // Nothing stands on the page, drawn or omitted.
  bool IsEmpty() const { return drawCommands.empty() && omittedCommands == 0; }
  TppDrawCommand* GetDrawCommand(int index) const;
  int GetClickableCount() const { return static_cast<int>(clickable.size()); }
  TppDrawCommand* GetClickableDrawCommand(int index) const;
  int GetLookAheadCount() const { return static_cast<int>(lookAhead.size()); }
  // The first command of the class or a descendant; nullptr when none.
  TppDrawCommand* FindDrawCommand(const TClassInfo& commandClass) const;
  // The first command of the class registered as "TppDrawOutline".
  TppDrawCommand* FindOutline() const;
  void UpdateLookAheadDrawCommands(TppDevice* device);
  void ForEachDrawCommand(const std::function<void(TppDrawCommand*)>& proc) const;

  std::string PageCaption() const;
  std::string PageOfCaption() const;

  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  // Commands read from a stream learn what they are after joining.
  void Loaded() override;
  // Puts the command in or out of the look-ahead and clickable lists.
  void CommandChanged(TppDrawCommand* command);

private:
  std::vector<TppDrawCommand*> discarded;
  std::vector<TppDrawCommand*> drawCommands;
  std::vector<TppDrawCommand*> lookAhead;
  std::vector<TppDrawCommand*> clickable;
  std::unique_ptr<TppPrinterSetup> printerSetup;
  int omittedCommands = 0;
};
