#pragma once
// The forms of this layer stand in for the engine's abstract dialogs once
// registered: the program calls this at start-up (a static library's
// initialisers would be dropped by the linker when nothing names them).

// Registers the preview, print, cancel, no-data, auto-search and template
// forms for their abstract classes and the screen device by its name.
// Registering again changes nothing.
void ppRegisterEngineForms();
void ppUnRegisterEngineForms();
