// Dialog templates as a module hands them to the dialog machinery: the module
// registers a lookup once when it is loaded, and a modal dialog is built from
// the template of its id (as the loader finds a module's dialog resources).
#pragma once

#include "platform/WinTypes.h"

namespace plat {

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
using DialogTemplateLookup = const DialogTemplate* (*)(int id);

// Hands the module's templates to the dialog machinery; a later call
// replaces the lookup.
void RegisterDialogTemplates(DialogTemplateLookup lookup);

#if defined(_WIN32)
// On Windows a module's dialogs are resources of the module; a template
// held as data (one that a library builds for itself) runs as an in-memory
// dialog of the system's dialog manager.
INT_PTR DialogBoxIndirectParam(HINSTANCE instance, const DialogTemplate* dialogTemplate, HWND owner,
                               DLGPROC proc, LPARAM param);
#endif

}  // namespace plat
