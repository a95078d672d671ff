#pragma once
// Tree-wide states, errors and event signatures of the control.

#include <cstdint>
#include <functional>

#include "VTreeNode.h"
#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(EVirtualTreeError, Exception);

class TBaseVirtualTree;

// The tree's own state flags.
enum TVirtualTreeState {
  tsChangePending,
  tsStructureChangePending,
  tsUpdating,
  tsHintRebuild,  // a node went since the last hint was asked for
  tsClipboardPending,
  tsCutPending,
  tsClipboardFlushing,
  tsFullExpanding,
  tsCollapsing,
  tsDestroying,
  tsLoading,
  tsEditing,
  tsEditPending,
  tsLeftButtonDown,
  tsDrawSelecting,
  tsDrawSelPending,
  tsScrolling,
  tsDragPending,
  tsDragging,
};
using TVirtualTreeStates = TSet<TVirtualTreeState>;

using TVTNodeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node)>;
using TVTInitNodeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode ParentNode, PVirtualNode Node,
                                            TVirtualNodeInitStates& InitialStates)>;
using TVTInitChildrenEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, uint32_t& ChildCount)>;
using TVTGetNodeDataSizeEvent = std::function<void(TBaseVirtualTree* Sender, int& NodeDataSize)>;
using TVTCheckChangingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TCheckState& NewState, bool& Allowed)>;
using TVTChangingEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, bool& Allowed)>;
using TVTFocusChangingEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode OldNode, PVirtualNode NewNode,
                                                 int OldColumn, int NewColumn, bool& Allowed)>;
using TVTFocusChangeEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, int Column)>;
using TVTGetImageEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, TVTImageKind Kind, int Column,
                                            int& Index)>;
using TVTNodeMovingEvent =
    std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, PVirtualNode NewParent, bool& Allowed)>;
using TVTNodeCopyingEvent = std::function<void(TBaseVirtualTree* Sender, PVirtualNode Node, bool& Allowed)>;
using TVTCompareEvent =
    std::function<int(TBaseVirtualTree* Sender, PVirtualNode Node1, PVirtualNode Node2, int Column)>;
