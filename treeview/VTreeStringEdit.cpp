#include "VTreeStringEdit.h"

#include <QKeyEvent>
#include <algorithm>

#include "VirtualStringTree.h"
#include "uiCanvasQt.h"

TVTEdit::TVTEdit(TStringEditLink& Link, QWidget* Parent) : QLineEdit(Parent), link(Link) {
  setFrame(true);
  hide();
  connect(this, &QLineEdit::textEdited, [this] { AutoAdjustSize(); });
}

void TVTEdit::AutoAdjustSize() {
  TCustomVirtualStringTree* tree = link.tree;
  if (!tree) return;
  const int extent = fontMetrics().horizontalAdvance(text());
  int width = std::max(MinEditWidth, extent + 2 * TextPadding);
  width = std::min(width, std::max(MinEditWidth, tree->ClientWidth() - EditClientGap - x()));
  const bool narrower = width < this->width();
  resize(width, height());
  if (narrower) tree->InvalidateNode(link.node);
}

void TVTEdit::keyPressEvent(QKeyEvent* Event) {
  switch (Event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (link.tree) link.tree->EndEditNode();
      return;
    case Qt::Key_Escape:
      if (link.tree) link.tree->CancelEditNode();
      return;
    case Qt::Key_Up:
      cursorBackward(Event->modifiers() & Qt::ShiftModifier);
      return;
    case Qt::Key_Down:
      cursorForward(Event->modifiers() & Qt::ShiftModifier);
      return;
    default:
      QLineEdit::keyPressEvent(Event);
  }
}

void TVTEdit::focusOutEvent(QFocusEvent* Event) {
  QLineEdit::focusOutEvent(Event);
  if (!link.stopped && link.tree && link.tree->IsEditing()) link.tree->EndEditNode();
}

TStringEditLink::~TStringEditLink() { delete edit.data(); }

bool TStringEditLink::PrepareEdit(TBaseVirtualTree* Tree, PVirtualNode Node, int Column) {
  tree = dynamic_cast<TCustomVirtualStringTree*>(Tree);
  if (!tree) return false;
  node = Node;
  column = Column;
  TFont font;
  TRect r;
  std::string text;
  tree->GetTextInfo(Node, Column, font, r, text);
  edit = new TVTEdit(*this, tree->Viewport());
  TBitmap probe(96);
  probe.SetSize(1, 1);
  probe.Canvas().Font().Assign(font);
  edit->setFont(static_cast<TQtCanvas&>(probe.Canvas()).QtFont());
  original = QString::fromStdString(text);
  edit->setText(original);
  return true;
}

TRect TStringEditLink::GetBounds() const {
  if (!edit) return TRect{};
  const QRect g = edit->geometry();
  return Rect(g.left(), g.top(), g.right() + 1, g.bottom() + 1);
}

void TStringEditLink::SetBounds(TRect R) {
  if (stopped || !edit) return;
  const int textWidth = edit->fontMetrics().horizontalAdvance(edit->text());
  R.Right = R.Left + textWidth + TextPadding;
  if (R.Width() < MinEditWidth) R.Right = R.Left + MinEditWidth;
  R.Right = std::min(R.Right, tree->ClientWidth());
  edit->setGeometry(R.Left, R.Top, std::max(0, R.Width()), R.Height());
  edit->setTextMargins(0, 0, 0, 0);
}

bool TStringEditLink::BeginEdit() {
  if (stopped || !edit) return !stopped;
  edit->show();
  edit->selectAll();
  edit->setFocus();
  return true;
}

bool TStringEditLink::EndEdit() {
  if (stopped) return true;
  stopped = true;
  if (edit) {
    const QString text = edit->text();
    edit->hide();
    if (text != original && tree) tree->DoNewText(node, column, text.toStdString());
  }
  return true;
}

bool TStringEditLink::CancelEdit() {
  if (stopped) return true;
  stopped = true;
  if (edit) edit->hide();
  return true;
}
