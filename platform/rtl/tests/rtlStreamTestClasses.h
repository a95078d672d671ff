#pragma once
// Components the stream tests write and read: a report-like tree of nodes
// that stream their children through the parent protocol, with published
// properties of every kind, defined properties, an event and methods.

#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlCurrency.h"
#include "rtlFiler.h"
#include "rtlStringList.h"
#include "rtlTypeInfo.h"
#include "rtlVariant.h"

enum TTestShape { tsRectangle, tsEllipse, tsRoundRect };
RTL_ENUM_TYPE(TTestShape, "tsRectangle", "tsEllipse", "tsRoundRect")

enum TTestStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
RTL_ENUM_TYPE(TTestStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TTestStyles = TSet<TTestStyle>;

extern const TIdentMap TestColorIdents;

// What the components saw: Loaded calls with their states, in order.
std::vector<std::string>& TestLog();

class TTestFont : public TPersistent {
  RTL_DECLARE_CLASS(TTestFont, TPersistent)

  std::string name = "Arial";
  int size = 10;
  TTestStyles style;
  int color = 0;

  void Assign(const TPersistent* source) override;
};

// A component with a parent and streamed children.
class TTestNode : public TComponent {
  RTL_DECLARE_CLASS(TTestNode, TComponent)

  explicit TTestNode(TComponent* owner) : TComponent(owner) {}
  ~TTestNode() override;

  TTestNode* ParentNode() const { return parentNode; }
  void SetParentNode(TTestNode* value);
  int ChildCount() const { return static_cast<int>(children.size()); }
  TTestNode* Child(int index) const { return children.at(static_cast<size_t>(index)); }

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override { return parentNode; }
  void SetParentComponent(TComponent* value) override;
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  void Loaded() override;

private:
  TTestNode* parentNode = nullptr;
  std::vector<TTestNode*> children;
};

class TTestReport : public TTestNode {
  RTL_DECLARE_CLASS(TTestReport, TTestNode)

  explicit TTestReport(TComponent* owner);
  ~TTestReport() override;

  std::string title;
  int copies = 1;
  bool landscape = false;
  TTestShape shape = tsRectangle;
  double scale = 0;
  float ratio = 0;
  long double precise = 0;
  Currency price;
  double printed = 0;
  int64_t big = 0;
  char letter = 'A';
  Variant value;
  int hidden = 0;
  int color = 0;
  TEvent<void(TObject*)> onPrint;
  std::vector<std::string> notes;
  std::vector<uint8_t> picture;

  TTestFont* Font() const { return font; }
  void SetFont(TTestFont* value) { font->Assign(value); }
  TComponent* Pipeline() const { return pipeline; }
  void SetPipeline(TComponent* value);

  void ReportPrint(TObject* sender);
  void ReportCalc(TObject* sender, Variant& result);
  int printCount = 0;

  void DefineProperties(TFiler& filer) override;
  void Loaded() override;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  TTestFont* font;
  TComponent* pipeline = nullptr;
};

class TTestBand : public TTestNode {
  RTL_DECLARE_CLASS(TTestBand, TTestNode)

  explicit TTestBand(TComponent* owner) : TTestNode(owner) {}
  int height = 0;
  // Labels read into a band are owned by it.
  TComponent* GetChildOwner() override { return this; }
};

class TTestLabel : public TTestNode {
  RTL_DECLARE_CLASS(TTestLabel, TTestNode)

  explicit TTestLabel(TComponent* owner) : TTestNode(owner), lines(new TStringList) {}
  ~TTestLabel() override { delete lines; }
  std::string caption;
  int left = 0;

  TStringList* Lines() const { return lines; }
  void SetLines(TStringList* value) { lines->Assign(value); }

private:
  TStringList* lines;
};

// Registers the test classes once.
void RegisterTestClasses();

// Report1 with every kind of property set, defined properties, an event, and
// children Pipe1 and Band1 (which owns Label1); Pipeline names Pipe1.
TObjectPtr<TTestReport> MakeTestReport();
