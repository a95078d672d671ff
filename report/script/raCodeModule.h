#pragma once
// The scripts a report carries: one code module attached to the report,
// holding its global constants and variables, a start and an end program,
// global routines and the event handlers bound to events of the report's
// objects. The module streams with the layout ("ProgramStream"), compiles
// after loading, answers its programs' look-ups (up to the parent report's
// module for a subreport), starts with each run of the report and finishes
// with it; it can be saved to and loaded from a code module file (".ctm").

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ppComm.h"
#include "raAdapters.h"
#include "raProgram.h"

class TppCustomReport;
class TraCodeModule;

// A script program that failed to compile when the report started.
RTL_EXCEPTION_CLASS(ECodeError, Exception);

// Child types by which the module files its programs.
constexpr int raStartProgramChild = 19;
constexpr int raEndProgramChild = 20;
constexpr int raGlobalProgramChild = 21;

// A program bound to one event of one of the report's objects. Its name is
// always ComponentName followed by EventName.
class TraEventHandler : public TraProgram {
  RTL_DECLARE_CLASS(TraEventHandler, TraProgram)

  TraEventHandler();
  ~TraEventHandler() override;

  const std::string& ComponentName() const { return componentName; }
  // Renames the program and its heading, keeping the body.
  void SetComponentName(const std::string& name);
  const std::string& EventName() const { return eventName; }
  void SetEventName(const std::string& name);

  TraCodeModule* Module() const { return module; }
  void SetModule(TraCodeModule* value);
  // The object looked up by ComponentName, and the handler bound to its
  // event; nullptr when there is no such object.
  TObject* Resolve();
  TObject* BoundObject() const;
  // -1 when the object's class has no such event.
  int EventID() const { return eventRec ? eventRec->EventID : -1; }

  // "procedure Variable1OnCalc(var Value: Variant);" and CR LF; without
  // the object or its event a parameterless procedure.
  std::string Heading() const;
  // The heading and a body that assigns nothing yet to each var parameter.
  void SetDefaultSource();

  // The event's arguments bound to the parameters, the program run through
  // the module, var parameters handed back. Only a compiled handler of a
  // module runs; only the arguments the event sent are bound.
  void Run(TppEventParams* params);

  // While a stream fills the handler: names are stored, nothing rebuilt.
  bool Reading = false;
  void ReadingDone();

private:
  std::string componentName, eventName;
  TraCodeModule* module = nullptr;
  std::unique_ptr<TraPropRec> eventRec;
  // Linked to the object: hears its event and its destruction and renames.
  TObjectPtr<TppCommunicator> listener;
  TppCommunicator* bound = nullptr;

  void Unbind();
  void ResolveEvent();
};

// Written to streams as a TraEventHandler.
class TraOnCalcEventHandler : public TraEventHandler {
  RTL_DECLARE_CLASS(TraOnCalcEventHandler, TraEventHandler)
};

struct TraCodeModuleWarning {
  std::string Text;
};

class TraCodeModule : public TppCommunicator {
  RTL_DECLARE_CLASS(TraCodeModule, TppCommunicator)

  explicit TraCodeModule(TComponent* owner);
  ~TraCodeModule() override;
  // A module owned by the report's owner, attached to the report.
  static TraCodeModule* CreateForReport(TppCustomReport* report);
  // The first code module attached to the report; nullptr when none.
  static TraCodeModule* Of(const TppCustomReport* report);

  TppCustomReport* Report() const { return report; }
  void SetReport(TppCustomReport* value);

  // Files the program by its child type (17 variables, 18 constants, 19
  // start, 20 end, 21 routines, any other: event handlers); a section, start
  // or end program replaces the one there was.
  TraProgram* AddProgram(std::unique_ptr<TraProgram> program);
  // The program taken out of the module (the caller owns it).
  std::unique_ptr<TraProgram> RemoveProgram(TraProgram* program);
  TraEventHandler* CreateEventHandler(const std::string& componentName, const std::string& eventName);
  TraConstProgram* ConstSection() const { return constSection.get(); }
  TraVarProgram* VarSection() const { return varSection.get(); }
  TraProgram* StartProgram() const { return startProgram.get(); }
  TraProgram* EndProgram() const { return endProgram.get(); }
  int EventHandlerCount() const { return static_cast<int>(handlers.size()); }
  TraEventHandler* EventHandler(int index) const { return handlers[static_cast<size_t>(index)].get(); }
  // Sections, start, end, routines, handlers: the order of streams and counts.
  std::vector<TraProgram*> AllPrograms() const;
  bool IsEmpty() const { return AllPrograms().empty(); }

  // Compiles everything (routines that fail once are tried again after the
  // others); with raiseErrors the first program that does not compile
  // raises ECodeError. Then the modules of the subreports. False when a
  // program did not compile.
  bool CompileAll(bool raiseErrors);
  // Drops, with a warning, the handlers whose object or event is gone.
  void ValidateEventHandlers();
  void Start();
  void Finish();
  bool Started() const { return started; }
  bool CompileOnLoad = true;

  // Look-ups for the programs: declared here, else in the parent report's module.
  TraVariableValue* FindConstant(const std::string& name);
  TraVariableValue* FindVariable(const std::string& name);
  TraProgram* FindProgram(const std::string& name);
  // The report ("Report" or its user name), its objects, then pipelines.
  TObject* FindObject(const std::string& name);

  // Runs a program of this module with the host's run options.
  void RunProgram(TraProgram& program);
  TraRunOptions RunOptions;

  // ".ctm" files: text, beginning with "object". Loading replaces the
  // programs; handlers of objects the report does not have are dropped
  // with a warning.
  void SaveToFile(const std::string& fileName);
  void LoadFromFile(const std::string& fileName);

  // Where warnings go (the program shows them; tests collect them). Without
  // a receiver they are shown in a message box.
  static std::function<void(const std::string& text)>& WarningReceiver();

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;
  void DefineProperties(TFiler& filer) override;
  void Loaded() override;
  void EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) override;
  void Notify(TppCommunicator* sender, int operation) override;

private:
  TppCustomReport* report = nullptr;
  std::unique_ptr<TraConstProgram> constSection;
  std::unique_ptr<TraVarProgram> varSection;
  std::unique_ptr<TraProgram> startProgram, endProgram;
  std::vector<std::unique_ptr<TraProgram>> routines;
  std::vector<std::unique_ptr<TraEventHandler>> handlers;
  TraObjectPool madeObjects;
  bool compilingAll = false, started = false;

  void InstallHooks(TraProgram& program);
  TraCodeModule* ParentModule() const;
  std::vector<TraCodeModule*> SubReportModules() const;
  void Warn(const std::string& text);
  void WriteProgramStream(TStream& stream);
  void ReadProgramStream(TStream& stream);
  void ClearPrograms();
};
