#include "raCodeModule.h"

#include <algorithm>

#include "ppBands.h"
#include "ppDataPipeline.h"
#include "ppReport.h"
#include "ppSubReport.h"
#include "raObjects.h"
#include "raTokens.h"
#include "rtlObjectText.h"
#include "rtlReader.h"
#include "rtlStrUtils.h"
#include "rtlStreams.h"
#include "rtlWriter.h"
#include "uiDialogs.h"

namespace {

const char* const lineBreak = "\r\n";

// The type name a heading gives a parameter: the class, the enumeration,
// else the data type's name without its "da".
std::string ParamTypeName(const TraParamRec& param) {
  if ((param.DataType == daObject || param.DataType == daClass) && param.ClassType) return param.ClassType->Name();
  if (param.DataType == daEnum) return param.TypeName;
  static const char* const names[] = {"Unknown", "Integer", "Single", "Double", "Extended", "Currency", "Char", "String", "DateTime",
                                      "Date",    "Time",    "Boolean", "Variant", "Object", "Class", "Enum", "Method"};
  return names[param.DataType];
}

Variant VariantOf(const TraValue& value) {
  if (value.DataType() == daObject || value.DataType() == daClass) {
    // Handed back to the engine that sent it, which reads it as the object.
    return Variant(static_cast<int64_t>(reinterpret_cast<intptr_t>(static_cast<const TraObjectValue&>(value).Object)));
  }
  TraVariantValue variant;
  variant.SetValue(value);
  return variant.Value;
}

}  // namespace

// ---- event handlers ----

const TClassInfo& TraEventHandler::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TraEventHandler>("TraEventHandler")
                                     .Property("ComponentName", &TraEventHandler::ComponentName, &TraEventHandler::SetComponentName)
                                     .Property("EventName", &TraEventHandler::EventName, &TraEventHandler::SetEventName)
                                     .Build();
  return info;
}

RTL_DEFINE_CLASS(TraOnCalcEventHandler)

TraEventHandler::TraEventHandler() : listener(new TppCommunicator(nullptr)) {
  listener->SetEventHandler([this](TppCommunicator*, TppCommunicator* sender, int eventId, TppEventParams* params) {
    if (sender == bound && eventId == EventID()) Run(params);
  });
  listener->SetNotifyHandler([this](TppCommunicator*, TppCommunicator* sender, int operation) {
    if (sender != bound) return;
    if (operation == ppopRemove) {
      // The object is going: the handler stays without it, and the module
      // drops it when it next checks its handlers.
      Unbind();
    } else if (operation == ppopUserNameChange) {
      SetComponentName(bound->GetUserName());
    }
  });
}

TraEventHandler::~TraEventHandler() { Unbind(); }

void TraEventHandler::Unbind() {
  if (bound) bound->RemoveEventNotify(listener.get());
  bound = nullptr;
}

TObject* TraEventHandler::BoundObject() const { return bound; }

void TraEventHandler::SetComponentName(const std::string& name) {
  componentName = name;
  if (Reading || IsCompiling()) return;
  const std::string body = SourceWithoutHeading();
  SetProgramName(componentName + eventName);
  Resolve();
  if (SourceLines()->Count() > 0) SetSource(Heading() + body);
}

void TraEventHandler::SetEventName(const std::string& name) {
  eventName = name;
  if (Reading) return;
  SetProgramName(componentName + eventName);
  Resolve();
}

void TraEventHandler::SetModule(TraCodeModule* value) {
  module = value;
  if (!Reading) Resolve();
}

void TraEventHandler::ResolveEvent() {
  eventRec.reset();
  listener->ClearEventSet();
  if (!bound) return;
  TraPropRec rec;
  if (!TraClassManager::Instance().GetMemberRec(bound->ClassType(), eventName, rec) || !rec.IsEvent()) return;
  eventRec = std::make_unique<TraPropRec>(std::move(rec));
  // Numbers past the set's range are never heard.
  if (eventRec->EventID >= 0 && eventRec->EventID < ppEventIdCount) listener->SetListensTo(eventRec->EventID, true);
}

