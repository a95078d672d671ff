#pragma once
// The tree's node record and the small types every part of the control
// shares. A node is one zero-filled block: this record, then the
// application's data.
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
  // The string tree's measured width of the main column's text; 0 until
  // measured (and for widths it cannot hold). It sits in what would be the
  // record's alignment padding, so it costs no byte.
  uint16_t TextWidth;
  uint32_t TotalCount;
  uint32_t TotalHeight;
  TVirtualNode* Parent;
  TVirtualNode* PrevSibling;
  TVirtualNode* NextSibling;
  TVirtualNode* FirstChild;
  TVirtualNode* LastChild;
};
using PVirtualNode = TVirtualNode*;
// The record is eight 64-bit words; a field added beyond the padding would
// cost every node of every tree.
static_assert(sizeof(TVirtualNode) == 64, "the node record grew");

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
