#pragma once
// Which pages a device wants, and whether a generated page serves it.

#include "rtlStringList.h"
#include "rtlTypeInfo.h"

class TppPage;

enum TppPageSettingType : uint8_t { psAll, psPageList, psSinglePage, psFirstPage, psLastPage, psPageRange };
enum TppPageRangeType : uint8_t { prAll, prOddPages, prEvenPages };
RTL_ENUM_TYPE(TppPageSettingType, "psAll", "psPageList", "psSinglePage", "psFirstPage", "psLastPage", "psPageRange")
RTL_ENUM_TYPE(TppPageRangeType, "prAll", "prOddPages", "prEvenPages")

class TppPageRequest : public TPersistent {
  RTL_DECLARE_CLASS(TppPageRequest, TPersistent)

  TStringList* PageList() const { return &pageList; }
  // Copies the given list; page numbers beyond ppMaxPageNumber or lists
  // longer than ppMaxPageListCount are cut to those limits.
  void SetPageList(TStringList* value);
  int PageRequested() const { return pageRequested; }
  void SetPageRequested(int value) { pageRequested = value; }
  TppPageSettingType PageSetting() const { return pageSetting; }
  void SetPageSetting(TppPageSettingType value) { pageSetting = value; }
  TppPageRangeType PageRange() const { return pageRange; }
  void SetPageRange(TppPageRangeType value) { pageRange = value; }

  void Assign(const TPersistent* source) override;
  void Clear();
  // May move PageRequested to the last page when it asks past the end.
  bool AcceptsPage(const TppPage& page);
  // Crosses the page off a page list.
  bool IsSatisfied(const TppPage& page);

private:
  mutable TStringList pageList;
  int pageRequested = 1;
  TppPageSettingType pageSetting = psAll;
  TppPageRangeType pageRange = prAll;
};