TObject* TraEventHandler::Resolve() {
  Unbind();
  if (module) bound = dynamic_cast<TppCommunicator*>(module->FindObject(componentName));
  if (bound) bound->AddEventNotify(listener.get());
  ResolveEvent();
  return bound;
}

void TraEventHandler::ReadingDone() {
  Reading = false;
  SetProgramName(componentName + eventName);
  Resolve();
}

std::string TraEventHandler::Heading() const {
  const std::string name = componentName + eventName;
  if (!eventRec) return "procedure " + name + ";" + lineBreak;
  const TraParamList& params = eventRec->Params;
  const int result = params.IndexOf("Result");
  std::string text = (result >= 0 ? "function " : "procedure ") + name;
  std::string list;
  for (int i = 0; i < params.Count(); ++i) {
    if (i == result) continue;
    if (!list.empty()) list += "; ";
    list += std::string(params[i].IsConst ? "const " : params[i].IsVar ? "var " : "") + params[i].Name + ": " + ParamTypeName(params[i]);
  }
  if (!list.empty()) text += "(" + list + ")";
  if (result >= 0) text += ": " + ParamTypeName(params[result]);
  return text + ";" + lineBreak;
}

void TraEventHandler::SetDefaultSource() {
  SetProgramName(componentName + eventName);
  std::string text = Heading() + "begin" + lineBreak + lineBreak;
  bool anyVar = false;
  if (eventRec)
    for (int i = 0; i < eventRec->Params.Count(); ++i)
      if (eventRec->Params[i].IsVar && !SameText(eventRec->Params[i].Name, "Result")) {
        text += "  " + eventRec->Params[i].Name + " := " + lineBreak;
        anyVar = true;
      }
  if (anyVar) text += lineBreak;
  SetSource(text + "end;");
}

void TraEventHandler::Run(TppEventParams* params) {
  if (!IsCompiled() || !module) return;
  // Only what the event sent is bound, whatever the stored heading declares.
  const int sent = params ? static_cast<int>(params->size()) : 0;
  const int bindable = std::min(ParamCount(), sent);
  for (int i = 0; i < bindable; ++i) {
    TraValue& slot = Param(i).Bound();
    const Variant& argument = (*params)[static_cast<size_t>(i)];
    if (slot.DataType() == daObject || slot.DataType() == daClass) {
      // The engine hands objects over by address; a number that is no
      // object of the parameter's class binds nil.
      auto& objectSlot = static_cast<TraObjectValue&>(slot);
      TObject* object = VarIsClear(argument) || VarIsNull(argument)
                            ? nullptr
                            : reinterpret_cast<TObject*>(static_cast<intptr_t>(argument.AsInt64()));
      objectSlot.Object = object && (!objectSlot.Class || object->InheritsFrom(*objectSlot.Class)) ? object : nullptr;
    } else {
      TraVariantValue source(argument);
      if (!slot.SetValue(source)) slot.SetValue(*raNewValue(slot.DataType(), {}));
    }
  }
  module->RunProgram(*this);
  for (int i = 0; i < bindable; ++i)
    if (Param(i).IsByReference) (*params)[static_cast<size_t>(i)] = VariantOf(Param(i).Bound());
}

// ---- the code module ----

const TClassInfo& TraCodeModule::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TraCodeModule>("TraCodeModule").Build();
  return info;
}

TraCodeModule::TraCodeModule(TComponent* owner) : TppCommunicator(owner) {
  SetListensTo(ppevReportStart, true);
  SetListensTo(ppevReportEnd, true);
}

TraCodeModule::~TraCodeModule() {
  SetReport(nullptr);
  ClearPrograms();
}

