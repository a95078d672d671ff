#pragma once
// Makes the components' classes (session, database, table, query) known to
// stream readers by name. Programs call it once at start-up, before
// reading forms; calling it again does nothing.
void RegisterMDBClasses();
