#include "benchTreeModels.h"

// Internal ids: 0 a top-level row, 1 a child of the first row.

void TLazyTreeModel::Reset(int RootCount, int BigChildren) {
  beginResetModel();
  rootCount = RootCount;
  bigChildren = BigChildren;
  endResetModel();
}

QModelIndex TLazyTreeModel::index(int row, int column, const QModelIndex& parent) const {
  ++IndexCalls;
  if (!parent.isValid()) return row < rootCount ? createIndex(row, column, quintptr(0)) : QModelIndex();
  if (parent.internalId() == 0 && parent.row() == 0 && row < bigChildren)
    return createIndex(row, column, quintptr(1));
  return {};
}

QModelIndex TLazyTreeModel::parent(const QModelIndex& child) const {
  if (child.isValid() && child.internalId() == 1) return createIndex(0, 0, quintptr(0));
  return {};
}

int TLazyTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return rootCount;
  if (parent.internalId() == 0 && parent.row() == 0) return bigChildren;
  return 0;
}

QVariant TLazyTreeModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole) return {};
  ++TextCalls;
  return QStringLiteral("Node %1").arg(index.row());
}
