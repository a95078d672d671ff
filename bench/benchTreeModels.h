#pragma once
// The peers of the tree benchmark: a lazy item model that makes every row
// on demand (as the virtual tree does), counting the calls the view makes.

#include <QAbstractItemModel>
#include <cstdint>

class TLazyTreeModel : public QAbstractItemModel {
public:
  // RootCount top-level rows; with BigChildren the first row has that
  // many children.
  void Reset(int RootCount, int BigChildren);

  QModelIndex index(int row, int column, const QModelIndex& parent) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override { return 1; }
  QVariant data(const QModelIndex& index, int role) const override;

  mutable uint64_t IndexCalls = 0;
  mutable uint64_t TextCalls = 0;

private:
  int rootCount = 0;
  int bigChildren = 0;
};
