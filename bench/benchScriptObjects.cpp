// The per-row cost of a detail handler that sets a label's caption from a
// field, toggles its font's bold and increments a variable: a 100,000-row
// report without handlers, with the handler as a report script, and with
// the same handler in Lua 5.4 bound to the same objects through userdata.
// Each report runs several times; the best time counts.

#include <lua.hpp>

#include <QGuiApplication>
#include <chrono>
#include <cstdio>
#include <functional>

#include "ppComponentRegistry.h"
#include "ppCtrls.h"
#include "ppPrintablesKit.h"
#include "raCodeModule.h"
#include "rtlStrUtils.h"

namespace {

constexpr int rowCount = 100'000;
constexpr int repetitions = 3;

// Receives pages and keeps none.
class TDiscardingDevice : public TppDevice {
  RTL_DECLARE_CLASS(TDiscardingDevice, TppDevice)
  explicit TDiscardingDevice(TComponent* owner) : TppDevice(owner) {}
  std::string DeviceName() const override { return "Discard"; }
};
RTL_DEFINE_CLASS(TDiscardingDevice)

struct TBenchReport : TPrintablesFixture {
  TppLabel* Label;
  TBenchReport() : TPrintablesFixture(Rows(rowCount)) {
    Pipeline->SetUserName("DBPipeline1");
    Detail->SetUserName("Detail");
    Detail->SetmmHeight(mm(5));
    Label = Add<TppLabel>(Detail, 0, 0, mm(40), mm(5));
    Label->SetUserName("Label1");
  }
  double BestMs() {
    double best = 1e300;
    for (int i = 0; i < repetitions; ++i) {
      TObjectPtr<TDiscardingDevice> device(new TDiscardingDevice(nullptr));
      device->SetPublisher(Report->Publisher());
      const auto start = std::chrono::steady_clock::now();
      Report->PrintToDevices();
      best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      device->SetPublisher(nullptr);
    }
    return best;
  }
};

// ---- Lua: userdata over the objects, a listener on the band calls the handler ----

TObject* Self(lua_State* L) { return *static_cast<TObject**>(luaL_checkudata(L, 1, "Object")); }

void PushObject(lua_State* L, TObject* object) {
  *static_cast<TObject**>(lua_newuserdatauv(L, sizeof(TObject*), 0)) = object;
  luaL_setmetatable(L, "Object");
}

int GetFieldValue(lua_State* L) {
  auto* pipeline = static_cast<TppDataPipeline*>(Self(L));
  lua_pushstring(L, pipeline->GetFieldAsString(luaL_checkstring(L, 2)).c_str());
  return 1;
}

int Index(lua_State* L) {
  TObject* object = Self(L);
  const std::string key = luaL_checkstring(L, 2);
  if (auto* label = dynamic_cast<TppLabel*>(object)) {
    if (key == "Caption") return lua_pushstring(L, label->Caption().c_str()), 1;
    if (key == "Font") return PushObject(L, label->Font()), 1;
  } else if (auto* font = dynamic_cast<TppFont*>(object)) {
    if (key == "Bold") return lua_pushboolean(L, (font->Style() & fsBold) != 0), 1;
  } else if (dynamic_cast<TppDataPipeline*>(object)) {
    if (key == "GetFieldValue") return lua_pushcfunction(L, GetFieldValue), 1;
  }
  return luaL_error(L, "no member %s", key.c_str());
}

int NewIndex(lua_State* L) {
  TObject* object = Self(L);
  const std::string key = luaL_checkstring(L, 2);
  if (auto* label = dynamic_cast<TppLabel*>(object); label && key == "Caption") {
    label->SetCaption(luaL_checkstring(L, 3));
    return 0;
  }
  if (auto* font = dynamic_cast<TppFont*>(object); font && key == "Bold") {
    font->SetStyle(lua_toboolean(L, 3) ? font->Style() | fsBold : font->Style() & ~fsBold);
    return 0;
  }
  return luaL_error(L, "no member %s", key.c_str());
}

struct TLuaHandler {
  lua_State* L = luaL_newstate();
  TObjectPtr<TppCommunicator> listener{new TppCommunicator(nullptr)};
  TLuaHandler(TBenchReport& report) {
    luaL_openlibs(L);
    luaL_newmetatable(L, "Object");
    lua_pushcfunction(L, Index);
    lua_setfield(L, -2, "__index");
    lua_pushcfunction(L, NewIndex);
    lua_setfield(L, -2, "__newindex");
    lua_pop(L, 1);
    PushObject(L, report.Label);
    lua_setglobal(L, "Label1");
    PushObject(L, report.Pipeline);
    lua_setglobal(L, "DBPipeline1");
    if (luaL_dostring(L, "Counter = 0\n"
                         "function DetailBeforePrint()\n"
                         "  Label1.Caption = DBPipeline1:GetFieldValue('OWNER')\n"
                         "  Label1.Font.Bold = not Label1.Font.Bold\n"
                         "  Counter = Counter + 1\n"
                         "end") != LUA_OK) {
      std::fprintf(stderr, "lua: %s\n", lua_tostring(L, -1));
      std::exit(1);
    }
    listener->SetListensTo(24, true);  // the band's BeforePrint
    listener->SetEventHandler([this](TppCommunicator*, TppCommunicator*, int, TppEventParams*) {
      lua_getglobal(L, "DetailBeforePrint");
      if (lua_pcall(L, 0, 0, 0) != LUA_OK) throw EScriptError(lua_tostring(L, -1));
    });
    report.Detail->AddEventNotify(listener.get());
  }
  ~TLuaHandler() { lua_close(L); }
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  ppRegisterReportClasses();
  ppStartPrintables();

  double none, script, lua;
  {
    TBenchReport report;
    none = report.BestMs();
  }
  {
    TBenchReport report;
    TraCodeModule* module = TraCodeModule::CreateForReport(report.Report);
    auto variables = std::make_unique<TraVarProgram>();
    variables->SetSource("procedure GlobalVar;\r\nvar\r\n  Counter: Integer;");
    module->AddProgram(std::move(variables));
    module->CreateEventHandler("Detail", "BeforePrint")
        ->ReplaceBody("  Label1.Caption := DBPipeline1.GetFieldValue('OWNER');\r\n"
                      "  Label1.Font.Bold := not Label1.Font.Bold;\r\n"
                      "  Counter := Counter + 1;");
    script = report.BestMs();
    if (module->FindVariable("Counter")->Bound().GetText() != std::to_string(rowCount)) {
      std::fprintf(stderr, "the script handler did not run once a row\n");
      return 1;
    }
  }
  {
    TBenchReport report;
    TLuaHandler handler(report);
    lua = report.BestMs();
    lua_getglobal(handler.L, "Counter");
    if (lua_tointeger(handler.L, -1) != static_cast<lua_Integer>(rowCount) * repetitions) {
      std::fprintf(stderr, "the Lua handler did not run once a row\n");
      return 1;
    }
  }
  const auto perRow = [](double ms) { return ms * 1000.0 / rowCount; };
  std::printf("%d rows, best of %d runs\n", rowCount, repetitions);
  std::printf("| report | total ms | us per row | handler us per row |\n|---|---:|---:|---:|\n");
  std::printf("| no handler | %.0f | %.2f | - |\n", none, perRow(none));
  std::printf("| script handler | %.0f | %.2f | %.2f |\n", script, perRow(script), perRow(script - none));
  std::printf("| Lua 5.4 userdata handler | %.0f | %.2f | %.2f |\n", lua, perRow(lua), perRow(lua - none));
  return 0;
}
