// The report scripting language beside Lua 5.4, the same algorithms in one
// run: an arithmetic loop, string work with the built-in routines, calls of
// a script function with value and var parameters, and compiling many small
// programs. Each workload runs several times; the best time counts.

#include <lua.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "raProgram.h"
#include "rtlStrUtils.h"

namespace {

constexpr int repetitions = 5;


double BestMs(const std::function<void()>& work, int times = repetitions) {
  double best = 1e300;
  for (int i = 0; i < times; ++i) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, ms);
  }
  return best;
}

// ---- our side ----

std::unique_ptr<TraProgram> Compiled(const std::string& source, TraProgram* callee = nullptr) {
  auto program = std::make_unique<TraProgram>();
  if (callee)
    program->OnProgramLookup = [callee](TraProgram&, const std::string& name) {
      return SameText(name, callee->ProgramName()) ? callee : nullptr;
    };
  program->SetSource(source);
  if (!program->Compile()) {
    std::fprintf(stderr, "does not compile: %s\n%s\n", program->SyntaxError(0).Message.c_str(), source.c_str());
    std::exit(1);
  }
  return program;
}

std::string Result(TraProgram& program) { return program.Execute()->GetText(); }

// ---- Lua's side ----

class TLua {
public:
  TLua() : state(luaL_newstate()) { luaL_openlibs(state); }
  ~TLua() { lua_close(state); }
  // Runs a chunk that returns one value; its text.
  std::string Run(const std::string& chunk) {
    if (luaL_loadstring(state, chunk.c_str()) != LUA_OK || lua_pcall(state, 0, 1, 0) != LUA_OK) {
      std::fprintf(stderr, "lua: %s\n", lua_tostring(state, -1));
      std::exit(1);
    }
    std::string text = luaL_tolstring(state, -1, nullptr);
    lua_pop(state, 2);
    return text;
  }
  void StopCollector() { lua_gc(state, LUA_GCSTOP); }
  void Collect() {
    lua_gc(state, LUA_GCRESTART);
    lua_gc(state, LUA_GCCOLLECT);
  }
  void Load(const std::string& chunk) {
    if (luaL_loadstring(state, chunk.c_str()) != LUA_OK) {
      std::fprintf(stderr, "lua: %s\n", lua_tostring(state, -1));
      std::exit(1);
    }
    lua_pop(state, 1);
  }

private:
  lua_State* state;
};

// ---- the workloads ----

const char* const loopScript =
    "function Loop: Integer;\r\nvar i, s: Integer;\r\nbegin\r\n  s := 0;\r\n"
    "  for i := 1 to 1000000 do\r\n    s := s + (i mod 7) * 3;\r\n  Result := s;\r\nend;";
const char* const loopLua =
    "local s = 0\nfor i = 1, 1000000 do\n  s = s + (i % 7) * 3\nend\nreturn s";

// The text is emptied now and then so that neither side spends its time
// copying one long string.
const char* const stringScript =
    "function Texts: Integer;\r\nvar i, total: Integer; s, t: String;\r\nbegin\r\n  total := 0; s := '';\r\n"
    "  for i := 1 to 100000 do\r\n  begin\r\n    t := Copy('abcdefghij', (i mod 5) + 1, 3);\r\n"
    "    if Pos('c', t) > 0 then t := UpperCase(t);\r\n    s := s + t;\r\n"
    "    if Length(s) > 1000 then begin total := total + Length(s); s := ''; end;\r\n  end;\r\n"
    "  Result := total + Length(s);\r\nend;";
const char* const stringLua =
    "local s, total = '', 0\nfor i = 1, 100000 do\n  local t = string.sub('abcdefghij', (i % 5) + 1, (i % 5) + 3)\n"
    "  if string.find(t, 'c', 1, true) then t = string.upper(t) end\n  s = s .. t\n"
    "  if #s > 1000 then total = total + #s; s = '' end\nend\nreturn total + #s";

const char* const calleeScript =
    "function Add(a, b: Integer; var c: Integer): Integer;\r\nbegin\r\n  c := c + 1;\r\n  Result := a + b;\r\nend;";
const char* const callerScript =
    "function Calls: Integer;\r\nvar i, s, n: Integer;\r\nbegin\r\n  s := 0; n := 0;\r\n"
    "  for i := 1 to 100000 do\r\n    s := Add(i, s mod 100, n);\r\n  Result := s + n;\r\nend;";
const char* const callsLua =
    "local function add(a, b, c)\n  c = c + 1\n  return a + b, c\nend\nlocal s, n = 0, 0\n"
    "for i = 1, 100000 do\n  s, n = add(i, s % 100, n)\nend\nreturn s + n";

// 200 programs of 25 lines: 5,000 lines in all, the same statements on
// both sides.
constexpr int programCount = 200;

