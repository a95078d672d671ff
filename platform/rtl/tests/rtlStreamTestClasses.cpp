#include "rtlStreamTestClasses.h"

#include <algorithm>

#include "rtlDateTime.h"
#include "rtlReader.h"
#include "rtlWriter.h"

const TIdentMap TestColorIdents = {{0x000000, "clBlack"}, {0x0000FF, "clRed"}, {0xFFFFFF, "clWhite"}};

std::vector<std::string>& TestLog() {
  static std::vector<std::string> log;
  return log;
}

// ---- TTestFont ----

const TClassInfo& TTestFont::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTestFont>("TTestFont")
                                     .Property("Name", &TTestFont::name, &TTestFont::name)
                                     .Property("Size", &TTestFont::size, &TTestFont::size)
                                     .Default(10)
                                     .Property("Style", &TTestFont::style, &TTestFont::style)
                                     .Default(0)
                                     .Property("Color", &TTestFont::color, &TTestFont::color)
                                     .Default(0)
                                     .Idents(TestColorIdents)
                                     .Build();
  return info;
}

void TTestFont::Assign(const TPersistent* source) {
  if (const auto* f = dynamic_cast<const TTestFont*>(source)) {
    name = f->name;
    size = f->size;
    style = f->style;
    color = f->color;
    return;
  }
  TPersistent::Assign(source);
}

// ---- TTestNode ----

RTL_DEFINE_CLASS(TTestNode)

TTestNode::~TTestNode() {
  SetParentNode(nullptr);
  for (TTestNode* child : children) child->parentNode = nullptr;
}

void TTestNode::SetParentNode(TTestNode* value) {
  if (value == parentNode) return;
  if (parentNode != nullptr) std::erase(parentNode->children, this);
  parentNode = value;
  if (parentNode != nullptr) parentNode->children.push_back(this);
}

void TTestNode::SetParentComponent(TComponent* value) {
  // A node never becomes its own ancestor, whatever a stream says.
  auto* node = dynamic_cast<TTestNode*>(value);
  for (TTestNode* p = node; p != nullptr; p = p->parentNode)
    if (p == this) return;
  SetParentNode(node);
}

void TTestNode::GetChildren(const TGetChildProc& proc, TComponent* /*root*/) {
  for (TTestNode* child : children) proc(child);
}

void TTestNode::SetChildOrder(TComponent* child, int order) {
  const auto it = std::find(children.begin(), children.end(), child);
  if (it == children.end()) return;
  auto* node = *it;
  children.erase(it);
  children.insert(children.begin() + std::clamp<ptrdiff_t>(order, 0, std::ssize(children)), node);
}

void TTestNode::Loaded() {
  std::string entry = "Loaded " + Name();
  if (ComponentState().Contains(csLoading)) entry += " loading";
  if (ComponentState().Contains(csReading)) entry += " reading";
  TestLog().push_back(entry);
  TComponent::Loaded();
}

// ---- TTestReport ----

const TClassInfo& TTestReport::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TTestReport>("TTestReport")
          .Property("Title", &TTestReport::title, &TTestReport::title)
          .Property("Copies", &TTestReport::copies, &TTestReport::copies)
          .Default(1)
          .Property("Landscape", &TTestReport::landscape, &TTestReport::landscape)
          .Default(0)
          .Property("Shape", &TTestReport::shape, &TTestReport::shape)
          .Default(tsRectangle)
          .Property("Scale", &TTestReport::scale, &TTestReport::scale)
          .Property("Ratio", &TTestReport::ratio, &TTestReport::ratio)
          .Property("Precise", &TTestReport::precise, &TTestReport::precise)
          .Property("Price", &TTestReport::price, &TTestReport::price)
          .Property("Printed", &TTestReport::printed, &TTestReport::printed)
          .AsDateTime()
          .Property("Big", &TTestReport::big, &TTestReport::big)
          .Property("Letter", &TTestReport::letter, &TTestReport::letter)
          .Default('A')
          .Property("Value", &TTestReport::value, &TTestReport::value)
          .Property("Hidden", &TTestReport::hidden, &TTestReport::hidden)
          .Stored(false)
          .Property("Color", &TTestReport::color, &TTestReport::color)
          .Idents(TestColorIdents)
          .Property("Font", &TTestReport::Font, &TTestReport::SetFont)
          .Property("Pipeline", &TTestReport::Pipeline, &TTestReport::SetPipeline)
          .Event("OnPrint", &TTestReport::onPrint)
          .Method("ReportPrint", &TTestReport::ReportPrint)
          .Method("ReportCalc", &TTestReport::ReportCalc)
          .Build();
  return info;
}

TTestReport::TTestReport(TComponent* owner) : TTestNode(owner), font(new TTestFont) {}

TTestReport::~TTestReport() { delete font; }

void TTestReport::SetPipeline(TComponent* value) {
  if (pipeline != nullptr) pipeline->RemoveFreeNotification(this);
  pipeline = value;
  if (pipeline != nullptr) pipeline->FreeNotification(this);
}

void TTestReport::Notification(TComponent* component, TOperation operation) {
  TTestNode::Notification(component, operation);
  if (operation == opRemove && component == pipeline) pipeline = nullptr;
}

void TTestReport::Loaded() {
  TestLog().push_back("Pipeline at Loaded: " + (pipeline != nullptr ? pipeline->Name() : std::string("nil")));
  TTestNode::Loaded();
}

void TTestReport::ReportPrint(TObject* /*sender*/) { ++printCount; }

void TTestReport::ReportCalc(TObject* /*sender*/, Variant& result) { result = Variant(1); }

