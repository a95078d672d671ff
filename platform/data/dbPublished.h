#pragma once
// Makes the framework's component classes (data source, field classes)
// known to stream readers by name. Programs call it once at start-up,
// before reading forms; calling it again does nothing.
void RegisterDataClasses();
