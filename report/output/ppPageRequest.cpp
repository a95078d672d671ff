#include "ppPageRequest.h"

#include <algorithm>

#include "ppPage.h"
#include "ppUtils.h"
#include "rtlConvert.h"

const TClassInfo& TppPageRequest::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TppPageRequest>("TppPageRequest")
          .Property("PageList", &TppPageRequest::PageList, &TppPageRequest::SetPageList)
          .Property("PageRequested", &TppPageRequest::PageRequested, &TppPageRequest::SetPageRequested)
          .Default(1)
          .Property("PageSetting", &TppPageRequest::PageSetting, &TppPageRequest::SetPageSetting)
          .Default(psAll)
          .Property("PageRange", &TppPageRequest::PageRange, &TppPageRequest::SetPageRange)
          .Default(prAll)
          .Build();
  return info;
}

void TppPageRequest::SetPageList(TStringList* value) {
  pageList.Clear();
  if (!value) return;
  for (int i = 0; i < value->Count() && i < ppMaxPageListCount; ++i) pageList.Add(value->Get(i));
}

void TppPageRequest::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TppPageRequest*>(source)) {
    pageList.Assign(other->pageList);
    pageRequested = other->pageRequested;
    pageSetting = other->pageSetting;
    pageRange = other->pageRange;
    return;
  }
  inherited::Assign(source);
}

void TppPageRequest::Clear() {
  pageList.Clear();
  pageRange = prAll;
  pageRequested = 1;
  pageSetting = psAll;
}

bool TppPageRequest::AcceptsPage(const TppPage& page) {
  bool accepts = false;
  switch (pageSetting) {
    case psAll: accepts = true; break;
    case psPageList: accepts = pageList.IndexOf(IntToStr(page.AbsolutePageNo)) >= 0; break;
    case psSinglePage:
      if (page.LastPage && page.AbsolutePageCount < pageRequested) pageRequested = page.AbsolutePageCount;
      else if (pageRequested < 1 && page.AbsolutePageNo == 1) pageRequested = 1;
      accepts = page.AbsolutePageNo == pageRequested;
      break;
    case psFirstPage: accepts = page.FirstPage; break;
    case psLastPage: accepts = page.LastPage; break;
    case psPageRange: accepts = false; break;
  }
  if (pageRange == prOddPages) accepts = accepts && page.AbsolutePageNo % 2 == 1;
  if (pageRange == prEvenPages) accepts = accepts && page.AbsolutePageNo % 2 == 0;
  return accepts;
}

bool TppPageRequest::IsSatisfied(const TppPage& page) {
  switch (pageSetting) {
    case psAll:
    case psLastPage: return page.LastPage;
    case psPageList: {
      const int index = pageList.IndexOf(IntToStr(page.AbsolutePageNo));
      if (index >= 0) pageList.Delete(index);
      return pageList.Count() == 0;
    }
    case psSinglePage: return page.AbsolutePageNo == pageRequested;
    case psFirstPage: return page.FirstPage;
    case psPageRange: return false;
  }
  return false;
}
