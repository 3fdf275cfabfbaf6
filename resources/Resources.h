// The module's resources: its dialog templates and its string table, kept
// as data. The dialog machinery builds a dialog from its template id;
// LoadString reads the string table.
#pragma once

#include "platform/WinTypes.h"

struct DialogControlTemplate {
  const char* className;  // "Button", "Static", "Edit", "ComboBox", "SysListView32", ...
  const char* text;
  int id;              // 0xFFFF for a control that needs no id
  DWORD style;         // window style with the control's own style bits
  short x, y, cx, cy;  // dialog units
};

struct DialogTemplate {
  int id;
  const char* caption;
  DWORD style;
  const char* fontName;
  int pointSize;
  short cx, cy;  // dialog units
  const DialogControlTemplate* controls;
  int controlCount;
};

// The template of an id; nullptr when the module has none.
const DialogTemplate* FindDialogTemplate(int id);
// The string-table text of an id; nullptr when the table has none.
const char* FindResourceString(unsigned id);
// The usual string load: copies at most size-1 characters and a terminator;
// the number of characters copied, 0 when the id has no text.
int LoadString(void* instance, unsigned id, char* buffer, int size);
