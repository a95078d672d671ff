// Writing and reading tree streams, and moving and copying nodes.
//
// Both directions walk with an explicit stack: a branch may be deeper than
// any call stack. Reading trusts no count or size: each is checked against
// the bytes left in its chunk before anything is made.

#include <algorithm>
#include <cstring>

#include "VTree.h"
#include "VTreeStreamFormat.h"
#include "rtlStreams.h"

namespace {

void WriteU32(TStream& s, uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  s.WriteBuffer(b, 4);
}

void WriteU16(TStream& s, uint16_t v) {
  uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
  s.WriteBuffer(b, 2);
}

uint32_t ReadU32(const uint8_t* b) { return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24); }
uint16_t ReadU16(const uint8_t* b) { return uint16_t(b[0] | (b[1] << 8)); }

// Reads exactly count bytes that lie before limit; otherwise the stream is
// corrupt.
void ReadBounded(TStream& s, void* buffer, int64_t count, int64_t limit) {
  if (s.Position() + count > limit) throw EVirtualTreeError(SCorruptStream);
  if (s.Read(buffer, count) != count) throw EVirtualTreeError(SCorruptStream);
}

void PatchSize(TStream& s, int64_t sizeAt, int64_t dataStart) {
  const int64_t end = s.Position();
  const int64_t size = end - dataStart;
  if (size > UINT32_MAX) throw EVirtualTreeError(SCorruptStream);
  s.SetPosition(sizeAt);
  WriteU32(s, static_cast<uint32_t>(size));
  s.SetPosition(end);
}

}  // namespace

void WriteTreeStreamHeader(TStream& s) {
  WriteU16(s, StreamSignatureFirst);
  WriteU16(s, 'V');
  WriteU16(s, 'T');
  WriteU16(s, StreamVersion);
  WriteU16(s, StreamVersionValue);
  WriteU16(s, StreamSignatureLast);
}

void TBaseVirtualTree::DoSaveUserData(PVirtualNode Node, TStream& Stream) {
  if (OnSaveNode) OnSaveNode(this, Node, Stream);
}

void TBaseVirtualTree::DoLoadUserData(PVirtualNode Node, TStream& Stream) {
  if (OnLoadNode) OnLoadNode(this, IsRootNode(Node) ? nullptr : Node, Stream);
}

// The chunks of one node after its children: user data, then what the
// descendant adds.
void TBaseVirtualTree::WriteNode(TStream& Stream, PVirtualNode Node) {
  const int64_t chunkStart = Stream.Position();
  WriteU32(Stream, UserChunk);
  WriteU32(Stream, 0);
  DoSaveUserData(Node, Stream);
  if (Stream.Position() == chunkStart + ChunkHeaderSize) {
    // Nothing written: the empty chunk is cut off again.
    Stream.SetPosition(chunkStart);
    if (Stream.Size() == chunkStart + ChunkHeaderSize) Stream.SetSize(chunkStart);
  } else
    PatchSize(Stream, chunkStart + 4, chunkStart + ChunkHeaderSize);
  WriteDescendantChunks(Stream, Node);
}

void TBaseVirtualTree::WriteNodeRecord(TStream& Stream, PVirtualNode Start) {
  struct TFrame {
    PVirtualNode node;
    int64_t anchorData;  // where the anchor's data starts
    int64_t baseData;
    PVirtualNode next;   // the next child to write
  };
  std::vector<TFrame> stack;
  auto begin = [&](PVirtualNode node) {
    if (options.Contains(voInitOnSave) && !IsRootNode(node)) {
      if (!(node->States & nsInitialized)) InitNode(node);
      if ((node->States & nsHasChildren) && node->ChildCount == 0) InitChildren(node);
    }
    const bool withChildren = (node->States & nsInitialized) || IsRootNode(node);
    WriteU32(Stream, NodeChunk);
    WriteU32(Stream, 0);
    const int64_t anchorData = Stream.Position();
    WriteU32(Stream, BaseChunk);
    WriteU32(Stream, 0);
    const int64_t baseData = Stream.Position();
    WriteU32(Stream, withChildren ? node->ChildCount : 0);
    WriteU32(Stream, node->NodeHeight);
    const uint8_t bytes[4] = {static_cast<uint8_t>(node->States & ~(nsChecking | nsCutOrCopy | nsDeleting)),
                              node->Align, node->CheckState, node->CheckType};
    Stream.WriteBuffer(bytes, 4);
    stack.push_back({node, anchorData, baseData, withChildren ? node->FirstChild : nullptr});
  };
  begin(Start);
  while (!stack.empty()) {
    TFrame& top = stack.back();
    if (PVirtualNode child = top.next) {
      top.next = child->NextSibling;
      begin(child);
      continue;
    }
    const TFrame done = top;
    stack.pop_back();
    PatchSize(Stream, done.baseData - 4, done.baseData);
    WriteNode(Stream, done.node);
    PatchSize(Stream, done.anchorData - 4, done.anchorData);
  }
}