std::string ScriptProgram(int n) {
  std::string s = "procedure Program" + std::to_string(n) + ";\r\n";
  s += "var i, j, total: Integer; text: String; ratio: Extended;\r\n";
  s += "begin\r\n";
  s += "  total := 0;\r\n";
  s += "  text := 'Program " + std::to_string(n) + "';\r\n";
  s += "  for i := 1 to 10 do\r\n";
  s += "  begin\r\n";
  s += "    j := i * 2 + " + std::to_string(n) + ";\r\n";
  s += "    if j mod 3 = 0 then\r\n";
  s += "      total := total + j\r\n";
  s += "    else\r\n";
  s += "      total := total - 1;\r\n";
  s += "    text := text + IntToStr(j);\r\n";
  s += "  end;\r\n";
  s += "  ratio := total / 7;\r\n";
  s += "  while total > 100 do\r\n";
  s += "    total := total div 2;\r\n";
  s += "  repeat\r\n";
  s += "    total := total + 3;\r\n";
  s += "  until total > 50;\r\n";
  s += "  if Length(text) > 20 then\r\n";
  s += "    text := Copy(text, 1, 20);\r\n";
  s += "  ratio := ratio + Round(ratio * 100) / 100;\r\n";
  s += "  text := UpperCase(text);\r\n";
  s += "end;\r\n";
  return s;
}

std::string LuaProgram(int n) {
  std::string s = "local function Program" + std::to_string(n) + "()\n";
  s += "  local i, j, total, text, ratio\n";
  s += "  -- declarations\n";
  s += "  total = 0\n";
  s += "  text = 'Program " + std::to_string(n) + "'\n";
  s += "  for i = 1, 10 do\n";
  s += "    -- body\n";
  s += "    j = i * 2 + " + std::to_string(n) + "\n";
  s += "    if j % 3 == 0 then\n";
  s += "      total = total + j\n";
  s += "    else\n";
  s += "      total = total - 1\n";
  s += "    end\n";
  s += "    text = text .. tostring(j)\n";
  s += "  end\n";
  s += "  ratio = total / 7\n";
  s += "  while total > 100 do\n";
  s += "    total = total // 2 end\n";
  s += "  repeat\n";
  s += "    total = total + 3\n";
  s += "  until total > 50\n";
  s += "  if #text > 20 then\n";
  s += "    text = string.sub(text, 1, 20) end\n";
  s += "  ratio = ratio + math.floor(ratio * 100 + 0.5) / 100\n";
  s += "  text = string.upper(text)\n";
  s += "end\n";
  return s;
}

int Lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

void Row(const char* name, double ours, double lua, const std::string& check) {
  std::printf("%-34s %10.2f %10.2f %8.2f   %s\n", name, ours, lua, ours / lua, check.c_str());
}

}  // namespace

// An argument runs only the workloads whose name contains it ("compile").
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* name) { return only.empty() || std::string(name).find(only) != std::string::npos; };
  std::printf("%-34s %10s %10s %8s   %s\n", "workload (best of 5)", "ours ms", "Lua ms", "ratio", "results (ours / Lua)");
  TLua lua;

  if (wanted("loop")) {
    auto program = Compiled(loopScript);
    std::string ours, theirs;
    const double a = BestMs([&] { ours = Result(*program); });
    const double b = BestMs([&] { theirs = lua.Run(loopLua); });
    Row("loop 1,000,000: s + (i mod 7) * 3", a, b, ours + " / " + theirs);
  }
  if (wanted("appends")) {
    auto program = Compiled(stringScript);
    std::string ours, theirs;
    const double a = BestMs([&] { ours = Result(*program); });
    const double b = BestMs([&] { theirs = lua.Run(stringLua); });
    Row("100,000 appends: Copy Pos UpperCase", a, b, ours + " / " + theirs);
  }
  if (wanted("calls")) {
    auto callee = Compiled(calleeScript);
    auto program = Compiled(callerScript, callee.get());
    std::string ours, theirs;
    const double a = BestMs([&] { ours = Result(*program); });
    const double b = BestMs([&] { theirs = lua.Run(callsLua); });
    Row("100,000 calls: 2 value + 1 var", a, b, ours + " / " + theirs);
  }
  if (wanted("compile")) {
    std::vector<std::string> scripts, chunks;
    size_t scriptBytes = 0, luaBytes = 0;
    int scriptLines = 0, luaLines = 0;
    for (int n = 0; n < programCount; ++n) {
      scripts.push_back(ScriptProgram(n));
      chunks.push_back(LuaProgram(n));
      scriptBytes += scripts.back().size();
      luaBytes += chunks.back().size();
      scriptLines += Lines(scripts.back());
      luaLines += Lines(chunks.back());
    }
    // Compiling only, on both sides: our programs are freed after the
    // clock stops, and Lua's collector waits until then as well.
    int compiled = 0;
    double a = 1e300, b = 1e300;
    for (int i = 0; i < repetitions; ++i) {
      std::vector<std::unique_ptr<TraProgram>> programs;
      for (const std::string& source : scripts) {
        programs.push_back(std::make_unique<TraProgram>());
        programs.back()->SetSource(source);
      }
      compiled = 0;
      a = std::min(a, BestMs([&] {
            for (const auto& program : programs) compiled += program->Compile();
          }, 1));
      b = std::min(b, BestMs([&] {
            lua.StopCollector();
            for (const std::string& chunk : chunks) lua.Load(chunk);
          }, 1));
      lua.Collect();
    }
    Row("compile 200 programs (load)", a, b,
        std::to_string(compiled) + " compiled; " + std::to_string(scriptLines) + " / " + std::to_string(luaLines) +
            " lines, " + std::to_string(scriptBytes) + " / " + std::to_string(luaBytes) + " bytes");
  }
  return 0;
}