void TraCodeModule::ClearPrograms() {
  // Handlers first: they unbind from objects the routines do not know.
  handlers.clear();
  routines.clear();
  startProgram.reset();
  endProgram.reset();
  varSection.reset();
  constSection.reset();
  // No variable holds what the programs made any more.
  madeObjects.Clear();
}

TraCodeModule* TraCodeModule::CreateForReport(TppCustomReport* report) {
  auto* module = new TraCodeModule(report->Owner() ? report->Owner() : report);
  module->SetReport(report);
  module->SetName(report->MakeUniqueName(module));
  return module;
}

TraCodeModule* TraCodeModule::Of(const TppCustomReport* report) {
  if (!report) return nullptr;
  for (int i = 0; i < report->ModuleCount(); ++i)
    if (auto* module = dynamic_cast<TraCodeModule*>(report->Modules(i))) return module;
  return nullptr;
}

void TraCodeModule::SetReport(TppCustomReport* value) {
  if (value == report) return;
  if (report) {
    report->RemoveEventNotify(this);
    report->RemoveModule(this);
  }
  report = value;
  if (report) {
    report->AddModule(this);
    report->AddEventNotify(this);
  }
  for (const auto& handler : handlers) handler->Resolve();
}

TComponent* TraCodeModule::GetParentComponent() const { return report; }

void TraCodeModule::SetParentComponent(TComponent* value) { SetReport(dynamic_cast<TppCustomReport*>(value)); }

void TraCodeModule::Notify(TppCommunicator* sender, int operation) {
  TppCommunicator::Notify(sender, operation);
  if (sender == report && operation == ppopRemove) SetReport(nullptr);
}

void TraCodeModule::InstallHooks(TraProgram& program) {
  program.OnConstantLookup = [this](TraProgram& asking, const std::string& name) -> TraVariableValue* {
    if (&asking == constSection.get()) return ParentModule() ? ParentModule()->FindConstant(name) : nullptr;
    return FindConstant(name);
  };
  program.OnVariableLookup = [this](TraProgram& asking, const std::string& name) -> TraVariableValue* {
    if (&asking == varSection.get() || &asking == constSection.get()) return ParentModule() ? ParentModule()->FindVariable(name) : nullptr;
    return FindVariable(name);
  };
  program.OnProgramLookup = [this](TraProgram& asking, const std::string& name) -> TraProgram* {
    TraProgram* found = FindProgram(name);
    return found == &asking && !asking.IsCompiling() ? nullptr : found;
  };
  program.OnObjectLookup = [this](TraProgram&, const std::string& name) { return FindObject(name); };
  program.OnSourceChange = [this](TraProgram&, bool& notify) {
    notify = true;
    // The module compiles everything again when asked next (at start).
    (void)this;
  };
  if (&program == constSection.get() || &program == varSection.get()) {
    program.OnDeclarationCheck = [this](TraProgram& asking, const std::string& name) -> int {
      // A name the other section declares is refused.
      if (&asking == varSection.get() && constSection && constSection->FindDeclared(name)) return 5;
      if (&asking == constSection.get() && varSection && varSection->FindDeclared(name)) return 4;
      return -1;
    };
  }
}

TraProgram* TraCodeModule::AddProgram(std::unique_ptr<TraProgram> program) {
  TraProgram* added = program.get();
  if (auto* handler = dynamic_cast<TraEventHandler*>(added)) {
    handlers.emplace_back(static_cast<TraEventHandler*>(program.release()));
    InstallHooks(*added);
    handler->SetModule(this);
    return added;
  }
  switch (added->ChildType) {
    case raVariableSectionChild: {
      auto* section = dynamic_cast<TraVarProgram*>(added);
      if (!section) throw EScriptError("A variable section must be a TraVarProgram");
      program.release();
      varSection.reset(section);
      break;
    }
    case raConstantSectionChild: {
      auto* section = dynamic_cast<TraConstProgram*>(added);
      if (!section) throw EScriptError("A constant section must be a TraConstProgram");
      program.release();
      constSection.reset(section);
      break;
    }
    case raStartProgramChild: startProgram = std::move(program); break;
    case raEndProgramChild: endProgram = std::move(program); break;
    default: routines.push_back(std::move(program)); break;
  }
  InstallHooks(*added);
  return added;
}

