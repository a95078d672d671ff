#pragma once
// CREATE TABLE, CREATE INDEX, ALTER TABLE, DROP TABLE and DROP INDEX: each
// one structural operation of an exclusive cursor on the target table.

class TDataQuery;

void ExecuteDefinition(TDataQuery& query);
