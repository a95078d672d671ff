#pragma once
// A report request: its query thread, made for a parameter list.

#include <memory>

class TStringList;
class TReportViewer;

// Starts the query thread for the list: the viewer is made and shown on
// the main thread, the query opened in the thread, the viewer set up once
// it ends. The viewer is the main window's.
void StartReportQuery(std::unique_ptr<TStringList> parameters);

// The viewer a request made last, while it exists (tests follow it).
TReportViewer* LastReportViewer();