std::unique_ptr<TraProgram> TraCodeModule::RemoveProgram(TraProgram* program) {
  std::unique_ptr<TraProgram> taken;
  const auto takeFrom = [&](auto& owner) {
    if (owner.get() == program) taken.reset(owner.release());
  };
  takeFrom(constSection);
  takeFrom(varSection);
  takeFrom(startProgram);
  takeFrom(endProgram);
  for (auto it = routines.begin(); !taken && it != routines.end(); ++it)
    if (it->get() == program) {
      taken = std::move(*it);
      routines.erase(it);
      break;
    }
  for (auto it = handlers.begin(); !taken && it != handlers.end(); ++it)
    if (it->get() == program) {
      taken.reset(it->release());
      handlers.erase(it);
      static_cast<TraEventHandler*>(taken.get())->SetModule(nullptr);
      break;
    }
  if (taken) {
    taken->OnConstantLookup = nullptr;
    taken->OnVariableLookup = nullptr;
    taken->OnProgramLookup = nullptr;
    taken->OnObjectLookup = nullptr;
    taken->OnSourceChange = nullptr;
    taken->OnDeclarationCheck = nullptr;
  }
  return taken;
}

TraEventHandler* TraCodeModule::CreateEventHandler(const std::string& componentName, const std::string& eventName) {
  auto handler = std::make_unique<TraEventHandler>();
  handler->Reading = true;
  handler->SetComponentName(componentName);
  handler->SetEventName(eventName);
  handler->Reading = false;
  auto* added = static_cast<TraEventHandler*>(AddProgram(std::move(handler)));
  added->ReadingDone();
  added->SetDefaultSource();
  return added;
}

std::vector<TraProgram*> TraCodeModule::AllPrograms() const {
  std::vector<TraProgram*> all;
  for (TraProgram* p : {static_cast<TraProgram*>(constSection.get()), static_cast<TraProgram*>(varSection.get()), startProgram.get(), endProgram.get()})
    if (p) all.push_back(p);
  for (const auto& p : routines) all.push_back(p.get());
  for (const auto& p : handlers) all.push_back(p.get());
  return all;
}

TraCodeModule* TraCodeModule::ParentModule() const {
  return report ? Of(report->ParentReport()) : nullptr;
}

std::vector<TraCodeModule*> TraCodeModule::SubReportModules() const {
  std::vector<TraCodeModule*> modules;
  if (!report) return modules;
  for (int b = 0; b < report->BandCount(); ++b) {
    TppBand* band = report->Bands(b);
    for (int i = 0; i < band->ObjectCount(); ++i)
      if (auto* sub = dynamic_cast<TppSubReport*>(band->Objects(i)))
        if (TraCodeModule* module = Of(sub->Report())) modules.push_back(module);
  }
  return modules;
}

TraVariableValue* TraCodeModule::FindConstant(const std::string& name) {
  if (constSection) {
    if (!constSection->IsCompiled() && !constSection->IsCompiling()) constSection->Compile(true);
    if (TraVariableValue* found = constSection->FindDeclared(name)) return found;
  }
  TraCodeModule* parent = ParentModule();
  return parent ? parent->FindConstant(name) : nullptr;
}

TraVariableValue* TraCodeModule::FindVariable(const std::string& name) {
  if (varSection) {
    if (!varSection->IsCompiled() && !varSection->IsCompiling()) varSection->Compile(true);
    if (TraVariableValue* found = varSection->FindDeclared(name)) return found;
  }
  TraCodeModule* parent = ParentModule();
  return parent ? parent->FindVariable(name) : nullptr;
}

