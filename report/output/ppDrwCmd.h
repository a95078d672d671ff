#pragma once
// Draw commands: everything a device needs to draw one occurrence of a
// component on a page again without the report. Commands are components
// owned by their page and stream with it.

#include <memory>
#include <string>

// TAlignment is the class library's, shared with the dataset framework.
#include "dbTypes.h"
#include "ppComm.h"
#include "ppGraphics.h"
#include "ppTypes.h"
#include "rtlStreams.h"
#include "rtlStringList.h"
#include "uiGraphics.h"

class TCanvas;
class TppDevice;
class TppPage;

// A handler kept on the heap only once set: most commands never get one,
// and a cached page holds hundreds of commands (8 bytes instead of a
// function object's 32 in each).
template <typename Sig>
class TppLazyHandler;

template <typename R, typename... A>
class TppLazyHandler<R(A...)> {
public:
  using THandler = std::function<R(A...)>;
  TppLazyHandler() = default;
  TppLazyHandler(const TppLazyHandler& other) { *this = other; }
  TppLazyHandler& operator=(const TppLazyHandler& other) {
    handler = other.handler ? std::make_unique<THandler>(*other.handler) : nullptr;
    return *this;
  }
  TppLazyHandler& operator=(THandler value) {
    handler = value ? std::make_unique<THandler>(std::move(value)) : nullptr;
    return *this;
  }
  explicit operator bool() const { return handler != nullptr; }
  R operator()(A... args) const { return (*handler)(std::forward<A>(args)...); }

private:
  std::unique_ptr<THandler> handler;
};

enum TppCalcType : uint8_t {
  ctDate, ctDateTime, ctPrintDateTime, ctPageCount, ctPageSet, ctPageSetDesc, ctPageNo, ctPageNoDesc, ctTime,
  ctCustom
};
enum TShapeType : uint8_t { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };
enum TppLinePositionType : uint8_t { lpTop, lpBottom, lpLeft, lpRight };
enum TppLineStyleType : uint8_t { lsSingle, lsDouble };
RTL_ENUM_TYPE(TppCalcType, "ctDate", "ctDateTime", "ctPrintDateTime", "ctPageCount", "ctPageSet", "ctPageSetDesc",
              "ctPageNo", "ctPageNoDesc", "ctTime", "ctCustom")
RTL_ENUM_TYPE(TShapeType, "stRectangle", "stSquare", "stRoundRect", "stRoundSquare", "stEllipse", "stCircle")
RTL_ENUM_TYPE(TppLinePositionType, "lpTop", "lpBottom", "lpLeft", "lpRight")
RTL_ENUM_TYPE(TppLineStyleType, "lsSingle", "lsDouble")

class TppDrawCommand : public TComponent {
  RTL_DECLARE_CLASS(TppDrawCommand, TComponent)

  explicit TppDrawCommand(TComponent* owner);
  ~TppDrawCommand() override;

  bool Clickable() const { return clickable; }
  void SetClickable(bool value);
  TppDataType DataType() const { return dataType; }
  void SetDataType(TppDataType value) { dataType = value; }
  int Left() const { return left; }
  void SetLeft(int value) { left = value; }
  int Top() const { return top; }
  void SetTop(int value) { top = value; }
  int Width() const { return width; }
  void SetWidth(int value) { width = value; }
  int Height() const { return height; }
  void SetHeight(int value) { height = value; }
  void SetArea(const TRect& value) { area = value; }
  const TRect& DrawRect() const { return drawRect; }
  void SetDrawRect(const TRect& value) { drawRect = value; }
  const std::string& CommandName() const;
  void SetCommandName(const std::string& value);
  bool RedrawPage() const { return redrawPage; }
  void SetRedrawPage(bool value) { redrawPage = value; }
  TppLazyHandler<void(TppDrawCommand* sender)> OnDrawCommandClick;

  TppPage* Page() const { return page; }
  // Leaves the current page and joins the new one, which owns it then.
  void SetPage(TppPage* value);

  virtual bool Draw(TppDevice* device);
  virtual bool IsLookAhead() const { return false; }
  virtual bool LookAheadPending() { return false; }

  void Assign(const TPersistent* source) override;
  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* value) override;

protected:
  void DataTypeIs(TppDataType value) { dataType = value; }

private:
  // Ordered by size: a cached page holds hundreds of commands.
  TRect area;
  TRect drawRect;
  // Rarely named: held on the heap only when it is.
  std::unique_ptr<std::string> commandName;
  TppPage* page = nullptr;
  int left = 0, top = 0, width = 0, height = 0;
  TppDataType dataType = dtString;
  bool clickable = false;
  bool redrawPage = false;
};

class TppDrawText : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawText, TppDrawCommand)

  explicit TppDrawText(TComponent* owner);

  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  TppTextAlignment TextAlignment() const { return textAlignment; }
  void SetTextAlignment(TppTextAlignment value);
  // Ordered by size: a cached page holds hundreds of commands.
  std::string Text;
  int Color = clWhite;
  int Leading = 0;
  int BandSaveNo = 0;
  int ComponentSaveNo = 0;
  int SaveLength = 0;
  bool AutoSize = false;
  bool IsMemo = false;
  bool Transparent = false;
  bool WordWrap = false;
  bool BandSave = false;
  bool ComponentSave = false;
  bool ForceJustifyLastLine = false;
  // The creating component, for the text file device's save-text event.
  TComponent* Component = nullptr;

  TppFont* Font() const { return &font; }
  void SetFont(TppFont* value);
  // Made on first use: most commands never have either list, and pages
  // with thousands of commands are kept in the publisher's cache.
  TStringList* WrappedText() const;
  void SetWrappedText(TStringList* value);
  TStringList* TabStopPositions() const;
  void SetTabStopPositions(TStringList* value);
  // Band save number, then component save number, each in 8 characters.
  std::string SaveKey() const;

  void Assign(const TPersistent* source) override;
  void DefineProperties(TFiler& filer) override;