void TTestReport::DefineProperties(TFiler& filer) {
  TTestNode::DefineProperties(filer);
  // Over an ancestor only what differs from it; otherwise what is there.
  const auto* ancestor = dynamic_cast<const TTestReport*>(filer.Ancestor());
  const bool notesDiffer = ancestor != nullptr ? notes != ancestor->notes : !notes.empty();
  const bool pictureDiffers = ancestor != nullptr ? picture != ancestor->picture : !picture.empty();
  filer.DefineProperty(
      "Notes",
      [this](TReader& reader) {
        notes.clear();
        if (ComponentState().Contains(csReading)) TestLog().push_back("Notes read while reading");
        reader.ReadListBegin();
        while (!reader.EndOfList()) notes.push_back(reader.ReadString());
        reader.ReadListEnd();
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (const std::string& n : notes) writer.WriteString(n);
        writer.WriteListEnd();
      },
      notesDiffer);
  filer.DefineBinaryProperty(
      "Picture",
      [this](TStream& stream) {
        picture.resize(static_cast<size_t>(stream.Size()));
        stream.ReadBuffer(picture.data(), stream.Size());
      },
      [this](TStream& stream) { stream.WriteBuffer(picture.data(), static_cast<int64_t>(picture.size())); },
      pictureDiffers);
}

// ---- bands and labels ----

const TClassInfo& TTestBand::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTestBand>("TTestBand")
                                     .Property("Height", &TTestBand::height, &TTestBand::height)
                                     .Default(0)
                                     .Property("Children", &TTestBand::ChildCount)
                                     .Build();
  return info;
}

const TClassInfo& TTestLabel::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTestLabel>("TTestLabel")
                                     .Property("Caption", &TTestLabel::caption, &TTestLabel::caption)
                                     .Property("Left", &TTestLabel::left, &TTestLabel::left)
                                     .Property("Lines", &TTestLabel::Lines, &TTestLabel::SetLines)
                                     .Build();
  return info;
}

// ---- grids and their columns ----

const TClassInfo& TTestColumn::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTestColumn>("TTestColumn")
                                     .Property("Caption", &TTestColumn::caption, &TTestColumn::caption)
                                     .Property("Width", &TTestColumn::width, &TTestColumn::width)
                                     .Default(64)
                                     .Property("Font", &TTestColumn::Font, &TTestColumn::SetFont)
                                     .Property("Link", &TTestColumn::link, &TTestColumn::link)
                                     .Build();
  return info;
}

TTestColumn::~TTestColumn() = default;

void TTestColumn::Assign(const TPersistent* source) {
  if (const auto* c = dynamic_cast<const TTestColumn*>(source)) {
    caption = c->caption;
    width = c->width;
    font->Assign(c->font.get());
    link = c->link;
    return;
  }
  TCollectionItem::Assign(source);
}

RTL_DEFINE_CLASS(TTestColumns)

void TTestColumns::Update(TCollectionItem* item) {
  if (item == nullptr) ++updates;
}

const TClassInfo& TTestGrid::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TTestGrid>("TTestGrid")
                                     .Property("Columns", &TTestGrid::Columns, &TTestGrid::SetColumns)
                                     .Property("RowHeight", &TTestGrid::rowHeight, &TTestGrid::rowHeight)
                                     .Default(18)
                                     .Build();
  return info;
}

TTestGrid::TTestGrid(TComponent* owner) : TTestNode(owner) { columns->SetOwner(this); }

void TTestGrid::Notification(TComponent* component, TOperation operation) {
  TTestNode::Notification(component, operation);
  if (operation != opRemove || !columns) return;
  for (int i = 0; i < columns->Count(); ++i)
    if (columns->Column(i)->link == component) columns->Column(i)->link = nullptr;
}

void RegisterTestClasses() {
  RegisterClass(TTestGrid::StaticClassType());
  RegisterClass(TTestNode::StaticClassType());
  RegisterClass(TTestReport::StaticClassType());
  RegisterClass(TTestBand::StaticClassType());
  RegisterClass(TTestLabel::StaticClassType());
}

TObjectPtr<TTestReport> MakeTestReport() {
  TObjectPtr<TTestReport> r(new TTestReport(nullptr));
  r->SetName("Report1");
  r->title = "Jobs by printer";
  r->copies = 3;
  r->landscape = true;
  r->shape = tsEllipse;
  r->scale = 0.1;
  r->ratio = 0.25f;
  r->precise = 1.0L / 3;
  r->price = Currency::FromScaled(123450);
  r->printed = EncodeDate(2024, 3, 1) + 0.5;
  r->big = 10000000000;
  r->letter = 'Z';
  r->value = Variant("any");
  r->hidden = 7;
  r->color = 0xFF;
  r->Font()->name = "Liberation Sans";
  r->Font()->style = {fsBold, fsUnderline};
  r->notes = {"first", "second"};
  r->picture = {0x01, 0xAB, 0xFF};
  r->onPrint.SetMethod(TMethod{r.get(), r->ClassType().FindMethod("ReportPrint")});
  auto* pipe = new TTestNode(r.get());
  pipe->SetName("Pipe1");
  pipe->SetParentNode(r.get());
  auto* band = new TTestBand(r.get());
  band->SetName("Band1");
  band->SetParentNode(r.get());
  band->height = 25;
  auto* label = new TTestLabel(band);
  label->SetName("Label1");
  label->SetParentNode(band);
  label->caption = "Pages";
  label->left = -300;
  r->SetPipeline(pipe);
  return r;
}
