// The module's resources: its dialog templates and its string table, kept
// as data. The dialog machinery builds a dialog from its template id;
// LoadString reads the string table.
#pragma once

#include "platform/DialogTemplate.h"
#include "platform/WinTypes.h"

using plat::DialogControlTemplate;
using plat::DialogTemplate;

// The template of an id; nullptr when the module has none.
const DialogTemplate* FindDialogTemplate(int id);
// The string-table text of an id; nullptr when the table has none.
const char* FindResourceString(unsigned id);
// The usual string load: copies at most size-1 characters and a terminator;
// the number of characters copied, 0 when the id has no text.
int LoadString(void* instance, unsigned id, char* buffer, int size);
// Hands the templates to the dialog machinery; the module does it when it is
// loaded, and again costs nothing.
void RegisterModuleResources();
