#pragma once
// The class library's list sort: quicksort with the middle item as pivot.
// It only compares and exchanges by index, so a compare routine that is not
// a strict order can misplace items but never reach outside the range.

template <typename Compare, typename Exchange>
void QuickSortRange(int left, int right, Compare compare, Exchange exchange) {
  while (left < right) {
    int i = left, j = right, pivot = (left + right) / 2;
    do {
      while (i < right && compare(i, pivot) < 0) ++i;
      while (j > left && compare(j, pivot) > 0) --j;
      if (i <= j) {
        if (i != j) {
          exchange(i, j);
          // The pivot item moved with the exchange; follow it.
          if (pivot == i)
            pivot = j;
          else if (pivot == j)
            pivot = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (left < j) QuickSortRange(left, j, compare, exchange);
    left = i;
  }
}
