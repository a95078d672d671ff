#pragma once
// The string tree's in-place editor: a line edit over the cell's text that
// grows and shrinks with what is typed. It holds the text as Qt's wide
// string, so no character is lost on the way in or out.

#include <QLineEdit>
#include <QPointer>

#include "VTreeEditLink.h"

class TCustomVirtualStringTree;
class TStringEditLink;

class TVTEdit : public QLineEdit {
public:
  TVTEdit(TStringEditLink& Link, QWidget* Parent);

  // Fits the width to the text: at least MinEditWidth, within the tree.
  void AutoAdjustSize();

protected:
  void keyPressEvent(QKeyEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;

private:
  TStringEditLink& link;
};

class TStringEditLink : public IVTEditLink {
public:
  TStringEditLink() = default;
  ~TStringEditLink() override;

  bool BeginEdit() override;
  bool CancelEdit() override;
  bool IsActive() const override { return !stopped; }
  bool EndEdit() override;
  bool PrepareEdit(TBaseVirtualTree* Tree, PVirtualNode Node, int Column) override;
  TRect GetBounds() const override;
  void SetBounds(TRect R) override;

  TVTEdit* Edit() const { return edit; }
  TCustomVirtualStringTree* Tree() const { return tree; }
  PVirtualNode Node() const { return node; }

private:
  friend class TVTEdit;
  QPointer<TVTEdit> edit;  // a child of the tree: it may go with it
  TCustomVirtualStringTree* tree = nullptr;
  PVirtualNode node = nullptr;
  int column = NoColumn;
  QString original;
  bool stopped = false;
};
