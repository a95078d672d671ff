// Cut, copy and paste through the clipboard, the data the tree offers, and
// the drop target's side of drag and drop.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <cstring>
#include <unistd.h>

#include "VTree.h"
#include "VTreeFormats.h"
#include "VTreeStreamFormat.h"
#include "rtlStreams.h"

namespace {

const QString NativeFormat = QStringLiteral("Virtual Tree Resource");
const QString ReferenceFormat = QStringLiteral("Virtual Tree Reference");
const QString TextFormat = QStringLiteral("text/plain");

// The reference: the process id and the tree's address, both 64-bit.
QByteArray MakeReference(const TBaseVirtualTree* tree) {
  QByteArray bytes(16, 0);
  const uint64_t pid = static_cast<uint64_t>(getpid());
  const uint64_t address = reinterpret_cast<uintptr_t>(tree);
  std::memcpy(bytes.data(), &pid, 8);
  std::memcpy(bytes.data() + 8, &address, 8);
  return bytes;
}

// The tree of this process the data names, when it is still alive.
TBaseVirtualTree* ReferencedTree(const QMimeData* data) {
  if (!data || !data->hasFormat(ReferenceFormat)) return nullptr;
  const QByteArray bytes = data->data(ReferenceFormat);
  if (bytes.size() != 16) return nullptr;
  uint64_t pid, address;
  std::memcpy(&pid, bytes.data(), 8);
  std::memcpy(&address, bytes.data() + 8, 8);
  if (pid != static_cast<uint64_t>(getpid())) return nullptr;
  for (TBaseVirtualTree* tree : TBaseVirtualTree::LiveTrees())
    if (reinterpret_cast<uintptr_t>(tree) == address) return tree;
  return nullptr;
}

}  // namespace

TEnumFormatEtc::TEnumFormatEtc(TOLEFormats Formats) {
  if (Formats.Contains(ofNative)) {
    formats.push_back(NativeFormat.toStdString());
    formats.push_back(ReferenceFormat.toStdString());
  }
  // Both text formats are Qt's one text.
  if (Formats.Contains(ofUnicodeText) || Formats.Contains(ofText)) formats.push_back(TextFormat.toStdString());
}

const std::string& TEnumFormatEtc::Item(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(SInvalidFormatIndex);
  return formats[static_cast<size_t>(Index)];
}

bool TEnumFormatEtc::Next(std::string& Format) {
  if (position >= Count()) return false;
  Format = Item(position++);
  return true;
}

void TEnumFormatEtc::Skip(int Count) { position = std::clamp(position + Count, 0, this->Count()); }

std::set<TBaseVirtualTree*>& TBaseVirtualTree::LiveTrees() {
  static std::set<TBaseVirtualTree*> trees;
  return trees;
}

std::string TBaseVirtualTree::ContentToText() { return {}; }

QMimeData* TBaseVirtualTree::CreateDataObject() {
  auto* data = new QMimeData;
  TEnumFormatEtc formats(oleFormats);
  for (std::string format; formats.Next(format);) {
    const QString name = QString::fromStdString(format);
    if (name == NativeFormat) {
      TMemoryStream stream;
      // A whole tree stream of the selected branches, topmost only.
      WriteTreeStreamHeader(stream);
      for (PVirtualNode n : GetSortedSelection(true)) WriteNodeRecord(stream, n);
      data->setData(NativeFormat,
                    QByteArray(reinterpret_cast<const char*>(stream.Memory()), static_cast<int>(stream.Size())));
    } else if (name == ReferenceFormat) {
      data->setData(ReferenceFormat, MakeReference(this));
    } else if (name == TextFormat) {
      const std::string text = ContentToText();
      if (!text.empty()) data->setText(QString::fromStdString(text));
    }
  }
  return data;
}

std::vector<PVirtualNode> TBaseVirtualTree::MarkedNodes(bool TopmostOnly) const {
  std::vector<PVirtualNode> result;
  for (PVirtualNode n = root->FirstChild; n;) {
    if (n->States & nsCutOrCopy) {
      result.push_back(n);
      if (TopmostOnly) {
        n = NextNodeSkippingChildren(n);
        continue;
      }
    }
    n = GetNextNoInit(n);
  }
  return result;
}

void TBaseVirtualTree::ClearCutMarks() {
  for (PVirtualNode n = root->FirstChild; n; n = GetNextNoInit(n)) n->States &= ~nsCutOrCopy;
}

void TBaseVirtualTree::ReleaseClipboard() {
  if (!clipboardData) return;
  QClipboard* clipboard = QGuiApplication::clipboard();
  // Cleared only while it still holds what this tree put there.
  if (clipboard && clipboard->mimeData() == clipboardData) clipboard->clear();
  clipboardData = nullptr;
}