private:
  TAlignment alignment = taLeftJustify;
  TppTextAlignment textAlignment = taLeftJustified;
  // Held in place (not on the heap of its own): one allocation less a
  // command. Mutable: Font() hands it out from const commands, as before.
  mutable TppFont font;
  mutable std::unique_ptr<TStringList> wrappedText;
  mutable std::unique_ptr<TStringList> tabStops;
};

class TppDrawVar : public TppDrawText {
  RTL_DECLARE_CLASS(TppDrawVar, TppDrawText)

  using TppDrawText::TppDrawText;
  TppVarType VarType = vtDate;

  bool IsLookAhead() const override;
  // Rebuilds the page-number texts from the page.
  bool LookAheadPending() override;
  void Assign(const TPersistent* source) override;
};

class TppDrawCalc : public TppDrawText {
  RTL_DECLARE_CLASS(TppDrawCalc, TppDrawText)

  using TppDrawText::TppDrawText;
  TppCalcType CalcType = ctDate;

  bool IsLookAhead() const override { return true; }
  bool LookAheadPending() override;
  void Assign(const TPersistent* source) override;
};

// A text whose value arrives later (event 67: key, count, text).
class TppDrawVariable : public TppDrawText {
  RTL_DECLARE_CLASS(TppDrawVariable, TppDrawText)

  using TppDrawText::TppDrawText;
  ~TppDrawVariable() override;

  bool LookAhead() const { return lookAhead; }
  void SetLookAhead(bool value);
  const std::string& LookAheadKey() const { return lookAheadKey; }
  void SetLookAheadKey(const std::string& value) { lookAheadKey = value; }
  // The communicator that listens for the value; nullptr while off.
  TppCommunicator* LookAheadLink() const { return link; }

  bool IsLookAhead() const override { return lookAhead; }
  bool LookAheadPending() override;
  void Assign(const TPersistent* source) override;

private:
  bool lookAhead = false;
  std::string lookAheadKey;
  int valueCounter = 0;
  TppCommunicator* link = nullptr;  // owned through its component owner (this)

  void ValueArrived(TppEventParams* params);
};

class TppDrawShape : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawShape, TppDrawCommand)

  explicit TppDrawShape(TComponent* owner);
  TppBrush* Brush() const { return brush.get(); }
  void SetBrush(TppBrush* value) { if (value) brush->Assign(value); }
  TppPen* Pen() const { return pen.get(); }
  void SetPen(TppPen* value) { if (value) pen->Assign(value); }
  TShapeType ShapeType = stRectangle;
  int XCornerRound = 0;
  int YCornerRound = 0;
  void Assign(const TPersistent* source) override;

private:
  std::unique_ptr<TppBrush> brush;
  std::unique_ptr<TppPen> pen;
};

class TppDrawLine : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawLine, TppDrawCommand)

  explicit TppDrawLine(TComponent* owner);
  TppPen* Pen() const { return pen.get(); }
  void SetPen(TppPen* value) { if (value) pen->Assign(value); }
  TppLinePositionType LinePosition = lpTop;
  TppLineStyleType LineStyle = lsSingle;
  float Weight = 0.75f;
  void Assign(const TPersistent* source) override;

private:
  std::unique_ptr<TppPen> pen;
};

class TppDrawImage : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawImage, TppDrawCommand)

  explicit TppDrawImage(TComponent* owner);
  TppPicture* Picture() const { return picture.get(); }
  void SetPicture(TppPicture* value) { if (value) picture->Assign(value); }
  bool Center = false;
  bool MaintainAspectRatio = false;
  bool Scale = false;
  bool Stretch = false;
  bool Transparent = false;
  bool DirectDraw = false;
  std::string ImageName;
  // The picture's bitmap; nullptr for an empty picture.
  TBitmap* AsBitmap() const { return picture->Bitmap(); }
  void Assign(const TPersistent* source) override;

private:
  std::unique_ptr<TppPicture> picture;
};

class TppDrawRichText : public TppDrawCommand {
  RTL_DECLARE_CLASS(TppDrawRichText, TppDrawCommand)

  explicit TppDrawRichText(TComponent* owner);
  int Color = clWhite;
  int EndCharPos = -1;
  int StartCharPos = -1;
  bool Transparent = false;
  TMemoryStream& RichTextStream() { return richText; }
  void Assign(const TPersistent* source) override;
  // "RTFStream": a 32-bit little-endian length and that many bytes; a
  // length past the stream's end is refused.
  void DefineProperties(TFiler& filer) override;
  // Draws characters StartCharPos to EndCharPos (-1: from the first, to
  // the last) of the rich text into rect, on a solid Color background
  // unless Transparent, the text's default font the canvas's. Answers
  // whether every character of the range fitted.
  bool DrawRichText(TCanvas& canvas, const TRect& rect);

private:
  TMemoryStream richText;
};

// Draws text turned by angleDegrees (counter-clockwise) about (x, y) in
// a font like the given one, on a clear background; the canvas's font and
// brush style are as they were afterwards.
void ppTextOutRotated(TCanvas& canvas, const TFont& font, int x, int y, const std::string& text, int angleDegrees);

// Registers the command classes and the page classes for streaming.
void ppRegisterDrawCommandClasses();