void TBaseVirtualTree::SaveToStream(TStream& Stream, PVirtualNode Node) {
  WriteTreeStreamHeader(Stream);
  if (Node && !IsRootNode(Node))
    WriteNodeRecord(Stream, Node);
  else
    for (PVirtualNode n = root->FirstChild; n; n = n->NextSibling) WriteNodeRecord(Stream, n);
}

void TBaseVirtualTree::SaveToFile(const std::string& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

bool TBaseVirtualTree::ReadChunk(TStream& Stream, PVirtualNode Node, uint32_t ChunkType, uint32_t ChunkSize) {
  if (ChunkType == UserChunk && ChunkSize > 0) {
    DoLoadUserData(Node, Stream);
    return true;
  }
  return false;
}

// Reads one node record into Node (which has no children yet), staying
// before Limit. Children are linked directly and their totals summed when
// each is complete; Node's own totals are carried up once at the end, also
// when the stream turns out corrupt half-way.
void TBaseVirtualTree::ReadNode(TStream& Stream, PVirtualNode Node, int64_t Limit) {
  THoldValidation hold(*this);
  struct TFrame {
    PVirtualNode node;
    int64_t anchorEnd;
    int64_t baseEnd;
    uint32_t childrenLeft;
    bool inBase;
  };
  StopValidation();
  std::vector<TFrame> stack;

  auto beginNode = [&](PVirtualNode node, int64_t limit) {
    uint8_t header[ChunkHeaderSize];
    if (Stream.Position() + ChunkHeaderSize > limit) throw EVirtualTreeError(SStreamTooSmall);
    ReadBounded(Stream, header, ChunkHeaderSize, limit);
    if (ReadU32(header) != NodeChunk) throw EVirtualTreeError(SStreamTooSmall);
    const int64_t end = Stream.Position() + ReadU32(header + 4);
    if (end > limit) throw EVirtualTreeError(SCorruptStream);
    stack.push_back({node, end, 0, 0, false});
  };
  // A finished node's totals from its children.
  auto finish = [&](PVirtualNode node) {
    uint32_t count = 1, height = node->NodeHeight;
    for (PVirtualNode c = node->FirstChild; c; c = c->NextSibling) {
      count += c->TotalCount;
      if (node->States & nsExpanded) height += c->TotalHeight;
    }
    if (node == Node) {
      AdjustTotalCount(node, count, false);
      AdjustTotalHeight(node, height, false);
    } else {
      node->TotalCount = count;
      node->TotalHeight = height;
    }
  };
  const bool wasVisible = IsVisiblePath(Node) && (Node->Parent->States & nsExpanded);
  try {
    beginNode(Node, Limit);
    while (!stack.empty()) {
      TFrame& f = stack.back();
      if (f.inBase) {
        if (f.childrenLeft > 0) {
          --f.childrenLeft;
          PVirtualNode child = MakeNewNode();
          PVirtualNode parent = f.node;
          child->Parent = parent;
          child->Index = parent->ChildCount;
          child->PrevSibling = parent->LastChild;
          if (parent->LastChild)
            parent->LastChild->NextSibling = child;
          else
            parent->FirstChild = child;
          parent->LastChild = child;
          ++parent->ChildCount;
          beginNode(child, f.baseEnd);
          continue;
        }
        if (Stream.Position() != f.baseEnd) throw EVirtualTreeError(SCorruptStream);
        f.inBase = false;
      }
      if (Stream.Position() >= f.anchorEnd) {
        if (Stream.Position() != f.anchorEnd) throw EVirtualTreeError(SCorruptStream);
        PVirtualNode done = f.node;
        stack.pop_back();
        finish(done);
        continue;
      }
      uint8_t header[ChunkHeaderSize];
      ReadBounded(Stream, header, ChunkHeaderSize, f.anchorEnd);
      const uint32_t type = ReadU32(header), size = ReadU32(header + 4);
      const int64_t chunkEnd = Stream.Position() + size;
      if (chunkEnd > f.anchorEnd) throw EVirtualTreeError(SCorruptStream);
      if (type == BaseChunk) {
        uint8_t base[BaseChunkDataSize];
        if (size < BaseChunkDataSize) throw EVirtualTreeError(SCorruptStream);
        ReadBounded(Stream, base, BaseChunkDataSize, chunkEnd);
        const uint32_t childCount = ReadU32(base);
        const uint32_t height = std::clamp<uint32_t>(ReadU32(base + 4), 1, UINT16_MAX);
        // Each child needs a whole minimal record in what is left.
        if (childCount > (chunkEnd - Stream.Position()) / MinimalNodeRecordSize)
          throw EVirtualTreeError(SCorruptStream);
        PVirtualNode node = f.node;
        if (!IsRootNode(node)) {
          node->NodeHeight = static_cast<uint16_t>(height);
          // Selection and the clipboard marks are settled after reading.
          node->States = base[8] & ~(nsChecking | nsCutOrCopy | nsDeleting);
          node->Align = base[9];
          node->CheckState = base[10] <= csButtonPressed ? base[10] : uint8_t{csUncheckedNormal};
          node->CheckType = base[11] <= ctButton ? base[11] : uint8_t{ctNone};
          if (childCount > 0) node->States |= nsHasChildren;
        }
        f.childrenLeft = childCount;
        f.baseEnd = chunkEnd;
        f.inBase = true;
        continue;
      }
      if (size > 0) ReadChunk(Stream, f.node, type, size);
      // A handler that read less leaves the rest skipped; one that read
      // more broke the chunk.
      if (Stream.Position() > chunkEnd) throw EVirtualTreeError(SCorruptStream);
      Stream.SetPosition(chunkEnd);
    }
  } catch (...) {
    // What was read stays, with true totals: finish the open nodes.
    while (!stack.empty()) {
      PVirtualNode open = stack.back().node;
      stack.pop_back();
      finish(open);
    }
    if (wasVisible) visibleCount += CountVisibleChildren(Node);
    ResolveReadSelection(Node);
    StructureChanged();
    throw;
  }
  if (wasVisible) visibleCount += CountVisibleChildren(Node);
  ResolveReadSelection(Node);
  StructureChanged();
}

void TBaseVirtualTree::ResolveReadSelection(PVirtualNode Node) {
  const bool multi = options.Contains(voMultiSelect);
  for (PVirtualNode n = Node; n;) {
    if (n->States & nsSelected) {
      n->States &= ~nsSelected;
      if (multi) AddToSelection(n, true);
    }
    if (n->FirstChild) {
      n = n->FirstChild;
      continue;
    }
    while (n != Node && !n->NextSibling) n = n->Parent;
    n = n == Node ? nullptr : n->NextSibling;
  }
}

void TBaseVirtualTree::LoadFromStream(TStream& Stream) {
  uint8_t header[StreamHeaderSize];
  if (Stream.Read(header, StreamHeaderSize) != StreamHeaderSize || ReadU16(header) != StreamSignatureFirst ||
      ReadU16(header + 2) != 'V' || ReadU16(header + 4) != 'T' || ReadU16(header + 10) != StreamSignatureLast)
    throw EVirtualTreeError(SWrongStreamFormat);
  const uint16_t version = ReadU16(header + 6);
  if (version > StreamVersion || (version == StreamVersion && ReadU16(header + 8) > StreamVersionValue))
    throw EVirtualTreeError(SWrongStreamVersion);
  Clear();
  const int64_t size = Stream.Size();
  BeginUpdate();
  struct TEnd {
    TBaseVirtualTree* tree;
    ~TEnd() { tree->EndUpdate(); }
  } end{this};
  while (Stream.Position() < size) {
    PVirtualNode node = AddChild(nullptr);
    ReadNode(Stream, node, size);
  }
  DoNodeCopied(nullptr);
}

void TBaseVirtualTree::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  LoadFromStream(file);
}