void TBaseVirtualTree::CancelCutOrCopy() {
  if (states.Contains(tsCutPending) || states.Contains(tsClipboardPending)) {
    StopValidation();
    ClearCutMarks();
    ReleaseClipboard();
    ResumeValidation();
    InvalidateControl();
  }
  states.Exclude(tsCutPending).Exclude(tsClipboardPending).Exclude(tsClipboardFlushing);
}

void TBaseVirtualTree::FlushClipboard() {
  if (states.Contains(tsCutPending)) {
    BeginUpdate();
    for (PVirtualNode n : MarkedNodes(true)) DeleteNode(n);
    EndUpdate();
    states.Exclude(tsCutPending);
  } else if (states.Contains(tsClipboardPending)) {
    StopValidation();
    ClearCutMarks();
    ResumeValidation();
    states.Exclude(tsClipboardPending);
  }
}

void TBaseVirtualTree::CopyToClipboard() {
  if (selection.empty()) return;
  states.Include(tsClipboardFlushing);
  CancelCutOrCopy();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) throw EVirtualTreeError(SClipboardFailed);
  StopValidation();
  for (PVirtualNode n : selection) n->States |= nsCutOrCopy;
  ResumeValidation();
  QMimeData* data = CreateDataObject();
  clipboard->setMimeData(data);
  clipboardData = data;
  states.Include(tsClipboardPending);
  InvalidateControl();
}

void TBaseVirtualTree::CutToClipboard() {
  CopyToClipboard();
  if (clipboardData) states.Include(tsCutPending);
  InvalidateControl();
}

bool TBaseVirtualTree::ProcessDrop(const QMimeData* Data, PVirtualNode Target, TVTNodeAttachMode Mode,
                                   TDropOptions Options) {
  const bool Move = Options.Move;
  if (!Data || Mode == amNowhere) return false;
  if (!Target) Target = root;
  BeginUpdate();
  struct TEnd {
    TBaseVirtualTree* tree;
    ~TEnd() { tree->EndUpdate(); }
  } end{this};
  if (TBaseVirtualTree* source = ReferencedTree(Data)) {
    // Nodes of a live tree of this process are taken directly.
    // The clipboard's nodes are the marked ones; a drag's are those it
    // started with (or, for a drop made by code, the source's selection).
    std::vector<PVirtualNode> nodes = Options.FromClipboard                 ? source->MarkedNodes(true)
                                      : source->states.Contains(tsDragging) ? source->draggedNodes
                                                                            : source->GetSortedSelection(true);
    if (source->states.Contains(tsDragging)) source->dropTakenInProcess = true;
    // A node never goes before, after or into its own branch: skipped.
    std::erase_if(nodes, [&](PVirtualNode n) { return source == this && (n == Target || HasAsParent(Target, n)); });
    if (nodes.empty()) return false;
    if (Move && source == this) {
      PVirtualNode anchor = Target;
      TVTNodeAttachMode mode = Mode;
      for (PVirtualNode n : nodes) {
        MoveTo(n, anchor, mode, false);
        if (mode == amInsertBefore || mode == amAddChildFirst) {
          anchor = n;
          mode = amInsertAfter;
        } else if (mode == amInsertAfter)
          anchor = n;
      }
      return true;
    }
    PVirtualNode newParent = (Mode == amAddChildFirst || Mode == amAddChildLast) ? Target : Target->Parent;
    if (Move)
      std::erase_if(nodes, [&](PVirtualNode n) {
        return !source->DoNodeMoving(n, IsRootNode(newParent) ? nullptr : newParent);
      });
    TMemoryStream stream;
    for (PVirtualNode n : nodes) source->WriteNodeRecord(stream, n);
    stream.SetPosition(0);
    const bool any = InsertFromStream(stream, Target, Mode, !Move);
    if (Move) {
      source->BeginUpdate();
      for (PVirtualNode n : nodes) source->DeleteNode(n);
      source->EndUpdate();
    }
    return any;
  }
  if (!Data->hasFormat(NativeFormat)) return false;
  const QByteArray bytes = Data->data(NativeFormat);
  TMemoryStream stream;
  stream.WriteBuffer(bytes.constData(), bytes.size());
  stream.SetPosition(0);
  uint8_t header[StreamHeaderSize];
  if (stream.Read(header, StreamHeaderSize) != StreamHeaderSize) throw EVirtualTreeError(SWrongStreamFormat);
  return InsertFromStream(stream, Target, Mode, true);
}

bool TBaseVirtualTree::PasteFromClipboard() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) throw EVirtualTreeError(SClipboardFailed);
  const QMimeData* data = clipboard->mimeData();
  if (!data) return false;
  TBaseVirtualTree* source = ReferencedTree(data);
  // Paste moves only after a cut; after a copy it copies.
  const bool move = source && source->states.Contains(tsCutPending);
  const bool result = ProcessDrop(data, focusedNode, defaultPasteMode, {.Move = move, .FromClipboard = true});
  if (move) {
    source->states.Exclude(tsCutPending);
    source->FlushClipboard();
    source->CancelCutOrCopy();
  }
  return result;
}