TraProgram* TraCodeModule::FindProgram(const std::string& name) {
  for (const auto& routine : routines)
    if (SameText(routine->ProgramName(), name)) return routine.get();
  TraCodeModule* parent = ParentModule();
  return parent ? parent->FindProgram(name) : nullptr;
}

TObject* TraCodeModule::FindObject(const std::string& name) {
  if (!report || name.empty()) return nullptr;
  if (SameText(name, "Report")) return report;
  if (TppCommunicator* found = report->FindUserName(name)) return found;
  if (TComponent* owner = report->Owner())
    for (int i = 0; i < owner->ComponentCount(); ++i)
      if (auto* pipeline = dynamic_cast<TppDataPipeline*>(owner->Components(i)); pipeline && SameText(pipeline->GetUserName(), name))
        return pipeline;
  if (TppDataPipeline* pipeline = report->DataPipeline(); pipeline && SameText(pipeline->GetUserName(), name)) return pipeline;
  // A subreport's module also sees the subreports of its parent report.
  if (TraCodeModule* parent = ParentModule())
    if (auto* sub = dynamic_cast<TppSubReport*>(parent->FindObject(name))) return sub;
  return nullptr;
}

bool TraCodeModule::CompileAll(bool raiseErrors) {
  if (compilingAll) return true;
  compilingAll = true;
  struct TGuard {
    bool& flag;
    ~TGuard() { flag = false; }
  } guard{compilingAll};
  // The handlers of objects that are gone go first.
  for (size_t i = 0; i < handlers.size();) {
    if (!handlers[i]->BoundObject() && !handlers[i]->Resolve()) handlers.erase(handlers.begin() + static_cast<long>(i));
    else ++i;
  }
  std::vector<TraProgram*> failed;
  const auto compile = [&](TraProgram* program) {
    if (program && !program->Compile()) failed.push_back(program);
  };
  compile(constSection.get());
  compile(varSection.get());
  std::vector<TraProgram*> retry;
  for (const auto& routine : routines)
    if (!routine->Compile()) retry.push_back(routine.get());
  // A routine may call one listed after it: a second pass.
  for (TraProgram* routine : retry) compile(routine);
  compile(startProgram.get());
  compile(endProgram.get());
  for (const auto& handler : handlers) compile(handler.get());
  if (!failed.empty() && raiseErrors)
    throw ECodeError(StringReplace(raEngineMessage(925), "<name>", failed.front()->ProgramName(), rfReplaceAll));
  bool ok = failed.empty();
  for (TraCodeModule* module : SubReportModules()) ok = module->CompileAll(raiseErrors) && ok;
  return ok;
}

void TraCodeModule::ValidateEventHandlers() {
  if (!report) return;
  for (size_t i = 0; i < handlers.size();) {
    TraEventHandler& handler = *handlers[i];
    TObject* object = FindObject(handler.ComponentName());
    if (!object && handler.ComponentName().size() > 1) {
      const std::string shorter = handler.ComponentName().substr(0, handler.ComponentName().size() - 1);
      if (FindObject(shorter)) {
        handler.SetComponentName(shorter);
        object = FindObject(shorter);
      }
    }
    std::string warning;
    if (!object) {
      warning = "Unable to load " + handler.EventName() + " code for " + handler.ComponentName() + ", no object with this name found";
    } else if (dynamic_cast<TppCustomReport*>(object) &&
               !TraClassManager::Instance().ValidEvent(object->ClassType(), handler.EventName())) {
      warning = "Unable to load " + handler.EventName() + " code for " + handler.ComponentName() + ", " + lineBreak +
                handler.EventName() + " is not a valid event for a " + object->ClassName() + ".";
    }
    if (warning.empty()) {
      handler.Resolve();
      ++i;
      continue;
    }
    Warn(warning);
    handlers.erase(handlers.begin() + static_cast<long>(i));
  }
  for (TraCodeModule* module : SubReportModules()) module->ValidateEventHandlers();
}