// Moving and copying -------------------------------------------------------------

bool TBaseVirtualTree::InsertFromStream(TStream& Stream, PVirtualNode Target, TVTNodeAttachMode Mode,
                                        bool Copying) {
  const int64_t size = Stream.Size();
  bool any = false;
  PVirtualNode anchor = Target;
  while (Stream.Position() < size) {
    PVirtualNode node = InsertNode(anchor, Mode);
    ReadNode(Stream, node, size);
    if (Copying && !DoNodeCopying(node)) {
      DeleteNode(node);
      continue;
    }
    any = true;
    if (Copying)
      DoNodeCopied(node);
    else
      DoNodeMoved(node);
    // Later records follow the earlier ones in order.
    if (Mode == amInsertBefore) {
      anchor = node;
      Mode = amInsertAfter;
    } else if (Mode == amInsertAfter)
      anchor = node;
    else if (Mode == amAddChildFirst) {
      anchor = node;
      Mode = amInsertAfter;
    }
  }
  return any;
}

void TBaseVirtualTree::MoveTo(PVirtualNode Source, PVirtualNode Target, TVTNodeAttachMode Mode, bool ChildrenOnly) {
  THoldValidation hold(*this);
  if (Mode == amNowhere || !Source || IsRootNode(Source)) return;
  TBaseVirtualTree* targetTree = Target ? TreeFromNode(Target) : this;
  if (!Target) {
    Target = root;
    Mode = amAddChildLast;
  }
  if (IsRootNode(Target)) {
    if (Mode == amInsertBefore) Mode = amAddChildFirst;
    if (Mode == amInsertAfter) Mode = amAddChildLast;
  }
  PVirtualNode newParent = (Mode == amAddChildFirst || Mode == amAddChildLast) ? Target : Target->Parent;
  // Within this tree a node never goes into its own branch; before or after
  // itself, or its children back into it, nothing changes.
  if (targetTree == this) {
    const bool intoOwnBranch = ChildrenOnly ? HasAsParent(newParent, Source)
                                            : newParent == Source || HasAsParent(newParent, Source);
    if (intoOwnBranch) throw EVirtualTreeError(STargetInsideSource);
    if (Target == Source || (ChildrenOnly && newParent == Source)) return;
  }
  if (!DoNodeMoving(Source, IsRootNode(newParent) ? nullptr : newParent)) return;
  if (targetTree != this) {
    TMemoryStream stream;
    if (ChildrenOnly) {
      for (PVirtualNode c = Source->FirstChild; c; c = c->NextSibling) WriteNodeRecord(stream, c);
    } else
      WriteNodeRecord(stream, Source);
    stream.SetPosition(0);
    targetTree->BeginUpdate();
    struct TEnd {
      TBaseVirtualTree* tree;
      ~TEnd() { tree->EndUpdate(); }
    } end{targetTree};
    targetTree->InsertFromStream(stream, Target, Mode, false);
    BeginUpdate();
    if (ChildrenOnly)
      DeleteChildren(Source, true);
    else
      DeleteNode(Source);
    EndUpdate();
    return;
  }
  StopValidation();
  BeginUpdate();
  struct TEnd {
    TBaseVirtualTree* tree;
    ~TEnd() { tree->EndUpdate(); }
  } end{this};
  std::vector<PVirtualNode> moving;
  if (ChildrenOnly)
    for (PVirtualNode c = Source->FirstChild; c; c = c->NextSibling) moving.push_back(c);
  else
    moving.push_back(Source);
  PVirtualNode anchor = Target;
  for (PVirtualNode n : moving) {
    UnlinkNode(n);
    AttachNode(n, anchor, Mode);
    DoNodeMoved(n);
    if (Mode == amInsertBefore || Mode == amAddChildFirst) {
      anchor = n;
      Mode = amInsertAfter;
    } else if (Mode == amInsertAfter)
      anchor = n;
  }
  states.Include(tsStructureChangePending);
}
