// The query component's published properties and events, in the order
// streams write them. A default is the value the constructor sets.

#include "MDBQuery.h"
#include "rtlTypeInfo.h"

namespace {

TStringList* SQLOf(const TMDBQuery& query) { return &const_cast<TMDBQuery&>(query).SQL(); }
TStringList* SQLScriptOf(const TMDBQuery& query) { return &const_cast<TMDBQuery&>(query).SQLScript(); }
TMDBParams* ParamsOf(const TMDBQuery& query) { return &const_cast<TMDBQuery&>(query).Params(); }

}  // namespace

const TClassInfo& TMDBQuery::StaticClassType() {
  static const TClassInfo info =
      TClassBuilder<TMDBQuery>("TMDBQuery")
          .Property("EngineVersion", &TMDBQuery::EngineVersion, &TMDBQuery::SetEngineVersion)
          .Property("DataSource", &TMDBQuery::DataSource, &TMDBQuery::SetDataSource)
          .Property("ParamCheck", &TMDBQuery::ParamCheck, &TMDBQuery::SetParamCheck)
          .Default(1)
          .Property("RequestLive", &TMDBQuery::RequestLive, &TMDBQuery::SetRequestLive)
          .Default(0)
          .Property("MaxRowCount", &TMDBQuery::MaxRowCount, &TMDBQuery::SetMaxRowCount)
          .Property("SQL", SQLOf, [](TMDBQuery& query, TStringList* lines) { query.SetSQL(*lines); })
          .Property("SQLScript", SQLScriptOf, [](TMDBQuery& query, TStringList* lines) { query.SetSQLScript(*lines); })
          .Property("Params", ParamsOf, [](TMDBQuery& query, TMDBParams* other) { query.SetParams(*other); })
          .Event("OnQueryProgress", &TMDBQuery::OnQueryProgress)
          .Event("OnSaveProgress", &TMDBQuery::OnSaveProgress)
          .Event("OnScriptError", &TMDBQuery::OnScriptError)
          .Build();
  return info;
}