// Drop target ------------------------------------------------------------------

TDropMode TBaseVirtualTree::DropModeAt(TPoint Pt, PVirtualNode& Node) {
  int top = 0;
  Node = GetNodeAt(Pt.X, Pt.Y, &top);
  if (!Node) return dmNowhere;
  const int quarter = Node->NodeHeight / 4;
  if (Pt.Y < top + quarter) return dmAbove;
  if (Pt.Y >= top + Node->NodeHeight - quarter) return dmBelow;
  return dmOnNode;
}

void TBaseVirtualTree::HandleDragEnter(const QMimeData* Data) {
  dropTargetNode = nullptr;
  dropMode = dmNowhere;
}

bool TBaseVirtualTree::DoDragOver(TBaseVirtualTree* Source, Qt::KeyboardModifiers Shift, TPoint Pt, TDropMode Mode,
                                  Qt::DropAction& Effect) {
  bool accept = true;
  if (OnDragOver) OnDragOver(this, Source, Shift, Pt, Mode, Effect, accept);
  return accept;
}

Qt::DropAction TBaseVirtualTree::HandleDragOver(const QMimeData* Data, TPoint Pt, Qt::DropActions Allowed,
                                                Qt::KeyboardModifiers Shift) {
  if (!options.Contains(voAcceptOLEDrop)) return Qt::IgnoreAction;
  TBaseVirtualTree* source = ReferencedTree(Data);
  PVirtualNode node = nullptr;
  const TDropMode mode = DropModeAt(Pt, node);
  if (node != dropTargetNode && options.Contains(voAutoDropExpand)) {
    if (node) expandTimer.Start(1000);
    else
      expandTimer.Stop();
  }
  dropTargetNode = node;
  dropMode = mode;
  // Copy between trees (or from outside), move within one; the keys ask
  // for one or the other; each only when allowed.
  Qt::DropAction effect = source == this ? Qt::MoveAction : Qt::CopyAction;
  const bool shift = Shift & Qt::ShiftModifier, ctrl = Shift & Qt::ControlModifier, alt = Shift & Qt::AltModifier;
  if (shift && !ctrl && !alt) effect = Qt::MoveAction;
  else if (ctrl && !shift && !alt) effect = Qt::CopyAction;
  else if (alt || (ctrl && shift)) effect = Qt::LinkAction;
  if (!(Allowed & effect)) effect = (Allowed & Qt::MoveAction) ? Qt::MoveAction : (Allowed & Qt::CopyAction) ? Qt::CopyAction : Qt::IgnoreAction;
  if (!DoDragOver(source, Shift, Pt, mode, effect)) effect = Qt::IgnoreAction;
  InvalidateControl();
  return effect;
}

void TBaseVirtualTree::HandleDragLeave() {
  expandTimer.Stop();
  dropTargetNode = nullptr;
  dropMode = dmNowhere;
  InvalidateControl();
}

Qt::DropAction TBaseVirtualTree::HandleDrop(const QMimeData* Data, TPoint Pt, Qt::DropActions Allowed,
                                            Qt::KeyboardModifiers Shift) {
  Qt::DropAction effect = HandleDragOver(Data, Pt, Allowed, Shift);
  PVirtualNode target = dropTargetNode;
  const TDropMode mode = dropMode;
  HandleDragLeave();
  if (effect == Qt::IgnoreAction) return effect;
  if (OnDragDrop) {
    std::vector<std::string> formats;
    for (const QString& f : Data->formats()) formats.push_back(f.toStdString());
    OnDragDrop(this, ReferencedTree(Data), formats, Shift, Pt, effect, mode);
    return effect;
  }
  const TVTNodeAttachMode attach = mode == dmAbove ? amInsertBefore : mode == dmBelow ? amInsertAfter
                                   : mode == dmOnNode ? amAddChildLast : amAddChildLast;
  if (effect == Qt::MoveAction || effect == Qt::CopyAction)
    ProcessDrop(Data, target, attach, {.Move = effect == Qt::MoveAction});
  return effect;
}

void TBaseVirtualTree::DragFinished(Qt::DropAction Effect) {
  // A move into another process took copies: the originals go here. Taken
  // directly in this process, they are already where they belong.
  if (Effect == Qt::MoveAction && !dropTakenInProcess) {
    BeginUpdate();
    for (PVirtualNode n : draggedNodes) DeleteNode(n);
    EndUpdate();
  }
  draggedNodes.clear();
  dropTakenInProcess = false;
}