void TraCodeModule::RunProgram(TraProgram& program) {
  // What a program makes may outlive its run in the module's variables
  // (made at the start, freed at the end): the module owns it.
  TraObjectPoolScope scope(madeObjects);
  program.Execute(RunOptions);
}

void TraCodeModule::Start() {
  if (started) return;
  // Started only once everything compiled: a failed compile leaves the
  // scripts ready to be tried again at the next run.
  CompileAll(true);
  started = true;
  std::vector<TraCodeModule*> modules{this};
  for (TraCodeModule* module : SubReportModules()) {
    module->started = true;
    modules.push_back(module);
  }
  for (TraCodeModule* module : modules)
    if (module->startProgram) {
      try {
        module->RunProgram(*module->startProgram);
      } catch (const Exception& e) {
        // Its error ends the start program only.
        Warn(e.Message);
      }
    }
}

void TraCodeModule::Finish() {
  if (!started) return;
  std::vector<TraCodeModule*> modules{this};
  for (TraCodeModule* module : SubReportModules()) modules.push_back(module);
  for (TraCodeModule* module : modules) {
    if (!module->started) continue;
    module->started = false;
    if (module->endProgram) {
      try {
        module->RunProgram(*module->endProgram);
      } catch (const Exception& e) {
        Warn(e.Message);
      }
    }
  }
  raForgetFreedObjects();
}

void TraCodeModule::EventNotify(TppCommunicator* sender, int eventId, TppEventParams* params) {
  TppCommunicator::EventNotify(sender, eventId, params);
  if (sender != report || IsEmpty()) return;
  if (eventId == ppevReportStart) Start();
  else if (eventId == ppevReportEnd) Finish();
}

std::function<void(const std::string& text)>& TraCodeModule::WarningReceiver() {
  static std::function<void(const std::string&)> receiver;
  return receiver;
}

void TraCodeModule::Warn(const std::string& text) {
  if (WarningReceiver()) {
    WarningReceiver()(text);
    return;
  }
  TMessageBoxRequest request;
  request.Text = text;
  request.Caption = "Warning";
  request.Type = mtWarning;
  ShowMessageBox(request);
}

// ---- streaming ----

void TraCodeModule::DefineProperties(TFiler& filer) {
  TppCommunicator::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "ProgramStream", [this](TStream& stream) { ReadProgramStream(stream); },
      [this](TStream& stream) { WriteProgramStream(stream); }, !IsEmpty());
}

void TraCodeModule::WriteProgramStream(TStream& stream) {
  TWriter writer(stream);
  for (TraProgram* program : AllPrograms()) {
    writer.WriteListBegin();
    writer.WriteString(dynamic_cast<TraEventHandler*>(program) ? "TraEventHandler" : program->ClassName());
    for (const TPropInfo* prop : program->ClassType().Properties()) {
      writer.WriteStr(prop->Name());
      const TPropValue value = prop->GetValue(*program);
      switch (prop->Kind()) {
        case tkEnumeration:
          if (prop->EnumType() == &BooleanTypeInfo()) writer.WriteBoolean(std::get<int64_t>(value) != 0);
          else writer.WriteIdent(prop->EnumType()->NameOf(std::get<int64_t>(value)));
          break;
        case tkString: writer.WriteString(std::get<std::string>(value)); break;
        case tkClass: {
          writer.WriteListBegin();
          auto* lines = static_cast<TStrings*>(std::get<TObject*>(value));
          for (int i = 0; lines && i < lines->Count(); ++i) writer.WriteString(lines->Get(i));
          writer.WriteListEnd();
          break;
        }
        default: writer.WriteInteger(std::get<int64_t>(value)); break;
      }
    }
    writer.WriteListEnd();
  }
  writer.WriteListEnd();
}

