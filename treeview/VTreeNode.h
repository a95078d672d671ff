#pragma once
// The tree's node record and the small types every part of the control
// shares. A node is one zero-filled block: this record, then the internal
// data the control's descendants reserve, then the application's data.
//
// Invariants (checked by TBaseVirtualTree::CheckStructure):
// - Index is dense: 0 for FirstChild, PrevSibling's Index + 1 otherwise;
//   ChildCount is the length of the sibling chain.
// - TotalCount = 1 + the children's TotalCount.
// - TotalHeight = NodeHeight, plus the children's TotalHeight when the node
//   is expanded.
// - The root's NextSibling is the root, its Parent the tree (as a node
//   pointer, never dereferenced as one).

#include <cstdint>

#include "rtlSets.h"

struct TVirtualNode {
  uint32_t Index;
  uint32_t ChildCount;
  uint16_t NodeHeight;
  uint8_t States;
  uint8_t Align;
  uint8_t CheckState;
  uint8_t CheckType;
  uint32_t TotalCount;
  uint32_t TotalHeight;
  TVirtualNode* Parent;
  TVirtualNode* PrevSibling;
  TVirtualNode* NextSibling;
  TVirtualNode* FirstChild;
  TVirtualNode* LastChild;
};
using PVirtualNode = TVirtualNode*;

// Node States bits, lowest first.
enum : uint8_t {
  nsInitialized = 1,
  nsChecking = 2,
  nsCutOrCopy = 4,
  nsDisabled = 8,
  nsDeleting = 16,
  nsExpanded = 32,
  nsHasChildren = 64,
  nsSelected = 128,
};

enum TVirtualNodeInitState { ivsDisabled, ivsExpanded, ivsHasChildren, ivsSelected };
using TVirtualNodeInitStates = TSet<TVirtualNodeInitState>;

enum TCheckState : uint8_t {
  csUncheckedNormal = 0,
  csCheckedNormal = 1,
  csMixedNormal = 2,
  csButtonNormal = 3,
  csButtonPressed = 4,
};

enum TCheckType : uint8_t { ctNone = 0, ctCheckBox = 1, ctTriStateCheckBox = 2, ctRadioButton = 3, ctButton = 4 };

enum TVTNodeAttachMode { amNowhere, amInsertBefore, amInsertAfter, amAddChildFirst, amAddChildLast };

enum TSortDirection { sdAscending, sdDescending };

enum TVTImageKind { ikNormal = 0, ikSelected = 1, ikState = 2, ikOverlay = 3 };

// Column arguments: -1 the tree has no columns, -2 no column.
constexpr int NoColumn = -2;
constexpr int InvalidColumn = -1;

enum TVirtualTreeOption {
  voAcceptOLEDrop,
  voAnimatedToggle,
  voAutoDropExpand,
  voAutoExpand,
  voAutoScroll,
  voAutoSpanColumns,
  voAutoTristateTracking,
  voCheckSupport,
  voCustomizeItems,
  voEditable,
  voExtendedFocus,
  voFullRowSelect,
  voGridExtensions,
  voHotTrack,
  voInitOnSave,
  voLevelSelectConstraint,
  voMiddleClickSelect,
  voMultiSelect,
  voRightClickSelect,
  voShowBackground,
  voShowButtons,
  voShowHorzGridLines,
  voShowRoot,
  voShowTreeLines,
  voShowVertGridLines,
  voToggleOnDblClick,
};
using TVirtualTreeOptions = TSet<TVirtualTreeOption>;

inline constexpr TVirtualTreeOptions DefaultVirtualTreeOptions{
    voAcceptOLEDrop, voAutoDropExpand, voAutoTristateTracking, voInitOnSave,
    voShowButtons,   voShowRoot,       voShowTreeLines,        voToggleOnDblClick};
