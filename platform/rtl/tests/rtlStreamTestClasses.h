#pragma once
// Components the stream tests write and read: a report-like tree of nodes
// that stream their children through the parent protocol, with published
// properties of every kind, defined properties, an event and methods.

#include <string>
#include <vector>

#include "rtlClasses.h"
#include "rtlCollections.h"
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
  void SetChildOrder(TComponent* child, int order) override;
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

// An item of a grid's columns: plain values, an object of its own and a
// reference to a component.
class TTestColumn : public TCollectionItem {
  RTL_DECLARE_CLASS(TTestColumn, TCollectionItem)

  explicit TTestColumn(TCollection* collection) : TCollectionItem(collection) {}
  ~TTestColumn() override;
  std::string caption;
  int width = 64;

  TTestFont* Font() const { return font.get(); }
  void SetFont(TTestFont* value) { font->Assign(value); }
  // A weak link: the grid clears it when the component goes.
  TComponent* link = nullptr;

  void Assign(const TPersistent* source) override;

private:
  std::unique_ptr<TTestFont> font = std::make_unique<TTestFont>();
};

class TTestColumns : public TCollection {
  RTL_DECLARE_CLASS(TTestColumns, TCollection)

  TTestColumns() : TCollection(TTestColumn::StaticClassType(), &CreateItem<TTestColumn>) {}
  TTestColumn* Column(int index) const { return static_cast<TTestColumn*>(Items(index)); }
  int updates = 0;  // Update calls with no single item

protected:
  void Update(TCollectionItem* item) override;
};

// A node that holds a collection.
class TTestGrid : public TTestNode {
  RTL_DECLARE_CLASS(TTestGrid, TTestNode)

  explicit TTestGrid(TComponent* owner);
  TTestColumns* Columns() const { return columns.get(); }
  void SetColumns(TTestColumns* value) { columns->Assign(value); }
  int rowHeight = 18;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  std::unique_ptr<TTestColumns> columns = std::make_unique<TTestColumns>();
};

// Registers the test classes once.
void RegisterTestClasses();

// Report1 with every kind of property set, defined properties, an event, and
// children Pipe1 and Band1 (which owns Label1); Pipeline names Pipe1.
TObjectPtr<TTestReport> MakeTestReport();