void TraCodeModule::ReadProgramStream(TStream& stream) {
  TReader reader(stream);
  ClearPrograms();
  while (!reader.EndOfList()) {
    if (reader.NextValue() == vaInt8 || reader.NextValue() == vaInt16 || reader.NextValue() == vaInt32) reader.ReadInteger();
    reader.ReadListBegin();
    const std::string className = reader.ReadString();
    std::unique_ptr<TraProgram> program;
    if (className == "TraProgram") program = std::make_unique<TraProgram>();
    else if (className == "TraEventHandler" || className == "TraOnCalcEventHandler") program = std::make_unique<TraEventHandler>();
    else if (className == "TraConstProgram") program = std::make_unique<TraConstProgram>();
    else if (className == "TraVarProgram") program = std::make_unique<TraVarProgram>();
    else throw EReadError("Unknown program class " + className);
    auto* handler = dynamic_cast<TraEventHandler*>(program.get());
    if (handler) handler->Reading = true;
    while (!reader.EndOfList()) {
      const std::string name = reader.ReadStr();
      const TPropInfo* prop = program->ClassType().FindProperty(name);
      if (!prop) {
        reader.SkipValue();
        continue;
      }
      switch (prop->Kind()) {
        case tkEnumeration:
          if (prop->EnumType() == &BooleanTypeInfo()) {
            prop->SetValue(*program, int64_t{reader.ReadBoolean()});
          } else {
            const int ordinal = prop->EnumType()->ValueOf(reader.ReadIdent());
            if (ordinal < 0) throw EReadError("Invalid value of " + name);
            prop->SetValue(*program, int64_t{ordinal});
          }
          break;
        case tkString: prop->SetValue(*program, reader.ReadString()); break;
        case tkClass: {
          std::string text;
          reader.ReadListBegin();
          for (bool first = true; !reader.EndOfList(); first = false) text += (first ? "" : lineBreak) + reader.ReadString();
          reader.ReadListEnd();
          program->SetSource(text);
          break;
        }
        default: prop->SetValue(*program, int64_t{reader.ReadInteger()}); break;
      }
    }
    reader.ReadListEnd();
    TraProgram* added = AddProgram(std::move(program));
    if (handler) static_cast<TraEventHandler*>(added)->ReadingDone();
  }
  reader.ReadListEnd();
}

void TraCodeModule::Loaded() {
  TppCommunicator::Loaded();
  for (const auto& handler : handlers) handler->Resolve();
  if (!report || report->LayoutTrial) return;
  ValidateEventHandlers();
  if (CompileOnLoad) CompileAll(false);
}

void TraCodeModule::SaveToFile(const std::string& fileName) {
  TMemoryStream binary;
  {
    TWriter writer(binary);
    writer.WriteRootComponent(this);
  }
  binary.SetPosition(0);
  TFileStream file(fileName, fmCreate);
  ObjectBinaryToText(binary, file);
}

void TraCodeModule::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  TMemoryStream binary;
  ObjectTextToBinary(file, binary);
  binary.SetPosition(0);
  // Read into a module of its own, so that a file that does not read
  // leaves this one as it was.
  TObjectPtr<TraCodeModule> loaded(new TraCodeModule(nullptr));
  {
    TReader reader(binary);
    reader.ReadRootComponent(loaded.get());
  }
  ClearPrograms();
  for (TraProgram* program : loaded->AllPrograms()) {
    std::unique_ptr<TraProgram> taken = loaded->RemoveProgram(program);
    if (auto* handler = dynamic_cast<TraEventHandler*>(taken.get()); handler && !FindObject(handler->ComponentName())) {
      Warn("Unable to import " + handler->EventName() + " code for " + handler->ComponentName() + ", " +
           "no object with this name found.");
      continue;
    }
    AddProgram(std::move(taken));
  }
}
